#include "tools/cp290sim/VirtualInterface.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace vantrel::cp290sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

const TimePoint Start = TimePoint{} + 1000h;

Frame frame(std::uint8_t command, Bytes data)
{
    Frame f{command, std::move(data), std::nullopt};
    if (hasChecksum(command))
        f.checksum = checksumOf(command, f.data);
    return f;
}

Frame storeEvent(int slot, std::uint8_t mode, std::uint8_t days, std::uint8_t hour,
                 std::uint8_t minute, std::uint8_t units1to8 = 0x80, std::uint8_t house = 0x60,
                 std::uint8_t function = 0x02)
{
    const int address = slot * 8;
    return frame(StoreEvent, {static_cast<std::uint8_t>(address & 0xFF),
                              static_cast<std::uint8_t>(address >> 8), mode, days, hour, minute,
                              units1to8, 0x00, house, function});
}

std::string text(const WeekTime& time)
{
    return std::to_string(time.weekday) + " " + std::to_string(time.hour) + ":" +
           std::to_string(time.minute);
}

} // namespace

TEST(Cp290SimInterface, ClockRunsOnFromWhereItWasSet)
{
    VirtualInterface device(Start);
    device.setClock({6, 23, 59}, Start);
    EXPECT_EQ(text(device.clock(Start + 59s)), "6 23:59");
    EXPECT_EQ(text(device.clock(Start + 60s)), "0 0:0") << "Sunday night wraps to Monday";
    EXPECT_EQ(text(device.clock(Start + 7 * 24h + 121s)), "0 0:1");

    VirtualInterface fast(Start, 60.0);
    fast.setClock({0, 6, 29}, Start);
    EXPECT_EQ(text(fast.clock(Start + 1s)), "0 6:30");
}

TEST(Cp290SimInterface, SetClockAndReadItBack)
{
    VirtualInterface device(Start);
    EXPECT_EQ(device.execute(frame(SetClock, {0x05, 0x12, 0x40}), Start).status, 1);
    const Outcome read = device.execute(frame(ReadClock, {}), Start + 30s);
    EXPECT_EQ(read.status, 1);
    EXPECT_EQ(read.payload, (Bytes{0x05, 0x12, 0x40, 0x60, 0xB7})) << "with its checksum";

    device.setReplyChecksums(false);
    EXPECT_EQ(device.execute(frame(ReadClock, {}), Start).payload, (Bytes{0x05, 0x12, 0x40, 0x60}));
}

