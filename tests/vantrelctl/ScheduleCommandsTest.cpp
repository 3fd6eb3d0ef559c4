// vantrelctl preview, send and events, run as the program under a faked
// clock and a fixed zone and location, against a schedule document and the
// virtual CP290.

#include "cp290/Driver.h"
#include "cp290/DriverTesting.h"
#include "platform/DateTime.h"
#include "platform/Preferences.h"
#include "schedule/ModulesDocument.h"
#include "support/Cp290Sim.h"
#include "support/ScheduleBuilders.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VANTRELCTL_PATH
#error "VANTRELCTL_PATH must name the vantrelctl program"
#endif

namespace vantrel {
namespace {

using test::clockTime;
using test::dateValue;

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

class ScheduleCommands : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrelctl-schedule-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }

    std::string path(const std::string& name) const { return m_directory + "/" + name; }

    std::string write(const std::string& name, const ModuleList& modules,
                      ClassicEventRepeat repeat = {1, 1})
    {
        ModulesDocument document;
        document.modules = modules;
        document.eventRepeat = repeat;
        std::string error;
        EXPECT_TRUE(writeModulesFile(path(name), document, &error)) << error;
        return path(name);
    }

    // Runs vantrelctl with the arguments at the given local time in UTC, at
    // latitude and longitude 0.
    Outcome run(const std::string& arguments, const std::string& when = "2007-03-05 12:00:00")
    {
        // The preloaded clock library must not trip the sanitizer's link-order check.
        const std::string command = "TZ=UTC ASAN_OPTIONS=verify_asan_link_order=0 faketime " +
                                    quoted(when) + " " + VANTRELCTL_PATH + " " + arguments +
                                    " --latitude 0 --longitude 0 --gmt-offset 0 >" +
                                    quoted(path("out")) + " 2>" + quoted(path("err"));
        Outcome result;
        const int status = std::system(command.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readWhole(path("out"));
        result.err = readWhole(path("err"));
        return result;
    }

    // The preferences vantrelctl reads are this test's own.
    test::TemporaryHome m_home;
    std::string m_directory;
};

EventData clockEvent(std::uint16_t flags, int hour, int minute, std::uint32_t date = 0)
{
    Event e;
    e.Date = date;
    e.Time = clockTime(hour, minute);
    e.Flags = static_cast<std::uint16_t>(flags | EventClockTimeFlag);
    return eventToData(e);
}

Module module(int house, int unit, std::vector<EventData> events)
{
    Module m;
    m.houseCode = house;
    m.unit = unit;
    m.events = std::move(events);
    return m;
}

constexpr std::uint16_t WeekdaysOn = 0x1F00 | EventOnFlag;

TEST_F(ScheduleCommands, PreviewListsWhatADownloadWouldStore)
{
    // Dims every day from 1 March at 20:00: still to come at noon, so today and tomorrow.
    Event daily;
    daily.Date = dateValue(2007, 3, 1);
    daily.Time = clockTime(20, 0);
    daily.Brightness = 4;
    daily.Repeat = 1;
    daily.Flags = EventRuleDate | EventRepeatFlag | EventClockTimeFlag | EventOnFlag;
    const std::string file =
        write("home.vantrel",
              {module(0, 1, {clockEvent(WeekdaysOn, 6, 30)}),
               module(0, 2, {clockEvent(WeekdaysOn, 6, 30), clockEvent(0x7F00, 22, 0)}),
               module(1, 3, {eventToData(daily)})},
              {2, 1});

    const Outcome result = run("preview " + quoted(file));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Events from CP290 as of Mon 03/05/07 12:00 PM:\n"
                          "\n"
                          "A-1 2  Turn On @ 6:30 AM   MTWTF \n"
                          "A-1 2  Turn On @ 6:31 AM   MTWTF \n"
                          "B-3  Turn On 50.0% @ 8:00 PM Tomorrow\n"
                          "B-3  Turn On 50.0% @ 8:00 PM    Today\n"
                          "B-3  Turn On 50.0% @ 8:01 PM Tomorrow\n"
                          "B-3  Turn On 50.0% @ 8:01 PM    Today\n"
                          "A-2  Turn Off @ 10:00 PM Every Day\n"
                          "7 of 128 CP290 events\n");
}

TEST_F(ScheduleCommands, PreviewOfNothingApplicableSaysNone)
{
    const std::string file = write(
        "later.vantrel",
        {module(0, 1, {clockEvent(EventRuleDate | EventOnFlag, 7, 0, dateValue(2007, 3, 12))})});
    const Outcome result = run("preview " + quoted(file));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Events from CP290 as of Mon 03/05/07 12:00 PM:\n\nNone.\n"
                          "0 of 128 CP290 events\n");
}

