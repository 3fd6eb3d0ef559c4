#pragma once

// The interface's clock as people read it, "12:05 AM": the wording of the
// clock alert and of vantrelctl's clock command.

#include <string>

namespace vantrel {

// hour 0-23, minute 0-59.
std::string twelveHourClockText(int hour, int minute);

} // namespace vantrel
