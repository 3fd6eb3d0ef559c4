// vantrelctl sun, run as the program.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result
{
    int status = -1;
    std::string output; // standard output and standard error together
};

Result sun(const std::string& arguments, const char* zone = "UTC")
{
    const std::string command =
        std::string("TZ=") + zone + " " + VANTRELCTL_PATH + " sun " + arguments + " 2>&1";
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 256> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe))
        result.output += buffer.data();
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(SunCommand, PrintsTheTimesForAGivenDayAndPlace)
{
    const Result r = sun("--date 2007-06-21 --latitude 40 --longitude -74 --gmt-offset -18000");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "sunrise 04:27\nsunset 19:28\n");
    EXPECT_EQ(sun("--date 2007-06-21 --latitude 70 --longitude 20 --gmt-offset 3600").output,
              "sunrise none\nsunset none\n");
}

TEST(SunCommand, TakesTheOffsetAndPlaceFromTheMachineWhenNotGiven)
{
    // New York's zone gives its city (40°43'N, taken as 41) and, in June,
    // daylight time (-4 h).
    const Result r = sun("--date 2007-06-21", "America/New_York");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "sunrise 05:23\nsunset 20:31\n");
}

TEST(SunCommand, DatesRunToTheLastDayTheClockHolds)
{
    const std::string place = " --latitude 40 --longitude -74 --gmt-offset -18000";
    for (const char* zone : {"UTC", "America/New_York", "Asia/Tokyo"}) {
        SCOPED_TRACE(zone);
        const Result last = sun("--date 2040-02-06" + place, zone);
        EXPECT_EQ(last.status, 0) << last.output;
        EXPECT_EQ(last.output, "sunrise 06:59\nsunset 17:20\n");
        EXPECT_EQ(sun("--date 2039-12-31" + place, zone).status, 0);
        const Result beyond = sun("--date 2040-02-07" + place, zone);
        EXPECT_EQ(beyond.status, 2);
        EXPECT_NE(beyond.output.find("2040-02-06"), std::string::npos) << beyond.output;
    }
}

TEST(SunCommand, BadArgumentsNameTheArgumentAndExitTwo)
{
    struct Case
    {
        const char* arguments;
        const char* named;
    };
    for (const Case& c :
         {Case{"--date 2007-02-30", "--date"}, Case{"--date tomorrow", "--date"},
          Case{"--latitude 91", "--latitude"}, Case{"--longitude -200", "--longitude"},
          Case{"--gmt-offset 99999", "--gmt-offset"}, Case{"--frobnicate", "--frobnicate"}}) {
        SCOPED_TRACE(c.arguments);
        const Result r = sun(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.output.find(c.named), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
}

} // namespace
