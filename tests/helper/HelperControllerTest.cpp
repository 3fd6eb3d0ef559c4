#include "helper/HelperController.h"
#include "HelperTestSupport.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/DriverTesting.h"
#include "cp290/EventListing.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "suntimes/SunTimes.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace vantrel {
namespace {

using test::countFrames;
using test::logMessages;
using test::moduleWith;
using test::weeklyEvent;

class HelperCheck : public ::testing::Test
{
  protected:
    HelperCheck() : clock(2007, 3, 5, 10, 0, 0)
    {
        resetDriverState();
        resetDownloadState();
        resetSunTimes();
        terminate = 0;
        sending = 0;
        // A shorter tick keeps each download to a fraction of a second; the
        // byte time-out stays far above what the virtual CP290 needs.
        setDriverTickForTests(std::chrono::milliseconds(1));
    }
    ~HelperCheck() override
    {
        resetDriverState();
        terminate = 0;
        sending = 0;
    }

    void startSim(std::vector<std::string> args = {})
    {
        sim = std::make_unique<test::Cp290Sim>(std::move(args), true, "ttyCP290");
        ASSERT_TRUE(sim->isRunning());
        home.set("VANTREL_DEVICE_DIR", sim->deviceDirectory());
    }

    helperController& start()
    {
        controller = std::make_unique<helperController>([this] { ended = true; });
        controller->notify = [this](const std::string& summary, const std::string&) {
            notifications.push_back(summary);
        };
        controller->awakeFromNib();
        return *controller;
    }

    std::optional<std::time_t> storedSendTime()
    {
        Preferences helper(HelperDomain);
        return helper.unixDateValue(SendTimeKey);
    }

    test::TemporaryHome home;
    test::FixedClock clock;
    std::unique_ptr<test::Cp290Sim> sim;
    std::unique_ptr<helperController> controller;
    bool ended = false;
    std::vector<std::string> notifications;

    // What the window and `vantrelctl status` would say of this run, as if
    // the helper were running.
    std::string statusText()
    {
        HelperState state = readHelperState();
        state.running = true;
        return helperStatusText(state, unixNow());
    }
    int statusExitCode()
    {
        HelperState state = readHelperState();
        state.running = true;
        return helperStatusExitCode(state);
    }
};

TEST_F(HelperCheck, FirstRunWithWeeklyEventsOnlySetsTheClockAndWaitsForThreeTomorrow)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    start();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Clock set successfully."}));
    EXPECT_EQ(countFrames(*sim, "02 "), 1u);
    EXPECT_EQ(countFrames(*sim, "03 "), 0u);
    // 2007-03-06 03:00 UTC.
    EXPECT_EQ(storedSendTime(), std::optional<std::time_t>(1173150000));
    Preferences helper(HelperDomain);
    EXPECT_EQ(helper.integerValue(ProcessIDKey), getpid());

    // The next check, five minutes later, has nothing to do.
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(logMessages().size(), 2u);
}

TEST_F(HelperCheck, ItsOwnFileReplacedFromOutsideIsReadAtTheNextCheck)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    start();
    clock.advance(300);
    controller->checkWhatToSend();
    ASSERT_EQ(countFrames(*sim, "02 "), 1u);

    // Someone else takes the send time away, then puts one in the past:
    // each is seen at the check that follows, and each sets the clock.
    {
        Preferences other(HelperDomain);
        other.removeValue(SendTimeKey);
        ASSERT_TRUE(other.synchronize());
    }
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(countFrames(*sim, "02 "), 2u);
    EXPECT_EQ(storedSendTime(), std::optional<std::time_t>(1173150000));
    {
        Preferences other(HelperDomain);
        other.setUnixDate(SendTimeKey, clock.now() - 60);
        ASSERT_TRUE(other.synchronize());
    }
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(countFrames(*sim, "02 "), 3u);
    // Our own write of the send time is not taken for an outside change.
    clock.advance(300);
    controller->checkWhatToSend();
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(countFrames(*sim, "02 "), 3u);
    EXPECT_EQ(storedSendTime(), std::optional<std::time_t>(1173150000));
}

TEST_F(HelperCheck, SendTimeEqualToNowIsDueAndLaterIsNot)
{
    startSim();
    test::storeApplicationCopy({});
    {
        Preferences helper(HelperDomain);
        helper.setUnixDate(SendTimeKey, clock.now() + 60);
        helper.synchronize();
    }
    start();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started."}));
    clock.advance(60);
    controller->checkWhatToSend();
    // An empty module list only sets the clock.
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Clock set successfully."}));
    EXPECT_EQ(countFrames(*sim, "02 "), 1u);
}

