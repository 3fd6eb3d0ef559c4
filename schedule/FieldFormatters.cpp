#include "schedule/FieldFormatters.h"

#include "schedule/Module.h"
#include "schedule/TextScanning.h"

namespace vantrel {
namespace {

// A cell whose text was deleted entirely has no typed character; such an
// edit is refused like any other that leaves no valid value.
std::optional<char> typedCharacter(std::string_view proposed, std::size_t insertionPoint)
{
    if (insertionPoint == 0 || insertionPoint > proposed.size())
        return std::nullopt;
    return proposed[insertionPoint - 1];
}

// Text as scanf sees it: up to the first NUL.
std::string_view asCString(std::string_view text)
{
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

} // namespace

std::string houseCodeText(std::int64_t houseCode)
{
    if (!isValidHouseCode(houseCode))
        return std::string(UnknownHouseCodeText);
    return std::string(RkHouseCodes[static_cast<std::size_t>(houseCode)]);
}

std::int64_t houseCodeFromText(std::string_view text)
{
    for (std::size_t i = 0; i < RkHouseCodes.size(); ++i) {
        if (RkHouseCodes[i] == text)
            return static_cast<std::int64_t>(i);
    }
    return 0;
}

TypingCheck checkHouseCodeTyping(std::string_view proposed, std::size_t insertionPoint)
{
    const std::optional<char> typed = typedCharacter(proposed, insertionPoint);
    if (!typed)
        return TypingCheck::refuse();
    if (*typed >= 'A' && *typed <= 'P')
        return TypingCheck::replace(
            std::string(RkHouseCodes[static_cast<std::size_t>(*typed - 'A')]));
    if (*typed >= 'a' && *typed <= 'p')
        return TypingCheck::replace(
            std::string(RkHouseCodes[static_cast<std::size_t>(*typed - 'a')]));
    return TypingCheck::refuse();
}

std::string moduleNumberText(std::int64_t unit)
{
    if (unit == AllLightsUnit)
        return std::string(AllLightsText);
    if (unit == AllModulesUnit)
        return std::string(AllModulesText);
    return std::to_string(unit);
}

std::optional<std::int64_t> moduleNumberFromText(std::string_view text)
{
    if (text == AllModulesText)
        return AllModulesUnit;
    if (text == AllLightsText)
        return AllLightsUnit;
    text = asCString(text);
    int number = 0;
    if (!scanInt(text.data(), text.data() + text.size(), &number))
        return std::nullopt;
    return number;
}

TypingCheck checkModuleNumberTyping(std::string_view proposed, std::size_t)
{
    // The whole text is looked at, not only the typed character: a cell
    // showing "All Modules" stays so while any of its letters is left.
    const auto contains = [&](char letter) {
        for (char c : proposed) {
            if (lowerAscii(c) == letter)
                return true;
        }
        return false;
    };
    if (contains('m'))
        return TypingCheck::replace(std::string(AllModulesText));
    if (contains('l'))
        return TypingCheck::replace(std::string(AllLightsText));
    const char* end = proposed.data() + proposed.size();
    int number = 0;
    const char* after = scanInt(proposed.data(), end, &number);
    if (after == end && number >= 1 && number <= 16)
        return TypingCheck::accept();
    return TypingCheck::refuse();
}

std::string moduleTypeText(std::int64_t type)
{
    if (type == ApplianceType)
        return "Appliance";
    if (type == LightType)
        return "Light";
    if (type == NoType)
        return {};
    // Only a damaged file holds another type; the cell shows what it holds.
    return std::to_string(type);
}

std::int64_t moduleTypeFromText(std::string_view text)
{
    if (text == "Appliance")
        return ApplianceType;
    if (text == "Light")
        return LightType;
    return NoType;
}

TypingCheck checkModuleTypeTyping(std::string_view proposed, std::size_t insertionPoint)
{
    const std::optional<char> typed = typedCharacter(proposed, insertionPoint);
    if (typed && (*typed == 'L' || *typed == 'l'))
        return TypingCheck::replace("Light");
    if (typed && (*typed == 'A' || *typed == 'a'))
        return TypingCheck::replace("Appliance");
    return TypingCheck::refuse();
}

std::string timeOffsetText(const CalendarDate& offset)
{
    return offset.format("%H:%M");
}

std::optional<CalendarDate> timeOffsetFromText(std::string_view text)
{
    text = asCString(text);
    const char* p = text.data();
    const char* end = p + text.size();

    // sscanf(text, "%d:%d%c") must read exactly two items: a third means
    // something follows the minutes.
    int first = 0;
    int second = 0;
    const char* afterFirst = scanInt(p, end, &first);
    if (afterFirst && afterFirst < end && *afterFirst == ':') {
        const char* afterSecond = scanInt(afterFirst + 1, end, &second);
        if (afterSecond && afterSecond == end) {
            if (first < 0 || first > 23 || second < 0 || second > 59)
                return std::nullopt;
            return CalendarDate{0, 0, 0, first, second, 0};
        }
    }
    // sscanf(text, "%d%c") must read exactly one: minutes alone.
    if (afterFirst && afterFirst == end) {
        if (first < 0 || first > 59)
            return std::nullopt;
        return CalendarDate{0, 0, 0, 0, first, 0};
    }
    return std::nullopt;
}

std::string timeOffsetSignText(std::string_view sign)
{
    return std::string(sign);
}

std::string timeOffsetSignFromText(std::string_view text)
{
    return std::string(text);
}

TypingCheck checkTimeOffsetSignTyping(std::string_view proposed, std::size_t insertionPoint)
{
    const std::optional<char> typed = typedCharacter(proposed, insertionPoint);
    if (typed && (*typed == '-' || *typed == '_'))
        return TypingCheck::replace("-");
    if (typed && (*typed == '+' || *typed == '='))
        return TypingCheck::replace("+");
    return TypingCheck::refuse();
}

} // namespace vantrel
