#pragma once

// Where printed pages of the outline end, so that no row is ever split
// between two pages.

#include <utility>
#include <vector>

namespace vantrel {

// A row's place in the printed outline, top down (y grows downward).
struct RowGeometry
{
    double top = 0;
    double height = 0;
};

// The bottom of a page whose proposed bottom is `bottom`: moved up to the top
// of the row it would cut, else left where it is. A row taller than the page
// (the page would then hold nothing) is split rather than looping for ever.
// `limit` is not used; the rows must be sorted by top.
double adjustPageHeightNew(const std::vector<RowGeometry>& rows, double top, double bottom,
                           double limit);

// The pages for rows printed on pages of the given height: each entry the
// first and one-past-last row of a page, every row on exactly one page.
std::vector<std::pair<int, int>> paginateRows(const std::vector<RowGeometry>& rows,
                                              double pageHeight);

} // namespace vantrel