TEST_F(ScheduleCommands, PreviewFollowsTheClock)
{
    const std::string file =
        write("even.vantrel", {module(0, 1, {clockEvent(EventRuleEvenDays | EventOnFlag, 7, 0)})});
    EXPECT_EQ(run("preview " + quoted(file), "2007-03-14 06:00:00").out,
              "Events from CP290 as of Wed 03/14/07 06:00 AM:\n\n"
              "A-1  Turn On @ 7:00 AM    Today\n"
              "1 of 128 CP290 events\n");
    EXPECT_EQ(run("preview " + quoted(file), "2007-03-15 06:00:00").out,
              "Events from CP290 as of Thu 03/15/07 06:00 AM:\n\nNone.\n"
              "0 of 128 CP290 events\n");
}

TEST_F(ScheduleCommands, PreviewOfTooManyEventsFails)
{
    std::vector<EventData> events;
    for (int i = 0; i <= 128; ++i)
        events.push_back(clockEvent(0x7F00 | EventOnFlag, i / 60, i % 60));
    const std::string file = write("full.vantrel", {module(0, 1, events)});
    const Outcome result = run("preview " + quoted(file));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("A maximum of 128 events can be specified."), std::string::npos)
        << result.err;
}

TEST_F(ScheduleCommands, AModuleWithADamagedCellIsNotSent)
{
    const std::string file =
        write("damaged.vantrel", {module(16, 1, {clockEvent(WeekdaysOn, 6, 30)}),
                                  module(0, 2, {clockEvent(WeekdaysOn, 7, 0)})});
    const Outcome result = run("preview " + quoted(file));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("A module has house code number 16; only 0 to 15 (A to P) exist."),
              std::string::npos)
        << result.err;
}

TEST_F(ScheduleCommands, BadArgumentsAndMissingFiles)
{
    EXPECT_EQ(run("preview").status, 2);
    EXPECT_EQ(run("preview " + quoted(path("absent.vantrel"))).status, 1);
    const std::string file = write("home.vantrel", {module(0, 1, {clockEvent(WeekdaysOn, 6, 30)})});
    EXPECT_EQ(run("send " + quoted(file)).status, 2); // no --device
    EXPECT_EQ(run("events").status, 2);
    EXPECT_EQ(run("preview " + quoted(file) + " --latitude 100").status, 2);
}

TEST_F(ScheduleCommands, SendThenEventsReadsTheSameListingBack)
{
    test::Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    const std::string file = write("home.vantrel", {module(0, 1, {clockEvent(WeekdaysOn, 6, 30)}),
                                                    module(0, 2, {clockEvent(WeekdaysOn, 6, 30)}),
                                                    module(2, 18, {clockEvent(0x7F00, 23, 0)})});
    const Outcome sent = run("send " + quoted(file) + " --device " + quoted(sim.devicePath()));
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "2 of 128 CP290 events sent.\n");
    EXPECT_TRUE(sim.waitForTraceLine("rx 03 08 00 08 1F 06 1E C0 00 60 02 6D").has_value());

    const Outcome listed =
        run("events --device " + quoted(sim.devicePath()), "2007-03-05 12:05:00");
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "Events from CP290 as of Mon 03/05/07 12:05 PM:\n\n"
                          "A-1 2  Turn On @ 6:30 AM   MTWTF \n"
                          "C-All Modules Turn Off @ 11:00 PM Every Day\n");
}

TEST_F(ScheduleCommands, SendOfEventsNotDueNowErasesTheOldOnes)
{
    test::Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    const std::string file = write(
        "later.vantrel",
        {module(0, 1, {clockEvent(EventRuleDate | EventOnFlag, 7, 0, dateValue(2007, 3, 12))})});
    const Outcome sent = run("send " + quoted(file) + " --device " + quoted(sim.devicePath()));
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "No event falls on today or tomorrow; the CP290's stored events were "
                        "erased.\n");
    std::vector<std::string> frames;
    for (const std::string& line : sim.traceLines())
        if (line.rfind("rx ", 0) == 0)
            frames.push_back(line.substr(3, 2));
    EXPECT_EQ(frames, (std::vector<std::string>{"02", "04", "00"}));
}

TEST_F(ScheduleCommands, SendWithoutEventsSaysSo)
{
    test::Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    const std::string file = write("empty.vantrel", {module(0, 1, {})});
    const Outcome sent = run("send " + quoted(file) + " --device " + quoted(sim.devicePath()));
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "There are no events to send.\n");
    for (const std::string& line : sim.traceLines())
        EXPECT_NE(line.rfind("rx ", 0), 0u) << line;
}

