#include "editor/core/PageBreaks.h"

#include <algorithm>

namespace vantrel {
namespace {

// The row whose span [top, top + height) holds y, or rows.end().
std::vector<RowGeometry>::const_iterator rowAtPoint(const std::vector<RowGeometry>& rows, double y)
{
    auto after =
        std::upper_bound(rows.begin(), rows.end(), y,
                         [](double value, const RowGeometry& row) { return value < row.top; });
    if (after == rows.begin())
        return rows.end();
    auto row = std::prev(after);
    return y < row->top + row->height ? row : rows.end();
}

} // namespace

double adjustPageHeightNew(const std::vector<RowGeometry>& rows, double top, double bottom,
                           double /*limit*/)
{
    auto row = rowAtPoint(rows, bottom);
    if (row == rows.end() || bottom >= row->top + row->height)
        return bottom;
    if (row->top <= top)
        return bottom;
    return row->top;
}

std::vector<std::pair<int, int>> paginateRows(const std::vector<RowGeometry>& rows,
                                              double pageHeight)
{
    std::vector<std::pair<int, int>> pages;
    if (rows.empty() || pageHeight <= 0)
        return pages;
    const double end = rows.back().top + rows.back().height;
    double top = rows.front().top;
    std::size_t first = 0;
    while (first < rows.size()) {
        const double bottom = adjustPageHeightNew(rows, top, std::min(top + pageHeight, end), end);
        std::size_t last = first;
        // Rows that start above the page's end belong to it.
        while (last < rows.size() && rows[last].top < bottom)
            ++last;
        if (last == first)
            last = first + 1;
        pages.emplace_back(static_cast<int>(first), static_cast<int>(last));
        first = last;
        if (first < rows.size())
            top = rows[first].top;
    }
    return pages;
}

} // namespace vantrel
