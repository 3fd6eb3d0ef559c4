#include "schedule/ModulesDocument.h"

#include "platform/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

namespace vantrel {
namespace {

std::string quoted(const char* key)
{
    return std::string("\"") + key + "\"";
}

// Finds key in a dictionary and checks its kind. Absent is not an error:
// *found is then nullptr.
bool lookUpKey(const PropertyDictionary& dictionary, const char* key, PropertyValue::Type wanted,
               const std::string& context, const PropertyValue** found, std::string* error)
{
    *found = dictionary.find(key);
    if (*found && (*found)->type() != wanted) {
        *error = context + quoted(key) + " is " + PropertyValue::typeName((*found)->type()) +
                 ", not " + PropertyValue::typeName(wanted);
        *found = nullptr;
        return false;
    }
    return true;
}

// Messages start with where the fault is: "module 3: ", "module 3, event 2: ",
// or "event 2: " for a bare event list. owner is "module 3" or empty.
std::string where(const std::string& owner)
{
    return owner.empty() ? std::string() : owner + ": ";
}

std::string whereEvent(const std::string& owner, std::size_t index)
{
    return (owner.empty() ? std::string() : owner + ", ") + "event " + std::to_string(index + 1) +
           ": ";
}

// The item's place in a message is built only when something is wrong:
// documents hold thousands of good items.
bool eventItemFromValue(const PropertyValue& value, const std::string& owner, std::size_t index,
                        EventData* event, std::string* error)
{
    const PropertyData* bytes = value.asData();
    if (!bytes) {
        *error = whereEvent(owner, index) + "the event item is " +
                 PropertyValue::typeName(value.type()) + ", not data";
        return false;
    }
    if (bytes->size() < EventContentSize) {
        *error = whereEvent(owner, index) + "the event item is " + std::to_string(bytes->size()) +
                 " bytes long, fewer than " + std::to_string(EventContentSize);
        return false;
    }
    // Content is the first 18 bytes; the padding is kept as found so that a
    // file saves back the way it was read. A short item gets zero padding.
    EventData data{};
    std::memcpy(data.data(), bytes->data(), std::min(bytes->size(), data.size()));
    *event = data;
    return true;
}

// refuseDamaged: an event no editing of ours makes (see eventDamage) fails
// the list. A document keeps it, shown as damaged, for the user to repair;
// the clipboard and the helper's copy take none.
bool eventsFromValue(const PropertyValue& plist, const std::string& owner, bool refuseDamaged,
                     std::vector<EventData>* events, std::string* error)
{
    const std::string context = where(owner);
    const PropertyArray* items = plist.asArray();
    if (!items) {
        *error =
            context + "the event list is " + PropertyValue::typeName(plist.type()) + ", not a list";
        return false;
    }
    std::vector<EventData> result;
    result.reserve(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) {
        EventData event{};
        if (!eventItemFromValue((*items)[i], owner, i, &event, error))
            return false;
        if (refuseDamaged) {
            const auto fields = eventFromData(event);
            if (const std::string damage = fields ? eventDamage(*fields) : std::string();
                !damage.empty()) {
                *error = whereEvent(owner, i) + damage;
                return false;
            }
        }
        result.push_back(event);
    }
    *events = std::move(result);
    return true;
}

// How a module's house code, unit and type are taken when out of range. A
// document keeps them, so that one damaged cell does not lock the user out of
// the whole schedule: the cell shows the value, the download refuses the
// module, and the user can put it right. The helper's copy, written only
// after a download took it, is refused instead.
enum class CellRange
{
    Kept,
    Refused
};

// An integer key of a module; a missing key leaves *field.
bool integerField(const PropertyDictionary& dictionary, const char* key, const char* what,
                  bool (*isValid)(std::int64_t), CellRange range, const std::string& context,
                  std::int64_t* field, std::string* error)
{
    const PropertyValue* value = nullptr;
    if (!lookUpKey(dictionary, key, PropertyValue::Type::Integer, context, &value, error))
        return false;
    if (!value)
        return true;
    if (range == CellRange::Refused && !isValid(*value->asInteger())) {
        *error = context + what + " " + std::to_string(*value->asInteger()) + " is out of range";
        return false;
    }
    *field = *value->asInteger();
    return true;
}

bool moduleFromValue(const PropertyValue& plist, const std::string& owner, CellRange range,
                     Module* module, std::string* error)
{
    const std::string context = where(owner);
    const PropertyDictionary* dictionary = plist.asDictionary();
    if (!dictionary) {
        *error = context + "the module is " + PropertyValue::typeName(plist.type()) +
                 ", not a dictionary";
        return false;
    }
    // Keys that are missing take the values of a new module; keys we do not
    // know are ignored.
    Module result;
    const PropertyValue* value = nullptr;
    using Type = PropertyValue::Type;

    if (!lookUpKey(*dictionary, ModuleNameKey, Type::String, context, &value, error))
        return false;
    if (value)
        result.name = *value->asString();

    if (!integerField(*dictionary, ModuleHouseCodeKey, "house code", isValidHouseCode, range,
                      context, &result.houseCode, error) ||
        !integerField(*dictionary, ModuleUnitKey, "unit number", isValidUnit, range, context,
                      &result.unit, error) ||
        !integerField(*dictionary, ModuleTypeKey, "module type", isValidType, range, context,
                      &result.type, error))
        return false;

    if (!lookUpKey(*dictionary, ModuleEventsKey, Type::Array, context, &value, error))
        return false;
    if (value &&
        !eventsFromValue(*value, owner, range == CellRange::Refused, &result.events, error))
        return false;

    // The row's expansion is window state: of the wrong kind, it is collapsed.
    if (const PropertyValue* expanded = dictionary->find(ModuleExpandedKey))
        result.expanded = expanded->asBoolean() && *expanded->asBoolean();

    *module = std::move(result);
    return true;
}

std::string moduleOwner(std::size_t index)
{
    return "module " + std::to_string(index + 1);
}

bool modulesFromValue(const PropertyValue& plist, CellRange range, ModuleList* modules,
                      std::string* error)
{
    const PropertyArray* items = plist.asArray();
    if (!items) {
        *error = "the module list is " + std::string(PropertyValue::typeName(plist.type())) +
                 ", not a list";
        return false;
    }
    ModuleList result;
    result.reserve(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) {
        Module module;
        if (!moduleFromValue((*items)[i], moduleOwner(i), range, &module, error))
            return false;
        result.push_back(std::move(module));
    }
    *modules = std::move(result);
    return true;
}

bool hostIsBigEndianAtRunTime()
{
    const std::uint32_t probe = 0x02000001;
    std::uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 0x02;
}

} // namespace

ModulesDocument newModulesDocument()
{
    ModulesDocument document;
    document.modules.reserve(8);
    document.modules.push_back(Module{});
    document.eventRepeat = ClassicEventRepeat{1, 1};
    return document;
}

void ConvertModulesIfIntel(ModuleList& modules, std::uint16_t (*convert16)(std::uint16_t),
                           std::uint32_t (*convert32)(std::uint32_t))
{
    if (hostIsBigEndianAtRunTime())
        return;
    for (auto module = modules.rbegin(); module != modules.rend(); ++module)
        for (auto event = module->events.rbegin(); event != module->events.rend(); ++event)
            convertEventData(std::span<std::uint8_t>(*event), convert16, convert32);
}

PropertyValue moduleToPropertyList(const Module& module)
{
    PropertyDictionary dictionary;
    dictionary.set(ModuleNameKey, module.name);
    dictionary.set(ModuleHouseCodeKey, module.houseCode);
    dictionary.set(ModuleUnitKey, module.unit);
    dictionary.set(ModuleTypeKey, module.type);
    dictionary.set(ModuleEventsKey, eventsToPropertyList(module.events));
    dictionary.set(ModuleExpandedKey, module.expanded);
    return dictionary;
}

PropertyValue modulesToPropertyList(const ModuleList& modules)
{
    PropertyArray array;
    array.reserve(modules.size());
    for (const Module& module : modules)
        array.push_back(moduleToPropertyList(module));
    return array;
}

PropertyValue eventsToPropertyList(const std::vector<EventData>& events)
{
    PropertyArray array;
    array.reserve(events.size());
    for (const EventData& event : events)
        array.push_back(PropertyData(event.begin(), event.end()));
    return array;
}

bool moduleFromPropertyList(const PropertyValue& plist, Module* module, std::string* error)
{
    std::string ignored;
    return moduleFromValue(plist, std::string(), CellRange::Refused, module,
                           error ? error : &ignored);
}

bool modulesFromPropertyList(const PropertyValue& plist, ModuleList* modules, std::string* error)
{
    std::string ignored;
    return modulesFromValue(plist, CellRange::Refused, modules, error ? error : &ignored);
}

bool eventsFromPropertyList(const PropertyValue& plist, std::vector<EventData>* events,
                            std::string* error)
{
    std::string ignored;
    return eventsFromValue(plist, std::string(), true, events, error ? error : &ignored);
}

PropertyData eventRepeatToData(ClassicEventRepeat repeat)
{
    return PropertyData{repeat.OnRepeat, repeat.OffRepeat};
}

bool eventRepeatFromData(const PropertyValue& plist, ClassicEventRepeat* repeat, std::string* error)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    const PropertyData* bytes = plist.asData();
    if (!bytes) {
        message = quoted(DocumentEventRepeatKey) + " is " + PropertyValue::typeName(plist.type()) +
                  ", not data";
        return false;
    }
    if (bytes->size() != 2) {
        message = quoted(DocumentEventRepeatKey) + " is " + std::to_string(bytes->size()) +
                  " bytes long, not 2";
        return false;
    }
    *repeat = ClassicEventRepeat{(*bytes)[0], (*bytes)[1]};
    return true;
}

