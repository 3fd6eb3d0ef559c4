#pragma once

// Proof of what the interface holds: its 128 slots read back (command 5) and
// compared, slot by slot, with what a download puts there. A download stores
// entry i of the table in slot i, after erasing every slot.

#include "cp290/DailyCompile.h"
#include "cp290/EventListing.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

struct SlotTable
{
    TimerEventEntry entries[CP290MaxEvents];
    unsigned count = 0; // used slots, entries 0 to count - 1
};

// What a download of these entries leaves in the interface.
SlotTable slotsAfterDownload(std::span<const TimerEventRecord> entries);
// The same for the current table (CP290TimerEvent, NumEvents). Taken before
// reading back, which overwrites the table.
SlotTable downloadedSlots();

struct SlotDifference
{
    enum class Kind
    {
        Missing, // empty, where the download put an event
        Extra,   // an event where the download left the slot empty
        Changed, // another event than the download's
    };
    Kind kind = Kind::Missing;
    int slot = 0;
    TimerEventEntry expected{};
    TimerEventEntry held{};
};

// Only bytes 2 to 9 count; an empty slot (mode 0xFF) has nothing else.
std::vector<SlotDifference> compareSlots(const SlotTable& expected,
                                         std::span<const TimerEventEntry> held);

// "Slot 3 is missing A-1  Turn On @ 6:30 AM   MTWTF", in the listing's words.
std::string differenceText(const SlotDifference& difference);

// "The CP290 holds exactly today's 57 events.", or a line saying how many
// slots differ followed by one indented line for each.
std::string verificationText(std::span<const SlotDifference> differences, unsigned count);

// Reads the interface's events back and compares them with expected;
// nullopt when they could not be read (the driver has reported why).
std::optional<std::vector<SlotDifference>> CP290DoVerifyEvents(const SlotTable& expected);

// The end of a download as the programs run it: CP290DoSendEventEnd, with
// the base house code to set again should the interface have lost its
// memory, then, when check is set, the events read back and compared.
// beforeCheck runs between the two.
struct DownloadReport
{
    bool sent = false;
    bool reprogrammed = false;
    unsigned count = 0;
    bool checkAsked = false;
    // With checkAsked: what the read-back found, nullopt when it failed.
    std::optional<std::vector<SlotDifference>> differences;

    bool verified() const { return differences && differences->empty(); }
};
DownloadReport finishDownload(std::optional<std::uint8_t> baseHouseCode, bool check,
                              const std::function<void()>& beforeCheck = {});

} // namespace vantrel
