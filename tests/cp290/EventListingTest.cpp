// The listing of timer events: decoding, order and exact text.

#include "cp290/EventListing.h"
#include "cp290/Download.h"
#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using Slot = std::array<std::uint8_t, CP290TimerEventSize>;

// 128 empty slots, as a read-back of an empty interface leaves them.
struct Slots
{
    Slots()
    {
        for (auto& slot : slots) {
            std::fill(std::begin(slot), std::end(slot), 0);
            slot[2] = CP290EmptySlotMode;
        }
    }
    void set(int index, const Slot& slot) { std::copy(slot.begin(), slot.end(), slots[index]); }
    std::string text(std::uint32_t now) const { return eventListingText(slots, now); }
    TimerEventEntry slots[CP290MaxEvents];
};

Slot slot(std::uint8_t mode, std::uint8_t days, std::uint8_t hour, std::uint8_t minute,
          std::uint8_t units1to8, std::uint8_t units9to16, std::uint8_t house,
          std::uint8_t function)
{
    return {0, 0, mode, days, hour, minute, units1to8, units9to16, house, function};
}

std::string line(const Slot& s)
{
    TimerEventEntry raw;
    std::copy(s.begin(), s.end(), raw);
    return eventListingLine(raw).value_or("<garbled>");
}

std::uint32_t at(int year, int month, int day, int hour, int minute)
{
    DateTimeRec rec;
    rec.year = static_cast<std::int16_t>(year);
    rec.month = static_cast<std::int16_t>(month);
    rec.day = static_cast<std::int16_t>(day);
    rec.hour = static_cast<std::int16_t>(hour);
    rec.minute = static_cast<std::int16_t>(minute);
    return dateToSeconds(rec);
}

const std::uint32_t Now = at(2007, 3, 5, 15, 4);
const std::string Header = "Events from CP290 as of Mon 03/05/07 03:04 PM:\n\n";

TEST(EventListing, HeaderIsLocaleFree)
{
    EXPECT_EQ(eventListingHeader(Now), Header);
    EXPECT_EQ(eventListingHeader(at(2010, 12, 26, 0, 7)),
              "Events from CP290 as of Sun 12/26/10 12:07 AM:\n\n");
}

TEST(EventListing, EmptyInterfaceSaysNone)
{
    Slots slots;
    EXPECT_EQ(slots.text(Now), Header + "None.");
    EXPECT_EQ(usedSlotCount(slots.slots), 0);
    EXPECT_EQ(eventListingText({}, Now), Header + "None.");
}