PropertyValue documentToPropertyList(const ModulesDocument& document)
{
    // The document's own list stays in host order, so editing, sending and
    // the helper copy go on working after a save.
    ModuleList stored = document.modules;
    ConvertModulesIfIntel(stored, CFSwapInt16HostToBig, CFSwapInt32HostToBig);

    PropertyArray rows(document.selectedRows.begin(), document.selectedRows.end());
    PropertyDictionary top;
    top.set(DocumentModulesKey, modulesToPropertyList(stored));
    top.set(DocumentDrawerOpenKey, document.drawerOpen);
    top.set(DocumentSelectedRowsKey, std::move(rows));
    top.set(DocumentEventRepeatKey, eventRepeatToData(document.eventRepeat));
    return top;
}

bool documentFromPropertyList(const PropertyValue& plist, ModulesDocument* document,
                              std::string* error)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    const PropertyDictionary* top = plist.asDictionary();
    if (!top) {
        message = "the top level is " + std::string(PropertyValue::typeName(plist.type())) +
                  ", not a dictionary";
        return false;
    }
    using Type = PropertyValue::Type;
    ModulesDocument result = *document;
    const PropertyValue* value = nullptr;

    if (!lookUpKey(*top, DocumentModulesKey, Type::Array, std::string(), &value, &message))
        return false;
    if (!value) {
        message = "there is no " + quoted(DocumentModulesKey) + " list";
        return false;
    }
    if (!modulesFromValue(*value, CellRange::Kept, &result.modules, &message))
        return false;
    ConvertModulesIfIntel(result.modules, CFSwapInt16BigToHost, CFSwapInt32BigToHost);

    // Counts that cannot be read as two bytes are those of a new document:
    // counts of 0 would drop every event from the download.
    if (const PropertyValue* repeat = top->find(DocumentEventRepeatKey)) {
        const PropertyData* bytes = repeat->asData();
        if (bytes && bytes->size() >= 2)
            result.eventRepeat = ClassicEventRepeat{(*bytes)[0], (*bytes)[1]};
        else
            result.eventRepeat = ClassicEventRepeat{1, 1};
    }

    // The selection and the drawer are window state: of the wrong kind they
    // take their defaults (nothing selected, drawer closed).
    result.selectedRows.clear();
    if (const PropertyValue* rows = top->find(DocumentSelectedRowsKey); rows && rows->asArray()) {
        for (const PropertyValue& row : *rows->asArray()) {
            if (!row.asInteger()) {
                result.selectedRows.clear();
                break;
            }
            result.selectedRows.push_back(*row.asInteger());
        }
    }
    const PropertyValue* drawer = top->find(DocumentDrawerOpenKey);
    result.drawerOpen = drawer && drawer->asBoolean() && *drawer->asBoolean();

    *document = std::move(result);
    return true;
}

