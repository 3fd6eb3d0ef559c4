// vantrelctl's CP290 commands, run as the program against the virtual CP290.

#include "platform/Preferences.h"
#include "support/Cp290Sim.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

using vantrel::test::Cp290Sim;

struct Result
{
    int status = -1;
    std::string out;
    std::string err;
};

Result vantrelctl(const std::string& arguments)
{
    char errPath[] = "/tmp/vantrelctl-err-XXXXXX";
    const int errFile = mkstemp(errPath);
    if (errFile < 0)
        return {};
    close(errFile);
    const std::string command =
        std::string(VANTRELCTL_PATH) + " " + arguments + " 2>" + errPath + " </dev/null";
    Result result;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 256> buffer{};
        while (fgets(buffer.data(), buffer.size(), pipe))
            result.out += buffer.data();
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(errPath);
    std::stringstream text;
    text << err.rdbuf();
    result.err = text.str();
    unlink(errPath);
    return result;
}

std::vector<std::string> framesReceived(const Cp290Sim& sim)
{
    std::vector<std::string> frames;
    for (const std::string& line : sim.traceLines())
        if (line.rfind("rx ", 0) == 0)
            frames.push_back(line);
    return frames;
}

TEST(DeviceCommands, SwitchingCommandsSendTheirFrames)
{
    struct Case
    {
        const char* arguments; // the device is added before or after
        bool deviceFirst;
        const char* frame;
    };
    const Case cases[] = {
        {"on A 12", false, "rx 01 02 60 10 00 72"},
        {"dim b 3 4", true, "rx 01 85 E0 00 20 85"},
        {"off P 1", false, "rx 01 03 C0 00 80 43"},
        {"on a all-lights", true, "rx 01 01 60 00 00 61"},
        {"off a all-modules", false, "rx 01 00 60 00 00 60"},
        {"base-house-code p", false, "rx 00 C0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Cp290Sim sim;
        ASSERT_TRUE(sim.isRunning());
        const std::string device = "--device " + sim.devicePath();
        const Result r = vantrelctl(c.deviceFirst ? device + " " + c.arguments
                                                  : std::string(c.arguments) + " " + device);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(framesReceived(sim), (std::vector<std::string>{c.frame}));
    }
}

TEST(DeviceCommands, ClockIsPrintedAsTheClockAlertWordsIt)
{
    struct Case
    {
        const char* simClock;
        const char* printed;
    };
    for (const Case& c : {Case{"Sun 00:05", "12:05 AM\n"}, Case{"Mon 12:30", "12:30 PM\n"},
                          Case{"Tue 23:59", "11:59 PM\n"}, Case{"Wed 09:00", "9:00 AM\n"}}) {
        SCOPED_TRACE(c.simClock);
        Cp290Sim sim({"--clock", c.simClock});
        ASSERT_TRUE(sim.isRunning());
        const Result r = vantrelctl("clock --device " + sim.devicePath());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.printed);
    }
}

TEST(DeviceCommands, SetClockSendsTheComputersTime)
{
    Cp290Sim sim;
    ASSERT_TRUE(sim.isRunning());
    const Result r = vantrelctl("set-clock --device " + sim.devicePath());
    EXPECT_EQ(r.status, 0) << r.err;
    const auto frames = framesReceived(sim);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].rfind("rx 02 ", 0), 0u) << frames[0];
}

TEST(DeviceCommands, InterfaceFailureExitsOneWithTheDriversMessage)
{
    Cp290Sim sim({"--fault", "bad-status"});
    ASSERT_TRUE(sim.isRunning());
    const Result r = vantrelctl("on A 1 --device " + sim.devicePath());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "CP290 Not Responding: There does not appear to be a CP290 connected to the "
                     "specified serial device.  The specific error was \"The CP290 answered with "
                     "status 0\".  Please recheck your connections and then retry.\n");
    EXPECT_EQ(framesReceived(sim).size(), 3u);
}

TEST(DeviceCommands, MissingDeviceExitsOne)
{
    for (const char* command : {"clock", "self-test", "set-clock"}) {
        SCOPED_TRACE(command);
        const Result r = vantrelctl(std::string(command) + " --device /nonexistent/ttyUSB0");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Cannot Open Serial Device: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\"No such file or directory\""), std::string::npos) << r.err;
    }
}

