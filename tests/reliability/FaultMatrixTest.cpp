// Every fault the virtual CP290 can play against every kind of exchange: each
// ends in the one documented report within its time bound, with the port
// closed, its settings and exclusive use given back and the normal closing
// mode in force; once the fault is gone the next command works.
//
// Time bound of a failing exchange, in driver ticks (1/60 s in the programs):
//   before x frame  +  3 x (frame + wait + self test)
// where "before" counts the exchanges that succeed first (a download's clock,
// read and erase and its first event; the self test's clock read), "frame" is
// the longest frame of the exchange (17 to 28 ticks), "wait" is what the fault
// costs one attempt (300 ticks of silence for a silent or damaged reply, 2,700
// ticks for the cap on a babbling handshake, nothing for a vanished or held
// port) and "self test" is its 660-tick wait with a status sheet up. In the
// programs' real ticks: a silent set clock fails in 16 s, a babbling one in
// 136 s, a download stopped at its second event in 18 s.

#include "tests/cp290/LinkTestSupport.h"

#include "cp290/Download.h"
#include "cp290/EventListing.h"
#include "platform/Location.h"
#include "suntimes/SunTimes.h"
#include "support/Cp290Sim.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

// The fault phase runs with short ticks, so the byte time-out is 75 ms; the
// virtual CP290 answers within a millisecond when healthy.
constexpr auto FaultTick = 250us;
constexpr int ByteTimeoutTicks = 300;
constexpr int BabbleCapTicks = 45 * 60;
constexpr int SelfTestWaitTicks = 11 * 60;
constexpr double SlackSeconds = 1.5;

const char* const NoAnswer = "The CP290 did not answer";
const std::string NotResponding = "alert CP290 Not Responding";
const std::string CannotOpen = "alert Cannot Open Serial Device";

enum class Kind
{
    DirectCommand,
    SetClock,
    ReadClock,
    BaseHouseCode,
    SelfTest,
    ReadEvents,
    Download,
};

struct ExchangeCase
{
    const char* name;
    Kind kind;
    int spoiled;    // the exchange (frame) the fault hits first, counted from 1
    int before;     // exchanges that succeed before it
    int frameTicks; // its longest frame
    bool selfTest;  // waits for the interface's self test
};

const std::vector<ExchangeCase> Exchanges = {
    {"DirectCommand", Kind::DirectCommand, 1, 0, 22, false},
    {"SetClock", Kind::SetClock, 1, 0, 21, false},
    {"ReadClock", Kind::ReadClock, 1, 0, 17, false},
    {"BaseHouseCode", Kind::BaseHouseCode, 1, 0, 18, false},
    {"SelfTest", Kind::SelfTest, 2, 1, 17, true},
    {"ReadEvents", Kind::ReadEvents, 1, 0, 17, false},
    // Clock, read, erase and the first event go through; the second fails.
    {"Download", Kind::Download, 5, 4, 28, false},
};

enum class Ending
{
    Fails,
    // A reply missing a byte is followed by the interface's own report of
    // the switching, whose run of six 0xFF and status 1 answer the frame:
    // the command was carried out, so success is the right result.
    Succeeds,
};

struct FaultCase
{
    const char* name;
    // Arguments for the virtual CP290, given the range of exchanges to spoil.
    std::function<std::vector<std::string>(const std::string& range, int first)> arguments;
    int waitTicks;
    std::vector<std::string> errors; // the report quotes one of these
    std::chrono::nanoseconds tick = FaultTick;
    std::function<Ending(Kind)> ending = [](Kind) { return Ending::Fails; };
};

