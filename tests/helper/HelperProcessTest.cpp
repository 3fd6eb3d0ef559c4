// The real vantrel-helper program against the virtual CP290.

#include "HelperTestSupport.h"
#include "support/FolderWait.h"

#include "cp290/HelperStatus.h"
#include "helper/HelperController.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using test::logMessages;
using test::moduleWith;
using test::weeklyEvent;

class HelperProcess
{
  public:
    // withTermBlocked starts it with SIGTERM blocked, as a starter may.
    explicit HelperProcess(std::vector<std::string> arguments = {}, bool withTermBlocked = false,
                           const std::string& outputPath = "/dev/null")
    {
        arguments.insert(arguments.begin(), VANTREL_HELPER_PATH);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &term);
        short flags = POSIX_SPAWN_SETSIGDEF;
        if (withTermBlocked) {
            posix_spawnattr_setsigmask(&attributes, &term);
            flags |= POSIX_SPAWN_SETSIGMASK;
        }
        posix_spawnattr_setflags(&attributes, flags);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    ~HelperProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }
    bool isRunning() { return m_pid > 0 && waitpid(m_pid, &m_status, WNOHANG) == 0; }

    // Exit status once it has ended by itself, or nullopt at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout)
    {
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
        pollfd fd{pidfd, POLLIN, 0};
        poll(&fd, 1, static_cast<int>(timeout.count()));
        close(pidfd);
        if (waitpid(m_pid, &m_status, WNOHANG) != m_pid)
            return std::nullopt;
        m_pid = -1;
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

    // Voluntary context switches so far: each is a wake-up from a wait.
    long wakeUps() const
    {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                return std::stol(line.substr(line.find(':') + 1));
        return -1;
    }

  private:
    pid_t m_pid = -1;
    int m_status = 0;
};

bool waitInFolder(const std::string& folder, const std::function<bool()>& condition,
                  std::chrono::milliseconds timeout = 20s)
{
    return test::waitForFileCondition(folder, condition, timeout);
}

bool waitForLog(const std::string& message)
{
    return waitInFolder(stateDirectory(), [&] {
        const auto messages = logMessages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    });
}

bool waitForSendTime()
{
    return waitInFolder(configDirectory(),
                        [] { return Preferences(HelperDomain).contains(SendTimeKey); });
}

class HelperProgram : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        makeDirectories(stateDirectory());
        makeDirectories(configDirectory());
    }

    void startSim(std::vector<std::string> args = {})
    {
        sim = std::make_unique<test::Cp290Sim>(std::move(args), true, "ttyCP290");
        ASSERT_TRUE(sim->isRunning());
        home.set("VANTREL_DEVICE_DIR", sim->deviceDirectory());
    }

    test::TemporaryHome home;
    std::unique_ptr<test::Cp290Sim> sim;
};

TEST_F(HelperProgram, DownloadsAtStartAndEndsAfterTheExchangeOnSigterm)
{
    // The first exchange (setting the clock) is answered two seconds late,
    // which leaves time to ask the helper to stop in the middle of it.
    startSim({"--fault", "late=2@1"});
    Event sunrise = weeklyEvent(0, 0);
    sunrise.Flags = EventDaysMask | EventSunriseFlag | EventOnFlag;
    test::storeApplicationCopy({moduleWith({sunrise, weeklyEvent(6, 30)})});

    HelperProcess helper;
    const pid_t pid = helper.pid();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitForLog("Started."));
    ASSERT_TRUE(sim->waitForTraceLine("rx 02 "));
    kill(helper.pid(), SIGTERM);

    EXPECT_EQ(helper.waitForExit(30s), std::optional<int>(0));
    EXPECT_EQ(logMessages(),
              (std::vector<std::string>{"Started.", "Events sent successfully.", "Terminated."}));
    EXPECT_TRUE(sim->waitForTraceLine("rx 03 "));

    Preferences published(HelperDomain);
    EXPECT_EQ(published.integerValue(ProcessIDKey), std::optional<std::int64_t>(pid));
    EXPECT_FALSE(published.contains(SendTimeKey));
}

TEST_F(HelperProgram, OneCopyPerPreferencesAndLaterStartsEndAtOnce)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});

    HelperProcess first;
    ASSERT_TRUE(waitForLog("Clock set successfully."));
    ASSERT_TRUE(waitForSendTime());
    Preferences published(HelperDomain);

    // The application starts one at every launch and quit; others come from
    // elsewhere (cron, su, ssh: another runtime folder, the same
    // preferences). Each ends at once, without a word.
    home.set("XDG_RUNTIME_DIR", home.root() + "/elsewhere");
    for (int start = 0; start < 5; ++start) {
        HelperProcess another;
        ASSERT_GT(another.pid(), 0);
        EXPECT_EQ(another.waitForExit(10s), std::optional<int>(0));
    }
    EXPECT_TRUE(first.isRunning());
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Clock set successfully."}));
    published.synchronize();
    EXPECT_EQ(published.integerValue(ProcessIDKey), std::optional<std::int64_t>(first.pid()));

    // Between checks it sleeps: no wake-ups over a second and a half.
    const long before = first.wakeUps();
    pollfd none{-1, 0, 0};
    poll(&none, 0, 1500);
    EXPECT_LE(first.wakeUps() - before, 1);

    kill(first.pid(), SIGTERM);
    EXPECT_EQ(first.waitForExit(10s), std::optional<int>(0));
    EXPECT_EQ(logMessages().back(), "Terminated.");

    // Once it has ended, the next start runs.
    HelperProcess next;
    ASSERT_TRUE(waitInFolder(configDirectory(), [&] {
        return Preferences(HelperDomain).integerValue(ProcessIDKey) ==
               std::optional<std::int64_t>(next.pid());
    }));
    kill(next.pid(), SIGTERM);
    EXPECT_EQ(next.waitForExit(10s), std::optional<int>(0));
}

