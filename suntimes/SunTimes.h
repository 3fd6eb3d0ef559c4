#pragma once

// Today's local sunrise and sunset for the machine's location, from a
// low-precision solar position series and an hour-by-hour altitude scan.
// Results are time-of-day values, or NoSunTime when the Sun does not both
// rise and set today.

#include <cstdint>

namespace vantrel {

constexpr std::uint32_t NoSunTime = 0xFFFFFFFF;

extern std::uint32_t gSunriseTime;
extern std::uint32_t gSunsetTime;

void SetRiseSetTimes();

// Puts the results and the working quantities back to zero (tests).
void resetSunTimes();

} // namespace vantrel
