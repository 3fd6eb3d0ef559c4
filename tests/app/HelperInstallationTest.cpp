// Installing, registering, starting and stopping the helper, without a window.

#include "app/core/HelperInstallation.h"

#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "support/FolderWait.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string contentsOf(const std::string& path)
{
    std::string data;
    readWholeFile(path, &data);
    return data;
}

bool isExecutable(const std::string& path)
{
    return access(path.c_str(), X_OK) == 0;
}

// A bundle folder with a version (none: no Info.plist) and a program: a copy
// of an existing file or a shell script's text.
void makeBundle(const std::string& bundle, const std::string& version,
                const std::string& programCopyOf, const std::string& script = {})
{
    fs::create_directories(bundle + "/Contents/bin");
    if (!version.empty()) {
        PropertyDictionary info;
        info.set("CFBundleVersion", version);
        ASSERT_TRUE(writePropertyListFile(bundle + "/Contents/Info.plist", info));
    }
    const std::string program = helperProgramPath(bundle);
    if (!programCopyOf.empty())
        fs::copy_file(programCopyOf, program, fs::copy_options::overwrite_existing);
    else
        ASSERT_TRUE(writeFileAtomically(program, "#!/bin/sh\n" + script));
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

const std::string Sleep = fs::canonical("/bin/sleep").string();

// Returns once the child runs the program: the close-on-exec pipe then
// reads its end.
pid_t spawn(const std::string& program, const char* argument)
{
    int execed[2];
    if (pipe2(execed, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        const char* const arguments[] = {program.c_str(), argument, nullptr};
        execv(program.c_str(), const_cast<char* const*>(arguments));
        _exit(127);
    }
    close(execed[1]);
    char ignored;
    while (read(execed[0], &ignored, 1) < 0 && errno == EINTR) {
    }
    close(execed[0]);
    return child;
}

bool stillRunning(pid_t child)
{
    int status = 0;
    return waitpid(child, &status, WNOHANG) == 0;
}

int terminatingSignal(pid_t child)
{
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

class HelperInstallationTest : public ::testing::Test
{
  protected:
    test::TemporaryHome home;
    const std::string bundled = home.root() + "/app/share/vantrel/" + HelperBundleName;
    const std::string installed = installedHelperPath();
};

TEST(HelperVersion, CaseInsensitiveReplace)
{
    std::string text = "aAaA";
    caseInsensitiveReplace(text, "A", "1");
    EXPECT_EQ(text, "1111");

    // The search resumes after what was inserted, so this ends.
    text = "xBy b";
    caseInsensitiveReplace(text, "b", "Bb");
    EXPECT_EQ(text, "xBby Bb");

    text = "Beta";
    caseInsensitiveReplace(text, "", "x");
    EXPECT_EQ(text, "Beta");
}

TEST(HelperVersion, FinalReleaseRanksAboveItsAlphaAndBeta)
{
    EXPECT_EQ(versionNumberOfString("3.4"), 34999);
    EXPECT_EQ(versionNumberOfString("3.4b2"), 34220);
    EXPECT_EQ(versionNumberOfString("3.4B2"), 34220);
    EXPECT_EQ(versionNumberOfString("3.4a1"), 34110);
    EXPECT_LT(versionNumberOfString("3.4"), versionNumberOfString("3.5a1"));
    // Nonsense neither crashes nor overflows.
    EXPECT_EQ(versionNumberOfString("release"), versionNumberOfString("0"));
    EXPECT_GT(versionNumberOfString("99999999999"), versionNumberOfString("3.4"));
}

TEST(HelperVersion, TheBuildPlacesTheBundleInTheResourceFolder)
{
    // The test program lies in the build's bin folder, like the application.
    EXPECT_TRUE(isExecutable(helperProgramPath(bundledHelperPath()))) << bundledHelperPath();
    EXPECT_GT(bundleVersionNumber(bundledHelperPath()), 0);
}

struct VersionCase
{
    const char* legend;
    const char* installed; // nullptr: not installed; "": no Info.plist
    const char* bundled;   // nullptr: missing from the application
    bool replaces;
};

void PrintTo(const VersionCase& row, std::ostream* out)
{
    *out << row.legend;
}

class HelperVersionRule : public HelperInstallationTest,
                          public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(HelperVersionRule, ReplacesOnlyAMissingOrOlderHelper)
{
    const VersionCase& row = GetParam();
    if (row.bundled)
        makeBundle(bundled, row.bundled, "", "echo new\n");
    if (row.installed)
        makeBundle(installed, row.installed, "", "echo old\n");

    EXPECT_EQ(installOrUpdateHelper(bundled, installed, std::nullopt), row.replaces);

    const std::string program = helperProgramPath(installed);
    EXPECT_EQ(contentsOf(program),
              row.replaces ? "#!/bin/sh\necho new\n" : "#!/bin/sh\necho old\n");
    EXPECT_TRUE(isExecutable(program));
    // Nothing is left beside the installed folder.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dataDirectory()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{HelperBundleName});
}

INSTANTIATE_TEST_SUITE_P(Versions, HelperVersionRule,
                         ::testing::Values(VersionCase{"NotInstalled", nullptr, "3.4", true},
                                           VersionCase{"BetaBeforeFinal", "3.4b2", "3.4", true},
                                           VersionCase{"SameVersion", "3.4", "3.4", false},
                                           VersionCase{"InstalledNewer", "3.5", "3.4", false},
                                           VersionCase{"NoInfoPlist", "", "3.4", true},
                                           VersionCase{"NoBundledHelper", "3.4b2", nullptr, false}),
                         [](const auto& row) { return std::string(row.param.legend); });

TEST_F(HelperInstallationTest, OnlyTheInstalledHelperIsSignalled)
{
    makeBundle(installed, "3.4b2", Sleep);

    // A stored process id that now belongs to another program.
    const pid_t foreign = spawn(Sleep, "30");
    ASSERT_GT(foreign, 0);
    EXPECT_FALSE(isHelperProcess(foreign, installed));
    EXPECT_FALSE(stopHelperProcess(foreign, installed).signalled());
    EXPECT_FALSE(stopHelperProcess(std::nullopt, installed).signalled());
    EXPECT_FALSE(isHelperProcess(0, installed));
    EXPECT_TRUE(stillRunning(foreign));
    kill(foreign, SIGKILL);
    EXPECT_EQ(terminatingSignal(foreign), SIGKILL);

    const pid_t helper = spawn(helperProgramPath(installed), "30");
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(isHelperProcess(helper, installed));
    // Still itself after its program file was replaced under it.
    fs::remove(helperProgramPath(installed));
    fs::copy_file(Sleep, helperProgramPath(installed));
    EXPECT_TRUE(stopHelperProcess(helper, installed).signalled());
    EXPECT_EQ(terminatingSignal(helper), SIGTERM);
}

TEST_F(HelperInstallationTest, AnUpdateStopsTheRunningHelperFirst)
{
    makeBundle(installed, "3.4b2", Sleep);
    makeBundle(bundled, "3.4", "", "echo new\n");
    const pid_t helper = spawn(helperProgramPath(installed), "30");
    ASSERT_GT(helper, 0);

    // Nothing is replaced before the old copy has ended; one that does not
    // end within the limit is killed.
    int waits = 0;
    EXPECT_TRUE(installOrUpdateHelper(bundled, installed, helper,
                                      [&waits](const StoppingHelper& stopping) {
                                          ++waits;
                                          EXPECT_TRUE(stopping.signalled());
                                          EXPECT_TRUE(stopping.waitForEnd(10s));
                                      }));
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(terminatingSignal(helper), SIGTERM);
    EXPECT_EQ(bundleVersionNumber(installed), 34999);

    // A helper that ignores SIGTERM past the limit is killed.
    makeBundle(installed, "3.4", fs::canonical("/bin/bash").string());
    const std::string script = home.root() + "/stubborn.sh";
    const std::string ready = home.root() + "/ready";
    ASSERT_TRUE(writeFileAtomically(script, "trap '' TERM\n: > '" + ready +
                                                "'\nwhile :; do sleep 1; done\n"));
    const pid_t stubborn = spawn(helperProgramPath(installed), script.c_str());
    ASSERT_GT(stubborn, 0);
    ASSERT_TRUE(test::waitForFileCondition(home.root(), [&] { return fs::exists(ready); }, 10s));
    ASSERT_TRUE(isHelperProcess(stubborn, installed));
    const StoppingHelper stopping = stopHelperProcess(stubborn, installed);
    ASSERT_TRUE(stopping.signalled());
    EXPECT_FALSE(stopping.waitForEnd(300ms));
    stopping.kill();
    EXPECT_EQ(terminatingSignal(stubborn), SIGKILL);
}

TEST_F(HelperInstallationTest, StartsTheHelperDetached)
{
    // The "helper" reports its pid, session, terminal, standard input and
    // open descriptors, then ends.
    makeBundle(installed, "3.4", "",
               "dir=$(dirname \"$0\")\n"
               "{ echo $$ $(cut -d' ' -f4,6,7 /proc/$$/stat); readlink /proc/$$/fd/0;"
               " for f in /proc/$$/fd/*; do readlink \"$f\"; done; } > \"$dir/report.tmp\"\n"
               "mv \"$dir/report.tmp\" \"$dir/report\"\n");
    const std::string report = installed + "/Contents/bin/report";
    // A descriptor this program forgot to mark close-on-exec.
    const std::string marker = home.root() + "/leaked-marker";
    const int opened = open(marker.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(opened, 0);
    // Above the low numbers the start itself reuses.
    const int leaked = fcntl(opened, F_DUPFD, 100);
    close(opened);
    ASSERT_GE(leaked, 0);

    ASSERT_TRUE(startHelperDetached(installed));
    close(leaked);
    // The intermediate child has been reaped and the helper is not our child.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!fs::exists(report) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    std::istringstream lines(contentsOf(report));
    long pid = 0, parent = 0, session = 0, terminal = -1;
    std::string input;
    lines >> pid >> parent >> session >> terminal >> input;
    EXPECT_GT(pid, 0);
    EXPECT_EQ(session, pid) << "not a session leader";
    EXPECT_NE(parent, getpid());
    EXPECT_EQ(terminal, 0);
    EXPECT_EQ(input, "/dev/null");
    EXPECT_EQ(lines.str().find(marker), std::string::npos) << lines.str();

    fs::permissions(helperProgramPath(installed), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(startHelperDetached(installed));
    EXPECT_FALSE(startHelperDetached(home.root() + "/nowhere"));
}

TEST_F(HelperInstallationTest, AutostartEntryIsValidAndUnique)
{
    makeBundle(installed, "3.4", Sleep);
    EXPECT_FALSE(hasHelperAutostartEntry());
    ASSERT_TRUE(addHelperAutostartEntry(installed));
    const std::string entry = helperAutostartEntryPath();
    const std::string text = contentsOf(entry);
    EXPECT_NE(text.find("\nExec=\"" + helperProgramPath(installed) + "\"\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\nNoDisplay=true\n"), std::string::npos);
    if (system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(system(("desktop-file-validate '" + entry + "'").c_str()), 0);
    }

    // Adding again writes nothing new; removing takes it away.
    EXPECT_TRUE(addHelperAutostartEntry(installed));
    EXPECT_EQ(contentsOf(entry), text);
    EXPECT_TRUE(removeHelperAutostartEntry());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(removeHelperAutostartEntry());

    // A helper registered under another name and location counts as well.
    const std::string other = autostartDirectory() + "/other.desktop";
    ASSERT_TRUE(writeFileAtomically(
        other,
        "[Desktop Entry]\nType=Application\nName=Old\nExec=\"/opt/old/Vantrel\\sHelper.app/run\" "
        "-q\n"));
    EXPECT_TRUE(hasHelperAutostartEntry());
    EXPECT_TRUE(addHelperAutostartEntry(installed));
    EXPECT_FALSE(fs::exists(entry));

    // Characters that the Exec quoting must escape read back as written.
    fs::remove(other);
    home.set("XDG_DATA_HOME", home.root() + "/odd $HOME `x` \\ \"q\" 100%");
    const std::string odd = installedHelperPath();
    makeBundle(odd, "3.4", Sleep);
    ASSERT_TRUE(addHelperAutostartEntry(odd));
    if (system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(system(("desktop-file-validate '" + entry + "'").c_str()), 0);
    }
    EXPECT_TRUE(removeHelperAutostartEntry()) << contentsOf(entry);
}

TEST_F(HelperInstallationTest, RemovingTakesTheLastEntryWhoseProgramExists)
{
    makeBundle(installed, "3.4", Sleep);
    fs::create_directories(autostartDirectory());
    const std::string quoted = "\"" + helperProgramPath(installed) + "\"";
    const std::string head = "[Desktop Entry]\nType=Application\nName=Helper\nExec";
    ASSERT_TRUE(writeFileAtomically(autostartDirectory() + "/a.desktop", head + "=" + quoted));
    ASSERT_TRUE(writeFileAtomically(autostartDirectory() + "/b.desktop", head + " = " + quoted));
    ASSERT_TRUE(writeFileAtomically(autostartDirectory() + "/c.desktop",
                                    head + "=\"/gone/Vantrel Helper.app/x\" --flag\n"));

    EXPECT_TRUE(removeHelperAutostartEntry());
    EXPECT_TRUE(fs::exists(autostartDirectory() + "/a.desktop"));
    EXPECT_FALSE(fs::exists(autostartDirectory() + "/b.desktop"));
    EXPECT_TRUE(fs::exists(autostartDirectory() + "/c.desktop"));
    EXPECT_TRUE(removeHelperAutostartEntry());
    EXPECT_FALSE(removeHelperAutostartEntry()) << "the entry of a missing program stays";
    EXPECT_TRUE(fs::exists(autostartDirectory() + "/c.desktop"));
}

} // namespace
} // namespace vantrel
