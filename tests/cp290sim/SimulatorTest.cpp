// The program as a client sees it: frames written to its terminal, replies read
// back, and the trace it keeps.

#include "cp290sim/TerminalClient.h"
#include "support/Cp290Sim.h"
#include "tools/cp290sim/Protocol.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using vantrel::test::Bytes;
using vantrel::test::Cp290Sim;
using vantrel::test::reply;
using vantrel::test::TerminalClient;

namespace {

std::vector<std::string> linesFrom(const Cp290Sim& sim, std::size_t first)
{
    auto lines = sim.traceLines();
    if (first >= lines.size())
        return {};
    return {lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end()};
}

bool hasSyncRun(const Bytes& bytes)
{
    int run = 0;
    for (auto byte : bytes) {
        run = byte == 0xFF ? run + 1 : 0;
        if (run >= 6)
            return true;
    }
    return false;
}

} // namespace

TEST(Cp290SimProgram, SetsAndReadsTheClock)
{
    Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    ASSERT_TRUE(client.isOpen());

    // Sunday 18:05.
    ASSERT_TRUE(client.sendFrame({0x02, 0x05, 0x12, 0x40, 0x57}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(client.sendFrame({0x04}));
    // With the checksum a real interface sends: 0x05 + 0x12 + 0x40 + 0x60.
    EXPECT_EQ(client.read(12), reply(1, {0x05, 0x12, 0x40, 0x60, 0xB7}));

    EXPECT_EQ(sim.traceLines(), (std::vector<std::string>{
                                    "rx 02 05 12 40 57",
                                    "tx FF FF FF FF FF FF 01",
                                    "rx 04",
                                    "tx FF FF FF FF FF FF 01 05 12 40 60 B7",
                                }));
}

TEST(Cp290SimProgram, DirectCommandsGoOutOnThePowerLine)
{
    struct Row
    {
        const char* legend;
        Bytes frame;
        std::vector<std::string> switched;
        // After the status: house code and function, units 9-16, units 1-8,
        // base house code (A), checksum.
        Bytes report;
    };
    const std::vector<Row> rows = {
        {"dim B3 to brightness 4",
         {0x01, 0x85, 0xE0, 0x00, 0x20, 0x85},
         {"x10 B3 DIM 50%"},
         {0xE5, 0x00, 0x20, 0x60, 0x65}},
        {"on A12",
         {0x01, 0x02, 0x60, 0x10, 0x00, 0x72},
         {"x10 A12 ON"},
         {0x62, 0x10, 0x00, 0x60, 0xD2}},
        {"all lights on, house A",
         {0x01, 0x01, 0x60, 0x00, 0x00, 0x61},
         {"x10 A ALL-LIGHTS-ON"},
         {0x61, 0x00, 0x00, 0x60, 0xC1}},
        {"all units off, house P",
         {0x01, 0x00, 0xC0, 0x00, 0x00, 0xC0},
         {"x10 P ALL-UNITS-OFF"},
         {0xC0, 0x00, 0x00, 0x60, 0x20}},
        {"off M1 and M16",
         {0x01, 0x03, 0x00, 0x01, 0x80, 0x84},
         {"x10 M1 OFF", "x10 M16 OFF"},
         {0x03, 0x01, 0x80, 0x60, 0xE4}},
        {"dim C8 to brightness 1",
         {0x01, 0xE5, 0x20, 0x00, 0x01, 0x06},
         {"x10 C8 DIM 12.5%"},
         {0x25, 0x00, 0x01, 0x60, 0x86}},
    };
    Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        const std::size_t first = sim.traceLines().size();
        ASSERT_TRUE(client.sendFrame(row.frame));
        // The acknowledgement, then the report of what went out.
        EXPECT_EQ(client.read(7), reply(1));
        EXPECT_EQ(client.read(12), reply(1, row.report));
        // The switching is traced before the reply is sent.
        auto lines = linesFrom(sim, first);
        ASSERT_EQ(lines.size(), row.switched.size() + 3);
        EXPECT_EQ(lines.front().substr(0, 3), "rx ");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 2), row.switched);
        EXPECT_EQ(lines.end()[-2], "tx FF FF FF FF FF FF 01");
        EXPECT_EQ(lines.back(), "tx " + vantrel::cp290sim::hexBytes(reply(1, row.report)));
    }
    // On A12, byte for byte.
    EXPECT_TRUE(sim.waitForTraceLine("tx FF FF FF FF FF FF 01 62 10 00 60 D2"));
}

