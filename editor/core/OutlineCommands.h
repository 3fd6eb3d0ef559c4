#pragma once

// The rules behind the document window's commands, apart from any widget:
// where New Module and New Event insert, the order Delete removes rows in,
// which selections can be copied, which buttons a selection enables, and
// where the drawer sits.

#include "editor/core/OutlineRows.h"

#include <cstddef>
#include <vector>

namespace vantrel {

enum class ModulePlacement
{
    AfterEditedModule,    // select the new module's row afterwards
    BeforeSelectedModule, // the selected row shows the new module; leave it
    AtEnd                 // select the new (last) module's row alone
};

struct ModuleInsertion
{
    std::size_t position = 0;
    ModulePlacement placement = ModulePlacement::AtEnd;
};

// selectedRows in any order; editing: a cell of the window is being edited.
ModuleInsertion moduleInsertionFor(const OutlineRowMap& rows, const std::vector<int>& selectedRows,
                                   bool editing);

struct EventInsertion
{
    std::size_t module = 0;
    std::size_t position = 0; // index in the module's events
    int moduleRow = 0;        // the module's row, which the insertion expands
    int newRow() const { return moduleRow + static_cast<int>(position) + 1; }
};

// Before the selected event, or appended when the module row is selected.
EventInsertion eventInsertionFor(const OutlineRowMap& rows, const ModuleList& modules,
                                 int selectedRow);

// The selected rows as Delete visits them: from the last row up, so each
// removal leaves the indices of the rows still to visit valid. Rows outside
// the outline are dropped.
std::vector<OutlineRow> deletionOrder(const OutlineRowMap& rows, std::vector<int> selectedRows);

struct CopyValidity
{
    bool valid = true;
    bool modules = false; // dragCutCopyModules
    bool events = false;  // dragCutCopyEvents
};

// Valid: only module rows, each with all or none of its visible event rows,
// or only event rows. selected[row] for every row of the outline.
CopyValidity copyValid(const OutlineRowMap& rows, const std::vector<bool>& selected);

struct CommandButtonState
{
    bool newEvent = false;
    bool deleteRows = false;
    bool edit = false;
    bool endEdit = false;
};

CommandButtonState commandButtonState(std::size_t selectedCount);
bool deleteEnabled(std::size_t selectedCount);
bool cutCopyEnabled(std::size_t selectedCount, const CopyValidity& validity);
bool pasteEnabled(bool clipboardHasModules, bool clipboardHasEvents, std::size_t selectedCount);

// The drawer's content: the event editor's width and the panel's frame.
constexpr int DrawerContentWidth = 500 + 16;

struct DrawerOffsets
{
    int leading = 0;
    int trailing = 0;
    bool operator==(const DrawerOffsets&) const = default;
};

// The drawer is 500 wide plus 16 of frame, centred: the offsets may be
// negative for a narrow window and are kept as computed.
DrawerOffsets drawerOffsets(int windowWidth);

// The switching controls a selection enables: On, Off, and the brightness
// slider with its label.
struct DirectSwitching
{
    bool on = false;
    bool off = false;
    bool brightness = false;
    bool operator==(const DirectSwitching&) const = default;
};

// For one module row: "All Lights" and "All Units" cannot be switched one by
// one; only a light dims.
DirectSwitching directSwitchingForModule(const Module& module);

// For several rows (event rows do not count): none when any module is an
// "All" module of an appliance, else On and Off, and brightness when any is
// a light. Use directSwitchingForModule for one module row.
DirectSwitching directSwitchingForRows(const OutlineRowMap& rows, const ModuleList& modules,
                                       const std::vector<int>& selectedRows);

// The drawer shows the event editor only while one event row is selected.
enum class DrawerPage
{
    NoEvents,
    Event
};
DrawerPage drawerPageFor(const OutlineRowMap& rows, const std::vector<int>& selectedRows);

// The rows pasted modules take, first to last, with the last module's
// events when it is expanded: the selection a paste of modules leaves.
struct RowSpan
{
    int first = 0;
    int last = 0;
    bool operator==(const RowSpan&) const = default;
};
RowSpan pastedModuleRows(const OutlineRowMap& rows, const ModuleList& modules,
                         std::size_t position, std::size_t count);

// The selected rows in the order the document stores them: last row first.
std::vector<int> selectedRowsForStoring(std::vector<int> selectedRows);

} // namespace vantrel
