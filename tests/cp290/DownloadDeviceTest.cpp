// The download as the virtual CP290 sees it: the frames it receives, in
// order, and the events it has stored afterwards (read back with command 5).

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverTesting.h"
#include "cp290/EventListing.h"
#include "LinkTestSupport.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"
#include "support/Cp290Sim.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using test::clockEvent;
using test::clockTime;
using test::dateValue;

using Entry = std::array<std::uint8_t, CP290TimerEventSize>;

Module module(int house, int unit, std::vector<Event> events)
{
    return test::moduleWith(std::move(events), house, unit);
}

std::vector<std::string> framesReceived(const test::Cp290Sim& sim)
{
    std::vector<std::string> frames;
    for (const std::string& line : sim.traceLines()) {
        if (line.rfind("rx ", 0) == 0)
            frames.push_back(line.substr(3));
    }
    return frames;
}

// Bytes 2-9 of the first count entries, as read back or as downloaded.
std::vector<Entry> storedPart(int count)
{
    std::vector<Entry> result;
    for (int i = 0; i < count; ++i) {
        Entry e{};
        std::copy(CP290TimerEvent[i] + 2, CP290TimerEvent[i] + CP290TimerEventSize, e.begin() + 2);
        result.push_back(e);
    }
    return result;
}

class DownloadDevice : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
        setLocationOverride({0, 0, 0});
        CP290Verbose = false;
        // Short ticks keep a full table to a few seconds; the virtual CP290
        // answers at once, so the byte time-out of 300 ticks is still ample.
        setDriverTickForTests(std::chrono::milliseconds(1));
        ASSERT_TRUE(sim.isRunning());
        setCP290DeviceFilePath(sim.devicePath().c_str());
    }
    void TearDown() override
    {
        setLocationOverride({});
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
    }

    // Reads the interface's slots back; the number of used ones, -1 on failure.
    int readBack()
    {
        if (!CP290DoGetEvents())
            return -1;
        int used = 0;
        for (const auto& slot : CP290TimerEvent)
            used += slot[2] != CP290EmptySlotMode;
        return used;
    }

    test::Cp290Sim sim;
};

// Monday 5 March 2007, 06:00.
TEST_F(DownloadDevice, SendsClockBaseHouseCodeEraseAndEventsAndTheyAreStored)
{
    test::FixedClock clock(2007, 3, 5, 6, 0);
    const Event weekdays = clockEvent(EventRuleWeekly | 0x1F00, 6, 30);
    Event daily = clockEvent(EventRuleDate | EventRepeatFlag, 7, 0, false);
    daily.Date = dateValue(2007, 3, 1);
    daily.Repeat = 1;
    const ModuleList modules{module(0, 1, {weekdays}), module(0, 2, {weekdays}),
                             module(2, 5, {daily}),
                             module(2, AllModulesUnit, {clockEvent(EventRuleWeekly, 23, 0)})};

    ASSERT_TRUE(prepareDownload(modules, {1, 1}));
    ASSERT_EQ(NumEvents, 4);
    const std::vector<Entry> downloaded = storedPart(NumEvents);
    const std::string preview = eventListingText({CP290TimerEvent, NumEvents}, NowSecs);
    ASSERT_TRUE(CP290DoSendEventEnd());
    EXPECT_TRUE(CP290Close);
    EXPECT_EQ(CP290FileDescriptor, -1);

    EXPECT_EQ(framesReceived(sim), (std::vector<std::string>{
                                       "02 00 06 01 07", // clock: 06:00, Monday
                                       "04",             // read clock and base house code
                                       "00 60",          // base house code A again: erase
                                       "03 00 00 08 00 17 00 00 00 20 00 3F", // C all units off
                                       "03 08 00 04 00 07 00 08 00 20 03 36", // C5 off today
                                       "03 10 00 02 00 07 00 08 00 20 03 34", // and tomorrow
                                       "03 18 00 08 1F 06 1E C0 00 60 02 6D", // A1 A2 weekdays
                                   }));

    ASSERT_EQ(readBack(), 4);
    EXPECT_EQ(storedPart(4), downloaded);
    EXPECT_EQ(eventListingText(CP290TimerEvent, NowSecs), preview);
}

TEST_F(DownloadDevice, RepeatCountsReachTheInterface)
{
    test::FixedClock clock(2007, 3, 5, 12, 0);
    const ModuleList modules{module(0, 1, {clockEvent(EventRuleWeekly | 0x1F00, 6, 30)}),
                             module(0, 2, {clockEvent(EventRuleWeekly | 0x1F00, 6, 30)})};
    ASSERT_TRUE(prepareDownload(modules, {2, 1}));
    ASSERT_TRUE(CP290DoSendEventEnd());
    const std::vector<std::string> frames = framesReceived(sim);
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[3], "03 00 00 08 1F 06 1E C0 00 60 02 6D");
    EXPECT_EQ(frames[4], "03 08 00 08 1F 06 1F C0 00 60 02 6E");
    ASSERT_EQ(readBack(), 2);
}

