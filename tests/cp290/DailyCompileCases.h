#pragma once

// Schedules and moments for the daily compile's table test, with the line
// that records one compile. The expected lines were written by the
// download's own walk before the compile became a function of its own.

#include "cp290/Driver.h"
#include "schedule/ModulesDocument.h"
#include "support/ScheduleBuilders.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

struct CompileCase
{
    std::string name;
    ModuleList modules;
    ClassicEventRepeat repeat{1, 1};
};

struct CompileInstant
{
    int year, month, day, hour, minute;
    const char* zone;
    int latitude, longitude;
};

inline const std::vector<CompileInstant>& compileInstants()
{
    static const std::vector<CompileInstant> instants = {
        {2007, 3, 5, 14, 25, "UTC", 40, -74},      {2007, 3, 6, 2, 0, "UTC", 40, -74},
        {2007, 3, 6, 3, 0, "UTC", 40, -74},        {2024, 2, 29, 0, 0, "UTC", 51, 0},
        {2026, 6, 21, 12, 0, "UTC", 70, 20},       {2026, 12, 9, 23, 59, "UTC", -34, 151},
        {2026, 3, 8, 3, 0, "EST5EDT", 40, -74},    {2026, 11, 1, 0, 30, "EST5EDT", 40, -74},
        {2026, 7, 15, 19, 40, "CET-1CEST", 48, 2}, {2026, 12, 24, 16, 0, "UTC", 40, -74},
        {2026, 12, 31, 23, 0, "UTC", 40, -74},     {2027, 1, 1, 2, 59, "UTC", 40, -74},
    };
    return instants;
}

inline Event dated(std::uint32_t date, int hour, int minute, std::uint16_t repeatDays = 0)
{
    Event e = clockEvent(static_cast<std::uint16_t>(EventRuleDate | 0x7F00), hour, minute);
    e.Date = date;
    if (repeatDays) {
        e.Flags |= EventRepeatFlag;
        e.Repeat = repeatDays;
    }
    return e;
}

inline Event sunTied(std::uint16_t sunFlag, std::uint16_t rule, std::uint32_t adjust, bool before,
                     bool on = true)
{
    Event e;
    e.Adjust = adjust;
    e.Flags = static_cast<std::uint16_t>(rule | sunFlag | 0x7F00 | (on ? EventOnFlag : 0) |
                                         (before ? EventOffsetBeforeFlag : 0));
    return e;
}

// The examples, read from examplesDir, and schedules made for the edges.
inline std::vector<CompileCase> compileCases(const std::string& examplesDir)
{
    std::vector<CompileCase> cases;
    for (const char* name : {"Holiday Lights", "Porch Light at Sunset", "Weekday Lamps"}) {
        ModulesDocument document;
        std::string error;
        if (readModulesFile(examplesDir + "/" + name + ".vantrel", &document, &error))
            cases.push_back({name, document.modules, document.eventRepeat});
        else
            cases.push_back({std::string(name) + " unreadable: " + error, {}, {1, 1}});
    }

    const std::uint16_t weekdays = EventRuleWeekly | 0x1F00;
    Event dim = clockEvent(weekdays, 6, 30);
    dim.Brightness = 4;
    Event security = clockEvent(EventRuleWeekly | EventSecurityFlag | 0x6000, 22, 15);
    cases.push_back({"units merge, pseudo-units, dimming, security",
                     {moduleWith({clockEvent(weekdays, 7, 0), dim}, 2, 1),
                      moduleWith({clockEvent(weekdays, 7, 0)}, 2, 9),
                      moduleWith({clockEvent(weekdays, 7, 0, false)}, 2, AllLightsUnit),
                      moduleWith({clockEvent(weekdays, 23, 0, false)}, 5, AllModulesUnit),
                      moduleWith({security}, 15, 16)},
                     {3, 2}});

    std::vector<Module> dates;
    for (int offset = -9; offset <= 2; ++offset) {
        for (const int repeat : {0, 1, 3}) {
            dates.push_back(moduleWith(
                {dated(dateValue(2007, 3, 5) + static_cast<std::uint32_t>(offset * 86400), 9,
                       offset + 10, static_cast<std::uint16_t>(repeat)),
                 dated(dateValue(2026, 6, 21) + static_cast<std::uint32_t>(offset * 86400), 20,
                       offset + 10, static_cast<std::uint16_t>(repeat))},
                repeat, static_cast<std::int64_t>(offset + 10)));
        }
    }
    cases.push_back({"dates once and repeating", dates, {1, 1}});

    cases.push_back(
        {"even and odd days, sun offsets across midnight",
         {moduleWith({clockEvent(EventRuleEvenDays | 0x7F00, 1, 0),
                      clockEvent(EventRuleOddDays | 0x7F00, 23, 30)},
                     0, 1),
          moduleWith({sunTied(EventSunsetFlag, EventRuleWeekly, 7 * 3600, false),
                      sunTied(EventSunriseFlag, EventRuleWeekly, 8 * 3600, true, false)},
                     1, 2),
          moduleWith({sunTied(EventSunsetFlag, EventRuleEvenDays, 30 * 60, true),
                      sunTied(EventSunriseFlag, EventRuleOddDays, 45 * 60, false, false)},
                     1, 3)},
         {2, 2}});

    std::vector<Module> crowd;
    for (int i = 0; i < 130; ++i)
        crowd.push_back(moduleWith({clockEvent(weekdays, i / 60, i % 60)}, i % 16, 1));
    cases.push_back({"a 129th entry", crowd, {1, 1}});

    cases.push_back({"a damaged module after good ones",
                     {moduleWith({clockEvent(weekdays, 8, 0)}, 16, 1),
                      moduleWith({clockEvent(weekdays, 9, 0)}, 0, 19),
                      moduleWith({clockEvent(weekdays, 10, 0)}, 3, 4)},
                     {1, 1}});
    Event bright = clockEvent(weekdays, 11, 0);
    bright.Brightness = 0;
    cases.push_back({"a damaged event",
                     {moduleWith({bright}, 0, 2), moduleWith({clockEvent(weekdays, 12, 0)}, 0, 3)},
                     {1, 1}});
    return cases;
}

// "name | 2007-03-05 14:25 UTC | rise 6:38 set 17:52 | result 0 | 3 | 00 00 08 1f 07 00 ..."
inline std::string compileLine(const std::string& name, const CompileInstant& at,
                               std::uint32_t sunrise, std::uint32_t sunset, int result,
                               const std::vector<std::vector<std::uint8_t>>& entries)
{
    char text[128];
    std::snprintf(text, sizeof text,
                  " | %04d-%02d-%02d %02d:%02d %s | rise %u set %u | result %d | %zu |", at.year,
                  at.month, at.day, at.hour, at.minute, at.zone, sunrise, sunset, result,
                  entries.size());
    std::string line = name + text;
    for (const auto& entry : entries) {
        for (const std::uint8_t byte : entry) {
            std::snprintf(text, sizeof text, " %02x", byte);
            line += text;
        }
        line += " ;";
    }
    return line;
}

} // namespace vantrel::test
