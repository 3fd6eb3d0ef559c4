#pragma once

// Small builders for the times, events and modules that tests write down.

#include "platform/DateTime.h"
#include "schedule/Event.h"
#include "schedule/Module.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace vantrel::test {

// Time-of-day value of a clock time.
inline std::uint32_t clockTime(int hour, int minute)
{
    DateTimeRec rec;
    rec.hour = static_cast<std::int16_t>(hour);
    rec.minute = static_cast<std::int16_t>(minute);
    return dateToSeconds(rec);
}

// Date value (local midnight) of a day.
inline std::uint32_t dateValue(int year, int month, int day)
{
    DateTimeRec rec;
    rec.year = static_cast<std::int16_t>(year);
    rec.month = static_cast<std::int16_t>(month);
    rec.day = static_cast<std::int16_t>(day);
    return dateToSeconds(rec);
}

// An event at a clock time, no dimming.
inline Event clockEvent(std::uint16_t flags, int hour, int minute, bool on = true)
{
    Event e;
    e.Time = clockTime(hour, minute);
    e.Flags = static_cast<std::uint16_t>(flags | EventClockTimeFlag | (on ? EventOnFlag : 0));
    return e;
}

inline Module moduleWith(std::vector<Event> events, std::int64_t houseCode = 0,
                         std::int64_t unit = 1)
{
    Module m;
    m.houseCode = houseCode;
    m.unit = unit;
    for (const Event& e : events)
        m.events.push_back(eventToData(e));
    return m;
}

// Modules with the given event counts (all zero bytes); those marked
// expanded show them.
inline ModuleList modulesWith(std::vector<std::pair<int, bool>> shape)
{
    ModuleList modules;
    for (auto [events, expanded] : shape) {
        Module module;
        module.events.resize(static_cast<std::size_t>(events));
        module.expanded = expanded;
        modules.push_back(module);
    }
    return modules;
}

} // namespace vantrel::test