// Rows print by name, not as bytes.
void PrintTo(const FaultCase& row, std::ostream* out)
{
    *out << row.name;
}
void PrintTo(const ExchangeCase& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<std::string> fault(const std::string& text)
{
    return {"--fault", text};
}

const std::vector<FaultCase> Faults = {
    {"NoReply",
     [](const std::string& r, int) { return fault("no-reply@" + r); },
     ByteTimeoutTicks,
     {NoAnswer}},
    // Late and trickling by far more than the byte time-out and the self
    // test's wait, so that a loaded machine cannot make a reply look in time.
    {"LateReply",
     [](const std::string& r, int) { return fault("late=2@" + r); },
     ByteTimeoutTicks,
     {NoAnswer}},
    {"GarbageBeforeHandshake",
     [](const std::string& r, int) { return fault("garbage@" + r); },
     ByteTimeoutTicks,
     {NoAnswer}},
    {"WrongStatus",
     [](const std::string& r, int) { return fault("bad-status@" + r); },
     ByteTimeoutTicks,
     {"The CP290 answered with status"}},
    {"DroppedByte",
     [](const std::string& r, int) { return fault("drop-byte@" + r); },
     ByteTimeoutTicks,
     {NoAnswer, "The CP290 answered with status", "The CP290's reply did not end in time"},
     FaultTick,
     [](Kind kind) { return kind == Kind::DirectCommand ? Ending::Succeeds : Ending::Fails; }},
    // Bytes every 1/60 s keep the byte time-out from firing; only the cap on
    // the handshake ends an attempt. Shorter ticks keep that cap short; a
    // loaded machine may still let the byte time-out fire first.
    {"Babble",
     [](const std::string& r, int) { return fault("babble@" + r); },
     BabbleCapTicks,
     {"The CP290 sent data but no reply", NoAnswer},
     100us},
    {"Trickle",
     [](const std::string& r, int) { return fault("trickle=2@" + r); },
     ByteTimeoutTicks,
     {NoAnswer}},
    {"VanishesMidReply",
     [](const std::string&, int first) { return fault("vanish=3@" + std::to_string(first)); },
     0,
     {"The serial device was disconnected", "Input/output error"}},
    {"PowerLoss",
     [](const std::string&, int first) { return fault("power-loss=0.6@" + std::to_string(first)); },
     ByteTimeoutTicks,
     {NoAnswer}},
    {"PortHeldByTheOtherProgram",
     [](const std::string&, int) { return std::vector<std::string>{}; },
     0,
     {"Device or resource busy"}},
};

bool isVanish(const FaultCase& f)
{
    return std::string(f.name) == "VanishesMidReply";
}
bool isPowerLoss(const FaultCase& f)
{
    return std::string(f.name) == "PowerLoss";
}
bool isPortHeld(const FaultCase& f)
{
    return std::string(f.name) == "PortHeldByTheOtherProgram";
}

// Three modules, one weekly event each at its own minute: three entries.
ModuleList threeEvents()
{
    return {moduleWith({clockEvent(EventRuleWeekly | 0x7F00, 7, 0)}, 0, 1),
            moduleWith({clockEvent(EventRuleWeekly | 0x7F00, 8, 0)}, 0, 2),
            moduleWith({clockEvent(EventRuleWeekly | 0x7F00, 9, 0)}, 0, 3)};
}

bool runExchange(Kind kind)
{
    switch (kind) {
    case Kind::DirectCommand:
        return CP290DoOnOffDim(0, 1, 2);
    case Kind::SetClock:
        return CP290DoSetClock();
    case Kind::ReadClock:
        return CP290DoGetClock();
    case Kind::BaseHouseCode:
        return CP290DoSetBaseHouseCode(0);
    case Kind::SelfTest:
        return CP290DoSelfTest();
    case Kind::ReadEvents:
        return CP290DoGetEvents();
    case Kind::Download:
        return prepareDownload(threeEvents(), {1, 1}) && CP290DoSendEventEnd();
    }
    return false;
}

int usedSlots()
{
    int used = 0;
    for (const auto& slot : CP290TimerEvent)
        used += slot[2] != CP290EmptySlotMode;
    return used;
}

// Another process holding the port through the same driver, as the other
// program does during its own exchange; it lets go when released.
class OtherProgram
{
  public:
    explicit OtherProgram(const std::string& path)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(release[1]);
            CP290FileDescriptor = -1; // the parent's, if any, is not this process's open
            CP290Verbose = false;
            setCP290DeviceFilePath(path.c_str());
            const char opened = openCP290() >= 0 ? 1 : 0;
            [[maybe_unused]] auto w = write(ready[1], &opened, 1);
            char go = 0;
            [[maybe_unused]] auto r = read(release[0], &go, 1);
            closeCP290();
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        m_release = release[1];
        char opened = 0;
        m_holding = read(ready[0], &opened, 1) == 1 && opened == 1;
        close(ready[0]);
    }
    ~OtherProgram() { release(); }

    bool holding() const { return m_holding; }

    void release()
    {
        if (m_release >= 0)
            close(m_release);
        m_release = -1;
        if (m_pid > 0) {
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }

  private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

// The port as another opener finds it once the driver has let it go.
struct PortState
{
    bool opened = false;
    int error = 0;
    bool exclusive = true;
    bool lockable = false;
    termios attributes{};
};

PortState probe(const std::string& path)
{
    PortState state;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        state.error = errno;
        return state;
    }
    state.opened = true;
    int exclusive = 1;
    ioctl(fd, TIOCGEXCL, &exclusive);
    state.exclusive = exclusive != 0;
    state.lockable = flock(fd, LOCK_EX | LOCK_NB) == 0;
    tcgetattr(fd, &state.attributes);
    close(fd);
    return state;
}

// Settings no program of ours would choose, so that "put back" is visible.
void markSettings(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    termios attributes{};
    ASSERT_EQ(tcgetattr(fd, &attributes), 0);
    cfsetspeed(&attributes, B9600);
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 3;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &attributes), 0);
    close(fd);
}

using MatrixCase = std::tuple<FaultCase, ExchangeCase>;

class FaultMatrix : public DriverFixture, public ::testing::WithParamInterface<MatrixCase>
{
  protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        resetDownloadState();
        resetSunTimes();
        setLocationOverride({0, 0, 0});
    }
    void TearDown() override
    {
        setLocationOverride({});
        resetDownloadState();
        resetSunTimes();
        DriverFixture::TearDown();
    }

    std::unique_ptr<Cp290Sim> startSim(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.end(), {"--clock", "Wed 09:05"});
        auto sim = std::make_unique<Cp290Sim>(arguments, true, "ttyCP290");
        EXPECT_TRUE(sim->isRunning());
        return sim;
    }
};

