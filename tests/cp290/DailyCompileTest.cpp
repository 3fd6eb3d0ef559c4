// The daily compile as a function: the same timer events as the download's
// walk wrote before (pinned in data/daily-compile.expected), with no driver
// state read or written, and the moments at which it can next differ.

#include "DailyCompileCases.h"

#include "cp290/DailyCompile.h"
#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/Verification.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace vantrel {
namespace {

using test::clockEvent;
using test::clockTime;
using test::dateValue;
using test::moduleWith;

std::vector<std::string> expectedLines()
{
    std::ifstream in(VANTREL_SOURCE_DIR "/tests/cp290/data/daily-compile.expected");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(DailyCompile, GivesTheDownloadsEntriesForTheExamplesAndTheEdges)
{
    const std::vector<std::string> expected = expectedLines();
    ASSERT_FALSE(expected.empty());
    // Garbage in the driver's table and sun times must not leak in.
    resetDriverState();
    NumEvents = 5;
    gSunriseTime = gSunsetTime = 12345;

    std::size_t line = 0;
    for (const auto& c : test::compileCases(VANTREL_SOURCE_DIR "/examples")) {
        for (const auto& at : test::compileInstants()) {
            // The clock is fixed only for its zone; nothing reads "now".
            test::FixedClock zone(1990, 1, 1, 0, 0, 0, at.zone);
            setLocationOverride({at.latitude, at.longitude, std::nullopt});
            const std::time_t moment =
                zone.localMoment(at.year, at.month, at.day, at.hour, at.minute, 0);
            const CompileMoment reference = compileMomentAt(localSecondsFromUnix(moment));
            const SunTimes sun = sunTimesOn(at.year, at.month, at.day, readLocationAt(moment));
            const CompiledSchedule compiled = compileSchedule(c.modules, c.repeat, reference, sun);
            std::vector<std::vector<std::uint8_t>> entries;
            for (std::size_t i = 0; i < compiled.entries.size(); ++i) {
                std::vector<std::uint8_t> bytes(CP290TimerEventSize);
                encodeTimerEvent(compiled.entries[i], static_cast<unsigned>(i), bytes.data());
                EXPECT_EQ(decodeTimerEvent(bytes.data()), compiled.entries[i]);
                entries.push_back(bytes);
            }
            ASSERT_LT(line, expected.size());
            EXPECT_EQ(test::compileLine(c.name, at, sun.sunrise, sun.sunset,
                                        static_cast<int>(compiled.result), entries),
                      expected[line]);
            ++line;
        }
    }
    EXPECT_EQ(line, expected.size());
    setLocationOverride({});
    EXPECT_EQ(NumEvents, 5);
    EXPECT_EQ(gSunriseTime, 12345u);
    resetDriverState();
    resetSunTimes();
}

TEST(DailyCompile, ACountPassesOverDamageButStopsWhenFull)
{
    const CompileMoment moment = compileMomentAt(dateValue(2007, 3, 5) + 8 * 3600);
    const SunTimes sun{clockTime(6, 0), clockTime(18, 0)};
    Event dim = clockEvent(EventRuleWeekly | 0x1F00, 9, 0);
    dim.Brightness = 12;
    const ModuleList modules = {moduleWith({clockEvent(EventRuleWeekly | 0x1F00, 7, 0)}, 0, 1),
                                moduleWith({dim}, 0, 2),
                                moduleWith({clockEvent(EventRuleWeekly | 0x1F00, 7, 5)}, 20, 1),
                                moduleWith({clockEvent(EventRuleWeekly | 0x1F00, 7, 10)}, 0, 3)};

    const CompiledSchedule download = compileSchedule(modules, {1, 1}, moment, sun);
    EXPECT_EQ(download.result, SendEventResult::InvalidModule);
    EXPECT_EQ(download.entries.size(), 1u); // the last module's, walked first
    EXPECT_FALSE(download.damagedModule);

    const CompiledSchedule count =
        compileSchedule(modules, {1, 1}, moment, sun, CompileStop::WhenFull);
    EXPECT_EQ(count.result, SendEventResult::InvalidModule);
    EXPECT_EQ(count.entries.size(), 2u);
    EXPECT_TRUE(count.damagedModule);
    EXPECT_TRUE(count.damagedEvent);
    EXPECT_TRUE(count.offered);

    ModuleList crowd(1);
    for (int i = 0; i < 130; ++i)
        crowd.push_back(moduleWith({clockEvent(EventRuleWeekly | 0x1F00, 10, i % 60)}, i / 60, 1));
    const CompiledSchedule full =
        compileSchedule(crowd, {1, 1}, moment, sun, CompileStop::WhenFull);
    EXPECT_EQ(full.result, SendEventResult::TooManyEvents);
    EXPECT_EQ(full.entries.size(), static_cast<std::size_t>(CP290MaxEvents));
    EXPECT_EQ(full.error, TooManyEventsMessage);

    const CompiledSchedule none = compileSchedule(ModuleList(3), {1, 1}, moment, sun);
    EXPECT_FALSE(none.hadEvents);
    EXPECT_FALSE(none.offered);
}

TEST(DailyCompile, NextChangeIsTheFirstEventMinuteMidnightOrTheSendHour)
{
    const std::uint32_t day = dateValue(2007, 3, 5);
    const SunTimes sun{clockTime(6, 10), clockTime(18, 20)};
    const ModuleList modules = {
        moduleWith({clockEvent(EventRuleWeekly | 0x1F00, 7, 0),
                    clockEvent(EventRuleWeekly | 0x1F00, 21, 45)}),
        moduleWith({test::sunTied(EventSunsetFlag, EventRuleWeekly, 30 * 60, false),
                    // After midnight: it never changes today's compile.
                    test::sunTied(EventSunsetFlag, EventRuleWeekly, 7 * 3600, false)}),
    };
    struct Case
    {
        std::uint32_t now;
        std::uint32_t next;
    } cases[] = {
        {day + 60, day + 3 * 3600},                  // before the send hour
        {day + 3 * 3600, day + 7 * 3600},            // at it: the next event
        {day + 7 * 3600 - 1, day + 7 * 3600},        // one second before an event
        {day + 7 * 3600, day + 18 * 3600 + 50 * 60}, // at it: sunset + 30 min
        {day + 21 * 3600 + 45 * 60, day + 86400},    // the last one passed: midnight
        {day + 86400 - 1, day + 86400},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nextCompileChange(modules, compileMomentAt(c.now), sun), c.next)
            << "at " << (c.now - day);
    EXPECT_EQ(nextCompileChange({}, compileMomentAt(day + 4 * 3600), sun), day + 86400);
}

TEST(DailyCompile, SendTimeIsThreeOClockTheNextDayAlsoAcrossClockChanges)
{
    test::FixedClock zone(2026, 3, 7, 12, 0, 0, "EST5EDT");
    // The night the clock skips 2:00-3:00: still 3:00, the first moment after.
    const std::time_t spring = nextSendTimeAfter(zone.localMoment(2026, 3, 7, 23, 59, 0));
    EXPECT_EQ(spring, zone.localMoment(2026, 3, 8, 3, 0, 0));
    EXPECT_EQ(sendTimeOn(2026, 3, 8), spring);
    // Month and year ends carry over.
    EXPECT_EQ(nextSendTimeAfter(zone.localMoment(2026, 12, 31, 2, 0, 0)),
              zone.localMoment(2027, 1, 1, 3, 0, 0));
    EXPECT_EQ(nextSendTimeAfter(zone.localMoment(2026, 11, 1, 1, 30, 0)),
              zone.localMoment(2026, 11, 2, 3, 0, 0));
}

TEST(DailyCompile, VerificationExpectsWhatTheDownloadStores)
{
    test::FixedClock clock(2026, 12, 24, 16, 0);
    setLocationOverride({40, -74, 0});
    for (const auto& c : test::compileCases(VANTREL_SOURCE_DIR "/examples")) {
        resetDriverState();
        prepareDownload(c.modules, c.repeat);
        const SlotTable stored = downloadedSlots();
        const CompiledSchedule compiled =
            compileSchedule(c.modules, c.repeat, compileMomentAt(GetDateTime()),
                            SunTimes{gSunriseTime, gSunsetTime});
        const SlotTable expected = slotsAfterDownload(compiled.entries);
        EXPECT_EQ(stored.count, expected.count) << c.name;
        EXPECT_EQ(std::memcmp(stored.entries, expected.entries, sizeof stored.entries), 0)
            << c.name;
    }
    setLocationOverride({});
    resetDriverState();
    resetSunTimes();
}

} // namespace
} // namespace vantrel
