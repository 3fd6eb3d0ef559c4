// A month of the helper's daily cycle under a fast-running clock: the real
// controller checks every five minutes against the virtual CP290 through a
// change from summer to winter time and a night with the interface
// unplugged. After every download the interface, read back, holds exactly
// what the download would compile at that moment (what `vantrelctl preview`
// prints), and the log has one result line for every day.

#include "helper/HelperController.h"
#include "tests/helper/HelperTestSupport.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverTesting.h"
#include "cp290/EventListing.h"
#include "platform/Paths.h"
#include "suntimes/SunTimes.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* Zone = "America/New_York";
constexpr std::time_t CheckSeconds = HelperCheckIntervalSeconds;

std::tm localOf(std::time_t when)
{
    std::tm t{};
    localtime_r(&when, &t);
    return t;
}

// "11/04/07", the date as the log writes it.
std::string logDate(std::time_t when)
{
    const std::tm t = localOf(when);
    char text[16];
    std::strftime(text, sizeof text, "%m/%d/%y", &t);
    return text;
}

Event withFlags(Event event, std::uint16_t flags)
{
    event.Flags = static_cast<std::uint16_t>(event.Flags | flags);
    return event;
}

Event sunEvent(std::uint16_t flags, std::uint32_t offsetSeconds, bool on)
{
    Event event;
    event.Adjust = offsetSeconds;
    event.Flags = static_cast<std::uint16_t>(flags | (on ? EventOnFlag : 0));
    return event;
}

Event dateEvent(std::uint32_t date, int hour, int minute, bool on, std::uint16_t every = 0)
{
    Event event = clockEvent(EventRuleDate | (every ? EventRepeatFlag : 0), hour, minute, on);
    event.Date = date;
    event.Repeat = every;
    return event;
}

// Every kind of day rule and time, on five house codes, with dimming and
// security mode: 13 events that give 13 to 19 interface events a day.
ModuleList monthSchedule()
{
    constexpr std::uint16_t Weekdays = EventMondayFlag | EventTuesdayFlag | EventWednesdayFlag |
                                       EventThursdayFlag | EventFridayFlag;
    Event dimmed = clockEvent(EventRuleEvenDays, 19, 0);
    dimmed.Brightness = 4;
    return {
        moduleWith({clockEvent(Weekdays, 6, 30), clockEvent(Weekdays, 8, 15, false)}, 0, 1),
        moduleWith({withFlags(clockEvent(EventDaysMask, 21, 30), EventSecurityFlag),
                    withFlags(clockEvent(EventDaysMask, 23, 45, false), EventSecurityFlag)},
                   1, 2),
        moduleWith({dateEvent(dateValue(2007, 11, 10), 18, 0, true),
                    dateEvent(dateValue(2007, 10, 1), 7, 15, false, 3),
                    dateEvent(dateValue(2007, 10, 1), 5, 0, true, 1)},
                   2, 3),
        moduleWith({dimmed, clockEvent(EventRuleOddDays, 19, 0, false),
                    clockEvent(EventRuleOddDays, 22, 0, false)},
                   3, 4),
        moduleWith({sunEvent(EventDaysMask | EventSunsetFlag | EventOffsetBeforeFlag, 900, true),
                    sunEvent(EventDaysMask | EventSunriseFlag, 1800, false),
                    sunEvent(EventRuleOddDays | EventSunsetFlag, 3600, false)},
                   4, 5),
    };
}

constexpr ClassicEventRepeat MonthRepeat{2, 1};

using Slots = std::vector<std::array<std::uint8_t, CP290TimerEventSize>>;

Slots driverTable(std::size_t count)
{
    Slots slots(count);
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(slots[i].data(), CP290TimerEvent[i], CP290TimerEventSize);
    return slots;
}

std::string listing(const Slots& slots, std::uint32_t nowSecs)
{
    std::vector<TimerEventEntry> entries(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i)
        std::memcpy(entries[i], slots[i].data(), CP290TimerEventSize);
    return eventListingText(entries, nowSecs);
}

struct Download
{
    std::time_t at = 0;
    std::uint32_t sunset = 0; // today's sunset as the download computed it
    std::size_t events = 0;
};

class MonthOfDays : public ::testing::Test
{
  protected:
    MonthOfDays() : clock(2007, 10, 20, 12, 0, 0, Zone)
    {
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
        terminate = 0;
        sending = 0;
        // Short ticks keep a download to a few dozen milliseconds; the byte
        // time-out (75 ms) stays far above what the virtual CP290 needs.
        setDriverTickForTests(250us);
        makeDirectories(stateDirectory());
        deviceDirectory = home.root() + "/dev";
        std::filesystem::create_directories(deviceDirectory);
        home.set("VANTREL_DEVICE_DIR", deviceDirectory);
    }
    ~MonthOfDays() override
    {
        resetDriverState();
        terminate = 0;
        sending = 0;
    }

    // Plugs the interface in: a fresh virtual CP290 behind the device name.
    void plugIn()
    {
        sim = std::make_unique<Cp290Sim>(
            std::vector<std::string>{"--link", deviceDirectory + "/ttyCP290"});
        ASSERT_TRUE(sim->isRunning());
    }
    void unplug()
    {
        ASSERT_EQ(sim->stop(), std::optional<int>(0));
        ASSERT_FALSE(std::filesystem::exists(deviceDirectory + "/ttyCP290", ignored));
    }