TEST_P(FaultMatrix, EndsInItsReportWithinItsBoundAndTheNextCommandWorks)
{
    const auto& [faultCase, exchange] = GetParam();
    // Wednesday 7 March 2007, 12:00: the clock the download sets.
    FixedClock clock(2007, 3, 7, 12, 0);
    const std::string range =
        std::to_string(exchange.spoiled) + "-" + std::to_string(exchange.spoiled + 2);
    auto sim = startSim(faultCase.arguments(range, exchange.spoiled));
    ASSERT_TRUE(sim->isRunning());
    const std::string port = sim->linkPath();
    setCP290DeviceFilePath(port.c_str());
    markSettings(port);
    std::optional<OtherProgram> other;
    if (isPortHeld(faultCase)) {
        other.emplace(port);
        ASSERT_TRUE(other->holding());
    }
    setDriverTickForTests(faultCase.tick);
    const Ending ending = faultCase.ending(exchange.kind);

    const auto start = std::chrono::steady_clock::now();
    const bool succeeded = runExchange(exchange.kind);
    const double seconds = secondsSince(start);

    const double tickSeconds = std::chrono::duration<double>(faultCase.tick).count();
    const int attemptTicks =
        exchange.frameTicks + faultCase.waitTicks + (exchange.selfTest ? SelfTestWaitTicks : 0);
    const double bound =
        (exchange.before * exchange.frameTicks + 3 * attemptTicks) * tickSeconds + SlackSeconds;
    EXPECT_LT(seconds, bound);
    EXPECT_EQ(CP290FileDescriptor, -1) << "the port was left open";
    EXPECT_TRUE(CP290Close) << "the normal closing mode was not restored";

    if (::testing::Test::HasFailure() || succeeded != (ending == Ending::Succeeds))
        for (const std::string& line : sim->traceLines())
            std::cerr << line << "\n";
    if (ending == Ending::Succeeds) {
        EXPECT_TRUE(succeeded);
        EXPECT_TRUE(host.alerts.empty());
    } else {
        EXPECT_FALSE(succeeded);
        const std::vector<std::string> expected =
            isPortHeld(faultCase)
                ? std::vector<std::string>{"statusEnd", CannotOpen, "statusEnd", NotResponding}
                : std::vector<std::string>{"statusEnd", NotResponding};
        EXPECT_EQ(host.events, expected);
        ASSERT_FALSE(host.alerts.empty());
        const std::string& message = host.alerts.back().message;
        bool named = false;
        for (const std::string& error : faultCase.errors)
            named = named || message.find("\"" + error) != std::string::npos;
        EXPECT_TRUE(named) << message;
    }

    if (isVanish(faultCase)) {
        // Unplugged: the node has gone, and a new try says so at once.
        ASSERT_TRUE(sim->waitForExit().has_value());
        EXPECT_EQ(probe(port).error, ENOENT);
        host = {};
        EXPECT_FALSE(runExchange(exchange.kind));
        ASSERT_FALSE(host.alerts.empty());
        EXPECT_NE(host.alerts.back().message.find("\"No such file or directory\""),
                  std::string::npos);
        // Plugged in again.
        sim = startSim({});
        ASSERT_TRUE(sim->isRunning());
        setCP290DeviceFilePath(sim->linkPath().c_str());
    } else {
        if (other)
            other->release();
        const PortState after = probe(port);
        ASSERT_TRUE(after.opened) << std::strerror(after.error);
        EXPECT_FALSE(after.exclusive) << "exclusive use was not given back";
        EXPECT_TRUE(after.lockable) << "the lock on the port was not given back";
        EXPECT_EQ(cfgetospeed(&after.attributes), static_cast<speed_t>(B9600));
        EXPECT_EQ(after.attributes.c_cc[VMIN], 0);
        EXPECT_EQ(after.attributes.c_cc[VTIME], 3);
    }

    if (isPowerLoss(faultCase)) {
        // Power comes back with empty memory; a base house code makes an
        // interface that wants one answer again, and harms none that does not.
        ASSERT_TRUE(sim->waitForTraceLine("note power back"));
        setDriverTickForTests(1ms);
        ASSERT_TRUE(CP290DoSetBaseHouseCode(0));
    }

    // The same exchange again, with the fault gone. The self test keeps the
    // short tick: with a status sheet up it waits eleven seconds of ticks.
    setDriverTickForTests(exchange.selfTest ? FaultTick : 1ms);
    host = {};
    EXPECT_TRUE(runExchange(exchange.kind)) << "the next command failed";
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_EQ(CP290FileDescriptor, -1);
    if (exchange.kind == Kind::Download) {
        ASSERT_TRUE(CP290DoGetEvents());
        EXPECT_EQ(usedSlots(), 3) << "the download after the fault did not store the schedule";
    }
}

std::string rowName(const ::testing::TestParamInfo<MatrixCase>& info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(FaultsTimesExchanges, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(Faults),
                                            ::testing::ValuesIn(Exchanges)),
                         rowName);

} // namespace
} // namespace vantrel::test
