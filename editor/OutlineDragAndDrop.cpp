// Dragging rows within a window and between windows: a drop always moves.

#include "editor/OutlineEditing.h"

#include "editor/Modules.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/Recovery.h"
#include "cp290/Verification.h"
#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DiskWatch.h"
#include "editor/DocumentHost.h"
#include "editor/HelperStatusWatcher.h"
#include "editor/DocumentManager.h"
#include "editor/EventEditor.h"
#include "editor/FileNames.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/OutlineDelegate.h"
#include "editor/OutlinePrinter.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "editor/ScheduleCount.h"
#include "editor/core/DragRules.h"
#include "schedule/HelperCopy.h"
#include "schedule/ModulesDocument.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include <sys/stat.h>
#include <unistd.h>


namespace vantrel {
namespace {

// A drag's references, in the order given: module indices, or event and
// module index pairs.
PropertyArray dragReferences(const std::vector<OutlineRow>& rows)
{
    PropertyArray list;
    list.reserve(rows.size());
    for (const OutlineRow& row : rows) {
        if (row.isModuleRow()) {
            list.emplace_back(static_cast<std::int64_t>(row.module));
            continue;
        }
        PropertyDictionary reference;
        reference.set("Event Index", static_cast<std::int64_t>(row.event));
        reference.set("Module Index", static_cast<std::int64_t>(row.module));
        list.emplace_back(std::move(reference));
    }
    return list;
}

// Drag data no window of ours made: each row is dragged once, and removing a
// row twice would take an undragged one with it.
template <typename T> bool namesARowTwice(std::vector<T> rows)
{
    std::sort(rows.begin(), rows.end());
    return std::adjacent_find(rows.begin(), rows.end()) != rows.end();
}

} // namespace

QMimeData* OutlineEditing::dragMimeData(const QModelIndexList& indexes)
{
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.column() == 0)
            rows.push_back(m_window.m_model->rowForIndex(index));
    rows = selectedRowsForStoring(std::move(rows)); // last row first
    m_window.m_dragCutCopyModules = m_window.m_dragCutCopyEvents = false;
    std::vector<OutlineRow> dragged;
    const OutlineRowMap& map = m_window.m_model->rowMap();
    for (int row : rows) {
        const auto found = map.rowAt(row);
        if (!found)
            continue;
        // Modules and events are never dragged together.
        if (found->isModuleRow() ? m_window.m_dragCutCopyEvents : m_window.m_dragCutCopyModules)
            return nullptr;
        (found->isModuleRow() ? m_window.m_dragCutCopyModules : m_window.m_dragCutCopyEvents) = true;
        dragged.push_back(*found);
    }
    if (dragged.empty())
        return nullptr;
    PropertyArray list = dragReferences(dragged);
    auto* data = new QMimeData;
    const std::string xml = propertyListToXml(PropertyValue(std::move(list)));
    data->setData(m_window.m_dragCutCopyModules ? ModulesDragMimeType : EventsDragMimeType,
                  QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    data->setData(DragSourceMimeType, QByteArray::number(static_cast<qint64>(getpid())) + ":" +
                                          QByteArray::number(m_window.m_dragId));
    m_window.m_draggingModules = m_window.m_dragCutCopyModules;
    return data;
}

bool OutlineEditing::handleDrop(const QMimeData* data, int row, const QModelIndex& parent, bool drop)
{
    if (!data || !m_window.m_manager)
        return false;
    // Only from a window of &m_window running program that is still open.
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
    PropertyValue plist;
    if (!propertyListFromXml(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), &plist) ||
        !plist.asArray() || plist.asArray()->empty())
        return false;
    const PropertyArray& list = *plist.asArray();

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
        std::vector<std::size_t> dragged;
        for (const PropertyValue& item : list) {
            const std::int64_t* index = item.asInteger();
            if (!index || *index < 0 || static_cast<std::size_t>(*index) >= sourceModules.size())
                return false; // the references no longer name its modules
            dragged.push_back(static_cast<std::size_t>(*index));
        }
        if (namesARowTwice(dragged))
            return false;
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
                from->saveEventData();
                from->forgetCurrentEvent();
                std::sort(dragged.begin(), dragged.end());
                ModuleList block;
                for (std::size_t index : dragged)
                    block.push_back(sourceModules[index]);
                for (auto index = dragged.rbegin(); index != dragged.rend(); ++index)
                    from->m_model->removeModule(*index);
                from->reloadAndFixExpanded();
                from->updateChangeCount();
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
    struct Reference
    {
        std::size_t module;
        std::size_t event;
    };
    std::vector<Reference> references; // bottom to top, as the list runs
    for (const PropertyValue& item : list) {
        const PropertyDictionary* record = item.asDictionary();
        const PropertyValue* eventValue = record ? record->find("Event Index") : nullptr;
        const PropertyValue* moduleValue = record ? record->find("Module Index") : nullptr;
        const std::int64_t* event = eventValue ? eventValue->asInteger() : nullptr;
        const std::int64_t* module = moduleValue ? moduleValue->asInteger() : nullptr;
        if (!event || !module || *module < 0 ||
            static_cast<std::size_t>(*module) >= sourceModules.size() || *event < 0 ||
            static_cast<std::size_t>(*event) >=
                sourceModules[static_cast<std::size_t>(*module)].events.size())
            return false;
        references.push_back({static_cast<std::size_t>(*module), static_cast<std::size_t>(*event)});
    }
    std::vector<std::pair<std::size_t, std::size_t>> named;
    for (const Reference& reference : references)
        named.emplace_back(reference.module, reference.event);
    if (namesARowTwice(std::move(named)))
        return false;
    if (!drop)
        return true;
    m_window.beginStructuralChange();
    if (from != &m_window) {
        from->saveEventData();
        from->forgetCurrentEvent();
    }
    const std::size_t k = *proposed.module;
    std::vector<EventData> block;
    for (auto reference = references.rbegin(); reference != references.rend(); ++reference)
        block.push_back(sourceModules[reference->module].events[reference->event]);
    std::vector<std::size_t> ownAbove;
    {
        QuietSelection quiet(m_window.m_quietSelection);
        // Removed from the highest indices down, so the others stay valid.
        std::vector<Reference> removal = references;
        std::sort(removal.begin(), removal.end(), [](const Reference& a, const Reference& b) {
            return a.module != b.module ? a.module > b.module : a.event > b.event;
        });
        for (const Reference& reference : removal) {
            if (from == &m_window && reference.module == k)
                ownAbove.push_back(reference.event);
            from->m_model->removeEvent(reference.module, reference.event);
        }
        const std::size_t position =
            std::min(blockPosition(*dropIndex, ownAbove), m_window.m_document.modules[k].events.size());
        for (std::size_t i = 0; i < block.size(); ++i)
            m_window.m_model->insertEvent(k, position + i, block[i]);
        if (from != &m_window) {
            from->reloadAndFixExpanded();
            from->updateChangeCount();
        }
        m_window.m_draggingModules = false;
        reloadAndFixExpanded();
        deselectAll();
        const int first = m_window.m_model->rowMap().rowForModule(k) + static_cast<int>(position) + 1;
        for (std::size_t i = 0; i < block.size(); ++i)
            selectRow(first + static_cast<int>(i), i > 0);
    }
    m_window.outlineViewSelectionDidChange();
    m_window.updateChangeCount();
    return true;
}

} // namespace vantrel