TEST(Cp290SimProgram, StoresEventsAndListsThemBack)
{
    Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());

    // Base house code B; this also erases the events.
    ASSERT_TRUE(client.sendFrame({0x00, 0xE0}));
    EXPECT_EQ(client.read(7), reply(1));
    // Slot 1: weekly, every day, 06:30, A1 on. Slot 127: tomorrow only, B9 dim.
    ASSERT_TRUE(
        client.sendFrame({0x03, 0x08, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02, 0x8D}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(
        client.sendFrame({0x03, 0xF8, 0x03, 0x02, 0x01, 0x17, 0x3B, 0x00, 0x80, 0xE0, 0x85, 0x3A}));
    EXPECT_EQ(client.read(7), reply(1));

    ASSERT_TRUE(client.sendFrame({0x05}));
    Bytes expected = reply(1, {0xFF, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02});
    expected.insert(expected.end(), 125, 0xFF);
    expected.insert(expected.end(), {0x02, 0x01, 0x17, 0x3B, 0x00, 0x80, 0xE0, 0x85});
    // The sum of the two events' sixteen bytes, 0x18D + 0x23A; the empty
    // slots' 0xFF are not counted.
    expected.push_back(0xC7);
    EXPECT_EQ(client.read(expected.size()), expected);

    ASSERT_TRUE(client.sendFrame({0x04}));
    const Bytes clock = client.read(12);
    ASSERT_EQ(clock.size(), 12u);
    EXPECT_EQ(clock[10], 0xE0) << "base house code";

    // Setting the base house code again erases them.
    ASSERT_TRUE(client.sendFrame({0x00, 0xE0}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(client.sendFrame({0x05}));
    Bytes empty = reply(1);
    empty.insert(empty.end(), 128, 0xFF);
    empty.push_back(0x00);
    EXPECT_EQ(client.read(empty.size()), empty);
}

TEST(Cp290SimProgram, RefusesAWrongChecksum)
{
    Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());

    ASSERT_TRUE(client.sendFrame({0x01, 0x85, 0xE0, 0x00, 0x20, 0x86}));
    EXPECT_EQ(client.read(7), reply(0));
    ASSERT_TRUE(
        client.sendFrame({0x03, 0x00, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02, 0x8E}));
    EXPECT_EQ(client.read(7), reply(0));
    ASSERT_TRUE(client.sendFrame({0x05}));
    EXPECT_EQ(client.read(7 + 128).at(7), 0xFF) << "slot 0 stays empty";

    const auto lines = sim.traceLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "rx 01 85 E0 00 20 86");
    EXPECT_EQ(lines[1], "note refused: bad checksum, expected 85");
    EXPECT_EQ(lines[2], "tx FF FF FF FF FF FF 00");
    for (const auto& line : lines)
        EXPECT_NE(line.substr(0, 4), "x10 ") << line;
}

TEST(Cp290SimProgram, ResynchronisesAfterNoiseAndCutFrames)
{
    Cp290Sim sim({"--frame-timeout", "50"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());

    // Noise, a frame cut short, then silence: the cut frame is dropped.
    ASSERT_TRUE(client.write({0x12, 0x00, 0x85, 0xFF, 0xFF, 0x01, 0x85, 0xE0}));
    ASSERT_TRUE(sim.waitForTraceLine("note partial frame dropped: 01 85 E0"));
    // A single 0xFF is enough to start a frame; data bytes of 0xFF belong to the frame.
    ASSERT_TRUE(client.write({0x07, 0xFF, 0x01, 0x02, 0x60, 0xFF, 0x00, 0x61}));
    EXPECT_EQ(client.read(7), reply(1));
    EXPECT_TRUE(sim.waitForTraceLine("x10 A9 ON"));
    EXPECT_TRUE(sim.waitForTraceLine("x10 A16 ON"));
    EXPECT_TRUE(sim.waitForTraceLine("rx 01 02 60 FF 00 61"));
}

TEST(Cp290SimProgram, SpoilsOnlyTheChosenExchange)
{
    Cp290Sim sim({"--fault", "no-reply@1", "--fault", "bad-status@2", "--fault", "drop-byte=7@3"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());

    ASSERT_TRUE(client.sendFrame({0x01, 0x02, 0x60, 0x10, 0x00, 0x72}));
    ASSERT_TRUE(sim.waitForTraceLine("note fault no-reply"));
    ASSERT_TRUE(client.sendFrame({0x02, 0x05, 0x12, 0x40, 0x57}));
    // Nothing came for the first frame: the first bytes read are the second reply.
    EXPECT_EQ(client.read(7), reply(0));
    ASSERT_TRUE(client.sendFrame({0x04}));
    // The status byte is left out.
    const Bytes damaged = client.read(11);
    EXPECT_EQ(Bytes(damaged.begin(), damaged.begin() + 6), Bytes(6, 0xFF));
    ASSERT_TRUE(client.sendFrame({0x07}));
    EXPECT_EQ(client.read(7), reply(0)) << "the fourth exchange is normal";

    for (const auto& line : sim.traceLines())
        EXPECT_NE(line.substr(0, 4), "x10 ") << "a spoiled command is not carried out";
}

TEST(Cp290SimProgram, FlakyStaysSilentForTheFirstExchanges)
{
    Cp290Sim sim({"--fault", "flaky=2"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const std::size_t first = sim.traceLines().size();
        ASSERT_TRUE(client.sendFrame({0x04}));
        if (attempt < 3) {
            ASSERT_TRUE(sim.waitForTraceLine("note fault no-reply", 10s, first));
        }
    }
    const Bytes got = client.read(11);
    ASSERT_EQ(got.size(), 11u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 7), reply(1));
}

TEST(Cp290SimProgram, GarbageAndBabbleNeverCarryAStatus)
{
    for (const char* fault : {"garbage", "babble"}) {
        SCOPED_TRACE(fault);
        Cp290Sim sim({"--fault", fault});
        ASSERT_TRUE(sim.isRunning());
        TerminalClient client(sim.devicePath());
        ASSERT_TRUE(client.sendFrame({0x04}));
        // Garbage is traced as one tx line; babble goes on past any count.
        std::size_t count = 12;
        if (std::string(fault) == "garbage") {
            const auto tx = sim.waitForTraceLine("tx ");
            ASSERT_TRUE(tx);
            count = (sim.traceLines().at(*tx).size() - 2) / 3;
        }
        const Bytes got = client.read(count);
        EXPECT_EQ(got.size(), count);
        EXPECT_FALSE(hasSyncRun(got));
    }
}

TEST(Cp290SimProgram, DelaysHoldTheReplyBack)
{
    struct Row
    {
        const char* legend;
        std::vector<std::string> args;
        Bytes frame;
        std::size_t replySize;
    };
    // Only lower bounds: a loaded machine may be slower, never faster.
    const std::vector<Row> rows = {
        {"late reply", {"--fault", "late=0.2"}, {0x04}, 11},
        {"trickled reply", {"--fault", "trickle=0.02"}, {0x04}, 11},
        {"think time", {"--think", "200"}, {0x04}, 11},
        {"self test", {"--self-test-time", "0.2"}, {0x07}, 7},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        Cp290Sim sim(row.args);
        ASSERT_TRUE(sim.isRunning());
        TerminalClient client(sim.devicePath());
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(client.sendFrame(row.frame));
        EXPECT_EQ(client.read(row.replySize).size(), row.replySize);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    }
}

TEST(Cp290SimProgram, RealLineRatePacesTheReply)
{
    Cp290Sim sim({}, false);
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.sendFrame({0x02, 0x05, 0x12, 0x40, 0x57}));
    EXPECT_EQ(client.read(7), reply(1));
    // Seven bytes at 1/60 s each: the last leaves six byte times after the first.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(Cp290SimProgram, VanishHangsUpAndRemovesTheLink)
{
    Cp290Sim sim({"--fault", "vanish@2"}, true, "ttyCP290");
    ASSERT_TRUE(sim.isRunning());
    EXPECT_TRUE(std::filesystem::is_symlink(sim.linkPath()));
    TerminalClient client(sim.devicePath());
    ASSERT_TRUE(client.sendFrame({0x04}));
    EXPECT_EQ(client.read(12).size(), 12u);
    ASSERT_TRUE(client.sendFrame({0x04}));
    EXPECT_TRUE(client.read(12).empty());
    EXPECT_TRUE(client.hasHungUp());
    EXPECT_EQ(sim.waitForExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.linkPath())));
}

TEST(Cp290SimProgram, PowerLossForgetsEverything)
{
    Cp290Sim sim({"--fault", "power-loss=0.05@3", "--base-house-code", "C"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    ASSERT_TRUE(client.sendFrame({0x02, 0x05, 0x12, 0x40, 0x57}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(
        client.sendFrame({0x03, 0x00, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02, 0x8D}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(client.sendFrame({0x04}));
    ASSERT_TRUE(sim.waitForTraceLine("note fault power-loss"));
    ASSERT_TRUE(sim.waitForTraceLine("note power back"));

    // Like a CP290 whose battery is flat: every command but the base house
    // code is refused with status 0 until one is set.
    for (const Bytes& frame : {Bytes{0x04}, Bytes{0x05}, Bytes{0x02, 0x05, 0x12, 0x40, 0x57},
                               Bytes{0x01, 0x02, 0x60, 0x10, 0x00, 0x72}}) {
        ASSERT_TRUE(client.sendFrame(frame));
        EXPECT_EQ(client.read(7), reply(0)) << int(frame[0]);
    }
    ASSERT_TRUE(client.sendFrame({0x00, 0x20}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(client.sendFrame({0x04}));
    EXPECT_EQ(client.read(12), reply(1, {0x00, 0x00, 0x01, 0x20, 0x21})) << "Monday 00:00, house C";
    ASSERT_TRUE(client.sendFrame({0x05}));
    EXPECT_EQ(client.read(7 + 128).at(7), 0xFF) << "slot 0 forgotten";
}

TEST(Cp290SimProgram, CorruptAndDropEventAcknowledgeButStoreOtherwise)
{
    Cp290Sim sim({"--fault", "corrupt-event=1", "--fault", "drop-event=2"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    // Weekly, every day, 06:30, A1 on, into slots 0, 1 and 2.
    for (std::uint8_t address : {0x00, 0x08, 0x10}) {
        ASSERT_TRUE(client.sendFrame(
            {0x03, address, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02, 0x8D}));
        EXPECT_EQ(client.read(7), reply(1));
    }
    ASSERT_TRUE(client.sendFrame({0x05}));
    Bytes expected = reply(1, {0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02});
    expected.insert(expected.end(), {0x08, 0x7F, 0x07, 0x1E, 0x80, 0x00, 0x60, 0x02});
    expected.insert(expected.end(), 126, 0xFF);
    EXPECT_EQ(client.read(expected.size()), expected);
    EXPECT_TRUE(sim.waitForTraceLine("note fault corrupt-event 1"));
    EXPECT_TRUE(sim.waitForTraceLine("note fault drop-event 2"));
}

TEST(Cp290SimProgram, RunsTimerEventsWhenItsClockReachesThem)
{
    // Ten clock minutes a second.
    Cp290Sim sim({"--clock", "Mon 06:29", "--clock-rate", "600"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    // Weekly on Mondays at 06:30, A1 and A2 on.
    ASSERT_TRUE(
        client.sendFrame({0x03, 0x00, 0x00, 0x08, 0x01, 0x06, 0x1E, 0xC0, 0x00, 0x60, 0x02, 0x4F}));
    EXPECT_EQ(client.read(7), reply(1));
    const auto first = sim.waitForTraceLine("x10 A1 ON");
    ASSERT_TRUE(first);
    EXPECT_EQ(sim.traceLines().at(*first + 1), "x10 A2 ON");
    // The report: house A with function on, units 9-16, units 1-8, base house code, checksum.
    EXPECT_EQ(client.read(12), reply(1, {0x62, 0x00, 0xC0, 0x60, 0x82}));
}

TEST(Cp290SimProgram, BareProtocolHasNoReportsAndNoReplyChecksums)
{
    // A clock minute a second: the event is stored long before it runs.
    Cp290Sim sim({"--bare", "--clock", "Mon 06:29", "--clock-rate", "60"});
    ASSERT_TRUE(sim.isRunning());
    TerminalClient client(sim.devicePath());
    ASSERT_TRUE(
        client.sendFrame({0x03, 0x00, 0x00, 0x08, 0x01, 0x06, 0x1E, 0xC0, 0x00, 0x60, 0x02, 0x4F}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(client.sendFrame({0x01, 0x02, 0x60, 0x10, 0x00, 0x72}));
    EXPECT_EQ(client.read(7), reply(1));
    ASSERT_TRUE(client.sendFrame({0x05}));
    EXPECT_EQ(client.read(7 + 8 + 127).size(), 7u + 8 + 127);
    ASSERT_TRUE(sim.waitForTraceLine("note timer event 0"));
    EXPECT_TRUE(client.readFor(std::chrono::milliseconds(200)).empty());
}

TEST(Cp290SimProgram, SigtermRemovesTheLinkAndExitsCleanly)
{
    Cp290Sim sim({}, true, "ttyCP290");
    ASSERT_TRUE(sim.isRunning());
    ASSERT_TRUE(std::filesystem::is_symlink(sim.linkPath()));
    EXPECT_EQ(std::filesystem::read_symlink(sim.linkPath()).string(), sim.devicePath());
    {
        // A client that has come and gone does not disturb it.
        TerminalClient client(sim.devicePath());
        ASSERT_TRUE(client.isOpen());
    }
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.linkPath())));
}
