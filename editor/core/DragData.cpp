#include "editor/core/DragData.h"

#include "editor/core/DragRules.h"
#include "platform/PropertyList.h"

#include <algorithm>
#include <utility>

namespace vantrel {
namespace {

// Drag data no window of ours made: each row is dragged once, and removing a
// row twice would take an undragged one with it.
template <typename T> bool namesARowTwice(std::vector<T> rows)
{
    std::sort(rows.begin(), rows.end());
    return std::adjacent_find(rows.begin(), rows.end()) != rows.end();
}

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

std::optional<PropertyArray> readList(std::string_view xml)
{
    PropertyValue plist;
    if (!propertyListFromXml(xml, &plist) || !plist.asArray() || plist.asArray()->empty())
        return std::nullopt;
    return std::move(*plist.asArray());
}

} // namespace

DraggedRows draggedRows(const OutlineRowMap& map, const std::vector<int>& rowsLastFirst)
{
    DraggedRows dragged;
    for (int row : rowsLastFirst) {
        const auto found = map.rowAt(row);
        if (!found)
            continue;
        // Modules and events are never dragged together.
        if (found->isModuleRow() ? dragged.events : dragged.modules) {
            dragged.rows.clear();
            return dragged;
        }
        (found->isModuleRow() ? dragged.modules : dragged.events) = true;
        dragged.rows.push_back(*found);
    }
    dragged.valid = !dragged.rows.empty();
    return dragged;
}

std::string dragListXml(const std::vector<OutlineRow>& rows)
{
    return propertyListToXml(PropertyValue(dragReferences(rows)));
}

std::optional<std::vector<std::size_t>> readModuleDragList(std::string_view xml,
                                                           const ModuleList& source)
{
    const auto list = readList(xml);
    if (!list)
        return std::nullopt;
    std::vector<std::size_t> dragged;
    for (const PropertyValue& item : *list) {
        const std::int64_t* index = item.asInteger();
        if (!index || *index < 0 || static_cast<std::size_t>(*index) >= source.size())
            return std::nullopt; // the references no longer name its modules
        dragged.push_back(static_cast<std::size_t>(*index));
    }
    if (namesARowTwice(dragged))
        return std::nullopt;
    return dragged;
}

std::optional<std::vector<OutlineRow>> readEventDragList(std::string_view xml,
                                                         const ModuleList& source)
{
    const auto list = readList(xml);
    if (!list)
        return std::nullopt;
    std::vector<OutlineRow> references; // bottom to top, as the list runs
    for (const PropertyValue& item : *list) {
        const PropertyDictionary* record = item.asDictionary();
        const PropertyValue* eventValue = record ? record->find("Event Index") : nullptr;
        const PropertyValue* moduleValue = record ? record->find("Module Index") : nullptr;
        const std::int64_t* event = eventValue ? eventValue->asInteger() : nullptr;
        const std::int64_t* module = moduleValue ? moduleValue->asInteger() : nullptr;
        if (!event || !module || *module < 0 ||
            static_cast<std::size_t>(*module) >= source.size() || *event < 0 ||
            static_cast<std::size_t>(*event) >=
                source[static_cast<std::size_t>(*module)].events.size())
            return std::nullopt;
        references.push_back({static_cast<std::size_t>(*module), static_cast<int>(*event)});
    }
    std::vector<std::pair<std::size_t, int>> named;
    for (const OutlineRow& reference : references)
        named.emplace_back(reference.module, reference.event);
    if (namesARowTwice(std::move(named)))
        return std::nullopt;
    return references;
}

EventMovePlan eventMovePlan(const std::vector<OutlineRow>& dragged, bool sameDocument,
                            std::size_t target, std::size_t dropIndex, std::size_t targetEventCount)
{
    EventMovePlan plan;
    plan.removal = dragged;
    std::sort(plan.removal.begin(), plan.removal.end(),
              [](const OutlineRow& a, const OutlineRow& b) {
                  return a.module != b.module ? a.module > b.module : a.event > b.event;
              });
    std::vector<std::size_t> ownAbove;
    if (sameDocument)
        for (const OutlineRow& reference : plan.removal)
            if (reference.module == target)
                ownAbove.push_back(static_cast<std::size_t>(reference.event));
    plan.position =
        std::min(blockPosition(dropIndex, ownAbove), targetEventCount - ownAbove.size());
    return plan;
}

} // namespace vantrel