TEST(Cp290SimInterface, RefusesWhatItCannotStore)
{
    struct Row
    {
        const char* legend;
        Frame request;
    };
    Frame badChecksum = frame(DirectCommand, {0x02, 0x60, 0x10, 0x00});
    badChecksum.checksum = 0x73;
    const std::vector<Row> rows = {
        {"checksum", badChecksum},
        {"minute 60", frame(SetClock, {60, 6, 0x01})},
        {"hour 24", frame(SetClock, {0, 24, 0x01})},
        {"no day bit", frame(SetClock, {0, 6, 0x00})},
        {"two day bits", frame(SetClock, {0, 6, 0x03})},
        {"house code byte", frame(SetBaseHouseCode, {0x61})},
        {"function 6", frame(DirectCommand, {0x06, 0x60, 0x00, 0x80})},
        {"level on a plain on", frame(DirectCommand, {0x12, 0x60, 0x00, 0x80})},
        {"event address not a multiple of 8",
         frame(StoreEvent, {0x04, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02})},
        {"event address past the last slot", storeEvent(128, 8, 0x7F, 6, 30)},
        {"event mode 5", storeEvent(0, 5, 0x7F, 6, 30)},
        {"event hour 24", storeEvent(0, 8, 0x7F, 24, 30)},
        {"event day bit 7", storeEvent(0, 8, 0xFF, 6, 30)},
        {"event house code byte", storeEvent(0, 8, 0x7F, 6, 30, 0x80, 0x65)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        VirtualInterface device(Start);
        const Outcome outcome = device.execute(row.request, Start);
        EXPECT_EQ(outcome.status, row.request.command == SetBaseHouseCode ? 2 : 0);
        EXPECT_FALSE(outcome.refusal.empty());
        EXPECT_TRUE(outcome.switched.empty());
        EXPECT_TRUE(device.slots()[0].isEmpty());
        EXPECT_EQ(text(device.clock(Start)), "0 0:0");
    }
}

TEST(Cp290SimInterface, BaseHouseCodeAndSelfTestEraseEvents)
{
    VirtualInterface device(Start);
    ASSERT_EQ(device.execute(storeEvent(5, 8, 0x7F, 6, 30), Start).status, 1);
    EXPECT_EQ(device.execute(frame(SetBaseHouseCode, {0xE0}), Start).status, 1);
    EXPECT_TRUE(device.slots()[5].isEmpty());
    EXPECT_EQ(device.baseHouseCode(), 0xE0);

    ASSERT_EQ(device.execute(storeEvent(5, 8, 0x7F, 6, 30), Start).status, 1);
    EXPECT_EQ(device.execute(frame(SelfTest, {}), Start).status, 0) << "0 means passed";
    EXPECT_TRUE(device.slots()[5].isEmpty());
}

TEST(Cp290SimInterface, ListsSlotsInOrder)
{
    VirtualInterface device(Start);
    ASSERT_EQ(device.execute(storeEvent(1, 9, 0x1F, 23, 59, 0xFF), Start).status, 1);
    Bytes expected = {0xFF, 0x09, 0x1F, 23, 59, 0xFF, 0x00, 0x60, 0x02};
    expected.insert(expected.end(), 126, 0xFF);
    device.setReplyChecksums(false);
    EXPECT_EQ(device.execute(frame(ReadEvents, {}), Start).payload, expected);
    // The checksum leaves out the empty slots: 0x09 + 0x1F + 23 + 59 + 0xFF + 0x60 + 0x02.
    device.setReplyChecksums(true);
    expected.push_back(0xDB);
    EXPECT_EQ(device.execute(frame(ReadEvents, {}), Start).payload, expected);
}

TEST(Cp290SimInterface, RunsTimerEventsOnTheirDays)
{
    struct Row
    {
        const char* legend;
        std::uint8_t mode;
        std::uint8_t days;
        std::set<int> firingDays; // days after a Monday, 0-7
    };
    const std::vector<Row> rows = {
        {"weekly on Mondays", 8, 0x01, {0, 7}},
        {"security mode, Monday and Sunday", 9, 0x41, {0, 6, 7}},
        {"weekly on weekdays", 8, 0x1F, {0, 1, 2, 3, 4, 7}},
        {"weekly with no day", 8, 0x00, {}},
        {"today only, once", 4, 0x7F, {0}},
        {"tomorrow only, once", 2, 0x7F, {1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        VirtualInterface device(Start);
        device.setClock({0, 0, 0}, Start);
        ASSERT_EQ(device.execute(storeEvent(3, row.mode, row.days, 6, 30), Start).status, 1);
        std::set<int> firingDays;
        for (int day = 0; day < 8; ++day) {
            for (const auto& firing : device.advance(Start + (day + 1) * 24h)) {
                EXPECT_EQ(firing.slot, 3);
                EXPECT_EQ(firing.switched, std::vector<std::string>{"A1 ON"});
                // House A with function on, units 9-16, units 1-8, base house code A, checksum.
                EXPECT_EQ(firing.report, (Bytes{0x62, 0x00, 0x80, 0x60, 0x42}));
                firingDays.insert(day);
            }
        }
        EXPECT_EQ(firingDays, row.firingDays);
    }
}

TEST(Cp290SimInterface, FiresAsTheClockEntersTheMinute)
{
    VirtualInterface device(Start);
    device.setClock({0, 6, 29}, Start);
    ASSERT_EQ(device.execute(storeEvent(0, 8, 0x01, 6, 30), Start).status, 1);
    EXPECT_TRUE(device.advance(Start + 59s).empty());
    const TimePoint wake = device.nextMinuteStart(Start + 59s);
    EXPECT_GE(wake, Start + 60s);
    EXPECT_LE(wake, Start + 62s);
    EXPECT_EQ(device.advance(wake).size(), 1u);
    EXPECT_TRUE(device.advance(wake + 30s).empty()) << "once per minute";
}