std::size_t shortenLongNames(ModuleList& modules)
{
    constexpr auto limit = static_cast<std::size_t>(MaxModuleNameCharacters);
    std::size_t shortened = 0;
    for (Module& module : modules) {
        // A character takes one byte at least: most names need no counting.
        if (module.name.size() <= limit)
            continue;
        std::size_t characters = 0;
        std::size_t at = 0;
        for (; at < module.name.size(); ++at) {
            // Every byte but a continuation byte starts a character.
            if ((static_cast<unsigned char>(module.name[at]) & 0xC0) != 0x80 &&
                ++characters > limit)
                break;
        }
        if (at < module.name.size()) {
            module.name.resize(at);
            ++shortened;
        }
    }
    return shortened;
}

bool readModulesFile(const std::string& path, ModulesDocument* document, std::string* error,
                     std::size_t* shortenedNames)
{
    PropertyValue plist;
    if (!readPropertyListFile(path, &plist, error))
        return false;
    if (!documentFromPropertyList(plist, document, error))
        return false;
    const std::size_t shortened = shortenLongNames(document->modules);
    if (shortenedNames)
        *shortenedNames = shortened;
    return true;
}

bool writeModulesFile(const std::string& path, const ModulesDocument& document, std::string* error)
{
    return writePropertyListFile(path, documentToPropertyList(document), error);
}

} // namespace vantrel