TEST_F(ScheduleCommands, WeekPrintsEachDayFromTodayOrTheGivenDay)
{
    const std::string file =
        write("week.vantrel", {module(0, 1, {clockEvent(0x2000 | EventOnFlag, 6, 30)})});
    // Monday 5 March 2007 by default; the Saturday event once in the week.
    const Outcome week = run("week " + quoted(file));
    EXPECT_EQ(week.status, 0) << week.err;
    EXPECT_EQ(week.out.rfind("Monday 03/05/2007  sunrise ", 0), 0u) << week.out;
    EXPECT_NE(week.out.find("\nSunday 03/11/2007  sunrise "), std::string::npos) << week.out;
    EXPECT_NE(week.out.find("\n  6:30 AM  A-1  Turn On  New Module\n"), std::string::npos);
    std::size_t none = 0;
    for (std::size_t at = week.out.find("  None.\n"); at != std::string::npos;
         at = week.out.find("  None.\n", at + 1))
        ++none;
    EXPECT_EQ(none, 6u);

    const Outcome later = run("week " + quoted(file) + " --from 2007-03-10 --days 1");
    EXPECT_EQ(later.status, 0) << later.err;
    EXPECT_EQ(later.out.substr(later.out.find('\n')), "\n  6:30 AM  A-1  Turn On  New Module\n");

    for (const char* bad : {"--from 2007-02-30", "--from tomorrow", "--days 0", "--days 400"}) {
        const Outcome refused = run("week " + quoted(file) + " " + bad);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(refused.out, "") << bad;
    }
}

TEST_F(ScheduleCommands, VerifyAndSendVerifyCompareWhatTheInterfaceHoldsSlotBySlot)
{
    // Last module first: slot 0, C all modules off at 11 PM; slot 1, A-1
    // and A-2 on at 6:30 on weekdays.
    const ModuleList home = {module(0, 1, {clockEvent(WeekdaysOn, 6, 30)}),
                             module(0, 2, {clockEvent(WeekdaysOn, 6, 30)}),
                             module(2, 18, {clockEvent(0x7F00, 23, 0)})};
    const std::string file = write("home.vantrel", home);
    const std::string fewer = write("fewer.vantrel", {home[2]});
    const std::string other = write("other.vantrel", {home[0], home[2]});
    struct Case
    {
        const char* legend;
        std::vector<std::string> faults;
        std::string command;
        int status;
        std::string out;
    };
    const std::string sent = "2 of 128 CP290 events sent.\n";
    const Case cases[] = {
        {"as sent",
         {},
         "send --verify " + quoted(file),
         0,
         sent + "The CP290 holds exactly today's 2 events.\n"},
        {"dropped",
         {"--fault", "drop-event=1"},
         "send --verify " + quoted(file),
         1,
         sent + "The CP290 does not hold today's 2 events exactly; 1 slot differs:\n"
                "  Slot 1 is missing A-1 2  Turn On @ 6:30 AM   MTWTF\n"},
        {"extra",
         {},
         "verify " + quoted(fewer),
         1,
         "The CP290 does not hold today's 1 event exactly; 1 slot differs:\n"
         "  Slot 1 holds an extra A-1 2  Turn On @ 6:30 AM   MTWTF\n"},
        {"changed",
         {},
         "verify " + quoted(other),
         1,
         "The CP290 does not hold today's 2 events exactly; 1 slot differs:\n"
         "  Slot 1 holds A-1 2  Turn On @ 6:30 AM   MTWTF instead of A-1  Turn On @ 6:30 AM   "
         "MTWTF\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        test::Cp290Sim sim(c.faults);
        ASSERT_TRUE(sim.isRunning());
        const std::string device = " --device " + quoted(sim.devicePath());
        if (c.command.rfind("verify", 0) == 0) {
            ASSERT_EQ(run("send " + quoted(file) + device).status, 0);
        }
        const Outcome result = run(c.command + device);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
    }
}

TEST_F(ScheduleCommands, SendSetsTheRememberedBaseHouseCodeOfAnInterfaceThatLostItsMemory)
{
    test::Cp290Sim sim({"--fault", "power-loss=0.05@1"});
    ASSERT_TRUE(sim.isRunning());
    {
        Preferences helper(HelperDomain);
        helper.setValue(BaseHouseCodeKey, "C");
        helper.setUnixDate(BaseHouseCodeDateKey, 1173088800);
        helper.synchronize();
    }
    // The power cut, with a short tick so the silent first attempt ends soon.
    resetDriverState();
    setDriverTickForTests(std::chrono::milliseconds(1));
    CP290Verbose = false;
    setCP290DeviceFilePath(sim.devicePath().c_str());
    EXPECT_FALSE(CP290DoGetClock());
    resetDriverState();
    ASSERT_TRUE(sim.waitForTraceLine("note power back"));

    const std::string file = write("home.vantrel", {module(0, 1, {clockEvent(WeekdaysOn, 6, 30)})});
    const Outcome result =
        run("send --verify " + quoted(file) + " --device " + quoted(sim.devicePath()));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "The CP290 had lost its memory; its base house code C was set again and "
                          "the schedule sent again.\n"
                          "1 of 128 CP290 events sent.\n"
                          "The CP290 holds exactly today's 1 event.\n");
    EXPECT_EQ(result.err, "") << "the refusal it mended is not reported";
    EXPECT_TRUE(sim.waitForTraceLine("rx 00 20"));
}

} // namespace
} // namespace vantrel
