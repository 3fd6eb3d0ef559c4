#pragma once

// The one-line English text an event row shows, and that the user finds in
// the cell when editing the row in place. EventTextParser reads it back.

#include "schedule/Event.h"

#include <string>

namespace vantrel {

// "Turn Off @ Sunset+00:30 (Security)  On .M.W.F." and the like. Locale-free:
// the decimal point, the month/day order and AM/PM never follow the user's
// settings, because the parser must read back what this writes.
// An event that is damaged (see eventDamage) reads "Damaged event: " and
// what is wrong.
std::string eventSummary(const Event& event);

} // namespace vantrel
