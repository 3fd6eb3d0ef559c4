#pragma once

// The two clipboard types, and the MIME names the desktop's clipboard and
// drag-and-drop carry them under. This is the one place that maps them.

#include "schedule/Module.h"

#include <QString>

#include <optional>
#include <string_view>
#include <vector>

class QMimeData;

namespace vantrel {

inline constexpr std::string_view ModulesPasteboardType = "CP290 Modules";
inline constexpr std::string_view EventsPasteboardType = "CP290 Events";

inline QString mimeTypeForPasteboardType(std::string_view type)
{
    if (type == ModulesPasteboardType)
        return QStringLiteral("application/x-vantrel-cp290-modules+xml");
    if (type == EventsPasteboardType)
        return QStringLiteral("application/x-vantrel-cp290-events+xml");
    return {};
}

// A drag carries references into its source document under these, and the
// source itself (this process and the document) under the third.
inline const QString ModulesDragMimeType =
    QStringLiteral("application/x-vantrel-cp290-modules-drag");
inline const QString EventsDragMimeType = QStringLiteral("application/x-vantrel-cp290-events-drag");
inline const QString DragSourceMimeType = QStringLiteral("application/x-vantrel-drag-source");

// The clipboard's contents: complete copies as XML property lists (event
// items in host order), lists running from the bottom-most item up.
QMimeData* modulesMimeData(const ModuleList& modules);
QMimeData* eventsMimeData(const std::vector<EventData>& events);

// What a paste would insert: modules or events, read whole or refused whole
// (anything that is not ours, or damaged in any part).
struct PastedItems
{
    ModuleList modules;
    std::vector<EventData> events;
    bool isModules = false;
};
std::optional<PastedItems> readPastedItems(const QMimeData* data);

} // namespace vantrel
