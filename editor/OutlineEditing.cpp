#include "editor/OutlineEditing.h"

#include "editor/Modules.h"

#include "editor/DocumentUndo.h"
#include "editor/EventEditor.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "schedule/ModulesDocument.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <algorithm>
#include <numeric>

namespace vantrel {

namespace {

// Whole-row ranges for outline rows in ascending order, as few as the rows
// allow: module rows that follow each other in the list form one range
// however many event rows the outline shows between them, and the events of
// a module one more. Module ranges come first: the header asks whether each
// column is selected by walking the ranges for every module row, and the
// view finds each range's rows from where it found the last one's.
QItemSelection selectionForRows(const ModulesOutlineModel& model, const std::vector<int>& rows)
{
    // A run of rows under one parent, made a range when it ends.
    struct Run
    {
        QModelIndex top;
        QModelIndex bottom;
        QItemSelection ranges;

        void add(const QModelIndex& index)
        {
            if (bottom.isValid() && index.row() == bottom.row() + 1 &&
                index.parent() == bottom.parent()) {
                bottom = index;
                return;
            }
            close();
            top = bottom = index;
        }
        void close()
        {
            if (top.isValid())
                ranges.append(QItemSelectionRange(
                    top, bottom.siblingAtColumn(ModulesOutlineModel::ColumnCount - 1)));
            top = bottom = {};
        }
    };
    Run modules;
    Run events;
    for (int row : rows) {
        const QModelIndex index = model.indexForRow(row);
        if (index.isValid())
            (ModulesOutlineModel::isEventIndex(index) ? events : modules).add(index);
    }
    modules.close();
    events.close();
    modules.ranges.append(events.ranges);
    return modules.ranges;
}

// Alt with a triangle or an arrow key expands or collapses every module.
// Window managers often keep Alt+click for moving windows, so Ctrl does too.
bool expandsEveryModule(Qt::KeyboardModifiers modifiers)
{
    return modifiers.testAnyFlags(Qt::AltModifier | Qt::ControlModifier);
}

} // namespace

std::vector<int> OutlineEditing::selectedRows() const
{
    // Read off the selection's ranges: the selection model's own
    // selectedRows() asks isRowSelected() for every row, and that walks every
    // range each time, which after Select All is one or two per module.
    const QItemSelectionModel* selection = m_window.modulesOutline->selectionModel();
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selection->selection()) {
        const QModelIndex parent = range.parent();
        const bool wholeRows =
            range.left() == 0 && range.right() == ModulesOutlineModel::ColumnCount - 1;
        for (int at = range.top(); at <= range.bottom(); ++at) {
            // A row selected cell by cell across ranges: rare, so asked for.
            if (!wholeRows && !selection->isRowSelected(at, parent))
                continue;
            const int row = m_window.m_model->rowForIndex(m_window.m_model->index(at, 0, parent));
            if (row >= 0)
                rows.push_back(row);
        }
    }
    return selectedRowsForStoring(std::move(rows));
}

