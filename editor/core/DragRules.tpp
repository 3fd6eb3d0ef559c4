#pragma once

#include <algorithm>

namespace vantrel {

template <typename T>
std::size_t moveBlock(std::vector<T>& list, std::vector<std::size_t> dragged, std::size_t dropIndex)
{
    std::sort(dragged.begin(), dragged.end());
    dragged.erase(std::unique(dragged.begin(), dragged.end()), dragged.end());
    dragged.erase(std::remove_if(dragged.begin(), dragged.end(),
                                 [&](std::size_t index) { return index >= list.size(); }),
                  dragged.end());
    std::vector<T> block;
    block.reserve(dragged.size());
    for (std::size_t index : dragged)
        block.push_back(list[index]);
    // Removed from the highest index down, so the others stay valid.
    for (auto index = dragged.rbegin(); index != dragged.rend(); ++index)
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(*index));
    const std::size_t position = std::min(blockPosition(dropIndex, dragged), list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(position), block.begin(), block.end());
    return position;
}

} // namespace vantrel
