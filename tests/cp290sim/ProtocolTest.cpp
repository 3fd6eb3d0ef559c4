#include "tools/cp290sim/Protocol.h"
#include "tools/cp290sim/Fault.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace vantrel::cp290sim;
using Bytes = std::vector<std::uint8_t>;

TEST(Cp290SimProtocol, ChecksumCoversTheRightBytes)
{
    struct Row
    {
        const char* legend;
        std::uint8_t command;
        Bytes data;
        std::uint8_t checksum;
    };
    const std::vector<Row> rows = {
        {"dim B3 to 4", 1, {0x85, 0xE0, 0x00, 0x20}, 0x85},
        {"on A12", 1, {0x02, 0x60, 0x10, 0x00}, 0x72},
        {"clock Sunday 18:05", 2, {0x05, 0x12, 0x40}, 0x57},
        {"event: address bytes left out, sum cut to a byte",
         3,
         {0x08, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02},
         0x8D},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(checksumOf(row.command, row.data), row.checksum);
    }
}

TEST(Cp290SimProtocol, FrameLengthsByCommand)
{
    const std::vector<std::pair<int, std::optional<int>>> rows = {
        {0, 1}, {1, 4},           {2, 3}, {3, 10}, {4, 0}, {5, 0}, {6, std::nullopt},
        {7, 0}, {8, std::nullopt}};
    for (const auto& [command, length] : rows) {
        SCOPED_TRACE(command);
        EXPECT_EQ(dataLength(static_cast<std::uint8_t>(command)), length);
    }
    EXPECT_FALSE(hasChecksum(0));
    EXPECT_TRUE(hasChecksum(2));
    EXPECT_FALSE(hasChecksum(4));
}

TEST(Cp290SimProtocol, FrameReaderFindsFrames)
{
    struct Row
    {
        const char* legend;
        Bytes input;
        std::vector<std::string> frames;
        bool partialLeft;
    };
    Bytes preamble(16, 0xFF);
    Bytes full = preamble;
    full.push_back(0x04);
    const std::vector<Row> rows = {
        {"preamble then command 4", full, {"04"}, false},
        {"noise before one 0xFF", {0x12, 0x34, 0xFF, 0x04}, {"04"}, false},
        {"a command byte without 0xFF before it is noise", {0x04, 0xFF, 0x05}, {"05"}, false},
        {"an unknown command byte is skipped", {0xFF, 0x06, 0x04, 0xFF, 0x07}, {"07"}, false},
        {"data bytes may be 0xFF",
         {0xFF, 0x01, 0x02, 0x60, 0xFF, 0x00, 0x61},
         {"01 02 60 FF 00 61"},
         false},
        {"frames back to back", {0xFF, 0x00, 0xE0, 0xFF, 0x04}, {"00 E0", "04"}, false},
        {"a cut frame waits for more", {0xFF, 0x03, 0x08, 0x00}, {}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        FrameReader reader;
        std::vector<std::string> frames;
        for (auto byte : row.input) {
            if (auto frame = reader.feed(byte))
                frames.push_back(hexBytes(frame->bytes()));
        }
        EXPECT_EQ(frames, row.frames);
        EXPECT_EQ(reader.hasPartialFrame(), row.partialLeft);
    }
}

TEST(Cp290SimProtocol, DroppingACutFrameStartsAfresh)
{
    FrameReader reader;
    for (std::uint8_t byte : {0xFF, 0x03, 0x08, 0x00})
        reader.feed(byte);
    EXPECT_EQ(reader.dropPartialFrame(), (Bytes{0x03, 0x08, 0x00}));
    EXPECT_FALSE(reader.hasPartialFrame());
    // The rest of the cut frame is noise now, and needs a new 0xFF before a command.
    EXPECT_FALSE(reader.feed(0x04));
    EXPECT_FALSE(reader.feed(0xFF));
    EXPECT_TRUE(reader.feed(0x04));
}

TEST(Cp290SimProtocol, FrameChecksumIsChecked)
{
    Frame frame{1, {0x85, 0xE0, 0x00, 0x20}, 0x85};
    EXPECT_TRUE(frame.isChecksumValid());
    frame.checksum = 0x86;
    EXPECT_FALSE(frame.isChecksumValid());
    EXPECT_TRUE((Frame{4, {}, std::nullopt}).isChecksumValid());
}

TEST(Cp290SimProtocol, HouseCodeBytes)
{
    const Bytes bytes = {0x60, 0xE0, 0x20, 0xA0, 0x10, 0x90, 0x50, 0xD0,
                         0x70, 0xF0, 0x30, 0xB0, 0x00, 0x80, 0x40, 0xC0};
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(houseLetter(i));
        EXPECT_EQ(houseCodeByte(i), bytes[static_cast<std::size_t>(i)]);
        EXPECT_EQ(houseCodeIndex(bytes[static_cast<std::size_t>(i)]), i);
    }
    EXPECT_FALSE(houseCodeIndex(0x61));
}

