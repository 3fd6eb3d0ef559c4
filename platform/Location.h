#pragma once

// Where the machine is, for the sun times: latitude and longitude in whole
// degrees and the current offset of local time from Greenwich. The
// coordinates come from the preferences when the user has set them, else
// from the principal city of the system time zone in the tz database.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace vantrel {

// 2.30 fixed point; 1.0 stands for 90 degrees.
using Fract = std::int32_t;

struct MachineLocation
{
    Fract latitude = 0;
    Fract longitude = 0;
    // Low 24 bits: signed offset from Greenwich in seconds, east positive.
    std::int32_t gmtDelta = 0;
};

void ReadLocation(MachineLocation* location);
// The same with the offset from Greenwich in force at a given moment.
MachineLocation readLocationAt(std::time_t when);
// Fract times an integer with the Fract scale divided out, rounded.
long FracMul(Fract fraction, long value);
Fract fractFromDegrees(int degrees);

// Values that take precedence over what the machine says; vantrelctl and the
// tests set them, and the preferences store supplies latitude and longitude.
struct LocationOverride
{
    std::optional<int> latitude;
    std::optional<int> longitude;
    std::optional<long> gmtOffset;
};
void setLocationOverride(const LocationOverride& values);
const LocationOverride& locationOverride();

// Source of the "Latitude" and "Longitude" preferences, installed by the
// preferences store so this layer does not depend on it.
using PreferredCoordinate = std::optional<int> (*)(const char* key);
void setPreferredCoordinateSource(PreferredCoordinate source);

// Name of the system time zone ("Europe/London"), or empty when unknown.
std::string systemTimeZoneName();
// Whole-degree coordinates of a zone's principal city from the tz tables
// in zoneinfoDir (zone1970.tab, else zone.tab).
std::optional<std::pair<int, int>>
zoneCoordinates(const std::string& zone, const std::string& zoneinfoDir = "/usr/share/zoneinfo");

} // namespace vantrel
