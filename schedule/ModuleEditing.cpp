#include "schedule/ModuleEditing.h"

#include <algorithm>
#include <cstring>

namespace vantrel {
namespace {

// Rewrites the record inside each data item, keeping the items' padding.
template <typename Change> void rewriteEvents(Module& module, Change change)
{
    for (auto item = module.events.rbegin(); item != module.events.rend(); ++item) {
        std::optional<Event> event = eventFromData(*item);
        if (!event)
            continue;
        change(*event);
        const EventData data = eventToData(*event);
        std::memcpy(item->data(), data.data(), EventContentSize);
    }
}

} // namespace

std::optional<ModuleColumn> moduleColumnForIdentifier(std::string_view identifier)
{
    if (identifier == ModuleHouseCodeKey)
        return ModuleColumn::HouseCode;
    if (identifier == ModuleUnitKey)
        return ModuleColumn::Unit;
    if (identifier == ModuleTypeKey)
        return ModuleColumn::Type;
    if (identifier == ModuleNameKey)
        return ModuleColumn::Name;
    return std::nullopt;
}

ModuleCellChange setModuleCellValue(ModuleList& modules, std::size_t index, ModuleColumn column,
                                    const ModuleCellValue& value)
{
    ModuleCellChange result;
    if (index >= modules.size())
        return result;
    const bool isName = column == ModuleColumn::Name;
    if (isName != std::holds_alternative<std::string>(value))
        return result;

    Module module = modules[index];
    switch (column) {
    case ModuleColumn::HouseCode:
        module.houseCode = std::get<std::int64_t>(value);
        break;
    case ModuleColumn::Unit:
        module.unit = std::get<std::int64_t>(value);
        break;
    case ModuleColumn::Type:
        module.type = std::get<std::int64_t>(value);
        break;
    case ModuleColumn::Name:
        module.name = std::get<std::string>(value);
        break;
    }

    if (column == ModuleColumn::Type && module.type == ApplianceType) {
        rewriteEvents(module, [](Event& event) { event.Brightness = NoDimBrightness; });
        result.eventsRewritten = true;
    } else if (column == ModuleColumn::Unit && module.unit == AllLightsUnit) {
        rewriteEvents(module, [](Event& event) { event.Flags |= EventOnFlag; });
        result.eventsRewritten = true;
    } else if (column == ModuleColumn::Unit && module.unit == AllModulesUnit) {
        rewriteEvents(module, [](Event& event) {
            event.Brightness = NoDimBrightness;
            event.Flags &= static_cast<std::uint16_t>(~EventOnFlag);
        });
        result.eventsRewritten = true;
    }
    modules[index] = std::move(module);
    result.needsModuleChanged = column == ModuleColumn::Type || column == ModuleColumn::Unit;
    return result;
}

std::int64_t typeForUnit(const Module& module)
{
    if (module.unit == AllLightsUnit || module.unit == AllModulesUnit)
        return NoType;
    if (module.type == NoType)
        return ApplianceType;
    return module.type;
}

bool applyModuleChangedToData(ModuleList& modules, std::size_t index)
{
    if (index >= modules.size())
        return false;
    const Module& module = modules[index];
    const std::int64_t type = typeForUnit(module);
    if (type == module.type)
        return false;
    Module changed = module;
    changed.type = type;
    modules[index] = std::move(changed);
    return true;
}

ModuleCellChange commitModuleCell(ModuleList& modules, std::size_t index, ModuleColumn column,
                                  const ModuleCellValue& value)
{
    const ModuleCellChange change = setModuleCellValue(modules, index, column, value);
    if (change.needsModuleChanged)
        applyModuleChangedToData(modules, index);
    return change;
}

} // namespace vantrel
