#pragma once

// The stored forms of a schedule. A document file is an XML property list
// whose event items are big-endian, so that a file opens unchanged on a
// host of either byte order; the in-memory list, the pasteboard and the copy
// handed to the helper keep event items in host order.

#include "platform/PropertyList.h"
#include "schedule/Event.h"
#include "schedule/Module.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// Top-level keys of a document file.
constexpr const char* DocumentModulesKey = "Modules";
constexpr const char* DocumentEventRepeatKey = "EventRepeat";
constexpr const char* DocumentSelectedRowsKey = "SelectedRows";
constexpr const char* DocumentDrawerOpenKey = "DrawerOpen";

struct ModulesDocument
{
    ModuleList modules;
    ClassicEventRepeat eventRepeat{1, 1};
    // Outline rows selected when the file was written, highest first.
    std::vector<std::int64_t> selectedRows;
    bool drawerOpen = false;

    bool operator==(const ModulesDocument&) const = default;
};

// One "New Module", repeat counts 1 and 1.
ModulesDocument newModulesDocument();

// Converts every event item of every module in place with the given
// functions (32-bit on Date, Time, Adjust; 16-bit on Brightness, Repeat,
// Flags). Does nothing on a big-endian host, where stored and host order agree.
void ConvertModulesIfIntel(ModuleList& modules, std::uint16_t (*convert16)(std::uint16_t),
                           std::uint32_t (*convert32)(std::uint32_t));

// On failure *document is unchanged and error is a one-line reason, e.g.
// "module 3, event 2: the event item is 17 bytes long, fewer than 18". Only
// what cannot be read at all is refused. A house code, unit or type out of
// range is kept as it is (the download refuses such a module); window state
// of the wrong kind ("X", "SelectedRows", "DrawerOpen") takes its default;
// "EventRepeat" uses its first two bytes, or 1 and 1 when it has fewer.
// "EventRepeat" missing from the file leaves the counts *document already had.
// Descriptions longer than MaxModuleNameCharacters are cut to that length;
// *shortenedNames, when given, is how many were.
bool readModulesFile(const std::string& path, ModulesDocument* document, std::string* error,
                     std::size_t* shortenedNames = nullptr);
// Atomic; on failure the old file is left as it was.
bool writeModulesFile(const std::string& path, const ModulesDocument& document, std::string* error);

// The document file's top-level dictionary (event items big-endian), and back.
PropertyValue documentToPropertyList(const ModulesDocument& document);
bool documentFromPropertyList(const PropertyValue& plist, ModulesDocument* document,
                              std::string* error);

// Host-order forms, as the pasteboard and the helper copy carry them.
// Modules are numbered from 1 in error messages, events too. A house code,
// unit or type out of range is refused here, e.g. "module 3: unit number 40
// is out of range".
PropertyValue moduleToPropertyList(const Module& module);
PropertyValue modulesToPropertyList(const ModuleList& modules);
PropertyValue eventsToPropertyList(const std::vector<EventData>& events);
bool moduleFromPropertyList(const PropertyValue& plist, Module* module, std::string* error);
bool modulesFromPropertyList(const PropertyValue& plist, ModuleList* modules, std::string* error);
bool eventsFromPropertyList(const PropertyValue& plist, std::vector<EventData>* events,
                            std::string* error);

// Cuts each description to its first MaxModuleNameCharacters characters
// (code points, never splitting one); how many were cut.
std::size_t shortenLongNames(ModuleList& modules);

// "EventRepeat" as 2 bytes: OnRepeat, OffRepeat.
PropertyData eventRepeatToData(ClassicEventRepeat repeat);
bool eventRepeatFromData(const PropertyValue& plist, ClassicEventRepeat* repeat,
                         std::string* error);

} // namespace vantrel
