#pragma once

// One timed switching action of one module, and the 20-byte data item that
// carries it in a module's "Events" list.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vantrel {

// Day rules (Flags & EventDayRuleMask).
constexpr std::uint16_t EventDayRuleMask = 0x0003;
constexpr std::uint16_t EventRuleWeekly = 0;
constexpr std::uint16_t EventRuleDate = 1;
constexpr std::uint16_t EventRuleEvenDays = 2;
constexpr std::uint16_t EventRuleOddDays = 3;

constexpr std::uint16_t EventRepeatFlag = 0x0004;
constexpr std::uint16_t EventSunriseFlag = 0x0008;
constexpr std::uint16_t EventSunsetFlag = 0x0010;
constexpr std::uint16_t EventClockTimeFlag = 0x0020;
constexpr std::uint16_t EventSecurityFlag = 0x0040;
constexpr std::uint16_t EventOffsetBeforeFlag = 0x0080;
// Weekdays, Monday (0x0100) to Sunday (0x4000): the interface's day byte shifted left by 8.
constexpr std::uint16_t EventDaysMask = 0x7F00;
constexpr std::uint16_t EventMondayFlag = 0x0100;
constexpr std::uint16_t EventTuesdayFlag = 0x0200;
constexpr std::uint16_t EventWednesdayFlag = 0x0400;
constexpr std::uint16_t EventThursdayFlag = 0x0800;
constexpr std::uint16_t EventFridayFlag = 0x1000;
constexpr std::uint16_t EventSaturdayFlag = 0x2000;
constexpr std::uint16_t EventSundayFlag = 0x4000;
constexpr std::uint16_t EventOnFlag = 0x8000;

constexpr std::uint16_t NoDimBrightness = 9;

struct Event
{
    std::uint32_t Date = 0;       // date value; day rule 1 only
    std::uint32_t Time = 0;       // time-of-day value; clock-time events
    std::uint32_t Adjust = 0;     // sun offset in seconds; sign is EventOffsetBeforeFlag
    std::uint16_t Brightness = 9; // 1-8 eighths of full, 9 plain on/off
    std::uint16_t Repeat = 0;     // days between repeats of a date event
    std::uint16_t Flags = 0;

    std::uint16_t dayRule() const { return Flags & EventDayRuleMask; }
    bool isOn() const { return (Flags & EventOnFlag) != 0; }
    bool operator==(const Event&) const = default;
};

// Layout of the data item: fields packed in order, then two padding bytes.
constexpr std::size_t EventDataSize = 20;
constexpr std::size_t EventContentSize = 18;
using EventData = std::array<std::uint8_t, EventDataSize>;

// What makes an event one the program cannot have written, as "brightness
// 65535 is not 1 to 9"; empty for a sound event.
std::string eventDamage(const Event& event);

// Host byte order, zero padding.
EventData eventToData(const Event& event);
// Reads the first 18 bytes in host order; nullopt when fewer are given.
std::optional<Event> eventFromData(std::span<const std::uint8_t> bytes);

// Applies a 16-bit and a 32-bit conversion to each field of a data item in
// place (the padding is left alone). Items shorter than 18 bytes are untouched.
void convertEventData(std::span<std::uint8_t> bytes, std::uint16_t (*convert16)(std::uint16_t),
                      std::uint32_t (*convert32)(std::uint32_t));

struct ClassicEventRepeat
{
    std::uint8_t OnRepeat = 1;
    std::uint8_t OffRepeat = 1;
    bool operator==(const ClassicEventRepeat&) const = default;
};

// Off, every day, at the given time of day, on the given date, no dimming.
constexpr std::uint16_t DefaultEventFlags = 0x7F20;
// The default event of this moment: today's date and the current time of day.
Event defaultEventNow();

} // namespace vantrel
