#include "cp290/ActivityLog.h"

#include "platform/Paths.h"
#include "support/FixedClock.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <clocale>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

std::string logContents()
{
    std::string text;
    readWholeFile(logFilePath(), &text);
    return text;
}

TEST(ActivityLog, PathIsInTheStateFolder)
{
    test::TemporaryHome home;
    EXPECT_EQ(logFilePath(), home.root() + "/state/vantrel/VantrelHelper.log");
}

TEST(ActivityLog, FirstLineCreatesTheLogAndItsFolder)
{
    test::TemporaryHome home;
    test::FixedClock clock(2007, 3, 5, 3, 0);
    struct stat info
    {
    };
    ASSERT_NE(stat(stateDirectory().c_str(), &info), 0);
    writeLog("Started.");
    EXPECT_EQ(logContents(), "Mon 03/05/07 03:00 AM -- Started.\n");
}

TEST(ActivityLog, LineFormatUsesTwelveHourClockAndTwoDigitYear)
{
    test::TemporaryHome home;
    const struct
    {
        int year, month, day, hour, minute;
        const char* expected;
    } rows[] = {
        {2007, 3, 7, 15, 4, "Wed 03/07/07 03:04 PM -- "},
        {2007, 3, 7, 0, 5, "Wed 03/07/07 12:05 AM -- "},
        {2007, 3, 7, 12, 0, "Wed 03/07/07 12:00 PM -- "},
        {2010, 12, 31, 23, 59, "Fri 12/31/10 11:59 PM -- "},
        {2000, 1, 2, 9, 30, "Sun 01/02/00 09:30 AM -- "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        ASSERT_TRUE(clearLog());
        test::FixedClock clock(row.year, row.month, row.day, row.hour, row.minute, 0,
                               "America/New_York");
        writeLog("x");
        EXPECT_EQ(logContents(), std::string(row.expected) + "x\n");
    }
}

TEST(ActivityLog, DayNamesDoNotFollowTheLocale)
{
    test::TemporaryHome home;
    test::FixedClock clock(2007, 3, 7, 15, 4);
    const std::string old = std::setlocale(LC_ALL, nullptr);
    // Where no other locale is installed this checks the C locale only.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        std::setlocale(LC_ALL, "fr_FR.UTF-8");
    writeLog("Events sent successfully.");
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(logContents(), "Wed 03/07/07 03:04 PM -- Events sent successfully.\n");
}

TEST(ActivityLog, SeveralLinesOfMessageAreWrittenUnchangedAfterOnePrefix)
{
    test::TemporaryHome home;
    test::FixedClock clock(2007, 3, 7, 15, 4);
    writeLog("Clock set successfully.");
    writeLog("first\nsecond\n  third %@ %s");
    EXPECT_EQ(logContents(), "Wed 03/07/07 03:04 PM -- Clock set successfully.\n"
                             "Wed 03/07/07 03:04 PM -- first\nsecond\n  third %@ %s\n");
}

TEST(ActivityLog, UnwritableLogIsSkippedSilently)
{
    test::TemporaryHome home;
    // A file where the state folder should be: neither the folder nor the
    // log can be made.
    ASSERT_TRUE(writeFileAtomically(home.root() + "/state", "in the way"));
    writeLog("Started.");
    std::string text;
    EXPECT_FALSE(readLog(&text));
    EXPECT_FALSE(clearLog());
}

TEST(ActivityLog, ReadAndClear)
{
    test::TemporaryHome home;
    test::FixedClock clock(2007, 3, 7, 15, 4);
    std::string text = "unchanged";
    EXPECT_FALSE(readLog(&text));
    writeLog("Enabled by user.");
    ASSERT_TRUE(readLog(&text));
    EXPECT_EQ(text, "Wed 03/07/07 03:04 PM -- Enabled by user.\n");
    ASSERT_TRUE(clearLog());
    ASSERT_TRUE(readLog(&text));
    EXPECT_EQ(text, "");
    writeLog("Disabled by user.");
    ASSERT_TRUE(readLog(&text));
    EXPECT_EQ(text, "Wed 03/07/07 03:04 PM -- Disabled by user.\n");
}

TEST(ActivityLog, TwoProcessesWritingAtOnceLeaveWholeLines)
{
    test::TemporaryHome home;
    test::FixedClock clock(2007, 3, 7, 15, 4);
    writeLog("first");
    constexpr int LinesEach = 1000;
    const std::string padding(200, '.');
    pid_t children[2] = {};
    for (int child = 0; child < 2; ++child) {
        children[child] = fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            for (int i = 0; i < LinesEach; ++i)
                writeLog("writer " + std::to_string(child) + " line " + std::to_string(i) + " " +
                         padding);
            _exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::istringstream lines(logContents());
    std::string line;
    int counts[2] = {};
    int next[2] = {};
    int total = 0;
    while (std::getline(lines, line)) {
        ++total;
        if (line == "Wed 03/07/07 03:04 PM -- first")
            continue;
        int writer = -1;
        int number = -1;
        char rest[256] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "Wed 03/07/07 03:04 PM -- writer %d line %d %255s",
                              &writer, &number, rest),
                  3)
            << line;
        ASSERT_TRUE(writer == 0 || writer == 1) << line;
        EXPECT_EQ(number, next[writer]) << "lines of one writer out of order";
        EXPECT_EQ(std::string(rest), padding);
        next[writer] = number + 1;
        ++counts[writer];
    }
    EXPECT_EQ(total, 2 * LinesEach + 1);
    EXPECT_EQ(counts[0], LinesEach);
    EXPECT_EQ(counts[1], LinesEach);
}

} // namespace
} // namespace vantrel
