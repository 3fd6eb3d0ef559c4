#include "platform/Location.h"

#include "platform/DateTime.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vantrel {
namespace {

LocationOverride& overrideValues()
{
    static LocationOverride values;
    return values;
}

PreferredCoordinate& preferredSource()
{
    static PreferredCoordinate source = nullptr;
    return source;
}

// ISO 6709 "+DDMM", "+DDMMSS", "-DDDMM" or "-DDDMMSS" to degrees.
std::optional<double> parseIso6709(const std::string& text, int degreeDigits)
{
    if (text.size() < static_cast<size_t>(1 + degreeDigits + 2))
        return std::nullopt;
    const char sign = text[0];
    if (sign != '+' && sign != '-')
        return std::nullopt;
    for (size_t i = 1; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    const double degrees = std::stoi(text.substr(1, degreeDigits));
    const double minutes = std::stoi(text.substr(1 + degreeDigits, 2));
    double seconds = 0;
    if (text.size() >= static_cast<size_t>(1 + degreeDigits + 4))
        seconds = std::stoi(text.substr(1 + degreeDigits + 2, 2));
    const double value = degrees + minutes / 60.0 + seconds / 3600.0;
    return sign == '-' ? -value : value;
}

std::optional<std::pair<int, int>> searchTable(const std::string& path, const std::string& zone)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string codes, coordinates, name;
        if (!(fields >> codes >> coordinates >> name) || name != zone)
            continue;
        // Latitude is 2 degree digits, longitude 3; find where longitude's sign starts.
        const size_t split = coordinates.find_first_of("+-", 1);
        if (split == std::string::npos)
            return std::nullopt;
        const auto lat = parseIso6709(coordinates.substr(0, split), 2);
        const auto lon = parseIso6709(coordinates.substr(split), 3);
        if (!lat || !lon)
            return std::nullopt;
        return std::make_pair(static_cast<int>(std::lround(*lat)),
                              static_cast<int>(std::lround(*lon)));
    }
    return std::nullopt;
}

} // namespace

long FracMul(Fract fraction, long value)
{
    const long long product = static_cast<long long>(fraction) * value;
    // Round to nearest, halves away from minus infinity, as the classic routine does.
    return static_cast<long>((product + (1LL << 29)) >> 30);
}

Fract fractFromDegrees(int degrees)
{
    // A Fract holds [-2, 2), that is [-180, 180) degrees; 180 east is 180 west.
    if (degrees >= 180)
        degrees -= 360;
    return static_cast<Fract>(std::llround(degrees / 90.0 * static_cast<double>(1 << 30)));
}

void setLocationOverride(const LocationOverride& values)
{
    overrideValues() = values;
}

const LocationOverride& locationOverride()
{
    return overrideValues();
}

void setPreferredCoordinateSource(PreferredCoordinate source)
{
    preferredSource() = source;
}

std::string systemTimeZoneName()
{
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        std::string name = tz;
        if (name[0] == ':')
            name.erase(0, 1);
        const auto pos = name.find("zoneinfo/");
        if (pos != std::string::npos)
            name.erase(0, pos + 9);
        return name;
    }
    char target[PATH_MAX];
    const ssize_t n = readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        std::string path = target;
        const auto pos = path.find("zoneinfo/");
        if (pos != std::string::npos)
            return path.substr(pos + 9);
    }
    std::ifstream in("/etc/timezone");
    std::string name;
    std::getline(in, name);
    return name;
}

std::optional<std::pair<int, int>> zoneCoordinates(const std::string& zone,
                                                   const std::string& zoneinfoDir)
{
    if (zone.empty())
        return std::nullopt;
    if (auto found = searchTable(zoneinfoDir + "/zone1970.tab", zone))
        return found;
    return searchTable(zoneinfoDir + "/zone.tab", zone);
}

MachineLocation readLocationAt(std::time_t when)
{
    MachineLocation location;
    const LocationOverride& given = overrideValues();
    std::optional<int> latitude = given.latitude;
    std::optional<int> longitude = given.longitude;
    if (const PreferredCoordinate source = preferredSource()) {
        if (!latitude)
            latitude = source("Latitude");
        if (!longitude)
            longitude = source("Longitude");
    }
    if (!latitude || !longitude) {
        // A zone without a city (UTC) leaves the coordinates at 0.
        const auto city = zoneCoordinates(systemTimeZoneName());
        if (!latitude)
            latitude = city ? city->first : 0;
        if (!longitude)
            longitude = city ? city->second : 0;
    }
    const long offset = given.gmtOffset ? *given.gmtOffset : gmtOffsetAt(when);
    location.latitude = fractFromDegrees(*latitude);
    location.longitude = fractFromDegrees(*longitude);
    location.gmtDelta = static_cast<std::int32_t>(offset & 0x00FFFFFF);
    return location;
}

void ReadLocation(MachineLocation* location)
{
    *location = readLocationAt(unixNow());
}

} // namespace vantrel
