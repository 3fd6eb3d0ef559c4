#include "cp290/EventListing.h"

#include "cp290/Driver.h"
#include "schedule/CalendarDate.h"
#include "schedule/Event.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace vantrel {
namespace {

// Level/function bytes the listing knows, besides the dim levels.
constexpr std::uint8_t FunctionAllUnitsOff = 0;
constexpr std::uint8_t FunctionAllLightsOn = 1;

// Brightness 1-8 whose dim byte this is, or 0 when it is none of them.
int brightnessOfDimByte(std::uint8_t byte)
{
    for (int brightness = 1; brightness < NoDimBrightness; ++brightness) {
        if (brightnessByte(brightness) == byte)
            return brightness;
    }
    return 0;
}

std::string unitsText(std::uint8_t units1to8, std::uint8_t units9to16)
{
    std::string text;
    char number[8];
    for (int unit = 1; unit <= 8; ++unit) {
        if (units1to8 & (1u << (8 - unit))) {
            std::snprintf(number, sizeof number, "%d ", unit);
            text += number;
        }
    }
    for (int unit = 9; unit <= 16; ++unit) {
        if (units9to16 & (1u << (16 - unit))) {
            std::snprintf(number, sizeof number, "%d ", unit);
            text += number;
        }
    }
    return text;
}

std::string daysText(std::uint8_t mode, std::uint8_t dayByte)
{
    if (mode == 2)
        return "Tomorrow";
    if (mode == 4)
        return "Today";
    if (dayByte == 0x7F)
        return "Every Day";
    // Sunday first, as a calendar reads; the day byte has it in bit 6.
    static constexpr std::array<std::uint8_t, 7> bits{0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20};
    static constexpr char letters[] = "SMTWTFS";
    std::string text(7, ' ');
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (dayByte & bits[i])
            text[i] = letters[i];
    }
    return text;
}

bool isUsed(const TimerEventEntry& slot)
{
    return slot[2] != CP290EmptySlotMode;
}

} // namespace

std::string eventListingHeader(std::uint32_t nowSecs)
{
    return "Events from CP290 as of " +
           SecondsToNSCalendarDate(nowSecs).format("%a %m/%d/%y %I:%M %p") + ":\n\n";
}

char listingHouseCodeLetter(std::uint8_t houseCodeByte)
{
    const int index = houseCodeIndexOfByte(houseCodeByte);
    // Our downloads only ever carry table bytes; anything else is shown as unknown.
    return index >= 0 && index < 16 ? static_cast<char>('A' + index) : '?';
}

std::optional<std::string> listingActionText(std::uint8_t function)
{
    switch (function) {
    case FunctionAllUnitsOff:
    case CP290FunctionOff:
        return "Off";
    case FunctionAllLightsOn:
    case CP290FunctionOn:
        return "On";
    default: {
        const int brightness = brightnessOfDimByte(function);
        if (brightness == 0)
            return std::nullopt;
        // b x 12.5 %, written from whole tenths so no locale can change the point.
        const int tenths = brightness * 125;
        char text[32];
        std::snprintf(text, sizeof text, "On %d.%d%%", tenths / 10, tenths % 10);
        return text;
    }
    }
}

std::string listingTimeText(int hour, int minute)
{
    const int hour12 = hour == 0 ? 12 : hour <= 12 ? hour : hour - 12;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d %cM", hour12, minute, hour < 12 ? 'A' : 'P');
    return text;
}

std::optional<std::string> eventListingLine(const TimerEventEntry& slot)
{
    const std::uint8_t mode = slot[2];
    const std::uint8_t dayByte = slot[3];
    const std::uint8_t function = slot[9];

    const std::optional<std::string> action = listingActionText(function);
    if (!action)
        return std::nullopt;
    std::string units;
    if (function == FunctionAllUnitsOff)
        units = "All Modules";
    else if (function == FunctionAllLightsOn)
        units = "All Light Modules";
    else
        units = unitsText(slot[6], slot[7]);

    const std::string time = listingTimeText(slot[4], slot[5]);
    const char* security = mode == 9 ? " (Security)" : "";
    const std::string days = daysText(mode, dayByte);

    const int size = std::snprintf(nullptr, 0, "%c-%s Turn %s @ %s%s %8s\n",
                                   listingHouseCodeLetter(slot[8]), units.c_str(), action->c_str(),
                                   time.c_str(), security, days.c_str());
    std::string line(static_cast<std::size_t>(size), '\0');
    std::snprintf(line.data(), line.size() + 1, "%c-%s Turn %s @ %s%s %8s\n",
                  listingHouseCodeLetter(slot[8]), units.c_str(), action->c_str(), time.c_str(),
                  security, days.c_str());
    return line;
}

std::string eventListingText(std::span<const TimerEventEntry> slots, std::uint32_t nowSecs)
{
    std::vector<std::size_t> order;
    order.reserve(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (isUsed(slots[i]))
            order.push_back(i);
    }
    // Ties go to the later slot: the order of inserting slots one by one in
    // front of the first entry that is not earlier.
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const auto keyA = std::pair{slots[a][4], slots[a][5]};
        const auto keyB = std::pair{slots[b][4], slots[b][5]};
        if (keyA != keyB)
            return keyA < keyB;
        return a > b;
    });

    std::string text = eventListingHeader(nowSecs);
    for (const std::size_t i : order) {
        const std::optional<std::string> line = eventListingLine(slots[i]);
        if (!line)
            return EventListingGarbled;
        text += *line;
    }
    if (order.empty())
        text += "None.";
    return text;
}

int usedSlotCount(std::span<const TimerEventEntry> slots)
{
    return static_cast<int>(std::count_if(
        slots.begin(), slots.end(), [](const TimerEventEntry& slot) { return isUsed(slot); }));
}

} // namespace vantrel
