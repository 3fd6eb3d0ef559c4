#pragma once

// An X10 module of the document and its events. In stored forms a module is
// a dictionary with the keys below; in memory it is this record.

#include "schedule/Event.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

constexpr const char* ModuleNameKey = "N";
constexpr const char* ModuleHouseCodeKey = "C";
constexpr const char* ModuleUnitKey = "#";
constexpr const char* ModuleTypeKey = "T";
constexpr const char* ModuleEventsKey = "Events";
constexpr const char* ModuleExpandedKey = "X";

constexpr int HouseCodeCount = 16; // A-P as 0-15
constexpr int AllLightsUnit = 17;
constexpr int AllModulesUnit = 18;
constexpr int ApplianceType = 0;
constexpr int LightType = 1;
constexpr int NoType = 2; // the type of units 17 and 18

// The most characters a description holds. A longer one is cut on reading
// and cannot be typed: a cell of megabytes stalls every repaint of the outline.
constexpr int MaxModuleNameCharacters = 4096;

struct Module
{
    std::string name = "New Module";
    std::int64_t houseCode = 0;
    std::int64_t unit = 1;
    std::int64_t type = ApplianceType;
    // Event data items in host byte order, in display order.
    std::vector<EventData> events;
    bool expanded = false;

    bool operator==(const Module&) const = default;
};

using ModuleList = std::vector<Module>;

inline bool isValidHouseCode(std::int64_t code)
{
    return code >= 0 && code < HouseCodeCount;
}
inline bool isValidUnit(std::int64_t unit)
{
    return unit >= 1 && unit <= AllModulesUnit;
}
inline bool isValidType(std::int64_t type)
{
    return type >= ApplianceType && type <= NoType;
}

} // namespace vantrel
