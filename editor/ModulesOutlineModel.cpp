#include "editor/ModulesOutlineModel.h"

#include "editor/PasteboardTypes.h"
#include "editor/core/DragData.h"
#include "editor/core/OutlineCommands.h"
#include "schedule/EventSummary.h"
#include "schedule/EventTextParser.h"
#include "schedule/FieldFormatters.h"

#include <iterator>

#include <QMimeData>

#include <unistd.h>

namespace vantrel {
namespace {

// Event rows keep their module in the internal id, offset by one so that 0
// stays free for the top level.
constexpr quintptr TopLevelId = 0;

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

const char* ModulesOutlineModel::identifier(int column)
{
    switch (column) {
    case NameColumn:
        return ModuleNameKey;
    case HouseCodeColumn:
        return ModuleHouseCodeKey;
    case UnitColumn:
        return ModuleUnitKey;
    case TypeColumn:
        return ModuleTypeKey;
    default:
        return "";
    }
}

ModulesOutlineModel::ModulesOutlineModel(ModuleList* modules, QObject* parent)
    : QAbstractItemModel(parent), m_modules(modules)
{}

QModelIndex ModulesOutlineModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid()) {
        if (static_cast<std::size_t>(row) >= m_modules->size())
            return {};
        return createIndex(row, column, TopLevelId);
    }
    if (isEventIndex(parent) || static_cast<std::size_t>(parent.row()) >= m_modules->size())
        return {};
    const auto module = static_cast<std::size_t>(parent.row());
    if (static_cast<std::size_t>(row) >= (*m_modules)[module].events.size())
        return {};
    return createIndex(row, column, static_cast<quintptr>(module + 1));
}

QModelIndex ModulesOutlineModel::parent(const QModelIndex& child) const
{
    if (!isEventIndex(child))
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, TopLevelId);
}

int ModulesOutlineModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_modules->size());
    if (parent.column() != 0 || isEventIndex(parent))
        return 0;
    const auto module = static_cast<std::size_t>(parent.row());
    return module < m_modules->size() ? static_cast<int>((*m_modules)[module].events.size()) : 0;
}

int ModulesOutlineModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool ModulesOutlineModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return !m_modules->empty();
    return parent.column() == 0 && !isEventIndex(parent);
}

QVariant ModulesOutlineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() ||
        (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole))
        return {};
    const std::size_t moduleNumber = moduleOf(index);
    if (moduleNumber >= m_modules->size())
        return {};
    const Module& module = (*m_modules)[moduleNumber];
    if (isEventIndex(index)) {
        const auto row = static_cast<std::size_t>(index.row());
        if (index.column() != NameColumn || row >= module.events.size())
            return QString();
        const auto event = eventFromData(module.events[row]);
        return event ? qs(eventSummary(*event)) : QString();
    }
    if (role == Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return qs(module.name);
    case HouseCodeColumn:
        return qs(houseCodeText(module.houseCode));
    case UnitColumn:
        return qs(moduleNumberText(module.unit));
    case TypeColumn:
        return qs(moduleTypeText(module.type));
    default:
        return {};
    }
}

bool ModulesOutlineModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const std::size_t module = moduleOf(index);
    if (module >= m_modules->size())
        return false;
    const std::string text = value.toString().toStdString();

    if (isEventIndex(index)) {
        const auto event = static_cast<std::size_t>(index.row());
        // An index kept from before its module moved may name no event now.
        if (index.column() != NameColumn || event >= (*m_modules)[module].events.size())
            return false;
        auto record = eventFromData((*m_modules)[module].events[event]);
        if (!record)
            return false;
        parseEventText(text, *record);
        const EventData edited = eventToData(*record);
        // A commit that changes nothing (focus taken by a sheet, a menu
        // closed with Escape) leaves the document as it was.
        if (edited == (*m_modules)[module].events[event])
            return true;
        replaceEvent(module, event, edited);
        emit eventTextCommitted(module, event);
        return true;
    }

    const auto column = moduleColumnForIdentifier(identifier(index.column()));
    if (!column)
        return false;
    ModuleCellValue cell;
    switch (*column) {
    case ModuleColumn::HouseCode:
        cell = houseCodeFromText(text);
        break;
    case ModuleColumn::Unit: {
        const auto unit = moduleNumberFromText(text);
        if (!unit)
            return false;
        cell = *unit;
        break;
    }
    case ModuleColumn::Type:
        cell = moduleTypeFromText(text);
        break;
    case ModuleColumn::Name:
        cell = text;
        break;
    }
    const Module before = (*m_modules)[module];
    const ModuleCellChange change = setModuleCellValue(*m_modules, module, *column, cell);
    if ((*m_modules)[module] == before)
        return true;
    moduleDataChanged(module);
    emit moduleCellCommitted(module, change);
    return true;
}

