// Reading the event editor's date field, without a window.

#include "editor/core/DateField.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(DateField, ReadsWordsAndMonthDayYearWithinTheClocksYears)
{
    DateTimeRec today;
    today.year = 2026;
    today.month = 12;
    today.day = 31;
    struct Case
    {
        const char* text;
        int year, month, day; // 0: refused
    };
    const Case cases[] = {
        {" Today ", 2026, 12, 31},
        {"TOMORROW", 2027, 1, 1}, // over the year's end
        {"7/4/27", 2027, 7, 4},   // two digits: this century
        {"7-4-2027", 2027, 7, 4},
        {"02/29/2028", 2028, 2, 29},
        {"1/1/1904", 1904, 1, 1},
        {"12/31/2039", 2039, 12, 31},
        {"2/29/2027", 0, 0, 0},
        {"13/1/2027", 0, 0, 0},
        {"12/31/1903", 0, 0, 0},
        {"1/1/2040", 0, 0, 0},
        {"7/4", 0, 0, 0},
        {"7/4/2027/1", 0, 0, 0},
        {"July 4 2027", 0, 0, 0},
        {"7/x/2027", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto date = dateFromFieldText(QString::fromUtf8(c.text), today);
        if (c.year == 0) {
            EXPECT_FALSE(date) << c.text;
            continue;
        }
        ASSERT_TRUE(date) << c.text;
        EXPECT_EQ(date->year, c.year) << c.text;
        EXPECT_EQ(date->month, c.month) << c.text;
        EXPECT_EQ(date->day, c.day) << c.text;
    }
}

} // namespace
} // namespace vantrel
