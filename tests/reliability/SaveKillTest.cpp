// Saves killed at random moments (SIGKILL, so nothing of the program runs
// after it): the document file, both programs' preferences written at once,
// and the helper copy inside the application's preferences are afterwards
// always one whole version, the old one or a newer one, never torn.
// VANTREL_KILLS sets the number of kills (default 1,200; fewer for the
// sanitizer build).

#include "platform/Preferences.h"
#include "platform/PropertyList.h"
#include "schedule/HelperCopy.h"
#include "support/TemporaryHome.h"
#include "tests/reliability/ProcessRun.h"
#include "tests/reliability/SaveVersions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantrel::test {
namespace {

int killBudget()
{
    const char* text = std::getenv("VANTREL_KILLS");
    const int kills = text ? std::atoi(text) : 0;
    return kills > 0 ? kills : 1200;
}

// The save loop of SaveLoop.cpp in one of its modes.
struct SaveLoop : Process
{
    explicit SaveLoop(std::vector<std::string> arguments)
        : Process(withProgram(std::move(arguments)))
    {}
    static std::vector<std::string> withProgram(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), VANTREL_SAVE_LOOP_PATH);
        return arguments;
    }
};

// Kills land anywhere from the program's start to several saves later.
std::chrono::microseconds randomMoment(std::mt19937& random)
{
    return std::chrono::microseconds(std::uniform_int_distribution<int>(0, 25'000)(random));
}

// The folder holds the file and at most the one temporary a save reuses.
std::size_t entriesIn(const std::string& folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

class SaveKills : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        setPreferencesWarningSink(
            [this](const std::string& message) { warnings.push_back(message); });
        std::cout << "seed " << seed << "\n";
    }
    void TearDown() override { setPreferencesWarningSink({}); }

    TemporaryHome home;
    const unsigned seed = std::random_device{}();
    std::mt19937 random{seed};
    std::vector<std::string> warnings;
};

TEST_F(SaveKills, DocumentIsAlwaysTheOldOrANewVersionWhole)
{
    const std::string folder = home.root() + "/documents";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/home.vantrel";
    std::string error;
    ASSERT_TRUE(writeModulesFile(path, versionDocument(0), &error)) << error;

    const int rounds = killBudget() * 2 / 5;
    long version = 0;
    int newer = 0;
    for (int round = 0; round < rounds; ++round) {
        SaveLoop loop({"document", path, std::to_string(version + 1)});
        ASSERT_TRUE(loop.started());
        ASSERT_TRUE(loop.runFor(randomMoment(random))) << "the save loop ended by itself";
        ASSERT_TRUE(loop.killNow());

        ModulesDocument read;
        ASSERT_TRUE(readModulesFile(path, &read, &error)) << "round " << round << ": " << error;
        const std::optional<long> found = versionOf(read.modules);
        ASSERT_TRUE(found) << "round " << round;
        ASSERT_GE(*found, version) << "round " << round << ": an older version came back";
        ASSERT_EQ(read, versionDocument(*found)) << "round " << round << ": torn";
        newer += *found > version;
        version = *found;
        ASSERT_LE(entriesIn(folder), 2u) << "temporary files pile up";
    }
    std::cout << rounds << " kills during document saves; " << newer
              << " found a newer version, the rest the old one; " << version << " saves made\n";
    RecordProperty("kills", rounds);
}

TEST_F(SaveKills, BothProgramsPreferencesAndTheHelperCopyStayWhole)
{
    const std::string applicationFile = preferencesFilePath(ApplicationDomain);
    const std::string helperFile = preferencesFilePath(HelperDomain);
    {
        Preferences own(ApplicationDomain);
        own.setValue(SerialDeviceKey, "CP290-0");
        ASSERT_TRUE(storeHelperCopy(own, versionModules(0), {1, 1}));
        Preferences other(HelperDomain);
        other.setValue(ProcessIDKey, 0);
        other.setUnixDate(SendTimeKey, HelperVersionBase);
        ASSERT_TRUE(other.synchronize());
    }
    const int rounds = killBudget() * 3 / 10; // two kills each
    long application = 0;
    long helper = 0;
    int newer = 0;
    for (int round = 0; round < rounds; ++round) {
        // Both programs save at once and are killed at different moments.
        SaveLoop first({"application", std::to_string(application + 1)});
        SaveLoop second({"helper", std::to_string(helper + 1)});
        ASSERT_TRUE(first.started() && second.started());
        const auto one = randomMoment(random);
        const auto two = randomMoment(random);
        ASSERT_TRUE(first.runFor(std::min(one, two)));
        ASSERT_TRUE((one < two ? first : second).killNow());
        ASSERT_TRUE((one < two ? second : first).runFor(two > one ? two - one : one - two));
        ASSERT_TRUE((one < two ? second : first).killNow());
        PropertyValue raw;
        std::string error;
        ASSERT_TRUE(readPropertyListFile(applicationFile, &raw, &error))
            << "round " << round << ": " << error;
        Preferences preferences(ApplicationDomain);
        const auto copy = readHelperCopy(preferences, &error);
        ASSERT_TRUE(copy) << "round " << round << ": " << error;
        const std::optional<long> found = versionOf(copy->modules);
        ASSERT_TRUE(found);
        ASSERT_GE(*found, application);
        EXPECT_EQ(copy->modules, versionModules(*found)) << "round " << round << ": torn copy";
        EXPECT_EQ(preferences.stringValue(SerialDeviceKey), "CP290-" + std::to_string(*found))
            << "the copy and the device were saved together";
        newer += *found > application;
        application = *found;

        ASSERT_TRUE(readPropertyListFile(helperFile, &raw, &error)) << error;
        Preferences own(HelperDomain);
        const auto pid = own.integerValue(ProcessIDKey);
        ASSERT_TRUE(pid);
        ASSERT_GE(*pid, helper);
        EXPECT_EQ(own.unixDateValue(SendTimeKey), HelperVersionBase + *pid);
        helper = *pid;
        ASSERT_LE(entriesIn(home.root() + "/config/vantrel"), 4u) << "temporary files pile up";
    }
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    std::cout << 2 * rounds << " kills during preference saves; the application's file moved on "
              << newer << " times, to version " << application << ", the helper's to " << helper
              << "\n";
    RecordProperty("kills", 2 * rounds);
}

} // namespace
} // namespace vantrel::test
