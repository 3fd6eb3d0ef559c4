// The direct commands against the virtual CP290 on a real pseudo-terminal:
// the frames it receives byte for byte, what it switches, the replies read
// back, and every fault it can play ending in one clear report with the
// port closed, within the time-out budget.

#include "tests/cp290/LinkTestSupport.h"

#include "cp290/ClockText.h"
#include "support/Cp290Sim.h"
#include "support/FixedClock.h"

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

constexpr auto ShortTick = 1ms;

std::vector<std::string> linesStartingWith(const Cp290Sim& sim, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : sim.traceLines())
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    return found;
}

class DirectCommands : public DriverFixture
{
  protected:
    void useSim(const Cp290Sim& sim)
    {
        ASSERT_TRUE(sim.isRunning());
        setCP290DeviceFilePath(sim.devicePath().c_str());
    }
    void SetUp() override
    {
        DriverFixture::SetUp();
        setDriverTickForTests(ShortTick);
    }
};

// ------------------------------------------------------- worked frames

struct WorkedFrame
{
    const char* legend;
    std::function<bool()> command;
    const char* rx;
    const char* x10; // empty when nothing is switched
};

void PrintTo(const WorkedFrame& row, std::ostream* out)
{
    *out << row.legend;
}

class DirectCommandFrames : public DirectCommands, public ::testing::WithParamInterface<WorkedFrame>
{
};