TEST_F(HelperProgram, TurnedOffItNeverSends)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    {
        Preferences application(ApplicationDomain);
        application.setValue(NoHelperKey, true);
        ASSERT_TRUE(application.synchronize());
    }
    // Started anyway (an autostart entry left by hand): it ends at once.
    HelperProcess started;
    EXPECT_EQ(started.waitForExit(10s), std::optional<int>(0));
    EXPECT_TRUE(logMessages().empty());
    EXPECT_FALSE(Preferences(HelperDomain).contains(ProcessIDKey));

}

// `vantrelctl status` as a user's monitoring runs it: its first line and
// exit code.
std::pair<std::string, int> ctlStatus()
{
    FILE* output = popen(VANTRELCTL_PATH " status", "r");
    if (!output)
        return {"", -1};
    char line[512] = {};
    std::string first = fgets(line, sizeof line, output) ? line : "";
    while (fgets(line, sizeof line, output)) {
    }
    const int status = pclose(output);
    if (!first.empty() && first.back() == '\n')
        first.pop_back();
    return {first, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST_F(HelperProgram, StatusTellsHowTheLastNightWent)
{
    EXPECT_EQ(ctlStatus(), std::make_pair(std::string("Helper: not running"), 2));

    // An interface that refuses everything: the night failed.
    startSim({"--fault", "bad-status"});
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    {
        HelperProcess helper;
        ASSERT_TRUE(waitInFolder(configDirectory(), [] {
            return Preferences(HelperDomain).stringValue(LastResultKey) == "Failed";
        }));
        const auto [text, code] = ctlStatus();
        EXPECT_TRUE(text.find("send failed (CP290 Not Responding); next try at") !=
                    std::string::npos)
            << text;
        EXPECT_EQ(code, 1);
        kill(helper.pid(), SIGTERM);
        EXPECT_EQ(helper.waitForExit(10s), std::optional<int>(0));
    }

    startSim();
    HelperProcess helper;
    ASSERT_TRUE(waitForSendTime());
    ASSERT_TRUE(waitInFolder(configDirectory(), [] {
        return Preferences(HelperDomain).stringValue(LastResultKey) == "Clock Set";
    }));
    const auto [text, code] = ctlStatus();
    EXPECT_EQ(text.rfind("Helper: clock set today at ", 0), 0u) << text;
    EXPECT_EQ(code, 0);

    // Turned off: 2, whatever the last night was.
    Preferences application(ApplicationDomain);
    application.setValue(NoHelperKey, true);
    ASSERT_TRUE(application.synchronize());
    EXPECT_EQ(ctlStatus(), std::make_pair(std::string("Helper: off"), 2));
    kill(helper.pid(), SIGTERM);
    EXPECT_EQ(helper.waitForExit(10s), std::optional<int>(0));
}

TEST_F(HelperProgram, ALockThatCannotBeMadeIsLogged)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});
    ASSERT_TRUE(makeDirectories(helperLockPath()));

    HelperProcess helper;
    EXPECT_EQ(helper.waitForExit(10s), std::optional<int>(1));
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Not started: cannot lock " +
                                                       helperLockPath() + ": Is a directory."}));
    EXPECT_TRUE(sim->traceLines().empty());
}

TEST_F(HelperProgram, SigtermBeforeTheLoopRunsIsTakenUpThere)
{
    startSim();
    test::storeApplicationCopy({moduleWith({weeklyEvent(6, 30)})});

    // Blocked by the starter, so the request is sure to come in before the
    // helper has done anything.
    HelperProcess helper({}, true);
    ASSERT_GT(helper.pid(), 0);
    kill(helper.pid(), SIGTERM);

    EXPECT_EQ(helper.waitForExit(10s), std::optional<int>(0));
    EXPECT_EQ(logMessages(), (std::vector<std::string>{"Started.", "Terminated."}));
    EXPECT_TRUE(sim->traceLines().empty()) << "an exchange began after the request";
}

TEST_F(HelperProgram, ArgumentsAreAnsweredOrRefusedBeforeAnythingIsTouched)
{
    struct Case
    {
        std::vector<std::string> arguments;
        int status;
        const char* output;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: vantrel-helper\n"},
        {{"--version"}, 0, "vantrel-helper 3.4\n"},
        {{"--bogus"}, 2, "vantrel-helper: unexpected argument '--bogus'"},
        {{"--help", "extra"}, 2, "vantrel-helper: unexpected argument '--help'"},
    };
    const std::string output = home.root() + "/output";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        HelperProcess helper(c.arguments, false, output);
        EXPECT_EQ(helper.waitForExit(10s), std::optional<int>(c.status));
        std::ifstream in(output);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.rfind(c.output, 0), 0u) << text;
        if (c.status != 0) {
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(logFilePath()));
    EXPECT_FALSE(std::filesystem::exists(preferencesFilePath(HelperDomain)));
}

} // namespace
} // namespace vantrel