Qt::ItemFlags ModulesOutlineModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (isEventIndex(index)) {
        flags |= Qt::ItemNeverHasChildren;
        if (index.column() == NameColumn)
            flags |= Qt::ItemIsEditable;
        return flags;
    }
    return flags | Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
}

QStringList ModulesOutlineModel::mimeTypes() const
{
    return {ModulesDragMimeType, EventsDragMimeType};
}

QMimeData* ModulesOutlineModel::mimeData(const QModelIndexList& indexes) const
{
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.column() == 0)
            rows.push_back(rowForIndex(index));
    rows = selectedRowsForStoring(std::move(rows)); // last row first
    const DraggedRows dragged = draggedRows(rowMap(), rows);
    // The window keeps what is dragged for its Edit menu and its expansion.
    emit const_cast<ModulesOutlineModel*>(this)->dragStarted(dragged.modules, dragged.events,
                                                             dragged.valid);
    if (!dragged.valid)
        return nullptr;
    auto* data = new QMimeData;
    const std::string xml = dragListXml(dragged.rows);
    data->setData(dragged.modules ? ModulesDragMimeType : EventsDragMimeType,
                  QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    data->setData(DragSourceMimeType, QByteArray::number(static_cast<qint64>(getpid())) + ":" +
                                          QByteArray::number(m_dragId));
    return data;
}

bool ModulesOutlineModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                          int, const QModelIndex& parent) const
{
    return action == Qt::MoveAction && planDrop(data, row, parent).has_value();
}

bool ModulesOutlineModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                       const QModelIndex& parent)
{
    if (action != Qt::MoveAction)
        return false;
    auto plan = planDrop(data, row, parent);
    if (!plan)
        return false;
    m_dropHost->runDrop([this, &plan] {
        return plan->modules ? moveModules(std::move(*plan)) : moveEvents(*plan);
    });
    return true;
}

QVariant ModulesOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Description");
    case HouseCodeColumn:
        return tr("House Code");
    case UnitColumn:
        return tr("Unit");
    case TypeColumn:
        return tr("Type");
    default:
        return {};
    }
}

QModelIndex ModulesOutlineModel::moduleIndex(std::size_t module, int column) const
{
    return index(static_cast<int>(module), column);
}

QModelIndex ModulesOutlineModel::eventIndex(std::size_t module, std::size_t event, int column) const
{
    return index(static_cast<int>(event), column, moduleIndex(module));
}

bool ModulesOutlineModel::isEventIndex(const QModelIndex& index)
{
    return index.isValid() && index.internalId() != TopLevelId;
}

std::size_t ModulesOutlineModel::moduleOf(const QModelIndex& index)
{
    if (isEventIndex(index))
        return static_cast<std::size_t>(index.internalId() - 1);
    return static_cast<std::size_t>(index.row());
}

const OutlineRowMap& ModulesOutlineModel::rowMap() const
{
    if (m_rowMapStale) {
        m_rowMap = OutlineRowMap(*m_modules);
        m_rowMapStale = false;
    }
    return m_rowMap;
}

QModelIndex ModulesOutlineModel::indexForRow(int row, int column) const
{
    const auto found = rowMap().rowAt(row);
    if (!found)
        return {};
    if (found->isModuleRow())
        return moduleIndex(found->module, column);
    return eventIndex(found->module, static_cast<std::size_t>(found->event), column);
}

int ModulesOutlineModel::rowForIndex(const QModelIndex& index) const
{
    if (!index.isValid())
        return -1;
    if (isEventIndex(index))
        return rowMap().rowForEvent(moduleOf(index), static_cast<std::size_t>(index.row()));
    return rowMap().rowForModule(moduleOf(index));
}

