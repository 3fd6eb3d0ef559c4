#include "tools/cp290sim/Protocol.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vantrel::cp290sim {

namespace {

constexpr std::array<std::uint8_t, 16> HouseCodeBytes = {
    0x60, 0xE0, 0x20, 0xA0, 0x10, 0x90, 0x50, 0xD0, 0x70, 0xF0, 0x30, 0xB0, 0x00, 0x80, 0x40, 0xC0};

std::string dimPercentage(int level)
{
    // Level 0 is full light, 15 the dimmest; each step is 1/16 of full light.
    const int hundredths = (16 - level) * 625;
    std::string text = std::to_string(hundredths / 100);
    int fraction = hundredths % 100;
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0)
            text += static_cast<char>('0' + fraction % 10);
    }
    return text + "%";
}

} // namespace

std::optional<int> dataLength(std::uint8_t command)
{
    switch (command) {
    case SetBaseHouseCode:
        return 1;
    case DirectCommand:
        return 4;
    case SetClock:
        return 3;
    case StoreEvent:
        return 10;
    case ReadClock:
    case ReadEvents:
    case SelfTest:
        return 0;
    default:
        return std::nullopt;
    }
}

bool hasChecksum(std::uint8_t command)
{
    const auto length = dataLength(command);
    return length && *length >= 2;
}

std::uint8_t checksumOf(std::uint8_t command, std::span<const std::uint8_t> data)
{
    const std::size_t first = command == StoreEvent ? 2 : 0;
    unsigned sum = 0;
    for (std::size_t i = first; i < data.size(); ++i)
        sum += data[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::optional<int> houseCodeIndex(std::uint8_t byte)
{
    for (std::size_t i = 0; i < HouseCodeBytes.size(); ++i) {
        if (HouseCodeBytes[i] == byte)
            return static_cast<int>(i);
    }
    return std::nullopt;
}

std::uint8_t houseCodeByte(int index)
{
    return HouseCodeBytes.at(static_cast<std::size_t>(index));
}

char houseLetter(int index)
{
    return static_cast<char>('A' + index);
}

bool isValidFunctionByte(std::uint8_t byte)
{
    const int function = byte & 0x0F;
    const int level = byte >> 4;
    switch (function) {
    case AllUnitsOff:
    case AllLightsOn:
    case On:
    case Off:
        return level == 0;
    case Dim:
        return true;
    default:
        return false;
    }
}

std::uint8_t refusedStatus(std::uint8_t command)
{
    if (command == SelfTest)
        return 1;
    if (command == SetBaseHouseCode)
        return 2;
    return 0;
}

std::vector<std::string> describeSwitching(std::uint8_t function, std::uint8_t house,
                                           std::uint8_t units9to16, std::uint8_t units1to8)
{
    const auto index = houseCodeIndex(house);
    const std::string letter = index ? std::string(1, houseLetter(*index)) : "?";
    std::string action;
    switch (function & 0x0F) {
    case AllUnitsOff:
        return {letter + " ALL-UNITS-OFF"};
    case AllLightsOn:
        return {letter + " ALL-LIGHTS-ON"};
    case On:
        action = "ON";
        break;
    case Off:
        action = "OFF";
        break;
    case Dim:
        action = "DIM " + dimPercentage(function >> 4);
        break;
    default:
        action = "FUNCTION-" + std::to_string(function & 0x0F);
        break;
    }
    std::vector<std::string> lines;
    for (int unit = 1; unit <= 16; ++unit) {
        const bool addressed = unit <= 8 ? (units1to8 & (1u << (8 - unit))) != 0
                                         : (units9to16 & (1u << (16 - unit))) != 0;
        if (addressed)
            lines.push_back(letter + std::to_string(unit) + " " + action);
    }
    // No unit addressed: the function alone still goes out on the house code.
    if (lines.empty())
        lines.push_back(letter + " " + action);
    return lines;
}

std::vector<std::uint8_t> switchingReport(std::uint8_t function, std::uint8_t house,
                                          std::uint8_t units9to16, std::uint8_t units1to8,
                                          std::uint8_t baseHouseCode)
{
    std::vector<std::uint8_t> report = {
        static_cast<std::uint8_t>((house & 0xF0) | (function & 0x0F)), units9to16, units1to8,
        baseHouseCode};
    unsigned sum = 0;
    for (auto byte : report)
        sum += byte;
    report.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return report;
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += buffer;
    }
    return text;
}

bool Frame::isChecksumValid() const
{
    if (!hasChecksum(command))
        return true;
    return checksum && *checksum == checksumOf(command, data);
}

std::vector<std::uint8_t> Frame::bytes() const
{
    std::vector<std::uint8_t> all(1 + data.size() + (checksum ? 1 : 0));
    all[0] = command;
    std::copy(data.begin(), data.end(), all.begin() + 1);
    if (checksum)
        all.back() = *checksum;
    return all;
}

std::optional<Frame> FrameReader::feed(std::uint8_t byte)
{
    if (!m_inFrame) {
        if (byte == SyncByte) {
            m_seenSync = true;
            return std::nullopt;
        }
        const auto length = dataLength(byte);
        if (!m_seenSync || !length) {
            m_seenSync = false;
            return std::nullopt;
        }
        m_seenSync = false;
        m_inFrame = true;
        m_pending.assign(1, byte);
        m_expected = 1 + *length + (hasChecksum(byte) ? 1 : 0);
    } else {
        m_pending.push_back(byte);
    }
    if (static_cast<int>(m_pending.size()) < m_expected)
        return std::nullopt;

    Frame frame;
    frame.command = m_pending.front();
    const int length = *dataLength(frame.command);
    frame.data.assign(m_pending.begin() + 1, m_pending.begin() + 1 + length);
    if (hasChecksum(frame.command))
        frame.checksum = m_pending.back();
    m_inFrame = false;
    m_pending.clear();
    return frame;
}

std::vector<std::uint8_t> FrameReader::dropPartialFrame()
{
    std::vector<std::uint8_t> dropped;
    dropped.swap(m_pending);
    m_inFrame = false;
    m_seenSync = false;
    return dropped;
}

} // namespace vantrel::cp290sim
