// The two programs at once: the helper downloading while vantrelctl (which
// shares the application's send code) sends to the same interface, and both
// appending to the activity log.

#include "cp290/ActivityLog.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "schedule/HelperCopy.h"
#include "schedule/ModulesDocument.h"
#include "support/Cp290Sim.h"
#include "support/ScheduleBuilders.h"
#include "support/TemporaryHome.h"
#include "tests/reliability/ProcessRun.h"
#include "tests/reliability/SaveVersions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> logLines()
{
    std::ifstream in(logFilePath(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool logHas(const std::string& message)
{
    for (const std::string& line : logLines())
        if (line.size() > message.size() &&
            line.compare(line.size() - message.size(), message.size(), message) == 0)
            return true;
    return false;
}

TEST(TwoPrograms, OneSendsCleanlyWhileTheOtherIsToldThePortIsTaken)
{
    TemporaryHome home;
    makeDirectories(stateDirectory());
    Cp290Sim sim({}, true, "ttyCP290");
    ASSERT_TRUE(sim.isRunning());
    home.set("VANTREL_DEVICE_DIR", sim.deviceDirectory());

    // A sunset event makes the helper download at once; at the real line
    // rate its seven frames hold the port for about three seconds.
    Event sunset = clockEvent(EventDaysMask, 0, 0);
    sunset.Flags = EventDaysMask | EventSunsetFlag | EventOnFlag;
    const ModuleList modules = {moduleWith({sunset, clockEvent(EventDaysMask, 6, 30)}, 0, 1),
                                moduleWith({clockEvent(EventDaysMask, 7, 0)}, 1, 2),
                                moduleWith({clockEvent(EventDaysMask, 8, 0)}, 2, 3)};
    Preferences application(ApplicationDomain);
    application.setValue(SerialDeviceKey, "CP290");
    ASSERT_TRUE(storeHelperCopy(application, modules, {1, 1}));
    ModulesDocument document;
    document.modules = modules;
    const std::string file = home.root() + "/home.vantrel";
    ASSERT_TRUE(writeModulesFile(file, document, nullptr));

    Process helper({VANTREL_HELPER_PATH});
    ASSERT_TRUE(helper.started());
    ASSERT_TRUE(sim.waitForTraceLine("rx 02 ")) << "the helper did not start its download";

    const Process::Result refused =
        Process({VANTRELCTL_PATH, "send", file, "--device", sim.linkPath()}).wait(30s);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.output.find("Cannot Open Serial Device"), std::string::npos)
        << refused.output;
    EXPECT_NE(refused.output.find("Device or resource busy"), std::string::npos) << refused.output;

    ASSERT_TRUE(waitForFileCondition(
        stateDirectory(), [] { return logHas("Events sent successfully."); }, 30s))
        << "the helper's download was disturbed";
    EXPECT_FALSE(logHas("Events sent unsuccessfully."));

    // The port is free again: the second program's send goes through.
    const Process::Result sent =
        Process({VANTRELCTL_PATH, "send", file, "--device", sim.linkPath()}).wait(60s);
    EXPECT_EQ(sent.exitCode, 0) << sent.output;
    helper.terminate();
}

TEST(TwoPrograms, ActivityLogKeepsEveryLineWholeWithBothWriting)
{
    TemporaryHome home;
    constexpr long Lines = 5000;
    Process first({VANTREL_SAVE_LOOP_PATH, "log", "application", std::to_string(Lines)});
    Process second({VANTREL_SAVE_LOOP_PATH, "log", "helper", std::to_string(Lines)});
    EXPECT_EQ(first.wait(60s).exitCode, 0);
    EXPECT_EQ(second.wait(60s).exitCode, 0);

    const std::regex whole(
        R"([A-Z][a-z]{2} \d\d/\d\d/\d\d \d\d:\d\d [AP]M -- (application|helper) line (\d+) [ah]{200})");
    std::map<std::string, std::vector<int>> seen{{"application", std::vector<int>(Lines)},
                                                 {"helper", std::vector<int>(Lines)}};
    std::size_t torn = 0;
    std::size_t turns = 0; // where one writer's line follows the other's
    char last = 0;
    const auto lines = logLines();
    for (const std::string& line : lines) {
        turns += !line.empty() && last && line.back() != last;
        last = line.empty() ? last : line.back();
        std::smatch match;
        if (!std::regex_match(line, match, whole) || match[1].str()[0] != line[line.size() - 1]) {
            ++torn;
            continue;
        }
        const long i = std::stol(match[2]);
        if (i >= 0 && i < Lines)
            ++seen[match[1]][static_cast<std::size_t>(i)];
    }
    EXPECT_EQ(torn, 0u);
    EXPECT_GT(turns, 0u) << "the two writers never wrote at the same time";
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(2 * Lines));
    for (const auto& [who, counts] : seen)
        for (long i = 0; i < Lines; ++i)
            ASSERT_EQ(counts[static_cast<std::size_t>(i)], 1) << who << " line " << i;
    std::cout << lines.size() << " lines from two processes taking turns " << turns << " times, "
              << torn << " torn\n";
}

} // namespace
} // namespace vantrel::test
