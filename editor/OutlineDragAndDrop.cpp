// Dragging rows within a window and between windows: a drop always moves.

#include "editor/OutlineEditing.h"

#include "editor/Modules.h"

#include "editor/DocumentManager.h"
#include "editor/DocumentUndo.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "editor/core/DragData.h"
#include "editor/core/DragRules.h"
#include "schedule/ModulesDocument.h"

#include <QMimeData>
#include <algorithm>


namespace vantrel {

QMimeData* OutlineEditing::dragMimeData(const QModelIndexList& indexes)
{
    return m_window.m_model->mimeData(indexes);
}

bool OutlineEditing::handleDrop(const QMimeData* data, int row, const QModelIndex& parent,
                                bool drop)
{
    const UndoStep step(m_window, Modules::tr("Drag"));
    if (!data || !m_window.m_manager)
        return false;
    // Only from a window of this running program that is still open; the
    // source document is reached through the document manager alone.
    const QList<QByteArray> source = data->data(DragSourceMimeType).split(':');
    if (source.size() != 2 || source[0].toLongLong() != getpid())
        return false;
    Modules* from = m_window.m_manager->documentWithDragId(source[1].toULongLong());
    if (!from)
        return false;
    const bool modules = data->hasFormat(ModulesDragMimeType);
    if (!modules && !data->hasFormat(EventsDragMimeType))
        return false;
    const QByteArray bytes = data->data(modules ? ModulesDragMimeType : EventsDragMimeType);
    const std::string_view xml(bytes.constData(), static_cast<std::size_t>(bytes.size()));

    ProposedDrop proposed;
    proposed.childIndex = row;
    if (parent.isValid()) {
        proposed.module = ModulesOutlineModel::moduleOf(parent);
        proposed.onEventRow = ModulesOutlineModel::isEventIndex(parent);
        proposed.moduleExpanded =
            m_window.modulesOutline->isExpanded(m_window.m_model->moduleIndex(*proposed.module));
    }
    const ModuleList& sourceModules = from->document().modules;

    if (modules) {
        const auto read = readModuleDragList(xml, sourceModules);
        if (!read)
            return false;
        std::vector<std::size_t> dragged = *read;
        if (!drop)
            return true;
        m_window.beginStructuralChange();
        const std::size_t dropIndex = moduleDropIndex(proposed, m_window.m_document.modules.size());
        std::size_t position = 0;
        {
            QuietSelection quiet(m_window.m_quietSelection);
            if (from == &m_window) {
                ModuleList moved = m_window.m_document.modules;
                position = moveBlock(moved, dragged, dropIndex);
                m_window.m_model->replaceAll(std::move(moved));
            } else {
                from->beginDragRemoval();
                std::sort(dragged.begin(), dragged.end());
                ModuleList block;
                for (std::size_t index : dragged)
                    block.push_back(sourceModules[index]);
                from->removeDraggedModules(dragged);
                from->endDragRemoval();
                position = dropIndex;
                for (std::size_t i = 0; i < block.size(); ++i)
                    m_window.m_model->insertModule(position + i, block[i]);
            }
            m_window.m_draggingModules = false;
            reloadAndFixExpanded();
            deselectAll();
            const int first = m_window.m_model->rowMap().rowForModule(position);
            for (std::size_t i = 0; i < dragged.size(); ++i)
                selectRow(first + static_cast<int>(i), i > 0);
        }
        m_window.outlineViewSelectionDidChange();
        m_window.updateChangeCount();
        return true;
    }

    const auto dropIndex = eventDropIndex(proposed);
    if (!dropIndex)
        return false;
    const auto references = readEventDragList(xml, sourceModules); // bottom to top
    if (!references)
        return false;
    if (!drop)
        return true;
    m_window.beginStructuralChange();
    if (from != &m_window)
        from->beginDragRemoval();
    const std::size_t k = *proposed.module;
    std::vector<EventData> block;
    for (auto reference = references->rbegin(); reference != references->rend(); ++reference)
        block.push_back(
            sourceModules[reference->module].events[static_cast<std::size_t>(reference->event)]);
    const EventMovePlan plan = eventMovePlan(*references, from == &m_window, k, *dropIndex,
                                             m_window.m_document.modules[k].events.size());
    {
        QuietSelection quiet(m_window.m_quietSelection);
        // Removed from the highest indices down, so the others stay valid.
        from->removeDraggedEvents(plan.removal);
        const std::size_t position = plan.position;
        for (std::size_t i = 0; i < block.size(); ++i)
            m_window.m_model->insertEvent(k, position + i, block[i]);
        if (from != &m_window)
            from->endDragRemoval();
        m_window.m_draggingModules = false;
        reloadAndFixExpanded();
        deselectAll();
        const int first =
            m_window.m_model->rowMap().rowForModule(k) + static_cast<int>(position) + 1;
        for (std::size_t i = 0; i < block.size(); ++i)
            selectRow(first + static_cast<int>(i), i > 0);
    }
    m_window.outlineViewSelectionDidChange();
    m_window.updateChangeCount();
    return true;
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
