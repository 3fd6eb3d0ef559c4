#pragma once

// Today's local sunrise and sunset for the machine's location, from a
// low-precision solar position series and an hour-by-hour altitude scan.
// Results are time-of-day values, or NoSunTime when the Sun does not both
// rise and set today.

#include "platform/Location.h"

#include <cstdint>

namespace vantrel {

constexpr std::uint32_t NoSunTime = 0xFFFFFFFF;

struct SunTimes
{
    std::uint32_t sunrise = NoSunTime;
    std::uint32_t sunset = NoSunTime;
};

// The sun times of a local calendar day at a location; the location's
// offset from Greenwich is the one in force that day.
SunTimes sunTimesOn(int year, int month, int day, const MachineLocation& location);

extern std::uint32_t gSunriseTime;
extern std::uint32_t gSunsetTime;

// Today's sun times at the machine's location, into the two globals.
void SetRiseSetTimes();

// One hour of the scan, for tests: the altitude function is v0, v1 and v2 at
// the start, middle and end of the hour; a crossing is stored in gSunriseTime
// or gSunsetTime as the scan stores it. True when it counted as a rising or
// a setting.
bool examineHourCrossing(double hour, double v0, double v1, double v2);

// Puts the results back to zero (tests).
void resetSunTimes();

} // namespace vantrel
