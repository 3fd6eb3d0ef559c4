// The document reader on any bytes: the property-list parser, the document's
// keys and event items, and what the window and the download then do with
// every event it let through (the summary line, the timer-event encoding).

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "schedule/EventSummary.h"
#include "schedule/ModulesDocument.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    PropertyValue plist;
    if (!propertyListFromXml({reinterpret_cast<const char*>(data), size}, &plist))
        return 0;
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
