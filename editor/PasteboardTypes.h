#pragma once

// The two clipboard types, and the MIME names the desktop's clipboard and
// drag-and-drop carry them under. This is the one place that maps them.

#include <string_view>

#include <QString>

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

} // namespace vantrel