void OutlineEditing::selectRow(int row, bool extend)
{
    const QModelIndex index = m_window.m_model->indexForRow(row);
    if (!index.isValid())
        return;
    auto* selection = m_window.modulesOutline->selectionModel();
    const auto flags =
        (extend ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
        QItemSelectionModel::Rows;
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    selection->select(index, flags);
}

void OutlineEditing::deselectAll()
{
    m_window.modulesOutline->selectionModel()->clearSelection();
}

void OutlineEditing::selectAll()
{
    std::vector<int> rows(static_cast<std::size_t>(m_window.m_model->rowMap().rowCount()));
    std::iota(rows.begin(), rows.end(), 0);
    {
        QuietSelection quiet(m_window.m_quietSelection);
        m_window.modulesOutline->selectionModel()->select(selectionForRows(*m_window.m_model, rows),
                                                          QItemSelectionModel::ClearAndSelect);
    }
    m_window.outlineViewSelectionDidChange();
}

void OutlineEditing::fixExpanded()
{
    for (std::size_t module = m_window.m_document.modules.size(); module-- > 0;) {
        const QModelIndex index = m_window.m_model->moduleIndex(module);
        const bool expanded = m_window.m_document.modules[module].expanded;
        if (m_window.modulesOutline->isExpanded(index) != expanded)
            m_window.modulesOutline->setExpanded(index, expanded);
    }
}

void OutlineEditing::reloadAndFixExpanded()
{
    // The model has already told the view what changed; what is left of a
    // reload is to repaint and to bring every row's expansion in line.
    fixExpanded();
    m_window.modulesOutline->viewport()->update();
}

void OutlineEditing::setDrawerRowsExpanded()
{
    if (m_window.m_document.drawerOpen) {
        m_window.m_document.drawerOpen = false;
        QTimer::singleShot(0, &m_window, [this] {
            if (!m_window.isDrawerOpen())
                m_window.showHideEvents();
        });
    }
    reloadAndFixExpanded();
    const std::vector<std::int64_t> rows = std::move(m_window.m_document.selectedRows);
    m_window.m_document.selectedRows.clear();
    if (rows.empty()) {
        deselectAll();
        m_window.outlineViewSelectionDidChange();
        return;
    }
    // The current row is the last one stored, as when the rows were
    // selected one by one.
    std::vector<int> valid;
    valid.reserve(rows.size());
    int current = -1;
    for (std::int64_t row : rows) {
        if (row < 0 || row >= m_window.m_model->rowMap().rowCount())
            continue;
        valid.push_back(static_cast<int>(row));
        current = valid.back();
    }
    if (valid.empty()) {
        m_window.outlineViewSelectionDidChange();
        return;
    }
    std::sort(valid.begin(), valid.end());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    {
        QuietSelection quiet(m_window.m_quietSelection);
        auto* selection = m_window.modulesOutline->selectionModel();
        selection->setCurrentIndex(m_window.m_model->indexForRow(current),
                                   QItemSelectionModel::NoUpdate);
        selection->select(selectionForRows(*m_window.m_model, valid),
                          QItemSelectionModel::ClearAndSelect);
    }
    m_window.outlineViewSelectionDidChange();
}

void OutlineEditing::outlineExpanded(const QModelIndex& index)
{
    if (ModulesOutlineModel::isEventIndex(index))
        return;
    const std::size_t module = ModulesOutlineModel::moduleOf(index);
    if (m_window.m_draggingModules) {
        m_window.modulesOutline->setExpanded(index, false);
        return;
    }
    m_window.m_model->setExpanded(module, true);
    if (!m_window.m_expandingAll &&
        expandsEveryModule(m_window.modulesOutline->userInputModifiers()))
        expandAll();
}

void OutlineEditing::outlineCollapsed(const QModelIndex& index)
{
    if (ModulesOutlineModel::isEventIndex(index))
        return;
    const std::size_t module = ModulesOutlineModel::moduleOf(index);
    m_window.m_model->setExpanded(module, false);
    // Hidden event rows do not stay selected.
    auto* selection = m_window.modulesOutline->selectionModel();
    const int events = m_window.m_model->rowCount(index);
    if (events > 0 && selection->hasSelection()) {
        const QItemSelection hidden(
            m_window.m_model->index(0, 0, index),
            m_window.m_model->index(events - 1, ModulesOutlineModel::ColumnCount - 1, index));
        selection->select(hidden, QItemSelectionModel::Deselect);
    }
    if (!m_window.m_collapsingAll &&
        expandsEveryModule(m_window.modulesOutline->userInputModifiers()))
        collapseAll();
}

CopyValidity OutlineEditing::copyValid()
{
    return copyValidFor(selectedRows());
}

CopyValidity OutlineEditing::copyValidFor(const std::vector<int>& selectedRows)
{
    const OutlineRowMap& rows = m_window.m_model->rowMap();
    std::vector<bool> selected(static_cast<std::size_t>(rows.rowCount()), false);
    for (int row : selectedRows)
        selected[static_cast<std::size_t>(row)] = true;
    const CopyValidity validity = vantrel::copyValid(rows, selected);
    m_window.m_dragCutCopyModules = validity.modules;
    m_window.m_dragCutCopyEvents = validity.events;
    return validity;
}

void OutlineEditing::startEditingRow(int row)
{
    if (!m_window.isVisible()) {
        m_window.m_editOnShow = true;
        return;
    }
    m_window.modulesOutline->setFocus();
    m_window.modulesOutline->editCell(
        m_window.m_model->indexForRow(row, ModulesOutlineModel::NameColumn));
}

void OutlineEditing::commitBeforeCommand()
{
    // What is still being typed becomes a step of its own first, so that
    // undoing the command does not take the typing back with it.
    m_window.commitEditing();
}

void OutlineEditing::newModule()
{
    insertModule(Module{});
    const auto rows = selectedRows();
    if (rows.size() == 1)
        startEditingRow(rows.front());
}

void OutlineEditing::insertModule(Module module)
{
    const bool editing = m_window.modulesOutline->editedIndex().isValid();
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("New Module"));
    const std::vector<int> rows = selectedRows();
    const ModuleInsertion insertion = moduleInsertionFor(m_window.m_model->rowMap(), rows, editing);

    m_window.beginStructuralChange();
    {
        QuietSelection quiet(m_window.m_quietSelection);
        m_window.m_model->insertModule(insertion.position, std::move(module));
        reloadAndFixExpanded();
        if (insertion.placement == ModulePlacement::BeforeSelectedModule)
            selectRow(rows.front(), false); // the row now shows the new module
    }
    switch (insertion.placement) {
    case ModulePlacement::AtEnd:
        selectRow(m_window.m_model->rowMap().rowForModule(m_window.m_document.modules.size() - 1),
                  false);
        break;
    case ModulePlacement::AfterEditedModule:
        selectRow(m_window.m_model->rowMap().rowForModule(insertion.position), false);
        break;
    case ModulePlacement::BeforeSelectedModule:
        // The quiet re-selection left the switching controls on the old module.
        m_window.outlineViewSelectionDidChange();
        break;
    }
    m_window.updateChangeCount();
}

