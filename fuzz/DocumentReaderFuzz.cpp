// The document reader on any bytes: the property-list parser, the document's
// keys and event items, and what the window and the download then do with
// every event it let through (the summary line, the timer-event encoding).
// A top-level dictionary is also read again with its keys in the opposite
// order: scripts/fuzz.sh gives each input a few seconds, so a reader whose
// time grows with the square of the keys out of order is caught however the
// input had them.

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "schedule/EventSummary.h"
#include "schedule/ModulesDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

std::string escaped(const std::string& text)
{
    std::string result;
    for (const char c : text) {
        if (c == '&')
            result += "&amp;";
        else if (c == '<')
            result += "&lt;";
        else if (c == '>')
            result += "&gt;";
        else
            result += c;
    }
    return result;
}

void readKeysReversed(const vantrel::PropertyDictionary& dictionary)
{
    std::string xml = "<plist version=\"1.0\"><dict>";
    const auto& entries = dictionary.entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        xml += "<key>" + escaped(entry->first) + "</key><true/>";
    xml += "</dict></plist>";
    vantrel::PropertyValue reversed;
    (void)vantrel::propertyListFromXml(xml, &reversed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    PropertyValue plist;
    if (!propertyListFromXml({reinterpret_cast<const char*>(data), size}, &plist))
        return 0;
    if (const PropertyDictionary* top = plist.asDictionary(); top && top->size() > 1)
        readKeysReversed(*top);
    ModulesDocument document = newModulesDocument();
    std::string error;
    if (!documentFromPropertyList(plist, &document, &error))
        return 0;
    CP290Verbose = false;
    CP290DoSendEventStart();
    for (const Module& module : document.modules) {
        for (const EventData& item : module.events) {
            const std::optional<Event> event = eventFromData(item);
            if (!event)
                continue;
            (void)eventSummary(*event);
            (void)addEventToDownload(module.houseCode, module.unit, *event, document.eventRepeat);
        }
    }
    return 0;
}
