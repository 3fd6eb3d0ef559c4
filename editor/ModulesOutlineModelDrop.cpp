// Drops into the outline: the model reads the drag data, plans the move and
// changes its own list; rows from another window leave that window's list
// through the window's public drag-removal commands.

#include "editor/ModulesOutlineModel.h"

#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/PasteboardTypes.h"
#include "editor/core/DragData.h"
#include "editor/core/DragRules.h"

#include <QMimeData>

#include <algorithm>

#include <unistd.h>

namespace vantrel {

std::optional<ModulesOutlineModel::PlannedDrop>
ModulesOutlineModel::planDrop(const QMimeData* data, int row, const QModelIndex& parent) const
{
    if (!data || !m_manager || !m_dropHost)
        return std::nullopt;
    // Only from a window of this running program that is still open.
    const QList<QByteArray> source = data->data(DragSourceMimeType).split(':');
    if (source.size() != 2 || source[0].toLongLong() != getpid())
        return std::nullopt;
    PlannedDrop plan;
    plan.from = m_manager->documentWithDragId(source[1].toULongLong());
    if (!plan.from)
        return std::nullopt;
    plan.modules = data->hasFormat(ModulesDragMimeType);
    if (!plan.modules && !data->hasFormat(EventsDragMimeType))
        return std::nullopt;
    const QByteArray bytes = data->data(plan.modules ? ModulesDragMimeType : EventsDragMimeType);
    const std::string_view xml(bytes.constData(), static_cast<std::size_t>(bytes.size()));

    ProposedDrop proposed;
    proposed.childIndex = row;
    if (parent.isValid()) {
        proposed.module = moduleOf(parent);
        proposed.onEventRow = isEventIndex(parent);
        proposed.moduleExpanded = m_dropHost->isModuleExpanded(*proposed.module);
    }
    const ModuleList& sourceModules = plan.from->document().modules;
    if (plan.modules) {
        auto read = readModuleDragList(xml, sourceModules);
        if (!read)
            return std::nullopt;
        plan.draggedModules = std::move(*read);
        plan.dropIndex = moduleDropIndex(proposed, m_modules->size());
        return plan;
    }
    const auto dropIndex = eventDropIndex(proposed);
    if (!dropIndex)
        return std::nullopt;
    auto read = readEventDragList(xml, sourceModules);
    if (!read)
        return std::nullopt;
    plan.draggedEvents = std::move(*read);
    plan.target = *proposed.module;
    plan.dropIndex = *dropIndex;
    return plan;
}

DroppedRows ModulesOutlineModel::moveModules(PlannedDrop plan)
{
    DroppedRows dropped;
    dropped.count = plan.draggedModules.size();
    if (plan.from->model() == this) {
        ModuleList moved = *m_modules;
        dropped.module = moveBlock(moved, plan.draggedModules, plan.dropIndex);
        replaceAll(std::move(moved));
        return dropped;
    }
    plan.from->beginDragRemoval();
    std::vector<std::size_t>& dragged = plan.draggedModules;
    std::sort(dragged.begin(), dragged.end());
    ModuleList block;
    for (std::size_t index : dragged)
        block.push_back(plan.from->document().modules[index]);
    plan.from->removeDraggedModules(dragged);
    plan.from->endDragRemoval();
    dropped.module = plan.dropIndex;
    for (std::size_t i = 0; i < block.size(); ++i)
        insertModule(dropped.module + i, block[i]);
    return dropped;
}

DroppedRows ModulesOutlineModel::moveEvents(const PlannedDrop& plan)
{
    const bool sameDocument = plan.from->model() == this;
    if (!sameDocument)
        plan.from->beginDragRemoval();
    const ModuleList& sourceModules = plan.from->document().modules;
    std::vector<EventData> block;
    for (auto reference = plan.draggedEvents.rbegin(); reference != plan.draggedEvents.rend();
         ++reference)
        block.push_back(
            sourceModules[reference->module].events[static_cast<std::size_t>(reference->event)]);
    const EventMovePlan move =
        eventMovePlan(plan.draggedEvents, sameDocument, plan.target, plan.dropIndex,
                      (*m_modules)[plan.target].events.size());
    // Removed from the highest indices down, so the others stay valid.
    if (sameDocument) {
        for (const OutlineRow& reference : move.removal)
            removeEvent(reference.module, static_cast<std::size_t>(reference.event));
    } else {
        plan.from->removeDraggedEvents(move.removal);
    }
    for (std::size_t i = 0; i < block.size(); ++i)
        insertEvent(plan.target, move.position + i, block[i]);
    if (!sameDocument)
        plan.from->endDragRemoval();
    return {plan.target, move.position, block.size()};
}

} // namespace vantrel
