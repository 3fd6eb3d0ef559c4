// The listing decoder on any table the interface may send back: up to 128
// slots of ten bytes, each line on its own and the whole listing.

#include "cp290/EventListing.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    if (size < 4)
        return 0;
    std::uint32_t now = 0;
    std::memcpy(&now, data, sizeof now);
    data += sizeof now;
    size -= sizeof now;
    const std::size_t count = std::min<std::size_t>(size / CP290TimerEventSize, CP290MaxEvents);
    std::vector<std::uint8_t> bytes(data, data + count * CP290TimerEventSize);
    auto* slots = reinterpret_cast<TimerEventEntry*>(bytes.data());
    for (std::size_t i = 0; i < count; ++i)
        (void)eventListingLine(slots[i]);
    (void)eventListingText({slots, count}, now);
    (void)usedSlotCount({slots, count});
    return 0;
}
