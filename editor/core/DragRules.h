#pragma once

// Where dragged rows land. A drag carries references (module indices, or
// module and event index pairs) into its source document; a drop always
// moves. These rules decide the drop's target and the block's position
// apart from any widget.

#include <cstddef>
#include <optional>
#include <vector>

namespace vantrel {

// What the pointer is over, as the view proposes it.
struct ProposedDrop
{
    std::optional<std::size_t> module; // a module row, or an event row's module
    bool onEventRow = false;           // the item is an event row
    bool moduleExpanded = false;       // the module row is expanded
    int childIndex = -1;               // between children; -1 onto the item itself
};

// Modules always land at the top level: between two modules as proposed, at
// the end when dropped onto the outline as a whole, and right after the
// module of a module or event row. The top-level index.
std::size_t moduleDropIndex(const ProposedDrop& drop, std::size_t moduleCount);

// Events land only between the events of an expanded module: that index in
// the module's events, or nothing when the drop is refused.
std::optional<std::size_t> eventDropIndex(const ProposedDrop& drop);

// The block's position once the dragged items have left the list: the drop
// index less the dragged items (of the same list) that stood above it.
std::size_t blockPosition(std::size_t dropIndex,
                          const std::vector<std::size_t>& draggedFromSameList);

// Moves the listed items of one list to the drop index as one block, in
// their order in the list. Returns the block's position.
template <typename T>
std::size_t moveBlock(std::vector<T>& list, std::vector<std::size_t> dragged,
                      std::size_t dropIndex);

} // namespace vantrel

#include "editor/core/DragRules.tpp"