void OutlineEditing::newEvent()
{
    if (selectedRows().size() != 1)
        return;
    insertEvent(eventToData(m_window.m_defaultEvent));
    m_window.modulesOutline->setFocus();
}

void OutlineEditing::insertEvent(const EventData& event)
{
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("New Event"));
    const std::vector<int> rows = selectedRows();
    if (rows.size() != 1)
        return;
    m_window.beginStructuralChange();
    const EventInsertion insertion =
        eventInsertionFor(m_window.m_model->rowMap(), m_window.m_document.modules, rows.front());
    {
        QuietSelection quiet(m_window.m_quietSelection);
        m_window.m_model->insertEvent(insertion.module, insertion.position, event);
        reloadAndFixExpanded();
        m_window.modulesOutline->setExpanded(m_window.m_model->moduleIndex(insertion.module), true);
    }
    selectRow(insertion.newRow(), false);
    m_window.modulesOutline->scrollTo(m_window.m_model->indexForRow(insertion.newRow()));
    m_window.m_currentModuleIndex = static_cast<int>(insertion.module);
    m_window.m_currentEventIndex = static_cast<int>(insertion.position);
    m_window.loadEventData();
    m_window.updateChangeCount();
}

void OutlineEditing::deleteRows()
{
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("Delete"));
    m_window.modulesOutline->endEditing();
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    const std::vector<OutlineRow> order = deletionOrder(m_window.m_model->rowMap(), rows);
    m_window.saveEventData();
    m_window.forgetCurrentEvent();
    {
        QuietSelection quiet(m_window.m_quietSelection);
        for (const OutlineRow& row : order) {
            if (row.isModuleRow()) {
                m_window.m_model->removeModule(row.module);
            } else {
                m_window.m_model->removeEvent(row.module, static_cast<std::size_t>(row.event));
                m_window.m_currentEventIndex = -1;
            }
        }
        reloadAndFixExpanded();
        deselectAll();
        // The row that took the first deleted row's place, so that Delete can
        // be pressed again.
        const int next = std::min(rows.back(), m_window.m_model->rowMap().rowCount() - 1);
        if (next >= 0)
            selectRow(next, false);
    }
    m_window.outlineViewSelectionDidChange();
    m_window.updateChangeCount();
}

void OutlineEditing::edit()
{
    const auto rows = selectedRows();
    if (rows.size() != 1)
        return;
    startEditingRow(rows.front());
}

void OutlineEditing::endEdit()
{
    m_window.modulesOutline->reallyEndEditing();
    m_window.modulesOutline->endEditing();
    m_window.modulesOutline->setFocus();
}

void OutlineEditing::expandAll()
{
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("Expand All"));
    m_window.m_model->setAllExpanded(true);
    m_window.m_expandingAll = true;
    m_window.modulesOutline->expandAll();
    reloadAndFixExpanded();
    m_window.m_expandingAll = false;
    m_window.updateChangeCount();
}

