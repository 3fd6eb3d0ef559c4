#include "app/core/HelperInstallation.h"

#include "platform/Paths.h"
#include "support/TemporaryHome.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantrel {
namespace {
namespace fs = std::filesystem;

// A bundle whose program is a shell script that records its pid and session.
std::string makeBundle(const std::string& folder, const std::string& version,
                       const std::string& script = "#!/bin/sh\nexit 0\n")
{
    const std::string bundle = folder + "/" + HelperBundleName;
    fs::create_directories(bundle + "/Contents/bin");
    writeFileAtomically(bundle + "/Contents/Info.plist",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                        "<key>CFBundleVersion</key><string>" +
                            version + "</string></dict></plist>\n");
    const std::string program = helperProgramPath(bundle);
    writeFileAtomically(program, script);
    fs::permissions(program, fs::perms::owner_all);
    return bundle;
}

// Waits (bounded) until a file has content.
std::string waitForFile(const std::string& path)
{
    std::string text;
    for (int i = 0; i < 500 && (!readWholeFile(path, &text) || text.empty()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return text;
}

TEST(HelperVersion, FinalReleasesRankAboveTheirBetas)
{
    std::string text = "aAaA";
    caseInsensitiveReplace(text, "A", "1");
    EXPECT_EQ(text, "1111");
    text = "ab";
    caseInsensitiveReplace(text, "a", "aa"); // resumes after what it inserted
    EXPECT_EQ(text, "aab");
    EXPECT_EQ(versionNumberOfString("3.4"), 34999);
    EXPECT_EQ(versionNumberOfString("3.4b2"), 34220);
    EXPECT_EQ(versionNumberOfString("3.4a1"), 34110);
    EXPECT_EQ(versionNumberOfString("none"), 999);
}

TEST(HelperInstallation, ReplacedOnlyByANewerVersion)
{
    test::TemporaryHome home;
    const std::string bundled = makeBundle(home.root() + "/app", "3.4");
    const std::string installed = home.root() + "/data/" + HelperBundleName;
    EXPECT_TRUE(installOrUpdateHelper(bundled, installed, std::nullopt)) << "missing";
    EXPECT_EQ(bundleVersionNumber(installed), 34999);
    EXPECT_EQ(access(helperProgramPath(installed).c_str(), X_OK), 0);
    EXPECT_FALSE(installOrUpdateHelper(bundled, installed, std::nullopt)) << "the same version";

    makeBundle(home.root() + "/data", "3.4b2");
    EXPECT_TRUE(installOrUpdateHelper(bundled, installed, std::nullopt));
    EXPECT_EQ(bundleVersionNumber(installed), 34999);
    makeBundle(home.root() + "/data", "3.5");
    EXPECT_FALSE(installOrUpdateHelper(bundled, installed, std::nullopt)) << "a newer one stays";
    EXPECT_EQ(bundleVersionNumber(installed), 35999);
}

TEST(HelperAutostart, OneEntryPerUserWhereverItPoints)
{
    test::TemporaryHome home;
    const std::string bundle = makeBundle(home.root() + "/data", "3.4");
    fs::create_directories(autostartDirectory());
    writeFileAtomically(autostartDirectory() + "/old.desktop",
                        "[Desktop Entry]\nType=Application\nName=Old\n"
                        "Exec=\"/opt/elsewhere/Vantrel Helper.app/Contents/bin/vantrel-helper\"\n");
    EXPECT_TRUE(hasHelperAutostartEntry());
    EXPECT_TRUE(addHelperAutostartEntry(bundle));
    EXPECT_FALSE(fs::exists(helperAutostartEntryPath())) << "no second entry";
    EXPECT_FALSE(removeHelperAutostartEntry()) << "its program does not exist";

    fs::remove(autostartDirectory() + "/old.desktop");
    EXPECT_FALSE(hasHelperAutostartEntry());
    EXPECT_TRUE(addHelperAutostartEntry(bundle));
    EXPECT_TRUE(hasHelperAutostartEntry());
    EXPECT_TRUE(removeHelperAutostartEntry());
    EXPECT_FALSE(hasHelperAutostartEntry());
}

TEST(HelperProcess, StartedDetachedAndStoppedOnlyWhenItIsTheHelper)
{
    test::TemporaryHome home;
    const std::string record = home.root() + "/started";
    const std::string bundle = makeBundle(home.root() + "/data", "3.4",
                                          "#!/bin/sh\nps -o sid= -p $$ | tr -d ' ' > '" + record +
                                              ".sid'\necho $$ > '" + record + "'\nexec sleep 30\n");
    ASSERT_TRUE(startHelperDetached(bundle));
    const std::string pidText = waitForFile(record);
    ASSERT_FALSE(pidText.empty());
    const pid_t helper = std::stoi(pidText);
    EXPECT_NE(std::stoi(waitForFile(record + ".sid")), getsid(0)) << "a session of its own";

    // The running program is sleep now, not the helper: it is left alone.
    EXPECT_FALSE(stopHelperProcess(helper, bundle));
    const pid_t other = fork();
    if (other == 0) {
        execl("/bin/sleep", "sleep", "30", nullptr);
        _exit(127);
    }
    EXPECT_FALSE(stopHelperProcess(other, bundle)) << "another program's process id";
    EXPECT_EQ(kill(other, 0), 0);
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    kill(helper, SIGKILL);

    // A copy of a real program installed as the helper is recognised.
    fs::copy_file("/bin/sleep", helperProgramPath(bundle), fs::copy_options::overwrite_existing);
    const pid_t copy = fork();
    if (copy == 0) {
        const std::string program = helperProgramPath(bundle);
        execl(program.c_str(), "vantrel-helper", "30", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 200 && !isHelperProcess(copy, bundle); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(stopHelperProcess(copy, bundle));
    int status = 0;
    waitpid(copy, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(stopHelperProcess(std::nullopt, bundle));
}

} // namespace
} // namespace vantrel
