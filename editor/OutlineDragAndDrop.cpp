// Dragging rows within a window and between windows: a drop always moves.
// The outline model plans and makes the move; the window ends edits around
// it, makes it one undo step and selects the dropped rows.

#include "editor/OutlineEditing.h"

#include "editor/Modules.h"

#include "editor/DocumentUndo.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/RkNSOutlineView.h"

namespace vantrel {

QMimeData* OutlineEditing::dragMimeData(const QModelIndexList& indexes)
{
    return m_window.m_model->mimeData(indexes);
}

bool OutlineEditing::isModuleExpanded(std::size_t module) const
{
    return m_window.modulesOutline->isExpanded(m_window.m_model->moduleIndex(module));
}

void OutlineEditing::runDrop(const std::function<DroppedRows()>& change)
{
    commitBeforeCommand();
    // One undo step, also over the source window of a drop between two.
    const UndoStep step(m_window, Modules::tr("Drag"));
    m_window.beginStructuralChange();
    {
        QuietSelection quiet(m_window.m_quietSelection);
        const DroppedRows dropped = change();
        m_window.m_draggingModules = false;
        reloadAndFixExpanded();
        deselectAll();
        const OutlineRowMap& rows = m_window.m_model->rowMap();
        for (std::size_t i = 0; i < dropped.count; ++i) {
            // Dropped events are rows in a run; dropped modules are not when
            // one of them shows its events.
            const int row = dropped.firstEvent
                                ? rows.rowForModule(dropped.module) +
                                      static_cast<int>(*dropped.firstEvent + i) + 1
                                : rows.rowForModule(dropped.module + i);
            selectRow(row, i > 0);
        }
    }
    m_window.outlineViewSelectionDidChange();
    m_window.updateChangeCount();
}

bool Modules::handleDrop(const QMimeData* mime, int row, const QModelIndex& parent, bool drop)
{
    return drop ? m_model->dropMimeData(mime, Qt::MoveAction, row, 0, parent)
                : m_model->canDropMimeData(mime, Qt::MoveAction, row, 0, parent);
}

void Modules::beginDragRemoval()
{
    saveEventData();
    forgetCurrentEvent();
}

void Modules::removeDraggedModules(const std::vector<std::size_t>& ascending)
{
    for (auto index = ascending.rbegin(); index != ascending.rend(); ++index)
        m_model->removeModule(*index);
}

void Modules::removeDraggedEvents(const std::vector<OutlineRow>& highestFirst)
{
    for (const OutlineRow& reference : highestFirst)
        m_model->removeEvent(reference.module, static_cast<std::size_t>(reference.event));
}

void Modules::endDragRemoval()
{
    reloadAndFixExpanded();
    updateChangeCount();
}

} // namespace vantrel
