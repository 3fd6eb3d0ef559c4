#pragma once

// One change to a document's schedule, kept as the stretch of the module list
// that differs and the repeat counts: a change to one module of a thousand
// holds that module twice, not the list. Undo puts the stretch back; redo
// puts the changed one in again.

#include "schedule/Event.h"
#include "schedule/Module.h"

#include <cstddef>
#include <optional>

namespace vantrel {

struct ScheduleChange
{
    // Where the stretch starts; the modules before it and the modules after
    // it are the same on both sides.
    std::size_t position = 0;
    ModuleList before;
    ModuleList after;
    ClassicEventRepeat repeatBefore;
    ClassicEventRepeat repeatAfter;

    bool operator==(const ScheduleChange&) const = default;
};

enum class ChangeDirection
{
    Undo, // from the changed schedule back to the one before
    Redo  // from the schedule before to the changed one
};

// The change from one schedule to another; none when they are the same,
// expansion included.
std::optional<ScheduleChange> scheduleChange(const ModuleList& before, ClassicEventRepeat repeatBefore,
                                             const ModuleList& after, ClassicEventRepeat repeatAfter);

// Whether the schedule holds what the change starts from in that direction,
// at its place. A module's expansion is left out: a triangle clicked since
// is no reason to refuse.
bool changeFits(const ModuleList& modules, const ScheduleChange& change, ChangeDirection direction);

// Applies the change in place; false, leaving both untouched, when it does not fit.
bool applyChange(ModuleList& modules, ClassicEventRepeat& repeat, const ScheduleChange& change,
                 ChangeDirection direction);

// The single change that has `first` then `next` make; none when `next` does
// not start on the stretch that `first` left.
std::optional<ScheduleChange> composeChanges(const ScheduleChange& first, const ScheduleChange& next);

// Copies each module's expansion from `from`; false and nothing copied when
// the lists differ in length.
bool copyExpansion(ModuleList& to, const ModuleList& from);

} // namespace vantrel
