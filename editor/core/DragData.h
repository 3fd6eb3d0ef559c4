#pragma once

// The data a drag of outline rows carries, apart from any widget: a property
// list of references into the source document, module indices for modules
// and "Event Index"/"Module Index" records for events, last row first. What
// another window reads back is checked against the source's modules, as any
// program may put bytes under our types.

#include "editor/core/OutlineRows.h"
#include "schedule/Module.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct DraggedRows
{
    bool valid = false;   // there are rows, and only modules or only events
    bool modules = false; // dragCutCopyModules, as far as the rows were read
    bool events = false;  // dragCutCopyEvents
    std::vector<OutlineRow> rows;
};

// The rows a drag takes, in the order given (last row first). Rows outside
// the outline are skipped; modules and events are never dragged together.
DraggedRows draggedRows(const OutlineRowMap& map, const std::vector<int>& rowsLastFirst);

// The drag list's XML for the rows, in their order.
std::string dragListXml(const std::vector<OutlineRow>& rows);

// Module indices in the list's order; nothing when the XML is not a
// non-empty array of indices into `source`, or names a module twice.
std::optional<std::vector<std::size_t>> readModuleDragList(std::string_view xml,
                                                           const ModuleList& source);

// Events as module and event indices in the list's order (bottom to top);
// nothing when an item is not a record of two indices naming an event of
// `source`, or an event is named twice.
std::optional<std::vector<OutlineRow>> readEventDragList(std::string_view xml,
                                                         const ModuleList& source);

// How dragged events move into module `target`: the removals, highest
// module and event first so that each leaves the others valid, and the
// block's index among the target's events once they are gone.
struct EventMovePlan
{
    std::vector<OutlineRow> removal;
    std::size_t position = 0;
};
EventMovePlan eventMovePlan(const std::vector<OutlineRow>& dragged, bool sameDocument,
                            std::size_t target, std::size_t dropIndex,
                            std::size_t targetEventCount);

} // namespace vantrel