TEST(EventListing, Lines)
{
    struct Row
    {
        const char* legend;
        Slot slot;
        std::string expected;
    };
    const std::vector<Row> rows{
        {"merged weekday entry", slot(8, 0x1F, 6, 30, 0xC0, 0, 0x60, 2),
         "A-1 2  Turn On @ 6:30 AM   MTWTF \n"},
        {"just after midnight", slot(8, 0x7F, 0, 5, 0x80, 0, 0x60, 3),
         "A-1  Turn Off @ 12:05 AM Every Day\n"},
        {"just after noon", slot(8, 0x7F, 12, 15, 0x80, 0, 0x60, 3),
         "A-1  Turn Off @ 12:15 PM Every Day\n"},
        {"afternoon", slot(8, 0x7F, 13, 15, 0x80, 0, 0x60, 3),
         "A-1  Turn Off @ 1:15 PM Every Day\n"},
        {"units 1, 3 and 12", slot(4, 0, 7, 0, 0xA0, 0x10, 0xE0, 2),
         "B-1 3 12  Turn On @ 7:00 AM    Today\n"},
        {"tomorrow", slot(2, 0x7F, 23, 59, 0, 0x01, 0xC0, 3),
         "P-16  Turn Off @ 11:59 PM Tomorrow\n"},
        {"all modules", slot(8, 0x60, 22, 0, 0, 0, 0x20, 0),
         "C-All Modules Turn Off @ 10:00 PM  S     S\n"},
        {"all light modules", slot(8, 0x41, 18, 0, 0, 0, 0x00, 1),
         "M-All Light Modules Turn On @ 6:00 PM  SM     \n"},
        {"half brightness", slot(8, 0x7F, 7, 0, 0x20, 0, 0x60, 0x85),
         "A-3  Turn On 50.0% @ 7:00 AM Every Day\n"},
        {"full brightness", slot(8, 0x7F, 7, 0, 0x20, 0, 0x60, 0x05),
         "A-3  Turn On 100.0% @ 7:00 AM Every Day\n"},
        {"dimmest", slot(8, 0x7F, 7, 0, 0x20, 0, 0x60, 0xE5),
         "A-3  Turn On 12.5% @ 7:00 AM Every Day\n"},
        {"security", slot(9, 0x3F, 21, 30, 0x01, 0, 0x60, 2),
         "A-8  Turn On @ 9:30 PM (Security)   MTWTFS\n"},
        {"no day bits", slot(8, 0x00, 9, 0, 0x01, 0, 0x60, 2),
         "A-8  Turn On @ 9:00 AM" + std::string(9, ' ') + "\n"},
        {"house code byte not in the table", slot(8, 0x7F, 9, 0, 0x01, 0, 0x61, 2),
         "?-8  Turn On @ 9:00 AM Every Day\n"},
        {"function 0x15", slot(8, 0x7F, 9, 0, 0x01, 0, 0x60, 0x15), "<garbled>"},
        {"function 0x04", slot(8, 0x7F, 9, 0, 0x01, 0, 0x60, 0x04), "<garbled>"},
        {"odd dim level", slot(8, 0x7F, 9, 0, 0x01, 0, 0x60, 0xF5), "<garbled>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(line(row.slot), row.expected);
    }
}

TEST(EventListing, SortedByTimeWithTheLaterSlotFirstOnATie)
{
    Slots slots;
    slots.set(0, slot(8, 0x7F, 13, 15, 0x80, 0, 0x60, 2));
    slots.set(3, slot(8, 0x7F, 7, 0, 0x40, 0, 0x60, 2));
    slots.set(5, slot(8, 0x7F, 0, 5, 0x20, 0, 0x60, 2));
    slots.set(7, slot(8, 0x7F, 7, 0, 0x10, 0, 0x60, 2));
    slots.set(127, slot(8, 0x7F, 12, 15, 0x08, 0, 0x60, 2));
    EXPECT_EQ(usedSlotCount(slots.slots), 5);
    EXPECT_EQ(slots.text(Now), Header + "A-3  Turn On @ 12:05 AM Every Day\n"
                                        "A-4  Turn On @ 7:00 AM Every Day\n"
                                        "A-2  Turn On @ 7:00 AM Every Day\n"
                                        "A-5  Turn On @ 12:15 PM Every Day\n"
                                        "A-1  Turn On @ 1:15 PM Every Day\n");
}

TEST(EventListing, UnknownFunctionGarblesTheWholeListing)
{
    Slots slots;
    slots.set(0, slot(8, 0x7F, 6, 0, 0x80, 0, 0x60, 2));
    slots.set(1, slot(8, 0x7F, 7, 0, 0x80, 0, 0x60, 0x15));
    EXPECT_EQ(slots.text(Now), "Events from CP290 garbled; Try sending events again.");
}

TEST(EventListing, GarbageInAnEmptySlotIsIgnored)
{
    Slots slots;
    slots.set(4, slot(0xFF, 0x99, 77, 99, 1, 2, 3, 0x15));
    EXPECT_EQ(slots.text(Now), Header + "None.");
}

TEST(EventListing, ListsADownloadTable)
{
    // The preview lists the NumEvents entries of a download table as they are.
    TimerEventEntry table[2];
    const Slot a = slot(4, 0, 7, 0, 0x80, 0, 0x60, 2);
    const Slot b = slot(2, 0, 7, 0, 0x80, 0, 0x60, 2);
    std::copy(a.begin(), a.end(), table[0]);
    std::copy(b.begin(), b.end(), table[1]);
    EXPECT_EQ(eventListingText(table, Now), Header + "A-1  Turn On @ 7:00 AM Tomorrow\n"
                                                     "A-1  Turn On @ 7:00 AM    Today\n");
}

} // namespace
} // namespace vantrel