TEST(DeviceCommands, WithoutDeviceUsesTheOneChosenInTheApplication)
{
    vantrel::test::TemporaryHome home;
    Cp290Sim sim({}, true, "ttyCP290");
    ASSERT_TRUE(sim.isRunning());
    home.set("VANTREL_DEVICE_DIR", sim.deviceDirectory());
    vantrel::Preferences application(vantrel::ApplicationDomain);
    application.setValue(vantrel::SerialDeviceKey, "CP290");
    application.synchronize();

    const Result r = vantrelctl("on A 12");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(framesReceived(sim), std::vector<std::string>{"rx 01 02 60 10 00 72"});
}

// A port nobody answers on, with the settings a fresh terminal has.
class SilentPort
{
  public:
    SilentPort()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        m_path = ptsname(m_master);
        // Held open so that the port outlives vantrelctl's use of it.
        m_keeper = open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    }
    ~SilentPort()
    {
        if (m_keeper >= 0)
            close(m_keeper);
        if (m_master >= 0)
            close(m_master);
    }
    const std::string& path() const { return m_path; }
    int keeper() const { return m_keeper; }

    // Waits until count bytes have been sent to the port.
    bool receive(std::size_t count)
    {
        std::size_t got = 0;
        while (got < count) {
            pollfd fd{m_master, POLLIN, 0};
            if (poll(&fd, 1, 5000) <= 0)
                return false;
            char buffer[64];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int m_master = -1;
    int m_keeper = -1;
    std::string m_path;
};

TEST(DeviceCommands, SignalDuringAnExchangeGivesThePortBack)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        SilentPort port;
        ASSERT_GE(port.keeper(), 0);
        termios before{};
        ASSERT_EQ(tcgetattr(port.keeper(), &before), 0);
        char errPath[] = "/tmp/vantrelctl-err-XXXXXX";
        const int errFile = mkstemp(errPath);
        ASSERT_GE(errFile, 0);

        const std::string device = port.path();
        const char* argv[] = {VANTRELCTL_PATH, "events", "--device", device.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, errFile, STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        ASSERT_EQ(
            posix_spawn(&pid, argv[0], &actions, &attributes, const_cast<char**>(argv), environ),
            0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(errFile);

        // The preamble and command 5 are out; the reply wait has begun.
        EXPECT_TRUE(port.receive(17));
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);

        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        std::ifstream err(errPath);
        std::stringstream text;
        text << err.rdbuf();
        unlink(errPath);
        const std::string message = text.str();
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        EXPECT_NE(message.find("the serial port was closed and its settings restored"),
                  std::string::npos)
            << message;

        termios after{};
        ASSERT_EQ(tcgetattr(port.keeper(), &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
        int exclusive = 1;
        ASSERT_EQ(ioctl(port.keeper(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
    }
}

TEST(DeviceCommands, BadArgumentsNameTheArgumentAndExitTwo)
{
    // No device chosen in the application either.
    vantrel::test::TemporaryHome home;
    struct Case
    {
        const char* arguments;
        const char* named;
    };
    for (const Case& c :
         {Case{"on Q 3 --device /dev/null", "HOUSE"}, Case{"on A 17 --device /dev/null", "UNIT"},
          Case{"on A 0 --device /dev/null", "UNIT"}, Case{"on A --device /dev/null", "UNIT"},
          Case{"dim A 3 9 --device /dev/null", "BRIGHTNESS"},
          Case{"dim A 3 0 --device /dev/null", "BRIGHTNESS"},
          Case{"dim A all-lights 3 --device /dev/null", "UNIT"},
          Case{"off A all-lights --device /dev/null", "UNIT"},
          Case{"on A all-modules --device /dev/null", "UNIT"},
          Case{"base-house-code Z --device /dev/null", "LETTER"}, Case{"clock", "--device"},
          Case{"on A 1", "--device"}}) {
        SCOPED_TRACE(c.arguments);
        const Result r = vantrelctl(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