TEST(Cp290SimProtocol, DescribesSwitchings)
{
    struct Row
    {
        const char* legend;
        std::uint8_t function, house, units9to16, units1to8;
        std::vector<std::string> lines;
    };
    const std::vector<Row> rows = {
        {"brightness 4", 0x85, 0xE0, 0x00, 0x20, {"B3 DIM 50%"}},
        {"brightness 1", 0xE5, 0x60, 0x00, 0x80, {"A1 DIM 12.5%"}},
        {"brightness 8", 0x05, 0x60, 0x00, 0x80, {"A1 DIM 100%"}},
        {"dimmest level", 0xF5, 0x60, 0x00, 0x80, {"A1 DIM 6.25%"}},
        {"unit 12", 0x02, 0x60, 0x10, 0x00, {"A12 ON"}},
        {"units 8 and 9", 0x03, 0xC0, 0x80, 0x01, {"P8 OFF", "P9 OFF"}},
        {"all lights on ignores units", 0x01, 0x60, 0xFF, 0xFF, {"A ALL-LIGHTS-ON"}},
        {"all units off", 0x00, 0x00, 0x00, 0x00, {"M ALL-UNITS-OFF"}},
        {"no unit addressed", 0x02, 0x60, 0x00, 0x00, {"A ON"}},
        {"other function", 0x04, 0x60, 0x00, 0x80, {"A1 FUNCTION-4"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(describeSwitching(row.function, row.house, row.units9to16, row.units1to8),
                  row.lines);
    }
}

TEST(Cp290SimFault, ParsesWhatHelpDescribes)
{
    struct Row
    {
        const char* text;
        FaultKind kind;
        std::optional<double> value;
        long first, last;
    };
    const std::vector<Row> rows = {
        {"no-reply", FaultKind::NoReply, std::nullopt, 1, LONG_MAX},
        {"no-reply@3", FaultKind::NoReply, std::nullopt, 3, 3},
        {"bad-status@2-5", FaultKind::BadStatus, std::nullopt, 2, 5},
        {"garbage@4-", FaultKind::Garbage, std::nullopt, 4, LONG_MAX},
        {"babble", FaultKind::Babble, std::nullopt, 1, LONG_MAX},
        {"drop-byte", FaultKind::DropByte, std::nullopt, 1, LONG_MAX},
        {"drop-byte=7@1", FaultKind::DropByte, 7.0, 1, 1},
        {"late=4.8", FaultKind::Late, 4.8, 1, LONG_MAX},
        {"trickle=0.5@2", FaultKind::Trickle, 0.5, 2, 2},
        {"flaky=2", FaultKind::Flaky, 2.0, 1, LONG_MAX},
        {"vanish=3@6", FaultKind::Vanish, 3.0, 6, 6},
        {"power-loss=2@4", FaultKind::PowerLoss, 2.0, 4, 4},
        {"corrupt-event=0", FaultKind::CorruptEvent, 0.0, 1, LONG_MAX},
        {"drop-event=127@5-", FaultKind::DropEvent, 127.0, 5, LONG_MAX},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        const auto fault = parseFault(row.text, &error);
        ASSERT_TRUE(fault) << error;
        EXPECT_EQ(fault->kind, row.kind);
        EXPECT_EQ(fault->value, row.value);
        EXPECT_EQ(fault->first, row.first);
        EXPECT_EQ(fault->last, row.last);
    }
}

TEST(Cp290SimFault, RejectsMalformedFaults)
{
    for (const char* text :
         {"", "nope", "late", "no-reply=1", "late=-1", "late=abc", "late=1e300", "flaky=1.5",
          "flaky=2@1", "no-reply@0", "no-reply@5-3", "no-reply@x", "drop-byte=0", "vanish=1.5",
          "late=nan", "no-reply@", "drop-event", "corrupt-event=128", "drop-event=1.5"}) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(parseFault(text, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(Cp290SimFault, PicksItsExchanges)
{
    const auto single = parseFault("no-reply@3", nullptr);
    const auto flaky = parseFault("flaky=2", nullptr);
    ASSERT_TRUE(single && flaky);
    const std::vector<bool> singleExpected = {false, false, true, false};
    const std::vector<bool> flakyExpected = {true, true, false, false};
    for (long exchange = 1; exchange <= 4; ++exchange) {
        SCOPED_TRACE(exchange);
        EXPECT_EQ(single->appliesTo(exchange),
                  singleExpected[static_cast<std::size_t>(exchange - 1)]);
        EXPECT_EQ(flaky->appliesTo(exchange),
                  flakyExpected[static_cast<std::size_t>(exchange - 1)]);
    }
}
