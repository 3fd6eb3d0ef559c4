#include "cp290/Recovery.h"

#include "cp290/Driver.h"
#include "platform/DateTime.h"

#include <string>

namespace vantrel {
namespace {

struct Remembered
{
    std::uint8_t byte = 0;
    std::time_t learnt = 0;
};

std::optional<Remembered> rememberedIn(const std::string& domain)
{
    const Preferences preferences(domain);
    const auto letter = preferences.stringValue(BaseHouseCodeKey);
    if (!letter || letter->size() != 1 || (*letter)[0] < 'A' || (*letter)[0] > 'P')
        return std::nullopt;
    return Remembered{houseCodeByte((*letter)[0] - 'A'),
                      preferences.unixDateValue(BaseHouseCodeDateKey).value_or(0)};
}

} // namespace

bool interfaceLostItsMemory()
{
    return lastRefusalStatus() == std::uint8_t{0};
}

bool CP290DoSetClockRecovering(MemoryRecovery& recovery)
{
    if (!recovery.baseHouseCode)
        return CP290DoSetClock();
    holdCP290FailureReport(true);
    const bool set = CP290DoSetClock();
    holdCP290FailureReport(false);
    if (set)
        return true;
    if (!interfaceLostItsMemory()) {
        showHeldCP290FailureReport();
        return false;
    }
    const std::uint8_t byte = *recovery.baseHouseCode;
    if (!SendCP290Command(CP290SetBaseHouseCode, &byte, 1))
        return false;
    recovery.reprogrammed = true;
    return CP290DoSetClock();
}

void rememberBaseHouseCode(Preferences& own, std::uint8_t byte)
{
    const int index = houseCodeIndexOfByte(byte);
    if (index < 0)
        return;
    own.setValue(BaseHouseCodeKey, std::string(1, static_cast<char>('A' + index)));
    own.setUnixDate(BaseHouseCodeDateKey, unixNow());
}

std::optional<std::uint8_t> rememberedBaseHouseCode()
{
    const auto application = rememberedIn(ApplicationDomain);
    const auto helper = rememberedIn(HelperDomain);
    if (application && (!helper || application->learnt >= helper->learnt))
        return application->byte;
    if (helper)
        return helper->byte;
    return std::nullopt;
}

} // namespace vantrel
