#include "editor/core/ScheduleChange.h"

#include <algorithm>

namespace vantrel {
namespace {

bool sameButExpansion(const Module& a, const Module& b)
{
    return a.name == b.name && a.houseCode == b.houseCode && a.unit == b.unit &&
           a.type == b.type && a.events == b.events;
}

} // namespace

std::optional<ScheduleChange> scheduleChange(const ModuleList& before, ClassicEventRepeat repeatBefore,
                                             const ModuleList& after, ClassicEventRepeat repeatAfter)
{
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    // The common tail may not reach into the common head.
    std::size_t suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (prefix == before.size() && prefix == after.size() && repeatBefore == repeatAfter)
        return std::nullopt;
    ScheduleChange change;
    change.position = prefix;
    const auto span = [&](const ModuleList& list) {
        return ModuleList(list.begin() + static_cast<std::ptrdiff_t>(prefix),
                          list.end() - static_cast<std::ptrdiff_t>(suffix));
    };
    change.before = span(before);
    change.after = span(after);
    change.repeatBefore = repeatBefore;
    change.repeatAfter = repeatAfter;
    return change;
}

bool changeFits(const ModuleList& modules, const ScheduleChange& change, ChangeDirection direction)
{
    const ModuleList& expected = direction == ChangeDirection::Undo ? change.after : change.before;
    if (change.position > modules.size() || modules.size() - change.position < expected.size())
        return false;
    return std::equal(expected.begin(), expected.end(),
                      modules.begin() + static_cast<std::ptrdiff_t>(change.position),
                      sameButExpansion);
}

bool applyChange(ModuleList& modules, ClassicEventRepeat& repeat, const ScheduleChange& change,
                 ChangeDirection direction)
{
    if (!changeFits(modules, change, direction))
        return false;
    const bool undo = direction == ChangeDirection::Undo;
    const ModuleList& removed = undo ? change.after : change.before;
    const ModuleList& inserted = undo ? change.before : change.after;
    const auto first = modules.begin() + static_cast<std::ptrdiff_t>(change.position);
    // Overwrite what both sides share, then remove or insert the rest.
    const std::size_t common = std::min(removed.size(), inserted.size());
    std::copy(inserted.begin(), inserted.begin() + static_cast<std::ptrdiff_t>(common), first);
    const auto tail = first + static_cast<std::ptrdiff_t>(common);
    if (removed.size() > common)
        modules.erase(tail, tail + static_cast<std::ptrdiff_t>(removed.size() - common));
    else
        modules.insert(tail, inserted.begin() + static_cast<std::ptrdiff_t>(common), inserted.end());
    repeat = undo ? change.repeatBefore : change.repeatAfter;
    return true;
}

std::optional<ScheduleChange> composeChanges(const ScheduleChange& first, const ScheduleChange& next)
{
    if (next.position != first.position || next.before != first.after ||
        next.repeatBefore != first.repeatAfter)
        return std::nullopt;
    ScheduleChange both = first;
    both.after = next.after;
    both.repeatAfter = next.repeatAfter;
    return both;
}

bool copyExpansion(ModuleList& to, const ModuleList& from)
{
    if (to.size() != from.size())
        return false;
    for (std::size_t i = 0; i < to.size(); ++i)
        to[i].expanded = from[i].expanded;
    return true;
}

} // namespace vantrel
