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

// One hour of the scan, for tests: the altitude function is v0, v1 and v2 at
// the start, middle and end of the hour; a crossing is stored in gSunriseTime
// or gSunsetTime as the scan stores it. True when it counted as a rising or
// a setting.
bool examineHourCrossing(double hour, double v0, double v1, double v2);

// Puts the results and the working quantities back to zero (tests).
void resetSunTimes();

} // namespace vantrel
