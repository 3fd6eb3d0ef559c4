#include "editor/core/OutlineCommands.h"

#include <algorithm>
#include <functional>

namespace vantrel {

ModuleInsertion moduleInsertionFor(const OutlineRowMap& rows, const std::vector<int>& selectedRows,
                                   bool editing)
{
    if (selectedRows.size() == 1 && rows.levelForRow(selectedRows.front()) == 0) {
        const auto module =
            static_cast<std::size_t>(rows.moduleIndexForOutlineRow(selectedRows.front()));
        if (editing)
            return {module + 1, ModulePlacement::AfterEditedModule};
        return {module, ModulePlacement::BeforeSelectedModule};
    }
    return {rows.moduleCount(), ModulePlacement::AtEnd};
}

EventInsertion eventInsertionFor(const OutlineRowMap& rows, const ModuleList& modules,
                                 int selectedRow)
{
    EventInsertion insertion;
    insertion.module = static_cast<std::size_t>(rows.moduleIndexForOutlineRow(selectedRow));
    insertion.moduleRow = rows.rowForModule(insertion.module);
    const int event = rows.eventIndexForOutlineRow(selectedRow);
    if (event < 0 && insertion.module < modules.size())
        insertion.position = modules[insertion.module].events.size();
    else
        insertion.position = static_cast<std::size_t>(std::max(event, 0));
    return insertion;
}

std::vector<OutlineRow> deletionOrder(const OutlineRowMap& rows, std::vector<int> selectedRows)
{
    std::sort(selectedRows.begin(), selectedRows.end(), std::greater<>());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
    std::vector<OutlineRow> order;
    order.reserve(selectedRows.size());
    for (int row : selectedRows) {
        if (auto found = rows.rowAt(row))
            order.push_back(*found);
    }
    return order;
}

CopyValidity copyValid(const OutlineRowMap& rows, const std::vector<bool>& selected)
{
    CopyValidity result;
    const int count = std::min(rows.rowCount(), static_cast<int>(selected.size()));
    int row = 0;
    while (row < count) {
        const bool isEvent = rows.levelForRow(row) == 1;
        if (!selected[static_cast<std::size_t>(row)]) {
            ++row;
            continue;
        }
        if (isEvent) {
            if (result.modules)
                return {false, result.modules, result.events};
            result.events = true;
            ++row;
            continue;
        }
        if (result.events)
            return {false, result.modules, result.events};
        result.modules = true;
        // The module's visible events: all selected or none.
        ++row;
        bool sawSelected = false;
        bool sawUnselected = false;
        for (; row < count && rows.levelForRow(row) == 1; ++row) {
            if (selected[static_cast<std::size_t>(row)])
                sawSelected = true;
            else
                sawUnselected = true;
            if (sawSelected && sawUnselected)
                return {false, result.modules, result.events};
        }
    }
    return result;
}

CommandButtonState commandButtonState(std::size_t selectedCount)
{
    if (selectedCount == 0)
        return {};
    if (selectedCount == 1)
        return {true, true, true, true};
    return {false, true, false, false};
}

bool deleteEnabled(std::size_t selectedCount)
{
    return selectedCount > 0;
}

bool cutCopyEnabled(std::size_t selectedCount, const CopyValidity& validity)
{
    return selectedCount > 0 && validity.valid;
}

bool pasteEnabled(bool clipboardHasModules, bool clipboardHasEvents, std::size_t selectedCount)
{
    return (clipboardHasModules && selectedCount <= 1) ||
           (clipboardHasEvents && selectedCount == 1);
}

DrawerOffsets drawerOffsets(int windowWidth)
{
    const int spare = windowWidth - DrawerContentWidth;
    // Truncation toward zero, as the offsets were always computed.
    const int leading = static_cast<int>(spare * 0.5);
    return {leading, spare - leading};
}

std::vector<int> selectedRowsForStoring(std::vector<int> selectedRows)
{
    std::sort(selectedRows.begin(), selectedRows.end(), std::greater<>());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
    return selectedRows;
}

DirectSwitching directSwitchingForModule(const Module& module)
{
    const bool all = module.unit >= AllLightsUnit;
    return {!all, !all, !all && module.type == LightType};
}

DirectSwitching directSwitchingForRows(const OutlineRowMap& rows, const ModuleList& modules,
                                       const std::vector<int>& selectedRows)
{
    bool anyLight = false;
    bool anyAll = false;
    for (int row : selectedRows) {
        if (rows.levelForRow(row) != 0)
            continue;
        const Module& module =
            modules[static_cast<std::size_t>(rows.moduleIndexForOutlineRow(row))];
        if (module.type == LightType)
            anyLight = true;
        else if (module.unit >= AllLightsUnit)
            anyAll = true;
    }
    if (anyAll)
        return {};
    return {true, true, anyLight};
}

DrawerPage drawerPageFor(const OutlineRowMap& rows, const std::vector<int>& selectedRows)
{
    return selectedRows.size() == 1 && rows.levelForRow(selectedRows.front()) == 1
               ? DrawerPage::Event
               : DrawerPage::NoEvents;
}

RowSpan pastedModuleRows(const OutlineRowMap& rows, const ModuleList& modules, std::size_t position,
                         std::size_t count)
{
    const std::size_t last = position + count - 1;
    const int first = rows.rowForModule(position);
    const int end = rows.rowForModule(last) +
                    (modules[last].expanded ? static_cast<int>(modules[last].events.size()) : 0);
    return {first, end};
}

} // namespace vantrel
