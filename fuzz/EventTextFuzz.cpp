// The event-text parser on any line, into a default event and into one
// already holding every flag, and the summary of what it made.

#include "schedule/EventSummary.h"
#include "schedule/EventTextParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Event fresh;
    parseEventText(text, fresh);
    (void)eventSummary(fresh);
    Event full;
    full.Flags = 0xFFFF;
    full.Brightness = 0xFFFF;
    full.Repeat = 0xFFFF;
    full.Adjust = 0xFFFFFFFF;
    full.Date = 0xFFFFFFFF;
    full.Time = 0xFFFFFFFF;
    parseEventText(text, full);
    (void)eventSummary(full);
    return 0;
}