TEST_F(DownloadDevice, FullTableIsStoredWhole)
{
    test::FixedClock clock(2007, 3, 5, 12, 0);
    std::vector<Event> events;
    for (int i = 0; i < CP290MaxEvents; ++i)
        events.push_back(clockEvent(EventRuleWeekly | 0x7F00, i / 60, i % 60));
    ASSERT_TRUE(prepareDownload({module(1, 16, events)}, {1, 1}));
    ASSERT_EQ(NumEvents, 128);
    const std::vector<Entry> downloaded = storedPart(NumEvents);
    test::RecordingHost host;
    setDriverHost(&host);
    CP290Verbose = true;
    const bool sent = CP290DoSendEventEnd();
    CP290Verbose = false;
    setDriverHost(nullptr);
    ASSERT_TRUE(sent);
    // The status bar's shares add up to the whole bar even for a full table,
    // whose share in whole numbers would be nothing.
    EXPECT_NEAR(host.progressTotal(), 130.0, 1.0);
    const std::vector<std::string> frames = framesReceived(sim);
    ASSERT_EQ(frames.size(), 131u);
    EXPECT_EQ(frames.back().substr(0, 9), "03 F8 03 ");
    ASSERT_EQ(readBack(), 128);
    EXPECT_EQ(storedPart(128), downloaded);
}

TEST_F(DownloadDevice, NothingApplicableTodayStillErasesTheOldEvents)
{
    test::FixedClock clock(2007, 3, 5, 12, 0);
    ASSERT_TRUE(prepareDownload({module(0, 1, {clockEvent(EventRuleWeekly, 7, 0)})}, {1, 1}));
    ASSERT_TRUE(CP290DoSendEventEnd());
    const std::size_t before = framesReceived(sim).size();

    // The user replaced the weekly event by one next week.
    Event nextWeek = clockEvent(EventRuleDate, 7, 0);
    nextWeek.Date = dateValue(2007, 3, 12);
    ASSERT_TRUE(prepareDownload({module(0, 1, {nextWeek})}, {1, 1}));
    EXPECT_EQ(NumEvents, 0);
    EXPECT_TRUE(CP290DoSendEventEnd());
    const std::vector<std::string> frames = framesReceived(sim);
    EXPECT_EQ(std::vector<std::string>(frames.begin() + static_cast<std::ptrdiff_t>(before),
                                       frames.end()),
              (std::vector<std::string>{"02 00 0C 01 0D", "04", "00 60"}));
    EXPECT_EQ(readBack(), 0);
}

TEST_F(DownloadDevice, AtTheLineRateTakesNoExtraAttempts)
{
    // Monday 23:39 and base house code P: the trailing checksum of the clock
    // reply is 0xFF and reaches the driver while it sends the erase.
    test::Cp290Sim lineRate({"--base-house-code", "P"}, false);
    ASSERT_TRUE(lineRate.isRunning());
    setCP290DeviceFilePath(lineRate.devicePath().c_str());
    setDriverTickForTests(std::chrono::nanoseconds(0));
    test::FixedClock clock(2007, 3, 5, 23, 39);
    ASSERT_TRUE(
        prepareDownload({module(0, 1, {clockEvent(EventRuleWeekly | 0x1F00, 6, 30)})}, {1, 1}));

    EXPECT_TRUE(CP290DoSendEventEnd());

    EXPECT_EQ(framesReceived(lineRate), (std::vector<std::string>{
                                            "02 27 17 01 3F",
                                            "04",
                                            "00 C0",
                                            "03 00 00 08 1F 06 1E 80 00 60 02 2D",
                                        }));
}

TEST_F(DownloadDevice, TooManyEventsSendsNothing)
{
    test::FixedClock clock(2007, 3, 5, 12, 0);
    std::vector<Event> events;
    for (int i = 0; i <= CP290MaxEvents; ++i)
        events.push_back(clockEvent(EventRuleWeekly | 0x7F00, i / 60, i % 60));
    EXPECT_FALSE(prepareDownload({module(1, 16, events)}, {1, 1}));
    EXPECT_EQ(lastSendEventResult(), SendEventResult::TooManyEvents);
    EXPECT_TRUE(framesReceived(sim).empty());
}

TEST_F(DownloadDevice, FailureMidBatchClosesThePortAndRestoresClosingMode)
{
    test::Cp290Sim faulty({"--fault", "no-reply@4-"});
    ASSERT_TRUE(faulty.isRunning());
    setCP290DeviceFilePath(faulty.devicePath().c_str());
    test::FixedClock clock(2007, 3, 5, 12, 0);
    ASSERT_TRUE(prepareDownload({module(0, 1, {clockEvent(EventRuleWeekly, 7, 0)}),
                                 module(0, 2, {clockEvent(EventRuleWeekly, 8, 0)})},
                                {1, 1}));
    EXPECT_FALSE(CP290DoSendEventEnd());
    EXPECT_TRUE(CP290Close);
    EXPECT_EQ(CP290FileDescriptor, -1);
    const std::vector<std::string> frames = framesReceived(faulty);
    ASSERT_EQ(frames.size(), 6u); // clock, read, erase, then three tries of the first event
    EXPECT_EQ(frames[3], frames[5]);
}

} // namespace
} // namespace vantrel
