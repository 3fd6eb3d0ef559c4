#pragma once

// What committing a module cell does to the module list: the new value is
// stored in a copy of the module that replaces it, and the events and type
// are brought into line with the unit and type, because an "All Lights"
// module can only switch on, an "All Modules" one only off, and an appliance
// cannot dim.

#include "schedule/Module.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vantrel {

enum class ModuleColumn
{
    HouseCode,
    Unit,
    Type,
    Name
};

// The column of an outline identifier: "C", "#", "T" or "N".
std::optional<ModuleColumn> moduleColumnForIdentifier(std::string_view identifier);

// A cell's value as the column's formatter delivers it: a number for "C",
// "#" and "T", a string for "N".
using ModuleCellValue = std::variant<std::int64_t, std::string>;

struct ModuleCellChange
{
    bool eventsRewritten = false;    // the outline must reload the module's event rows
    bool needsModuleChanged = false; // the unit or type changed: run moduleChanged
};

// Stores the value and rewrites the events where the unit or type demands
// (unit 17: every event on; unit 18: every event off at brightness 9; type 0:
// brightness 9). A value of the wrong kind for the column, or an index out of
// range, changes nothing.
ModuleCellChange setModuleCellValue(ModuleList& modules, std::size_t index, ModuleColumn column,
                                    const ModuleCellValue& value);

// The data part of moduleChanged: units 17 and 18 take type 2 (no type), and
// type 2 on any other unit falls back to 0 (Appliance). Returns whether the
// module was replaced.
bool applyModuleChangedToData(ModuleList& modules, std::size_t index);
// The type the module's unit calls for: none for All Lights and All Modules,
// Appliance for a module without one on any other unit, else its own.
std::int64_t typeForUnit(const Module& module);

// Both of the above, as one commit of a module cell with no window.
ModuleCellChange commitModuleCell(ModuleList& modules, std::size_t index, ModuleColumn column,
                                  const ModuleCellValue& value);

} // namespace vantrel