void ModulesOutlineModel::insertModule(std::size_t position, Module module)
{
    position = std::min(position, m_modules->size());
    beginInsertRows({}, static_cast<int>(position), static_cast<int>(position));
    m_modules->insert(m_modules->begin() + static_cast<std::ptrdiff_t>(position),
                      std::move(module));
    structureChanged();
    endInsertRows();
}

void ModulesOutlineModel::insertModules(std::size_t position, ModuleList modules)
{
    if (modules.empty())
        return;
    position = std::min(position, m_modules->size());
    beginInsertRows({}, static_cast<int>(position),
                    static_cast<int>(position + modules.size() - 1));
    m_modules->insert(m_modules->begin() + static_cast<std::ptrdiff_t>(position),
                      std::make_move_iterator(modules.begin()),
                      std::make_move_iterator(modules.end()));
    structureChanged();
    endInsertRows();
}

void ModulesOutlineModel::removeModule(std::size_t module)
{
    if (module >= m_modules->size())
        return;
    beginRemoveRows({}, static_cast<int>(module), static_cast<int>(module));
    m_modules->erase(m_modules->begin() + static_cast<std::ptrdiff_t>(module));
    structureChanged();
    endRemoveRows();
}

void ModulesOutlineModel::insertEvent(std::size_t module, std::size_t position,
                                      const EventData& event)
{
    if (module >= m_modules->size())
        return;
    // A changed copy replaces the module, as every command does.
    Module changed = (*m_modules)[module];
    position = std::min(position, changed.events.size());
    changed.events.insert(changed.events.begin() + static_cast<std::ptrdiff_t>(position), event);
    beginInsertRows(moduleIndex(module), static_cast<int>(position), static_cast<int>(position));
    (*m_modules)[module] = std::move(changed);
    structureChanged();
    endInsertRows();
}

void ModulesOutlineModel::removeEvent(std::size_t module, std::size_t event)
{
    if (module >= m_modules->size() || event >= (*m_modules)[module].events.size())
        return;
    Module changed = (*m_modules)[module];
    changed.events.erase(changed.events.begin() + static_cast<std::ptrdiff_t>(event));
    beginRemoveRows(moduleIndex(module), static_cast<int>(event), static_cast<int>(event));
    (*m_modules)[module] = std::move(changed);
    structureChanged();
    endRemoveRows();
}

void ModulesOutlineModel::replaceEvent(std::size_t module, std::size_t event, const EventData& data)
{
    if (module >= m_modules->size() || event >= (*m_modules)[module].events.size())
        return;
    Module changed = (*m_modules)[module];
    changed.events[event] = data;
    (*m_modules)[module] = std::move(changed);
    const QModelIndex cell = eventIndex(module, event);
    emit dataChanged(cell, cell.siblingAtColumn(ColumnCount - 1));
}

void ModulesOutlineModel::replaceAll(ModuleList modules)
{
    beginResetModel();
    *m_modules = std::move(modules);
    structureChanged();
    endResetModel();
}

void ModulesOutlineModel::setExpanded(std::size_t module, bool expanded)
{
    if (module >= m_modules->size() || (*m_modules)[module].expanded == expanded)
        return;
    Module changed = (*m_modules)[module];
    changed.expanded = expanded;
    (*m_modules)[module] = std::move(changed);
    structureChanged();
}

void ModulesOutlineModel::setAllExpanded(bool expanded)
{
    for (std::size_t module = m_modules->size(); module-- > 0;)
        setExpanded(module, expanded);
}

void ModulesOutlineModel::moduleDataChanged(std::size_t module)
{
    if (module >= m_modules->size())
        return;
    const QModelIndex row = moduleIndex(module);
    emit dataChanged(row, row.siblingAtColumn(ColumnCount - 1));
    const int events = rowCount(row);
    if (events > 0)
        emit dataChanged(index(0, 0, row), index(events - 1, ColumnCount - 1, row));
}

void ModulesOutlineModel::applyModuleChanged(std::size_t module)
{
    if (applyModuleChangedToData(*m_modules, module))
        moduleDataChanged(module);
}

} // namespace vantrel
