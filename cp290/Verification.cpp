#include "cp290/Verification.h"

#include "cp290/DailyCompile.h"
#include "cp290/Download.h"
#include "cp290/Recovery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantrel {
namespace {

constexpr int FirstComparedByte = 2;

bool isUsed(const TimerEventEntry& slot)
{
    return slot[2] != CP290EmptySlotMode;
}

// The slot as the listing words it, without the line's end and the day
// column's padding.
std::string eventText(const TimerEventEntry& slot)
{
    if (std::optional<std::string> line = eventListingLine(slot)) {
        while (!line->empty() && (line->back() == '\n' || line->back() == ' '))
            line->pop_back();
        return *line;
    }
    std::string bytes;
    char hex[4];
    for (int i = FirstComparedByte; i < CP290TimerEventSize; ++i) {
        std::snprintf(hex, sizeof hex, i + 1 < CP290TimerEventSize ? "%02X " : "%02X", slot[i]);
        bytes += hex;
    }
    return "an event the listing cannot show (" + bytes + ")";
}

std::string eventsText(unsigned count)
{
    return std::to_string(count) + (count == 1 ? " event" : " events");
}

} // namespace

SlotTable slotsAfterDownload(std::span<const TimerEventRecord> entries)
{
    SlotTable table;
    for (auto& slot : table.entries) {
        std::memset(slot, 0, sizeof slot);
        slot[2] = CP290EmptySlotMode;
    }
    table.count = static_cast<unsigned>(std::min<std::size_t>(entries.size(), CP290MaxEvents));
    for (unsigned i = 0; i < table.count; ++i)
        encodeTimerEvent(entries[i], i, table.entries[i]);
    return table;
}

SlotTable downloadedSlots()
{
    std::vector<TimerEventRecord> entries;
    const unsigned count = std::min<unsigned>(NumEvents, CP290MaxEvents);
    for (unsigned i = 0; i < count; ++i)
        entries.push_back(decodeTimerEvent(CP290TimerEvent[i]));
    return slotsAfterDownload(entries);
}

std::vector<SlotDifference> compareSlots(const SlotTable& expected,
                                         std::span<const TimerEventEntry> held)
{
    std::vector<SlotDifference> differences;
    for (std::size_t i = 0; i < std::size(expected.entries); ++i) {
        const TimerEventEntry& want = expected.entries[i];
        static const TimerEventEntry empty = {0, 0, CP290EmptySlotMode};
        const TimerEventEntry& have = i < held.size() ? held[i] : empty;
        SlotDifference difference;
        if (isUsed(want) && !isUsed(have))
            difference.kind = SlotDifference::Kind::Missing;
        else if (!isUsed(want) && isUsed(have))
            difference.kind = SlotDifference::Kind::Extra;
        else if (isUsed(want) && std::memcmp(want + FirstComparedByte, have + FirstComparedByte,
                                             CP290TimerEventSize - FirstComparedByte) != 0)
            difference.kind = SlotDifference::Kind::Changed;
        else
            continue;
        difference.slot = static_cast<int>(i);
        std::memcpy(difference.expected, want, sizeof want);
        std::memcpy(difference.held, have, sizeof have);
        differences.push_back(difference);
    }
    return differences;
}

std::string differenceText(const SlotDifference& difference)
{
    const std::string slot = "Slot " + std::to_string(difference.slot);
    switch (difference.kind) {
    case SlotDifference::Kind::Missing:
        return slot + " is missing " + eventText(difference.expected);
    case SlotDifference::Kind::Extra:
        return slot + " holds an extra " + eventText(difference.held);
    case SlotDifference::Kind::Changed:
        return slot + " holds " + eventText(difference.held) + " instead of " +
               eventText(difference.expected);
    }
    return slot;
}

std::string verificationText(std::span<const SlotDifference> differences, unsigned count)
{
    if (differences.empty())
        return "The CP290 holds exactly today's " + eventsText(count) + ".";
    std::string text = "The CP290 does not hold today's " + eventsText(count) + " exactly; " +
                       std::to_string(differences.size()) +
                       (differences.size() == 1 ? " slot differs:" : " slots differ:");
    for (const SlotDifference& difference : differences)
        text += "\n  " + differenceText(difference);
    return text;
}

std::optional<std::vector<SlotDifference>> CP290DoVerifyEvents(const SlotTable& expected)
{
    if (!CP290DoGetEvents())
        return std::nullopt;
    return compareSlots(expected, CP290TimerEvent);
}

DownloadReport finishDownload(std::optional<std::uint8_t> baseHouseCode, bool check,
                              const std::function<void()>& beforeCheck)
{
    DownloadReport report;
    report.count = NumEvents;
    MemoryRecovery recovery{baseHouseCode};
    report.sent = CP290DoSendEventEnd(&recovery);
    report.reprogrammed = recovery.reprogrammed;
    if (!report.sent || !check)
        return report;
    report.checkAsked = true;
    const SlotTable expected = downloadedSlots();
    if (beforeCheck)
        beforeCheck();
    report.differences = CP290DoVerifyEvents(expected);
    return report;
}

} // namespace vantrel
