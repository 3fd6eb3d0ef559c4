#include "editor/PasteboardTypes.h"

#include "schedule/ModulesDocument.h"

#include <QMimeData>

namespace vantrel {
namespace {

QMimeData* mimeData(std::string_view type, const PropertyValue& list)
{
    auto* data = new QMimeData;
    const std::string xml = propertyListToXml(list);
    data->setData(mimeTypeForPasteboardType(type),
                  QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    return data;
}

} // namespace

QMimeData* modulesMimeData(const ModuleList& modules)
{
    return mimeData(ModulesPasteboardType, modulesToPropertyList(modules));
}

QMimeData* eventsMimeData(const std::vector<EventData>& events)
{
    return mimeData(EventsPasteboardType, eventsToPropertyList(events));
}

std::optional<PastedItems> readPastedItems(const QMimeData* data)
{
    if (!data)
        return std::nullopt;
    const QString modulesType = mimeTypeForPasteboardType(ModulesPasteboardType);
    const QString eventsType = mimeTypeForPasteboardType(EventsPasteboardType);
    // The first of our types the clipboard lists.
    for (const QString& format : data->formats()) {
        if (format != modulesType && format != eventsType)
            continue;
        const QByteArray bytes = data->data(format);
        PropertyValue list;
        if (!propertyListFromXml(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), &list))
            return std::nullopt;
        PastedItems items;
        items.isModules = format == modulesType;
        std::string error;
        const bool read = items.isModules ? modulesFromPropertyList(list, &items.modules, &error)
                                          : eventsFromPropertyList(list, &items.events, &error);
        if (!read || (items.modules.empty() && items.events.empty()))
            return std::nullopt;
        shortenLongNames(items.modules);
        return items;
    }
    return std::nullopt;
}

} // namespace vantrel
