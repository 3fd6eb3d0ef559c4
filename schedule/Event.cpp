#include "schedule/Event.h"

#include "platform/DateTime.h"

#include <cstring>

namespace vantrel {
namespace {

constexpr std::size_t DateOffset = 0;
constexpr std::size_t TimeOffset = 4;
constexpr std::size_t AdjustOffset = 8;
constexpr std::size_t BrightnessOffset = 12;
constexpr std::size_t RepeatOffset = 14;
constexpr std::size_t FlagsOffset = 16;

template <typename T> T load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T> void store(std::uint8_t* p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

} // namespace

EventData eventToData(const Event& event)
{
    EventData data{};
    store(data.data() + DateOffset, event.Date);
    store(data.data() + TimeOffset, event.Time);
    store(data.data() + AdjustOffset, event.Adjust);
    store(data.data() + BrightnessOffset, event.Brightness);
    store(data.data() + RepeatOffset, event.Repeat);
    store(data.data() + FlagsOffset, event.Flags);
    return data;
}

std::optional<Event> eventFromData(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < EventContentSize)
        return std::nullopt;
    const std::uint8_t* p = bytes.data();
    Event event;
    event.Date = load<std::uint32_t>(p + DateOffset);
    event.Time = load<std::uint32_t>(p + TimeOffset);
    event.Adjust = load<std::uint32_t>(p + AdjustOffset);
    event.Brightness = load<std::uint16_t>(p + BrightnessOffset);
    event.Repeat = load<std::uint16_t>(p + RepeatOffset);
    event.Flags = load<std::uint16_t>(p + FlagsOffset);
    return event;
}

void convertEventData(std::span<std::uint8_t> bytes, std::uint16_t (*convert16)(std::uint16_t),
                      std::uint32_t (*convert32)(std::uint32_t))
{
    if (bytes.size() < EventContentSize)
        return;
    std::uint8_t* p = bytes.data();
    for (std::size_t offset : {DateOffset, TimeOffset, AdjustOffset})
        store(p + offset, convert32(load<std::uint32_t>(p + offset)));
    for (std::size_t offset : {BrightnessOffset, RepeatOffset, FlagsOffset})
        store(p + offset, convert16(load<std::uint16_t>(p + offset)));
}

Event defaultEventNow()
{
    const DateTimeRec now = secondsToDate(GetDateTime());
    DateTimeRec date = now;
    date.hour = date.minute = date.second = 0;
    DateTimeRec time = now;
    time.year = time.month = time.day = 0;
    Event event;
    event.Date = dateToSeconds(date);
    event.Time = dateToSeconds(time);
    event.Adjust = 0;
    event.Brightness = NoDimBrightness;
    event.Repeat = 0;
    event.Flags = DefaultEventFlags;
    return event;
}

std::string eventDamage(const Event& event)
{
    if (event.Brightness < 1 || event.Brightness > NoDimBrightness)
        return "brightness " + std::to_string(event.Brightness) + " is not 1 to " +
               std::to_string(NoDimBrightness);
    return {};
}

} // namespace vantrel
