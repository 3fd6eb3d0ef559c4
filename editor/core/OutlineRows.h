#pragma once

// The outline's rows over a module list: one row per module and, under each
// expanded module, one row per event. The window keeps every module row's
// expansion equal to the module's "X", so the rows follow from the list
// alone and can be mapped without asking the view.

#include "schedule/Module.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vantrel {

struct OutlineRow
{
    std::size_t module = 0;
    int event = -1; // -1 for the module's own row

    bool isModuleRow() const { return event < 0; }
    bool operator==(const OutlineRow&) const = default;
};

class OutlineRowMap
{
  public:
    OutlineRowMap() = default;
    explicit OutlineRowMap(const ModuleList& modules);

    int rowCount() const { return m_rowCount; }
    std::size_t moduleCount() const { return m_moduleRows.size(); }

    int rowForModule(std::size_t module) const;
    // -1 when the module is collapsed or the index is out of range.
    int rowForEvent(std::size_t module, std::size_t event) const;
    std::optional<OutlineRow> rowAt(int row) const;
    // 0 for a module row, 1 for an event row, -1 outside the outline.
    int levelForRow(int row) const;

    // The module of the nearest module row at or above the row; 0 when none.
    int moduleIndexForOutlineRow(int row) const;
    // -1 for a module row, the event's index for an event row, 0 when no
    // module row stands at or above the row.
    int eventIndexForOutlineRow(int row) const;

  private:
    std::vector<int> m_moduleRows; // row of each module, ascending
    std::vector<int> m_visibleEvents;
    int m_rowCount = 0;
};

} // namespace vantrel