TEST_F(HelperCheck, SendTimeFarAheadComesFromAWrongClockAndIsDue)
{
    startSim();
    test::storeApplicationCopy({});
    {
        Preferences helper(HelperDomain);
        helper.setUnixDate(SendTimeKey, clock.now() + 200 * 86400);
        helper.synchronize();
    }
    start();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Clock set successfully."}));
    EXPECT_EQ(storedSendTime(), std::optional<std::time_t>(1173150000));
}

TEST_F(HelperCheck, AnyEventThatChangesDailyDownloadsEverything)
{
    struct Case
    {
        const char* legend;
        std::uint16_t flags;
    };
    const Case cases[] = {
        {"sunrise", EventDaysMask | EventSunriseFlag | EventOnFlag},
        {"sunset", EventDaysMask | EventSunsetFlag},
        {"date", EventRuleDate | EventClockTimeFlag},
        {"even days", EventRuleEvenDays | EventClockTimeFlag},
        {"odd days", EventRuleOddDays | EventClockTimeFlag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        test::TemporaryHome caseHome;
        startSim();
        Event daily = weeklyEvent(23, 0);
        daily.Flags = c.flags;
        daily.Date = dateToSeconds(secondsToDate(GetDateTime()));
        // The changing event sits in the first module; the scan covers all.
        test::storeApplicationCopy({moduleWith({daily}), moduleWith({weeklyEvent(6, 30)}, 1, 2)});
        start();
        EXPECT_EQ(logMessages(),
                  (std::vector<std::string>{"Started.", "Events sent successfully."}));
        EXPECT_EQ(countFrames(*sim, "02 "), 1u);
        EXPECT_EQ(countFrames(*sim, "04"), 1u);
        EXPECT_EQ(countFrames(*sim, "00 "), 1u);
        EXPECT_GE(countFrames(*sim, "03 "), 1u);
        EXPECT_TRUE(storedSendTime());
    }
}

TEST_F(HelperCheck, MoreThan128EventsAreLoggedAtEveryCheckAndNothingIsSent)
{
    startSim();
    std::vector<Event> events;
    for (int i = 0; i < 128; ++i)
        events.push_back(weeklyEvent(i / 60, i % 60));
    Event sunrise = weeklyEvent(0, 0);
    sunrise.Flags = EventDaysMask | EventSunriseFlag | EventOnFlag;
    events.push_back(sunrise);
    test::storeApplicationCopy({moduleWith(events)});
    start();
    clock.advance(300);
    controller->checkWhatToSend();
    const std::string line =
        "More than 128 events were specified.  They cannot be sent to the CP290.";
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", line, line}));
    EXPECT_TRUE(sim->traceLines().empty());
    EXPECT_FALSE(storedSendTime());
}

TEST_F(HelperCheck, AFailureIsRetriedAtTheNextCheckWithItsOwnLine)
{
    // The first exchange fails all three attempts; the one after works.
    startSim({"--fault", "flaky=3"});
    test::storeApplicationCopy({});
    start();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Clock set unsuccessfully."}));
    EXPECT_FALSE(storedSendTime());
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Clock set unsuccessfully.",
                                                       "Clock set successfully."}));
    EXPECT_TRUE(storedSendTime());
}

// Turned off while the stop did not reach it (a stale process id): the
// next check ends it before any exchange, whatever is due.
TEST_F(HelperCheck, TurnedOffWhileRunningItEndsAtTheNextCheckWithoutSending)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    start();
    const std::size_t frames = sim->traceLines().size();
    Preferences application(ApplicationDomain);
    application.setValue(NoHelperKey, true);
    ASSERT_TRUE(application.synchronize());
    clock.advance(24 * 3600);
    controller->checkWhatToSend();
    EXPECT_TRUE(ended);
    EXPECT_EQ(logMessages().back(), "Terminated.");
    EXPECT_EQ(sim->traceLines().size(), frames);
}