void OutlineEditing::collapseAll()
{
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("Collapse All"));
    m_window.m_model->setAllExpanded(false);
    m_window.m_collapsingAll = true;
    {
        QuietSelection quiet(m_window.m_quietSelection);
        // Event rows go out of sight; so does their selection.
        QItemSelection keep;
        for (const QModelIndex& index : m_window.modulesOutline->selectionModel()->selectedRows())
            if (!ModulesOutlineModel::isEventIndex(index))
                keep.select(index, index.siblingAtColumn(ModulesOutlineModel::ColumnCount - 1));
        m_window.modulesOutline->collapseAll();
        reloadAndFixExpanded();
        m_window.modulesOutline->selectionModel()->select(keep,
                                                          QItemSelectionModel::ClearAndSelect);
    }
    m_window.m_collapsingAll = false;
    m_window.outlineViewSelectionDidChange();
    m_window.updateChangeCount();
}

void OutlineEditing::copy()
{
    const std::vector<int> rows = selectedRows(); // last row first
    const CopyValidity validity = copyValidFor(rows);
    if (rows.empty() || !validity.valid)
        return;
    const OutlineRowMap& map = m_window.m_model->rowMap();
    if (validity.modules) {
        ModuleList modules;
        for (int row : rows)
            if (auto found = map.rowAt(row); found && found->isModuleRow())
                modules.push_back(m_window.m_document.modules[found->module]);
        QApplication::clipboard()->setMimeData(modulesMimeData(modules));
    } else {
        std::vector<EventData> events;
        for (int row : rows)
            if (auto found = map.rowAt(row); found && !found->isModuleRow())
                events.push_back(m_window.m_document.modules[found->module]
                                     .events[static_cast<std::size_t>(found->event)]);
        QApplication::clipboard()->setMimeData(eventsMimeData(events));
    }
}

void OutlineEditing::cut()
{
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("Cut"));
    const std::vector<int> rows = selectedRows();
    if (rows.empty() || !copyValidFor(rows).valid)
        return;
    copy();
    deleteRows();
}

void OutlineEditing::paste()
{
    const bool editing = m_window.modulesOutline->editedIndex().isValid();
    commitBeforeCommand();
    const UndoStep step(m_window, Modules::tr("Paste"));
    const auto items = readPastedItems(QApplication::clipboard()->mimeData());
    const std::vector<int> rows = selectedRows();
    if (!items || !pasteEnabled(items->isModules, !items->isModules, rows.size()))
        return;
    if (!items->isModules) {
        {
            // Each insertion selects its event; the controls follow the last.
            QuietSelection quiet(m_window.m_quietSelection);
            for (const EventData& event : items->events)
                insertEvent(event);
        }
        m_window.outlineViewSelectionDidChange();
        if (const auto now = selectedRows(); !now.empty())
            m_window.modulesOutline->scrollTo(m_window.m_model->indexForRow(now.front()));
        return;
    }
    const ModuleInsertion insertion = moduleInsertionFor(m_window.m_model->rowMap(), rows, editing);
    m_window.beginStructuralChange();
    {
        QuietSelection quiet(m_window.m_quietSelection);
        // The list runs bottom to top, as copy() makes it.
        const std::size_t count = items->modules.size();
        m_window.m_model->insertModules(insertion.position,
                                        ModuleList(items->modules.rbegin(), items->modules.rend()));
        reloadAndFixExpanded();
        deselectAll();
        const RowSpan span = pastedModuleRows(
            m_window.m_model->rowMap(), m_window.m_document.modules, insertion.position, count);
        const int first = span.first;
        const int end = span.last;
        std::vector<int> pasted(static_cast<std::size_t>(end - first + 1));
        std::iota(pasted.begin(), pasted.end(), first);
        auto* selection = m_window.modulesOutline->selectionModel();
        selection->setCurrentIndex(m_window.m_model->indexForRow(end),
                                   QItemSelectionModel::NoUpdate);
        selection->select(selectionForRows(*m_window.m_model, pasted),
                          QItemSelectionModel::ClearAndSelect);
        m_window.modulesOutline->scrollTo(m_window.m_model->indexForRow(end));
    }
    m_window.outlineViewSelectionDidChange();
    m_window.updateChangeCount();
}

} // namespace vantrel
