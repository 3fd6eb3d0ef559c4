#include "editor/core/DragRules.h"

#include <algorithm>

namespace vantrel {

std::size_t moduleDropIndex(const ProposedDrop& drop, std::size_t moduleCount)
{
    if (drop.module)
        return std::min(*drop.module + 1, moduleCount);
    if (drop.childIndex < 0)
        return moduleCount;
    return std::min(static_cast<std::size_t>(drop.childIndex), moduleCount);
}

std::optional<std::size_t> eventDropIndex(const ProposedDrop& drop)
{
    if (!drop.module || drop.onEventRow || !drop.moduleExpanded || drop.childIndex < 0)
        return std::nullopt;
    return static_cast<std::size_t>(drop.childIndex);
}

std::size_t blockPosition(std::size_t dropIndex,
                          const std::vector<std::size_t>& draggedFromSameList)
{
    const auto above = std::count_if(draggedFromSameList.begin(), draggedFromSameList.end(),
                                     [dropIndex](std::size_t index) { return index < dropIndex; });
    return dropIndex - static_cast<std::size_t>(above);
}

} // namespace vantrel