// Each attempt is kept for the status bar and `vantrelctl status`; a
// failure streak reaches the desktop once, and so does its end.
TEST_F(HelperCheck, EachAttemptIsRecordedAndAFailureStreakIsAnnouncedOnce)
{
    startSim({"--fault", "bad-status"});
    Event sunset = weeklyEvent(0, 0);
    sunset.Flags = EventDaysMask | EventSunsetFlag | EventOnFlag;
    test::storeApplicationCopy({moduleWith({sunset})});
    start(); // Monday 5 March 2007, 10:00
    EXPECT_EQ(statusText(),
              "Helper: today's send failed (CP290 Not Responding); next try at 10:05 AM");
    EXPECT_EQ(statusExitCode(), 1);
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(notifications, std::vector<std::string>{"The schedule could not be sent to the CP290"});

    startSim();
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(statusText(), "Helper: sent today at 10:10 AM");
    EXPECT_EQ(statusExitCode(), 0);
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications.back(), "The CP290 has its schedule again");

    // Checked after sending, with one event missing in the interface: a
    // failure of its own, announced again.
    Preferences application(ApplicationDomain);
    application.setValue(CheckAfterSendKey, true);
    ASSERT_TRUE(application.synchronize());
    startSim({"--fault", "drop-event=0"});
    clock.advance(86400);
    controller->checkWhatToSend();
    EXPECT_TRUE(statusText().starts_with("Helper: sent today at 10:10 AM, but the CP290 holds "
                                         "something else ("))
        << statusText();
    EXPECT_EQ(statusExitCode(), 1);
    EXPECT_EQ(notifications.size(), 3u);
    startSim();
    clock.advance(300);
    controller->checkWhatToSend();
    EXPECT_EQ(statusText(), "Helper: sent today at 10:15 AM, verified");
    EXPECT_EQ(notifications.size(), 4u);

    // Turned off or gone, it says so whatever it did last.
    HelperState off = readHelperState();
    off.enabled = false;
    EXPECT_EQ(helperStatusText(off, unixNow()), "Helper: off");
    EXPECT_EQ(helperStatusExitCode(off), 2);
    EXPECT_EQ(helperStatusText(readHelperState(), unixNow()), "Helper: not running");
}

TEST_F(HelperCheck, NothingHappensUntilTheApplicationHasStoredEverything)
{
    startSim();
    start();
    // No device, no modules, no repeat counts: silent.
    test::storeApplicationCopy({}, nullptr);
    controller->checkWhatToSend();
    // A device name that is not connected: silent too.
    test::storeApplicationCopy({}, "USB99");
    controller->checkWhatToSend();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started."}));
    EXPECT_TRUE(sim->traceLines().empty());
    EXPECT_FALSE(storedSendTime());
}

TEST_F(HelperCheck, ADamagedScheduleIsReportedNotSent)
{
    startSim();
    Module broken = moduleWith({weeklyEvent(6, 30)});
    broken.unit = 40;
    test::storeApplicationCopy({broken});
    start();
    const auto messages = logMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[1].find("Events not sent"), std::string::npos) << messages[1];
    EXPECT_TRUE(sim->traceLines().empty());
}

TEST_F(HelperCheck, ADamagedScheduleIsLoggedOnceUntilItChangesOrADayHasPassed)
{
    startSim();
    Module broken = moduleWith({weeklyEvent(6, 30)});
    broken.unit = 40;
    // No usable device: nothing could be sent, so nothing is said.
    test::storeApplicationCopy({broken}, "USB99");
    start();
    controller->checkWhatToSend();
    EXPECT_EQ(logMessages().size(), 1u);

    auto check = [&](int seconds) {
        clock.advance(seconds);
        controller->checkWhatToSend();
        return logMessages().size() - 1;
    };
    test::storeApplicationCopy({broken});
    EXPECT_EQ(check(300), 1u);
    EXPECT_EQ(check(300), 1u) << "the same damage logged again";
    broken.unit = 41;
    test::storeApplicationCopy({broken});
    EXPECT_EQ(check(300), 2u) << "a changed copy";
    EXPECT_EQ(check(86400 - 300), 2u);
    EXPECT_EQ(check(300), 3u) << "a day later";
    EXPECT_TRUE(sim->traceLines().empty());
}

TEST_F(HelperCheck, AFailedSaveIsLoggedOnceAndRetriedAtTheNextCheck)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    // A folder where the helper's preferences file goes: no write can replace it.
    const std::string ownFile = preferencesFilePath(HelperDomain);
    ASSERT_TRUE(makeDirectories(ownFile));
    start();
    clock.advance(300);
    controller->checkWhatToSend();
    const auto messages = logMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1], "Preferences not saved: " + ownFile + ": a folder, not a regular file.");
    EXPECT_EQ(messages[2], "Clock set successfully.");
    EXPECT_EQ(countFrames(*sim, "02 "), 1u) << "the unsaved send time is kept in memory";

    ASSERT_TRUE(std::filesystem::remove(ownFile));
    clock.advance(300);
    controller->checkWhatToSend();
    Preferences helper(HelperDomain);
    EXPECT_EQ(helper.integerValue(ProcessIDKey), getpid());
    EXPECT_EQ(storedSendTime(), std::optional<std::time_t>(1173150000));
    EXPECT_EQ(logMessages().size(), 3u);
}

