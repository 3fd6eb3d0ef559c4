#pragma once

// What the interface will switch, and when, over the coming days. Each day
// the helper downloads the schedule again at 3:00 AM with that day's sun
// times, so a day is made of two downloads: until 3:00 AM the interface still
// runs the one of the day before (its tomorrow-only and weekly events), and
// from then on that day's own (today-only and weekly events). Both are
// compiled by the download's own code, as of 3:00 AM local time of their day,
// with the document's repeat counts; nothing is sent.

#include "platform/DateTime.h"
#include "schedule/Event.h"
#include "schedule/Module.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

constexpr int WeekAheadDefaultDays = 7;
constexpr int WeekAheadMaxDays = 366;

enum class SwitchingKind
{
    On,
    Off,
    Dim
};

// One house code and unit switched at one minute, for every module that asks
// for it: the interface sends the command once.
struct WeekSwitching
{
    int minuteOfDay = 0; // 0-1439, on the interface's clock
    std::int64_t houseCode = 0;
    std::int64_t unit = 1;     // 1-16, AllLightsUnit or AllModulesUnit
    std::uint8_t function = 0; // the level/function byte sent
    bool security = false;     // a weekly event in security mode
    std::size_t module = 0;    // index in the module list
    std::size_t event = 0;     // index in that module's events
    // Every module switched by it, `module` first, in list order.
    std::vector<std::size_t> modules;

    SwitchingKind kind() const;
};

struct WeekDay
{
    DateTimeRec date;          // year, month, day and dayOfWeek
    std::uint32_t sunrise = 0; // time-of-day values, or NoSunTime
    std::uint32_t sunset = 0;
    std::vector<WeekSwitching> switchings; // by time, then house code, then unit
    // Why that day's 3:00 AM download would not be sent; empty when it would.
    std::string failure;
};

// The days from year-month-day on. False (with the reason) when the first
// day does not exist, the count is outside 1 to WeekAheadMaxDays, or the
// days run past the schedule's clock (2040-02-06). Touches no driver state:
// it may run while an exchange is under way.
bool computeWeekAhead(const ModuleList& modules, ClassicEventRepeat repeat, int year, int month,
                      int day, int days, std::vector<WeekDay>* result, std::string* error);

// "Monday 11/05/2007  sunrise 6:38 AM  sunset 4:52 PM", then one line per
// switching ("  5:25 PM  A-1  Turn On (Security)  Porch, Garden"), or "  None.".
std::string weekAheadText(const std::vector<WeekDay>& days, const ModuleList& modules);

// The names of the modules a switching switches, "Porch, Garden"; unnamed
// ones are left out.
std::string weekSwitchingNames(const WeekSwitching& switching, const ModuleList& modules);

// "A-1", "A-All Light Modules", "A-All Modules".
std::string weekModuleText(std::int64_t houseCode, std::int64_t unit);
// "Sunday" ... "Saturday" for dayOfWeek 1-7.
const char* weekdayName(int dayOfWeek);

} // namespace vantrel
