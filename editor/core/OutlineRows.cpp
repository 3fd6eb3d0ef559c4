#include "editor/core/OutlineRows.h"

#include <algorithm>

namespace vantrel {

OutlineRowMap::OutlineRowMap(const ModuleList& modules)
{
    m_moduleRows.reserve(modules.size());
    m_visibleEvents.reserve(modules.size());
    int row = 0;
    for (const Module& module : modules) {
        m_moduleRows.push_back(row);
        const int visible = module.expanded ? static_cast<int>(module.events.size()) : 0;
        m_visibleEvents.push_back(visible);
        row += 1 + visible;
    }
    m_rowCount = row;
}

int OutlineRowMap::rowForModule(std::size_t module) const
{
    return module < m_moduleRows.size() ? m_moduleRows[module] : -1;
}

int OutlineRowMap::rowForEvent(std::size_t module, std::size_t event) const
{
    if (module >= m_moduleRows.size() || event >= static_cast<std::size_t>(m_visibleEvents[module]))
        return -1;
    return m_moduleRows[module] + 1 + static_cast<int>(event);
}

std::optional<OutlineRow> OutlineRowMap::rowAt(int row) const
{
    if (row < 0 || row >= m_rowCount)
        return std::nullopt;
    auto after = std::upper_bound(m_moduleRows.begin(), m_moduleRows.end(), row);
    const auto module = static_cast<std::size_t>(after - m_moduleRows.begin() - 1);
    return OutlineRow{module, row - m_moduleRows[module] - 1};
}

int OutlineRowMap::levelForRow(int row) const
{
    const auto found = rowAt(row);
    if (!found)
        return -1;
    return found->isModuleRow() ? 0 : 1;
}

int OutlineRowMap::moduleIndexForOutlineRow(int row) const
{
    const auto found = rowAt(row);
    return found ? static_cast<int>(found->module) : 0;
}

int OutlineRowMap::eventIndexForOutlineRow(int row) const
{
    const auto found = rowAt(row);
    return found ? found->event : 0;
}

} // namespace vantrel
