#pragma once

// The outline commands of a document window: the selection of rows, New
// Module, New Event, Delete, Edit, Expand and Collapse All, the clipboard,
// and dragging rows within and between windows. The window's widgets and
// its document stay with the window; these commands work on them.

#include "editor/ModulesOutlineModel.h"
#include "editor/core/OutlineCommands.h"
#include "schedule/Module.h"

#include <QModelIndexList>

#include <vector>

class QMimeData;

namespace vantrel {

class Modules;

// Selection changes that a command makes and reports itself.
class QuietSelection
{
  public:
    explicit QuietSelection(int& counter) : m_counter(counter) { ++m_counter; }
    ~QuietSelection() { --m_counter; }
    QuietSelection(const QuietSelection&) = delete;
    QuietSelection& operator=(const QuietSelection&) = delete;

  private:
    int& m_counter;
};

class OutlineEditing : public OutlineDropHost
{
  public:
    explicit OutlineEditing(Modules& window) : m_window(window) {}

    // The selected rows, last row first, and their expansion.
    std::vector<int> selectedRows() const;
    void selectRow(int row, bool extend);
    void deselectAll();
    void selectAll();
    void fixExpanded();
    void reloadAndFixExpanded();
    void setDrawerRowsExpanded();
    void outlineExpanded(const QModelIndex& index);
    void outlineCollapsed(const QModelIndex& index);

    // copyValid: which rows Cut, Copy and a drag take.
    CopyValidity copyValid();
    CopyValidity copyValidFor(const std::vector<int>& selectedRows);

    // The commands.
    void startEditingRow(int row);
    void newModule();
    void insertModule(Module module);
    void newEvent();
    void insertEvent(const EventData& event);
    void deleteRows();
    void edit();
    void endEdit();
    void expandAll();
    void collapseAll();

    // The clipboard: complete copies of the selected block.
    void copy();
    void cut();
    void paste();

    // Dragging (OutlineDragAndDrop.cpp): a drop always moves. The model
    // moves the rows; the window's part is the command around it.
    QMimeData* dragMimeData(const QModelIndexList& indexes);
    bool isModuleExpanded(std::size_t module) const override;
    void runDrop(const std::function<DroppedRows()>& change) override;

  private:
    void commitBeforeCommand();

    Modules& m_window;
};

} // namespace vantrel