TEST_F(HelperCheck, TerminationBeforeAnExchangeEndsWithoutIt)
{
    startSim();
    test::storeApplicationCopy({});
    // SIGTERM came in while the helper was starting.
    terminate = 1;
    start();
    EXPECT_TRUE(ended);
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Terminated."}));
    EXPECT_TRUE(sim->traceLines().empty());
}

TEST_F(HelperCheck, TerminationDuringAnExchangeWaitsForItsResult)
{
    // The clock setting is answered late; the request comes in meanwhile,
    // as the handler would leave it.
    startSim({"--fault", "late=0.3"});
    test::storeApplicationCopy({});
    std::thread signaller([this] {
        if (sim->waitForTraceLine("rx 02 "))
            terminate = 1;
    });
    start();
    signaller.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(logMessages(),
              (std::vector<std::string>{"Started.", "Clock set successfully.", "Terminated."}));
    EXPECT_FALSE(storedSendTime());
    // The loop's own look at the signal afterwards does not log twice.
    controller->checkTerminate();
    EXPECT_EQ(logMessages().size(), 3u);
}

TEST_F(HelperCheck, AnInterfaceThatLostItsMemoryIsReprogrammedAtTheNextCheck)
{
    // Day one downloads five frames (clock, read, base house code, two
    // events); the power cut comes with the sixth exchange, between the checks.
    startSim({"--base-house-code", "C", "--fault", "power-loss=0.05@6"});
    Event sunset = weeklyEvent(0, 0);
    sunset.Flags = EventDaysMask | EventSunsetFlag | EventOnFlag;
    test::storeApplicationCopy({moduleWith({sunset, weeklyEvent(6, 30)})});
    start();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Events sent successfully."}));
    EXPECT_FALSE(CP290DoGetClock());
    ASSERT_TRUE(sim->waitForTraceLine("note power back"));

    clock.advance(86400);
    controller->checkWhatToSend();
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Events sent successfully.",
                                                       "Interface memory was lost; reprogrammed.",
                                                       "Events sent successfully."}));
    EXPECT_EQ(storedSendTime(), std::optional<std::time_t>(nextSendTimeAfter(clock.now())));

    // The interface holds the day's events again, under its own base house code.
    ASSERT_TRUE(CP290DoGetEvents());
    const std::string held = eventListingText(CP290TimerEvent, 0);
    ASSERT_TRUE(prepareDownload({moduleWith({sunset, weeklyEvent(6, 30)})}, {1, 1}));
    EXPECT_EQ(NumEvents, 2u);
    EXPECT_EQ(held, eventListingText({CP290TimerEvent, NumEvents}, 0));
    ASSERT_TRUE(CP290DoGetClock());
    EXPECT_EQ(gBaseHouseCode, 0x20);
}

TEST_F(HelperCheck, TheCheckAfterSendingLogsTheFirstDifferenceAndSendsAgainAtTheNextCheck)
{
    // Events go last first, so the fourth frame stores the 6:30 event in
    // slot 0: an hour off, the first time only.
    startSim({"--fault", "corrupt-event=0@4"});
    Event sunset = weeklyEvent(0, 0);
    sunset.Flags = EventDaysMask | EventSunsetFlag | EventOnFlag;
    test::storeApplicationCopy({moduleWith({sunset, weeklyEvent(6, 30)})});
    {
        Preferences application(ApplicationDomain);
        application.setValue(CheckAfterSendKey, true);
        application.synchronize();
    }
    start();
    auto messages = logMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1], "Events sent successfully.");
    EXPECT_EQ(messages[2], "Events not verified. Slot 0 holds A-1  Turn On @ 7:30 AM Every Day "
                           "instead of A-1  Turn On @ 6:30 AM Every Day.");
    EXPECT_FALSE(storedSendTime());

    clock.advance(300);
    controller->checkWhatToSend();
    messages = logMessages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[3], "Events sent successfully.");
    EXPECT_EQ(messages[4], "Events verified.");
    EXPECT_TRUE(storedSendTime());
}

TEST(HelperSendTime, NextCalendarDayAtThree)
{
    test::FixedClock clock(2007, 3, 10, 23, 30, 0, "EST5EDT,M3.2.0,M11.1.0");
    // 2007-03-11 is the day clocks go forward at 02:00; 03:00 EDT is 07:00 UTC.
    EXPECT_EQ(nextSendTimeAfter(clock.now()), 1173596400);
    test::FixedClock early(2007, 12, 31, 2, 59, 0, "UTC");
    EXPECT_EQ(nextSendTimeAfter(early.now()), 1199156400); // 2008-01-01 03:00
}

} // namespace
} // namespace vantrel