    // What the interface holds now against what a download compiles now.
    void expectInterfaceHoldsTodaysEvents(Download& download)
    {
        ASSERT_TRUE(CP290DoGetEvents()) << "the interface did not list its events";
        const Slots held = driverTable(CP290MaxEvents);
        ASSERT_TRUE(prepareDownload(monthSchedule(), MonthRepeat));
        const Slots compiled = driverTable(NumEvents);
        download.sunset = gSunsetTime;
        download.events = compiled.size();
        EXPECT_EQ(listing(held, NowSecs), listing(compiled, NowSecs));
        for (std::size_t i = 0; i < held.size(); ++i) {
            SCOPED_TRACE("slot " + std::to_string(i));
            if (i < compiled.size())
                EXPECT_TRUE(
                    std::equal(held[i].begin() + 2, held[i].end(), compiled[i].begin() + 2));
            else
                EXPECT_EQ(held[i][2], CP290EmptySlotMode);
        }
    }

    TemporaryHome home;
    FixedClock clock;
    std::string deviceDirectory;
    std::unique_ptr<Cp290Sim> sim;
    std::error_code ignored;
};

TEST_F(MonthOfDays, EveryDownloadHoldsThatDaysEventsThroughWinterTimeAndAnUnpluggedNight)
{
    const auto started = std::chrono::steady_clock::now();
    // Clocks go back at 02:00 on Sunday 4 November; the interface is
    // unplugged from 01:00 to 08:00 on 12 November.
    const std::time_t winterDay = FixedClock::localMoment(2007, 11, 4, 3, 0);
    const std::time_t unplugAt = FixedClock::localMoment(2007, 11, 12, 1, 0);
    const std::time_t plugBackAt = FixedClock::localMoment(2007, 11, 12, 8, 0);
    const std::time_t lastDownload = FixedClock::localMoment(2007, 11, 19, 3, 0);

    plugIn();
    storeApplicationCopy(monthSchedule(), SimDeviceName, MonthRepeat);
    helperController controller([] {});
    std::vector<Download> downloads;
    auto logSize = [] {
        std::error_code none;
        const auto size = std::filesystem::file_size(logFilePath(), none);
        return none ? 0 : size;
    };
    auto check = [&](bool first) {
        const auto before = logSize();
        first ? controller.awakeFromNib() : controller.checkWhatToSend();
        if (logSize() == before)
            return;
        downloads.push_back({clock.now()});
        expectInterfaceHoldsTodaysEvents(downloads.back());
    };

    check(true);
    std::size_t checks = 1;
    for (; clock.now() < lastDownload; ++checks) {
        clock.advance(CheckSeconds);
        if (clock.now() == unplugAt)
            unplug();
        if (clock.now() == plugBackAt)
            plugIn();
        check(false);
        ASSERT_FALSE(HasFatalFailure());
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // The first check, then 03:00 every day; the unplugged day at the first
    // check once the interface is back.
    ASSERT_EQ(downloads.size(), 31u);
    for (std::size_t day = 1; day < downloads.size(); ++day) {
        const std::tm t = localOf(downloads[day].at);
        SCOPED_TRACE(logDate(downloads[day].at));
        if (logDate(downloads[day].at) == logDate(unplugAt))
            EXPECT_EQ(downloads[day].at, plugBackAt);
        else
            EXPECT_EQ(std::make_pair(t.tm_hour, t.tm_min), std::make_pair(3, 0));
        // Sunset moves a minute or two a day, and an hour earlier with the clocks.
        const long change =
            static_cast<long>(downloads[day].sunset) - static_cast<long>(downloads[day - 1].sunset);
        if (downloads[day].at == winterDay)
            EXPECT_LE(std::abs(change + 3600), 180);
        else
            EXPECT_LE(std::abs(change), 180);
    }
    EXPECT_EQ(downloads.back().at, lastDownload);

    // One result line a day, every one a success; nothing else said.
    std::map<std::string, std::vector<std::string>> results;
    std::ifstream in(logFilePath());
    std::vector<std::string> others;
    for (std::string line; std::getline(in, line);) {
        const std::string message = line.substr(line.find(" -- ") + 4);
        if (message == "Started.")
            others.push_back(message);
        else
            results[line.substr(4, 8)].push_back(message);
    }
    EXPECT_EQ(others, std::vector<std::string>{"Started."});
    ASSERT_EQ(results.size(), downloads.size());
    for (const Download& download : downloads)
        EXPECT_EQ(results[logDate(download.at)],
                  std::vector<std::string>{"Events sent successfully."})
            << logDate(download.at);

    const auto [fewest, most] = std::minmax_element(
        downloads.begin(), downloads.end(),
        [](const Download& a, const Download& b) { return a.events < b.events; });
    std::cout << downloads.size() - 1 << " days, " << checks << " checks, " << downloads.size()
              << " downloads read back (" << fewest->events << " to " << most->events
              << " CP290 events each), winter time on " << logDate(winterDay)
              << ", unplugged night " << logDate(unplugAt) << ", in " << seconds << " s\n";
}

} // namespace
} // namespace vantrel::test
