// The CP290's own commands, each one or more exchanges, and the byte
// encodings they share with the timer-event download and read-back.

#include "cp290/Driver.h"

#include "platform/DateTime.h"

#include <array>

namespace vantrel {

namespace {

// X10 house codes A-P as the interface sends them: the code sits in the high
// nibble and does not follow the letters' order.
constexpr std::array<std::uint8_t, 16> HouseCodeBytes = {
    0x60, 0xE0, 0x20, 0xA0, 0x10, 0x90, 0x50, 0xD0, 0x70, 0xF0, 0x30, 0xB0, 0x00, 0x80, 0x40, 0xC0,
};

// Brightness 1-8 dims to level 16 - 2 x brightness (0 brightest); 9 is full on.
constexpr std::array<std::uint8_t, 9> BrightnessBytes = {
    0xE5, 0xC5, 0xA5, 0x85, 0x65, 0x45, 0x25, 0x05, 0x02,
};

constexpr int AllLightsUnit = 17;
constexpr int AllModulesUnit = 18;

constexpr std::uint8_t FunctionAllUnitsOff = 0;
constexpr std::uint8_t FunctionAllLightsOn = 1;

} // namespace

std::uint8_t houseCodeByte(int houseCodeIndex)
{
    if (houseCodeIndex < 0 || houseCodeIndex >= static_cast<int>(HouseCodeBytes.size()))
        return 0;
    return HouseCodeBytes[static_cast<std::size_t>(houseCodeIndex)];
}

int houseCodeIndexOfByte(std::uint8_t byte)
{
    for (std::size_t i = 0; i < HouseCodeBytes.size(); ++i)
        if (HouseCodeBytes[i] == byte)
            return static_cast<int>(i);
    return -1;
}

std::uint8_t brightnessByte(int brightness)
{
    if (brightness < 1)
        brightness = 1;
    if (brightness > 9)
        brightness = 9;
    return BrightnessBytes[static_cast<std::size_t>(brightness - 1)];
}

std::uint8_t dayByteOfWeekday(int dayOfWeek)
{
    if (dayOfWeek < 1 || dayOfWeek > 7)
        return 0;
    // Monday is bit 0 and Sunday bit 6, while dayOfWeek counts from Sunday.
    return dayOfWeek == 1 ? 0x40 : static_cast<std::uint8_t>(1u << (dayOfWeek - 2));
}

bool CP290DoOnOffDim(int houseCodeIndex, int unit, std::uint8_t levelFunction)
{
    if (houseCodeIndex < 0 || houseCodeIndex >= static_cast<int>(HouseCodeBytes.size()) ||
        unit < 1 || unit > AllModulesUnit)
        return false;

    std::uint8_t units1To8 = 0;
    std::uint8_t units9To16 = 0;
    if (unit == AllLightsUnit) {
        // X10 has no "all lights off"; the pseudo-unit can only switch lights on.
        if (levelFunction == CP290FunctionOff)
            return false;
        levelFunction = FunctionAllLightsOn;
    } else if (unit == AllModulesUnit) {
        if (levelFunction == CP290FunctionOn)
            return false;
        levelFunction = FunctionAllUnitsOff;
    } else if (unit <= 8) {
        units1To8 = static_cast<std::uint8_t>(1u << (8 - unit));
    } else {
        units9To16 = static_cast<std::uint8_t>(1u << (16 - unit));
    }

    const std::uint8_t data[4] = {levelFunction, houseCodeByte(houseCodeIndex), units9To16,
                                  units1To8};
    return SendCP290Command(CP290DirectCommand, data, 4);
}

bool CP290DoGetClock()
{
    return SendCP290Command(CP290GetClock, nullptr, 0);
}

bool CP290DoSetBaseHouseCode(int houseCodeIndex)
{
    if (houseCodeIndex < 0 || houseCodeIndex >= static_cast<int>(HouseCodeBytes.size()))
        return false;
    const std::uint8_t data = houseCodeByte(houseCodeIndex);
    return SendCP290Command(CP290SetBaseHouseCode, &data, 1);
}

bool CP290DoSetClock()
{
    DateTimeRec now;
    SecondsToDate(GetDateTime(), &now);
    // The interface keeps no seconds.
    const std::uint8_t data[3] = {static_cast<std::uint8_t>(now.minute),
                                  static_cast<std::uint8_t>(now.hour),
                                  dayByteOfWeekday(now.dayOfWeek)};
    return SendCP290Command(CP290SetClock, data, 3);
}

bool CP290DoGetEvents()
{
    return SendCP290Command(CP290GetEvents, nullptr, 0);
}

bool CP290DoSelfTest()
{
    // Read the base house code first: the self test erases it along with
    // everything else, and it is put back afterwards.
    gProgressBudget = 10;
    if (!SendCP290Command(CP290GetClock, nullptr, 0))
        return false;
    gProgressBudget = 100;
    if (!SendCP290Command(CP290SelfTest, nullptr, 0))
        return false;
    gProgressBudget = 10;
    const std::uint8_t baseHouseCode = gBaseHouseCode;
    if (!SendCP290Command(CP290SetBaseHouseCode, &baseHouseCode, 1))
        return false;
    return CP290DoSetClock();
}

} // namespace vantrel
