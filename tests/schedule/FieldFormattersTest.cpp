#include "schedule/FieldFormatters.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace vantrel {
namespace {

using Outcome = TypingCheck::Outcome;

} // namespace

void PrintTo(const TypingCheck& check, std::ostream* out)
{
    static const char* const names[] = {"accept", "refuse", "replace"};
    *out << names[static_cast<int>(check.outcome)];
    if (check.outcome == Outcome::Replace)
        *out << " \"" << check.text << "\" selecting " << check.selectionStart << "+"
             << check.selectionLength;
}

namespace {

struct TypingRow
{
    const char* legend;
    std::string proposed;
    std::size_t insertionPoint;
    TypingCheck expected;
};

void checkTyping(TypingCheck (*check)(std::string_view, std::size_t),
                 const std::vector<TypingRow>& rows)
{
    for (const TypingRow& row : rows) {
        SCOPED_TRACE(std::string(row.legend) + " <" + row.proposed + ">");
        EXPECT_EQ(check(row.proposed, row.insertionPoint), row.expected);
    }
}

TEST(HouseCodeFormatter, TextAndReading)
{
    for (std::int64_t i = 0; i < 16; ++i) {
        const std::string text(1, static_cast<char>('A' + i));
        EXPECT_EQ(houseCodeText(i), text);
        EXPECT_EQ(houseCodeFromText(text), i);
    }
    EXPECT_EQ(houseCodeText(16), "?");
    EXPECT_EQ(houseCodeText(-1), "?");
    EXPECT_EQ(houseCodeFromText("Q"), 0);
    EXPECT_EQ(houseCodeFromText("c"), 0);
    EXPECT_EQ(houseCodeFromText(""), 0);
}

TEST(HouseCodeFormatter, Typing)
{
    checkTyping(checkHouseCodeTyping,
                {
                    {"c typed after A becomes C, selected", "Ac", 2, TypingCheck::replace("C")},
                    {"c typed before A", "cA", 1, TypingCheck::replace("C")},
                    {"capital P", "AP", 2, TypingCheck::replace("P")},
                    {"q is refused", "Aq", 2, TypingCheck::refuse()},
                    {"3 is refused", "A3", 2, TypingCheck::refuse()},
                    {"deleted to nothing", "", 0, TypingCheck::refuse()},
                    {"insertion point at the start", "A", 0, TypingCheck::refuse()},
                    {"insertion point past the end", "A", 5, TypingCheck::refuse()},
                });
    const TypingCheck c = checkHouseCodeTyping("Ac", 2);
    EXPECT_EQ(c.outcome, Outcome::Replace);
    EXPECT_EQ(c.selectionStart, 0u);
    EXPECT_EQ(c.selectionLength, 1u);
}

TEST(ModuleNumberFormatter, TextAndReading)
{
    EXPECT_EQ(moduleNumberText(1), "1");
    EXPECT_EQ(moduleNumberText(16), "16");
    EXPECT_EQ(moduleNumberText(17), "All Lights");
    EXPECT_EQ(moduleNumberText(18), "All Modules");
    EXPECT_EQ(moduleNumberFromText("All Modules"), 18);
    EXPECT_EQ(moduleNumberFromText("All Lights"), 17);
    EXPECT_EQ(moduleNumberFromText("7"), 7);
    EXPECT_EQ(moduleNumberFromText(" 12abc"), 12);
    EXPECT_EQ(moduleNumberFromText("abc"), std::nullopt);
    EXPECT_EQ(moduleNumberFromText(""), std::nullopt);
}

TEST(ModuleNumberFormatter, Typing)
{
    checkTyping(
        checkModuleNumberTyping,
        {
            {"L becomes All Lights", "1L", 2, TypingCheck::replace("All Lights")},
            {"m becomes All Modules", "m", 1, TypingCheck::replace("All Modules")},
            {"All Lights stands while edited", "All Light", 9, TypingCheck::replace("All Lights")},
            {"m wins over l", "All Modules", 11, TypingCheck::replace("All Modules")},
            {"7 over the selected replacement", "7", 1, TypingCheck::accept()},
            {"16 is the largest", "16", 2, TypingCheck::accept()},
            {"17 cannot be typed", "17", 2, TypingCheck::refuse()},
            {"0 cannot be typed", "0", 1, TypingCheck::refuse()},
            {"an empty cell is refused", "", 0, TypingCheck::refuse()},
            {"1x is refused", "1x", 2, TypingCheck::refuse()},
            {"two numbers are refused", "1 2", 3, TypingCheck::refuse()},
            {"a negative number is refused", "-3", 2, TypingCheck::refuse()},
        });
}

TEST(ModuleTypeFormatter, TextAndReading)
{
    EXPECT_EQ(moduleTypeText(0), "Appliance");
    EXPECT_EQ(moduleTypeText(1), "Light");
    EXPECT_EQ(moduleTypeText(2), "");
    // Only a damaged file holds another type; its cell shows the number.
    EXPECT_EQ(moduleTypeText(99), "99");
    EXPECT_EQ(moduleTypeText(-1), "-1");
    EXPECT_EQ(moduleTypeFromText("Appliance"), 0);
    EXPECT_EQ(moduleTypeFromText("Light"), 1);
    EXPECT_EQ(moduleTypeFromText(""), 2);
    EXPECT_EQ(moduleTypeFromText("light"), 2);
}

TEST(ModuleTypeFormatter, Typing)
{
    checkTyping(checkModuleTypeTyping,
                {
                    {"a in an empty type cell", "a", 1, TypingCheck::replace("Appliance")},
                    {"L after Appliance", "ApplianceL", 10, TypingCheck::replace("Light")},
                    {"l typed mid-text", "Lilght", 3, TypingCheck::replace("Light")},
                    {"x is refused", "Lightx", 6, TypingCheck::refuse()},
                    {"nothing typed", "", 0, TypingCheck::refuse()},
                });
}

TEST(TimeOffsetFormatter, TextAndReading)
{
    EXPECT_EQ(timeOffsetText(CalendarDate{0, 0, 0, 1, 30, 0}), "01:30");
    EXPECT_EQ(timeOffsetText(CalendarDate{1904, 1, 1, 0, 5, 0}), "00:05");

    struct Row
    {
        const char* legend;
        const char* text;
        std::optional<CalendarDate> value;
    };
    const CalendarDate fortyFive{0, 0, 0, 0, 45, 0};
    const Row rows[] = {
        {"h:mm", "0:45", fortyFive},
        {"minutes alone", "45", fortyFive},
        {"hh:mm", "00:45", fortyFive},
        {"23:59 is the largest", "23:59", CalendarDate{0, 0, 0, 23, 59, 0}},
        {"leading blank, as %d skips it", " 1:30", CalendarDate{0, 0, 0, 1, 30, 0}},
        {"60 minutes alone refused", "60", std::nullopt},
        {"24:00 refused", "24:00", std::nullopt},
        {"negative minutes refused", "-5", std::nullopt},
        {"trailing blank refused", "1:30 ", std::nullopt},
        {"trailing letter refused", "45m", std::nullopt},
        {"seconds refused", "1:30:00", std::nullopt},
        {"empty refused", "", std::nullopt},
        {"colon with nothing after refused", "1:", std::nullopt},
        {"minute 60 refused", "1:60", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(timeOffsetFromText(row.text), row.value);
    }
}

TEST(TimeOffsetSignFormatter, TextReadingAndTyping)
{
    EXPECT_EQ(timeOffsetSignText("-"), "-");
    EXPECT_EQ(timeOffsetSignFromText("+"), "+");
    checkTyping(checkTimeOffsetSignTyping,
                {
                    {"= shows +", "+=", 2, TypingCheck::replace("+")},
                    {"+ shows +", "-+", 2, TypingCheck::replace("+")},
                    {"_ shows -", "+_", 2, TypingCheck::replace("-")},
                    {"- shows -", "-", 1, TypingCheck::replace("-")},
                    {"x changes nothing", "+x", 2, TypingCheck::refuse()},
                    {"nothing typed", "", 0, TypingCheck::refuse()},
                });
}

} // namespace
} // namespace vantrel