TEST_P(DirectCommandFrames, ReachTheInterfaceByteForByte)
{
    const WorkedFrame& row = GetParam();
    SCOPED_TRACE(row.legend);
    // 2024-06-02 was a Sunday.
    FixedClock clock(2024, 6, 2, 18, 5, 30);
    Cp290Sim sim;
    useSim(sim);

    EXPECT_TRUE(row.command());

    EXPECT_EQ(linesStartingWith(sim, "rx "), (std::vector<std::string>{row.rx}));
    if (*row.x10) {
        EXPECT_TRUE(sim.waitForTraceLine(row.x10)) << "the interface switched nothing";
    }
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_EQ(CP290FileDescriptor, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DirectCommandFrames,
    ::testing::Values(
        WorkedFrame{"dim B3 to brightness 4",
                    [] { return CP290DoOnOffDim(1, 3, brightnessByte(4)); }, "rx 01 85 E0 00 20 85",
                    "x10 B3 DIM 50%"},
        WorkedFrame{"on A12", [] { return CP290DoOnOffDim(0, 12, 2); }, "rx 01 02 60 10 00 72",
                    "x10 A12 ON"},
        WorkedFrame{"off P1", [] { return CP290DoOnOffDim(15, 1, 3); }, "rx 01 03 C0 00 80 43",
                    "x10 P1 OFF"},
        WorkedFrame{"on M16", [] { return CP290DoOnOffDim(12, 16, 2); }, "rx 01 02 00 01 00 03",
                    "x10 M16 ON"},
        WorkedFrame{"all lights on: function 1, empty bitmaps",
                    [] { return CP290DoOnOffDim(0, 17, 2); }, "rx 01 01 60 00 00 61",
                    "x10 A ALL-LIGHTS-ON"},
        WorkedFrame{"all modules off: function 0", [] { return CP290DoOnOffDim(0, 18, 3); },
                    "rx 01 00 60 00 00 60", "x10 A ALL-UNITS-OFF"},
        WorkedFrame{"set clock, Sunday 18:05", [] { return CP290DoSetClock(); },
                    "rx 02 05 12 40 57", ""},
        WorkedFrame{"base house code B", [] { return CP290DoSetBaseHouseCode(1); }, "rx 00 E0", ""},
        WorkedFrame{"read clock", [] { return CP290DoGetClock(); }, "rx 04", ""},
        WorkedFrame{"read events", [] { return CP290DoGetEvents(); }, "rx 05", ""}),
    [](const auto& row) { return "Row" + std::to_string(row.index); });

TEST_F(DirectCommands, PseudoUnitRequestsTheyCannotCarryOutSendNothing)
{
    Cp290Sim sim;
    useSim(sim);

    EXPECT_FALSE(CP290DoOnOffDim(0, 17, 3)) << "all lights off";
    EXPECT_FALSE(CP290DoOnOffDim(0, 18, 2)) << "all modules on";
    EXPECT_TRUE(host.events.empty()) << "reported a request that was never sent";
    EXPECT_EQ(CP290FileDescriptor, -1);

    // The next frame the interface sees is the first one sent.
    EXPECT_TRUE(CP290DoOnOffDim(0, 12, 2));
    EXPECT_EQ(linesStartingWith(sim, "rx "), (std::vector<std::string>{"rx 01 02 60 10 00 72"}));
}

TEST_F(DirectCommands, ClockSetIsReadBack)
{
    FixedClock clock(2024, 6, 5, 7, 42); // a Wednesday
    Cp290Sim sim;
    useSim(sim);

    ASSERT_TRUE(CP290DoSetClock());
    ASSERT_TRUE(CP290DoGetClock());

    EXPECT_EQ(gHour, 7);
    EXPECT_EQ(gMinute, 42);
    EXPECT_EQ(gBaseHouseCode, 0x60) << "base house code A at power-up";
    EXPECT_EQ(twelveHourClockText(gHour, gMinute), "7:42 AM");
}

TEST_F(DirectCommands, BaseHouseCodeIsReadBackAndEventsErased)
{
    Cp290Sim sim;
    useSim(sim);
    const std::uint8_t event[10] = {0x08, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02};
    ASSERT_TRUE(SendCP290Command(CP290DownloadEvent, event, 10));
    ASSERT_TRUE(CP290DoGetEvents());
    EXPECT_EQ(Bytes(&CP290TimerEvent[1][2], &CP290TimerEvent[1][10]), Bytes(&event[2], &event[10]));
    EXPECT_EQ(CP290TimerEvent[0][2], 0xFF);

    ASSERT_TRUE(CP290DoSetBaseHouseCode(15));
    ASSERT_TRUE(CP290DoGetClock());
    EXPECT_EQ(gBaseHouseCode, 0xC0);
    ASSERT_TRUE(CP290DoGetEvents());
    for (int i = 0; i < CP290MaxEvents; ++i)
        ASSERT_EQ(CP290TimerEvent[i][2], 0xFF) << "slot " << i << " survived the erase";
}

TEST_F(DirectCommands, SelfTestRestoresTheBaseHouseCodeAndClock)
{
    FixedClock clock(2024, 6, 2, 18, 5);
    Cp290Sim sim({"--base-house-code", "B"});
    useSim(sim);
    gProgressBudget = 130;

    EXPECT_TRUE(CP290DoSelfTest());

    EXPECT_EQ(linesStartingWith(sim, "rx "),
              (std::vector<std::string>{"rx 04", "rx 07", "rx 00 E0", "rx 02 05 12 40 57"}));
    // 10 + 100 + 10 + 10: the whole status bar.
    EXPECT_NEAR(host.progressTotal(), 130.0, 1e-9);
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_EQ(CP290FileDescriptor, -1);
}

TEST_F(DirectCommands, SelfTestStopsAtTheFirstFailure)
{
    setDriverTickForTests(250us); // three self-test waits of 660 ticks
    Cp290Sim sim({"--fault", "bad-status@2-"});
    useSim(sim);

    EXPECT_FALSE(CP290DoSelfTest());

    // The read, then the self test three times; the base house code is not
    // put back over a failed test.
    EXPECT_EQ(linesStartingWith(sim, "rx "),
              (std::vector<std::string>{"rx 04", "rx 07", "rx 07", "rx 07"}));
    ASSERT_EQ(host.alerts.size(), 1u);
}

TEST_F(DirectCommands, PortCanBeOpenedAgainAfterEachCommand)
{
    Cp290Sim sim;
    useSim(sim);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(CP290DoGetClock()) << "command " << i;
}

// --------------------------------------------------------------- faults

struct FaultCase
{
    const char* legend;
    std::vector<std::string> simArguments;
    std::function<bool()> command;
    std::vector<const char*> errors; // any of these, quoted in the report
    std::size_t frames;              // frames the interface saw
};

void PrintTo(const FaultCase& row, std::ostream* out)
{
    *out << row.legend;
}

class DirectCommandFaults : public DirectCommands, public ::testing::WithParamInterface<FaultCase>
{
};

TEST_P(DirectCommandFaults, EndInOneClearReportWithThePortClosed)
{
    const FaultCase& row = GetParam();
    SCOPED_TRACE(row.legend);
    Cp290Sim sim(row.simArguments);
    useSim(sim);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_FALSE(row.command());

    // Three attempts of at most a frame (22 ticks) and the byte time-out
    // (300 ticks) each, with room for a loaded machine.
    const double budget = 3 * 322 * std::chrono::duration<double>(ShortTick).count() + 1.5;
    EXPECT_LT(secondsSince(start), budget);
    ASSERT_EQ(host.events, (std::vector<std::string>{"statusEnd", "alert CP290 Not Responding"}));
    const std::string& message = host.alerts[0].message;
    bool named = false;
    for (const char* error : row.errors)
        named = named || message.find("\"" + std::string(error) + "\"") != std::string::npos;
    EXPECT_TRUE(named) << message;
    EXPECT_EQ(CP290FileDescriptor, -1);
    EXPECT_EQ(linesStartingWith(sim, "rx ").size(), row.frames);
}

const char* const NoAnswer = "The CP290 did not answer";

INSTANTIATE_TEST_SUITE_P(
    Faults, DirectCommandFaults,
    ::testing::Values(
        FaultCase{
            "no reply", {"--fault", "no-reply"}, [] { return CP290DoSetClock(); }, {NoAnswer}, 3},
        FaultCase{"refused status",
                  {"--fault", "bad-status"},
                  [] { return CP290DoSetClock(); },
                  {"The CP290 answered with status 0"},
                  3},
        FaultCase{"self test refused",
                  {"--fault", "bad-status@2-"},
                  [] { return CP290DoSelfTest(); },
                  {"The CP290 answered with status 1"},
                  4},
        FaultCase{"garbage, then silence",
                  {"--fault", "garbage"},
                  [] { return CP290DoOnOffDim(0, 1, 2); },
                  {NoAnswer},
                  3},
        // The checksum takes the minute's place, so four bytes still come:
        // hour 9 as the minute, day 0x04 as the hour, 0x60 as the day.
        FaultCase{"the minute of the clock reply dropped",
                  {"--fault", "drop-byte=8", "--clock", "Wed 09:05"},
                  [] { return CP290DoGetClock(); },
                  {"The CP290 reported a clock it cannot have meant (day byte 0x60)"},
                  3},
        FaultCase{"a byte of the event slots dropped",
                  {"--fault", "drop-byte=100"},
                  [] { return CP290DoGetEvents(); },
                  {NoAnswer},
                  3},
        FaultCase{"reply later than the time-out",
                  {"--fault", "late=2"},
                  [] { return CP290DoGetClock(); },
                  {NoAnswer},
                  3},
        FaultCase{"reply trickling slower than the time-out",
                  {"--fault", "trickle=1"},
                  [] { return CP290DoGetClock(); },
                  {NoAnswer},
                  3},
        FaultCase{"flaky for three exchanges",
                  {"--fault", "flaky=3"},
                  [] { return CP290DoGetClock(); },
                  {NoAnswer},
                  3},
        FaultCase{"power lost",
                  {"--fault", "power-loss"},
                  [] { return CP290DoGetClock(); },
                  {NoAnswer},
                  3},
        FaultCase{"vanishes mid-reply",
                  {"--fault", "vanish=3"},
                  [] { return CP290DoGetClock(); },
                  {"The serial device was disconnected", "Input/output error"},
                  1},
        FaultCase{"vanishes without a word",
                  {"--fault", "vanish"},
                  [] { return CP290DoSetClock(); },
                  {"The serial device was disconnected", "Input/output error"},
                  1}),
    [](const auto& row) { return "Row" + std::to_string(row.index); });

TEST_F(DirectCommands, BabbleIsCutOffAndReported)
{
    // The babble comes at the line rate, a byte every tick of the real
    // clock, so the byte time-out never fires; only the cap on the
    // handshake ends each attempt. A short tick keeps the time cap short.
    setDriverTickForTests(250us);
    Cp290Sim sim({"--fault", "babble"});
    useSim(sim);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_FALSE(CP290DoSetClock());

    EXPECT_LT(secondsSince(start), 6.0);
    ASSERT_EQ(host.alerts.size(), 1u);
    EXPECT_NE(host.alerts[0].message.find("\"The CP290 sent data but no reply\""),
              std::string::npos)
        << host.alerts[0].message;
    EXPECT_EQ(CP290FileDescriptor, -1);
    EXPECT_EQ(linesStartingWith(sim, "rx ").size(), 3u);
}

TEST_F(DirectCommands, ReplyTricklingInsideTheByteTimeOutIsCutOffAsAWhole)
{
    // Each byte comes a third of the byte time-out after the last, so only
    // the deadline of the whole reply ends the first attempt; the second is
    // answered at once. The table's 135 bytes would take 5.4 s; the deadline
    // is 3600 ticks, 1.44 s.
    setDriverTickForTests(400us);
    Cp290Sim sim({"--fault", "trickle=0.04@1"});
    useSim(sim);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_TRUE(CP290DoGetEvents());

    EXPECT_LT(secondsSince(start), 1.44 + 1.5);
    EXPECT_EQ(linesStartingWith(sim, "rx ").size(), 2u);
    EXPECT_TRUE(host.alerts.empty());
}

struct FlakyCase
{
    int silentExchanges;
    bool succeeds;
};

class DirectCommandAttempts : public DirectCommands, public ::testing::WithParamInterface<FlakyCase>
{
};

TEST_P(DirectCommandAttempts, AreExactlyThree)
{
    const FlakyCase& row = GetParam();
    Cp290Sim sim({"--fault", "flaky=" + std::to_string(row.silentExchanges)});
    useSim(sim);

    EXPECT_EQ(CP290DoGetClock(), row.succeeds);

    EXPECT_EQ(linesStartingWith(sim, "rx ").size(),
              static_cast<std::size_t>(std::min(row.silentExchanges + 1, 3)));
    EXPECT_EQ(host.alerts.size(), row.succeeds ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Flaky, DirectCommandAttempts,
                         ::testing::Values(FlakyCase{1, true}, FlakyCase{2, true},
                                           FlakyCase{3, false}));

// --------------------------------------------------------- real timing

TEST_F(DirectCommands, SelfTestAtTheLineRateTakesNoExtraAttempts)
{
    // Monday 23:39 and base house code P: the clock reply's trailing
    // checksum is 0x27 + 0x17 + 0x01 + 0xC0 = 0xFF, and at the line rate it
    // arrives after the flush that precedes the self test's frame.
    setDriverTickForTests(std::chrono::nanoseconds(0));
    CP290Verbose = false; // no eleven-second wait; the test itself takes none
    FixedClock clock(2024, 6, 2, 18, 5);
    Cp290Sim sim({"--self-test-time", "0", "--clock", "Mon 23:39", "--base-house-code", "P"},
                 false);
    useSim(sim);

    EXPECT_TRUE(CP290DoSelfTest());

    EXPECT_EQ(linesStartingWith(sim, "rx "),
              (std::vector<std::string>{"rx 04", "rx 07", "rx 00 C0", "rx 02 05 12 40 57"}));
    EXPECT_TRUE(sim.waitForTraceLine("tx FF FF FF FF FF FF 01 27 17 01 C0 FF"));
}

TEST_F(DirectCommands, VanishedDeviceFailsAtOnceAndCannotBeReopened)
{
    setDriverTickForTests(std::chrono::nanoseconds(0));
    Cp290Sim sim({"--fault", "vanish"}, true, "ttyCP290");
    ASSERT_TRUE(sim.isRunning());
    setCP290DeviceFilePath(sim.linkPath().c_str());
    const auto start = std::chrono::steady_clock::now();

    EXPECT_FALSE(CP290DoGetClock());

    EXPECT_LT(secondsSince(start), 17.0 / 60 + 1.0);
    EXPECT_EQ(CP290FileDescriptor, -1);
    EXPECT_TRUE(sim.waitForExit().has_value());

    host.alerts.clear();
    EXPECT_FALSE(CP290DoGetClock());
    ASSERT_EQ(host.alerts.size(), 2u);
    EXPECT_EQ(host.alerts[0].title, "Cannot Open Serial Device");
    EXPECT_NE(host.alerts[1].message.find("\"No such file or directory\""), std::string::npos);
}

} // namespace
} // namespace vantrel::test
