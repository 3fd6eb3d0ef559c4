// The exchange against a device the test plays itself: frames byte for
// byte, the handshake and status rules, retries, progress, reply storage,
// opening and the exclusive claim on the port.

#include "tests/cp290/LinkTestSupport.h"

#include <filesystem>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

constexpr auto ShortTick = 1ms;

const std::string NotResponding = "CP290 Not Responding";
const std::string CannotOpen = "Cannot Open Serial Device";

std::string notRespondingMessage(const std::string& error)
{
    return "There does not appear to be a CP290 connected to the specified serial device.  The "
           "specific error was \"" +
           error + "\".  Please recheck your connections and then retry.";
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class LinkTest : public DriverFixture
{
  protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        setDriverTickForTests(ShortTick);
        setCP290DeviceFilePath(device.path().c_str());
    }

    bool send(std::uint8_t command, const Bytes& data)
    {
        return SendCP290Command(command, data.empty() ? nullptr : data.data(),
                                static_cast<std::int16_t>(data.size()));
    }

    ScriptedDevice device;
};

std::size_t frameLength(const Bytes& data)
{
    return 16 + 1 + data.size() + (data.size() >= 2 ? 1 : 0);
}

// ---------------------------------------------------------------- frames

struct FrameCase
{
    const char* legend;
    std::uint8_t command;
    Bytes data;
    std::optional<std::uint8_t> checksum;
    Bytes reply;
};

void PrintTo(const FrameCase& row, std::ostream* out)
{
    *out << row.legend;
}

class LinkFrames : public LinkTest, public ::testing::WithParamInterface<FrameCase>
{
};

TEST_P(LinkFrames, SendsPreambleCommandDataAndChecksum)
{
    const FrameCase& row = GetParam();
    device.serve(frameLength(row.data), [&](int) { return row.reply; });

    EXPECT_TRUE(send(row.command, row.data));

    device.stop();
    const auto frames = device.frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frameOf(row.command, row.data, row.checksum));
    EXPECT_TRUE(host.alerts.empty());
    EXPECT_EQ(CP290FileDescriptor, -1) << "the port stays open after the exchange";
}

INSTANTIATE_TEST_SUITE_P(
    Checksums, LinkFrames,
    ::testing::Values(
        FrameCase{"one data byte: no checksum", 0, {0xE0}, std::nullopt, handshake(1)},
        FrameCase{
            "three data bytes: low byte of their sum", 2, {0x05, 0x12, 0x40}, 0x57, handshake(1)},
        FrameCase{"direct command dim B3", 1, {0x85, 0xE0, 0x00, 0x20}, 0x85, handshake(1)},
        FrameCase{
            "sum past 255 keeps its low byte", 1, {0xFF, 0xFF, 0x01, 0x02}, 0x01, handshake(1)},
        FrameCase{"timer event: the address bytes are not summed",
                  3,
                  {0x08, 0x00, 0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02},
                  0x8D,
                  handshake(1)},
        FrameCase{"no data: command byte only",
                  4,
                  {},
                  std::nullopt,
                  concat({handshake(1), {0x05, 0x12, 0x40, 0x60}})}),
    [](const auto& row) { return "Row" + std::to_string(row.index); });

// ------------------------------------------------------------ handshake

struct HandshakeCase
{
    const char* legend;
    std::uint8_t command;
    Bytes reply;
    bool accepted;
};

void PrintTo(const HandshakeCase& row, std::ostream* out)
{
    *out << row.legend;
}

class LinkHandshake : public LinkTest, public ::testing::WithParamInterface<HandshakeCase>
{
};

TEST_P(LinkHandshake, JudgesTheStatusAfterSixFF)
{
    const HandshakeCase& row = GetParam();
    SCOPED_TRACE(row.legend);
    const Bytes data = row.command == 0 ? Bytes{0x60} : row.command == 7 ? Bytes{} : Bytes{1, 2, 3};
    device.serve(frameLength(data), [&](int) { return row.reply; });

    EXPECT_EQ(send(row.command, data), row.accepted);

    device.stop();
    // A refused reply is tried three times in all, then reported once.
    EXPECT_EQ(device.frames().size(), row.accepted ? 1u : 3u);
    EXPECT_EQ(host.alerts.size(), row.accepted ? 0u : 1u);
    EXPECT_EQ(CP290FileDescriptor, -1);
}

const Bytes FF5 = Bytes(5, 0xFF);
const Bytes FF6 = Bytes(6, 0xFF);

INSTANTIATE_TEST_SUITE_P(
    Replies, LinkHandshake,
    ::testing::Values(HandshakeCase{"a run of five broken by 0x01, then six and status 1", 2,
                                    concat({{0x00}, FF5, {0x01}, FF6, {0x01}}), true},
                      HandshakeCase{"a stale 0xFF ahead of the handshake is skipped", 2,
                                    concat({FF6, {0xFF, 0x01}}), true},
                      HandshakeCase{"any run past six is skipped, the status still judged", 2,
                                    concat({FF6, FF6, {0x00}}), false},
                      HandshakeCase{"noise before the handshake", 2,
                                    concat({{0x12, 0xFF, 0x34}, FF6, {0x01}}), true},
                      HandshakeCase{"self test: status 0 passes", 7, handshake(0), true},
                      HandshakeCase{"self test: status 1 fails", 7, handshake(1), false},
                      HandshakeCase{"set clock: status 0 fails", 2, handshake(0), false},
                      HandshakeCase{"set clock: status 1", 2, handshake(1), true},
                      HandshakeCase{"base house code: status 0", 0, handshake(0), true},
                      HandshakeCase{"base house code: status 1", 0, handshake(1), true},
                      HandshakeCase{"base house code: status 2 fails", 0, handshake(2), false},
                      HandshakeCase{"direct command: status 0 fails", 1, handshake(0), false},
                      HandshakeCase{"0xFF where the status belongs, then silence", 1,
                                    handshake(0xFF), false},
                      HandshakeCase{"five 0xFF only, then silence", 2, FF5, false}),
    [](const auto& row) { return "Row" + std::to_string(row.index); });

// --------------------------------------------------- attempts and reports

TEST_F(LinkTest, SilenceIsTriedThreeTimesThenReportedOnce)
{
    device.serve(frameLength({1, 2, 3}), [](int) { return Bytes{}; });

    EXPECT_FALSE(send(2, {1, 2, 3}));

    device.stop();
    EXPECT_EQ(device.frames().size(), 3u);
    ASSERT_EQ(host.events, (std::vector<std::string>{"statusEnd", "alert " + NotResponding}));
    // Nothing failed in the system: no errno text, whatever errno holds.
    EXPECT_EQ(host.alerts[0].message, notRespondingMessage("The CP290 did not answer"));
    EXPECT_EQ(CP290FileDescriptor, -1);
}

TEST_F(LinkTest, RefusedStatusIsNamedInTheReport)
{
    device.serve(frameLength({1, 2, 3}), [](int) { return handshake(0); });

    EXPECT_FALSE(send(2, {1, 2, 3}));

    ASSERT_EQ(host.alerts.size(), 1u);
    EXPECT_EQ(host.alerts[0].message, notRespondingMessage("The CP290 answered with status 0"));
}

TEST_F(LinkTest, SecondAttemptMaySucceed)
{
    device.serve(frameLength({1, 2, 3}),
                 [](int frame) { return frame == 0 ? Bytes{} : handshake(1); });

    EXPECT_TRUE(send(2, {1, 2, 3}));

    device.stop();
    EXPECT_EQ(device.frames().size(), 2u);
    EXPECT_TRUE(host.events.empty());
}

TEST_F(LinkTest, WithoutVerboseFailuresAreSilent)
{
    CP290Verbose = false;
    device.serve(frameLength({1, 2, 3}), [](int) { return Bytes{}; });

    EXPECT_FALSE(send(2, {1, 2, 3}));

    EXPECT_TRUE(host.events.empty());
    EXPECT_TRUE(host.progress.empty());
    EXPECT_EQ(CP290FileDescriptor, -1);
}

TEST_F(LinkTest, StaleInputDoesNotCountTowardTheHandshake)
{
    // A whole handshake left over from an earlier reply is waiting when the
    // frame goes out; the device itself says nothing.
    CP290Close = false;
    ASSERT_GE(openCP290(), 0);
    const Bytes stale = handshake(1);
    ASSERT_EQ(write(device.master(), stale.data(), stale.size()),
              static_cast<ssize_t>(stale.size()));
    pollfd port{CP290FileDescriptor, POLLIN, 0};
    ASSERT_EQ(poll(&port, 1, 5000), 1);
    device.serve(frameLength({1, 2, 3}), [](int) { return Bytes{}; });

    EXPECT_FALSE(send(2, {1, 2, 3}));

    device.stop();
    EXPECT_EQ(device.frames().size(), 3u);
    // CP290Close clear keeps the port for the batch, but not while the
    // failure's alert waits.
    EXPECT_EQ(host.events, (std::vector<std::string>{"statusEnd", "alert " + NotResponding}));
    EXPECT_EQ(CP290FileDescriptor, -1);
}

TEST_F(LinkTest, StaysOpenAcrossABatchWhenCloseIsClear)
{
    CP290Close = false;
    device.serve(frameLength({1, 2, 3}), [](int) { return handshake(1); });

    EXPECT_TRUE(send(2, {1, 2, 3}));
    const int first = CP290FileDescriptor;
    EXPECT_TRUE(send(2, {1, 2, 3}));

    EXPECT_GE(first, 0);
    EXPECT_EQ(CP290FileDescriptor, first);
    closeCP290();
    EXPECT_EQ(CP290FileDescriptor, -1);
    closeCP290(); // harmless when closed
}

// -------------------------------------------------------------- progress

struct ProgressCase
{
    const char* legend;
    std::uint8_t command;
    Bytes data;
    double budget;
    Bytes reply;
    std::vector<double> expected;
};

void PrintTo(const ProgressCase& row, std::ostream* out)
{
    *out << row.legend;
}

class LinkProgress : public LinkTest, public ::testing::WithParamInterface<ProgressCase>
{
};

TEST_P(LinkProgress, AdvancesByTheCommandsShare)
{
    const ProgressCase& row = GetParam();
    SCOPED_TRACE(row.legend);
    gProgressBudget = row.budget;
    device.serve(frameLength(row.data), [&](int) { return row.reply; });

    EXPECT_TRUE(send(row.command, row.data));

    ASSERT_EQ(host.progress.size(), row.expected.size());
    for (std::size_t i = 0; i < row.expected.size(); ++i)
        EXPECT_DOUBLE_EQ(host.progress[i], row.expected[i]) << "step " << i;
}

std::vector<double> repeated(std::size_t count, double amount)
{
    return std::vector<double>(count, amount);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LinkProgress,
    ::testing::Values(
        ProgressCase{
            "set clock: half before, half after", 2, {1, 2, 3}, 130, handshake(1), {65, 65}},
        ProgressCase{"base house code", 0, {0x60}, 10, handshake(1), {5, 5}},
        ProgressCase{"read clock", 4, {}, 10, concat({handshake(1), {1, 2, 4, 0x60}}), {5, 5}},
        ProgressCase{"direct command: half before only", 1, {1, 2, 3, 4}, 130, handshake(1), {65}},
        ProgressCase{"timer event: nothing",
                     3,
                     {0, 0, 8, 0x7F, 6, 0x1E, 0x80, 0, 0x60, 2},
                     5,
                     handshake(1),
                     {}},
        ProgressCase{
            "self test: twelve twelfths", 7, {}, 100, handshake(0), repeated(12, 100.0 / 12)},
        ProgressCase{"read events: one, then one per slot",
                     5,
                     {},
                     130,
                     concat({handshake(1), Bytes(128, 0xFF)}),
                     repeated(129, 1.0)}),
    [](const auto& row) { return "Row" + std::to_string(row.index); });

TEST_F(LinkTest, FailedCommandAdvancesOnlyBeforeTheExchange)
{
    gProgressBudget = 130;
    device.serve(frameLength({1, 2, 3}), [](int) { return Bytes{}; });

    EXPECT_FALSE(send(2, {1, 2, 3}));

    EXPECT_EQ(host.progress, (std::vector<double>{65}));
}

// --------------------------------------------------------------- replies

TEST_F(LinkTest, ClockReplyIsStored)
{
    device.serve(frameLength({}), [](int) {
        return concat({handshake(1), {0x05, 0x12, 0x40, 0xE0}});
    });

    EXPECT_TRUE(CP290DoGetClock());

    EXPECT_EQ(gMinute, 0x05);
    EXPECT_EQ(gHour, 0x12);
    EXPECT_EQ(gBaseHouseCode, 0xE0);
}

TEST_F(LinkTest, ClockReplyCutShortStoresNothing)
{
    gMinute = 7;
    gHour = 8;
    gBaseHouseCode = 0x90;
    device.serve(frameLength({}), [](int) { return concat({handshake(1), {0x05, 0x12, 0x40}}); });

    EXPECT_FALSE(CP290DoGetClock());

    EXPECT_EQ(device.frames().size(), 3u);
    EXPECT_EQ(gMinute, 7);
    EXPECT_EQ(gHour, 8);
    EXPECT_EQ(gBaseHouseCode, 0x90);
}

TEST_F(LinkTest, ClockReplyNoInterfaceCanMeanFailsTheCommand)
{
    struct Case
    {
        Bytes reply;
        const char* named;
    };
    const Case cases[] = {
        {{0x86, 0x16, 0x01, 0x60}, "minute 134"},
        {{0x3C, 0x06, 0x01, 0x60}, "minute 60"},
        {{0x05, 0x18, 0x01, 0x60}, "hour 24"},
        {{0x05, 0x06, 0x00, 0x60}, "day byte 0x00"},
        {{0x05, 0x06, 0x03, 0x60}, "day byte 0x03"},
        {{0x05, 0x06, 0x80, 0x60}, "day byte 0x80"},
        {{0x05, 0x06, 0x40, 0x61}, "base house code byte 0x61"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        host = RecordingHost{};
        gMinute = 7;
        gHour = 8;
        gBaseHouseCode = 0x90;
        ScriptedDevice garbled;
        setCP290DeviceFilePath(garbled.path().c_str());
        garbled.serve(frameLength({}), [&](int) { return concat({handshake(1), c.reply}); });

        EXPECT_FALSE(CP290DoGetClock());

        garbled.stop();
        EXPECT_EQ(garbled.frames().size(), 3u);
        ASSERT_EQ(host.alerts.size(), 1u);
        EXPECT_EQ(host.alerts[0].message,
                  notRespondingMessage("The CP290 reported a clock it cannot have meant (" +
                                       std::string(c.named) + ")"));
        EXPECT_EQ(gMinute, 7);
        EXPECT_EQ(gHour, 8);
        EXPECT_EQ(gBaseHouseCode, 0x90);
    }
}

TEST_F(LinkTest, EmptySlotsWriteOnlyTheModeByte)
{
    std::memset(CP290TimerEvent, 0xAA, sizeof CP290TimerEvent);
    device.serve(frameLength({}), [](int) { return concat({handshake(1), Bytes(128, 0xFF)}); });

    EXPECT_TRUE(CP290DoGetEvents());

    for (int i = 0; i < CP290MaxEvents; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        for (int b = 0; b < CP290TimerEventSize; ++b)
            EXPECT_EQ(CP290TimerEvent[i][b], b == 2 ? 0xFF : 0xAA) << "byte " << b;
    }
}

TEST_F(LinkTest, StoredSlotsFillBytesTwoToNine)
{
    std::memset(CP290TimerEvent, 0xAA, sizeof CP290TimerEvent);
    const Bytes slot = {0x08, 0x7F, 0x06, 0x1E, 0x80, 0x00, 0x60, 0x02};
    device.serve(frameLength({}), [&](int) {
        return concat({handshake(1), Bytes(5, 0xFF), slot, Bytes(122, 0xFF)});
    });

    EXPECT_TRUE(CP290DoGetEvents());

    EXPECT_EQ(CP290TimerEvent[5][0], 0xAA);
    EXPECT_EQ(CP290TimerEvent[5][1], 0xAA);
    EXPECT_EQ(Bytes(&CP290TimerEvent[5][2], &CP290TimerEvent[5][10]), slot);
    EXPECT_EQ(CP290TimerEvent[4][3], 0xAA);
    EXPECT_EQ(CP290TimerEvent[6][2], 0xFF);
}

TEST_F(LinkTest, EventReplyCutShortLeavesTheTable)
{
    std::memset(CP290TimerEvent, 0xAA, sizeof CP290TimerEvent);
    device.serve(frameLength({}), [](int) { return concat({handshake(1), Bytes(100, 0xFF)}); });

    EXPECT_FALSE(CP290DoGetEvents());

    for (int i = 0; i < CP290MaxEvents; ++i)
        ASSERT_EQ(CP290TimerEvent[i][2], 0xAA) << "entry " << i;
}

// ------------------------------------------------------- opening the port

TEST_F(LinkTest, OpenSetsRawSixHundredBaudAndCloseRestores)
{
    termios before{};
    ASSERT_EQ(tcgetattr(device.master(), &before), 0);

    ASSERT_GE(openCP290(), 0);
    termios during{};
    ASSERT_EQ(tcgetattr(device.master(), &during), 0);
    EXPECT_EQ(cfgetospeed(&during), static_cast<speed_t>(B600));
    EXPECT_EQ(cfgetispeed(&during), static_cast<speed_t>(B600));
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(during.c_oflag & OPOST, 0u);
    EXPECT_EQ(during.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    int exclusive = 0;
    ASSERT_EQ(ioctl(CP290FileDescriptor, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    const int fd = CP290FileDescriptor;
    closeCP290();
    EXPECT_EQ(CP290FileDescriptor, -1);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "descriptor left open";
    termios after{};
    ASSERT_EQ(tcgetattr(device.master(), &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    // Exclusive use is given back, or the next opener not running as root
    // could never open the terminal again.
    const int probe = open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(probe);
}

struct OpenFailureCase
{
    const char* legend;
    std::function<std::string(const std::string& folder)> makePath;
    const char* error;
};

void PrintTo(const OpenFailureCase& row, std::ostream* out)
{
    *out << row.legend;
}

class LinkOpenFailure : public DriverFixture, public ::testing::WithParamInterface<OpenFailureCase>
{
};

TEST_P(LinkOpenFailure, ReportsCannotOpenThenNotResponding)
{
    const OpenFailureCase& row = GetParam();
    SCOPED_TRACE(row.legend);
    std::string folder = (std::filesystem::temp_directory_path() / "vantrel-link-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    setCP290DeviceFilePath(row.makePath(folder).c_str());
    const auto start = std::chrono::steady_clock::now();

    EXPECT_FALSE(CP290DoSetClock());

    EXPECT_LT(secondsSince(start), 1.0) << "an open failure waits for nothing";
    EXPECT_EQ(host.events, (std::vector<std::string>{"statusEnd", "alert " + CannotOpen,
                                                     "statusEnd", "alert " + NotResponding}));
    ASSERT_EQ(host.alerts.size(), 2u);
    EXPECT_EQ(host.alerts[0].message,
              "The specified serial device cannot be opened.  Please recheck your connections, "
              "reselect the device (under the CP290 menu), and then retry.");
    EXPECT_EQ(host.alerts[1].message, notRespondingMessage(row.error));
    EXPECT_EQ(CP290FileDescriptor, -1);
    std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LinkOpenFailure,
    ::testing::Values(
        OpenFailureCase{"no such node", [](const std::string& f) { return f + "/ttyUSB9"; },
                        "No such file or directory"},
        OpenFailureCase{"a regular file",
                        [](const std::string& f) {
                            const std::string path = f + "/plain";
                            close(open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
                            return path;
                        },
                        "Inappropriate ioctl for device"},
        OpenFailureCase{"a folder", [](const std::string& f) { return f; }, "Is a directory"},
        OpenFailureCase{"no path chosen", [](const std::string&) { return std::string(); },
                        "No such file or directory"}),
    [](const auto& row) { return "Row" + std::to_string(row.index); });

using LinkAccessTest = DriverFixture;

TEST_F(LinkAccessTest, RefusedPermissionNamesTheGroupThatOwnsTheDevice)
{
    const std::string message =
        "The specified serial device cannot be opened.  Please recheck your connections, "
        "reselect the device (under the CP290 menu), and then retry.";
    std::string folder =
        (std::filesystem::temp_directory_path() / "vantrel-access-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    const std::string node = folder + "/ttyUSB0";
    ASSERT_EQ(close(open(node.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)), 0);
    // A group other than root's where one can be given, as serial ports have.
    const group* dialout = getgrnam("dialout");
    const gid_t owner = geteuid() == 0 && dialout ? dialout->gr_gid : getegid();
    ASSERT_EQ(chown(node.c_str(), geteuid(), owner), 0);
    ASSERT_EQ(chmod(node.c_str(), 0), 0);
    const group* ownerGroup = getgrgid(owner);
    ASSERT_NE(ownerGroup, nullptr);
    const std::string expected =
        message + "  To get access, make your user a member of the group \"" + ownerGroup->gr_name +
        "\", which owns the device, then log out and log in again.";

    // Root may open anything, so the refused open runs in a child that gives up root.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        setCP290DeviceFilePath(node.c_str());
        const bool refused = openCP290() < 0 && host.alerts.size() == 1;
        const std::string shown = refused ? host.alerts[0].message : std::string();
        _exit(write(pipeEnds[1], shown.data(), shown.size()) == static_cast<ssize_t>(shown.size())
                  ? 0
                  : 4);
    }
    close(pipeEnds[1]);
    std::string shown;
    char buffer[512];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        shown.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(shown, expected);

    // Every other failure keeps the message as it was; an unreadable node
    // still gets the advice, with the usual group.
    EXPECT_EQ(cannotOpenMessage(ENOENT, node.c_str()), message);
    EXPECT_EQ(cannotOpenMessage(EACCES, (folder + "/absent").c_str()),
              message + "  To get access, make your user a member of the group that owns the "
                        "device (usually \"dialout\"), then log out and log in again.");
    std::filesystem::remove_all(folder);
}

TEST_F(LinkTest, OverlongPathIsRefusedNotTruncated)
{
    // Build folder/ttyX1 of exactly 255 characters, linked to the device, so
    // that cutting folder/ttyX10 (256) to the buffer would open it.
    std::string folder = (std::filesystem::temp_directory_path() / "vantrel-long-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string root = folder;
    const std::size_t wanted = 255 - std::string("/ttyX1").size();
    while (folder.size() < wanted) {
        const std::size_t part = std::min<std::size_t>(100, wanted - folder.size() - 1);
        folder += "/" + std::string(part == 0 ? 1 : part, 'd');
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << folder;
    }
    ASSERT_EQ(folder.size(), wanted);
    const std::string fits = folder + "/ttyX1";
    ASSERT_EQ(fits.size(), 255u);
    ASSERT_EQ(symlink(device.path().c_str(), fits.c_str()), 0);
    const std::string tooLong = fits + "0";

    setCP290DeviceFilePath(tooLong.c_str());
    EXPECT_EQ(openCP290(), -1);
    EXPECT_EQ(CP290FileDescriptor, -1);
    ASSERT_EQ(host.alerts.size(), 1u);
    EXPECT_EQ(host.alerts[0].title, CannotOpen);
    EXPECT_NE(std::string(CP290DeviceFilePath), fits);

    host.alerts.clear();
    EXPECT_FALSE(CP290DoSetClock());
    ASSERT_EQ(host.alerts.size(), 2u);
    EXPECT_EQ(host.alerts[1].message, notRespondingMessage("File name too long"));

    // The longest path that fits is taken whole.
    setCP290DeviceFilePath(fits.c_str());
    EXPECT_GE(openCP290(), 0);
    closeCP290();
    std::filesystem::remove_all(root);
}

TEST_F(LinkTest, SecondProcessCannotOpenTheHeldPortEvenAsRoot)
{
    ASSERT_GE(openCP290(), 0);

    auto childOpens = [] {
        const pid_t child = fork();
        if (child == 0) {
            // The child's copy of the parent's descriptor is not its own open.
            CP290FileDescriptor = -1;
            CP290Verbose = false;
            _exit(openCP290() >= 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };

    EXPECT_FALSE(childOpens()) << "a second process opened the port while it was held";
    closeCP290();
    EXPECT_TRUE(childOpens()) << "the port could not be opened again after it was closed";
}

TEST_F(LinkTest, TerminalIsExclusiveForOtherUsers)
{
    ASSERT_GE(openCP290(), 0);
    if (geteuid() != 0) {
        const int second = open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(second, -1);
        EXPECT_EQ(errno, EBUSY);
        if (second >= 0)
            close(second);
        return;
    }
    // The kernel lets root open an exclusive terminal, so the other user is a
    // child that gives up root; the terminal is opened up to everyone so that
    // only the exclusive claim can refuse it.
    ASSERT_EQ(chmod(device.path().c_str(), 0666), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        const int second = open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(second < 0 && errno == EBUSY ? 0 : second < 0 ? 2 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened, 2: refused for another reason, 3: no setuid";
}

// ------------------------------------------------------------ real timing

TEST_F(LinkTest, DeviceThatGoesAwayFailsAtOnce)
{
    setDriverTickForTests(std::chrono::nanoseconds(0)); // the real tick
    // The device hangs up right after the first frame, without a word.
    device.serve(
        frameLength({1, 2, 3}), [](int) { return Bytes{}; }, 0);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_FALSE(send(2, {1, 2, 3}));

    const double seconds = secondsSince(start);
    EXPECT_LT(seconds, 2.0) << "waited for a device that had gone";
    ASSERT_EQ(host.alerts.size(), 1u);
    EXPECT_EQ(host.alerts[0].title, NotResponding);
    EXPECT_EQ(CP290FileDescriptor, -1);
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The one test that waits out the real time-out: 30 empty tries of 10
// ticks, about 5 s, spent asleep.
TEST_F(LinkTest, ByteWaitGivesUpAfterFiveSecondsOfSilenceWithoutSpinning)
{
    setDriverTickForTests(std::chrono::nanoseconds(0));
    ASSERT_GE(openCP290(), 0);
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = threadCpuSeconds();

    std::uint8_t byte = 0;
    EXPECT_FALSE(GetByte(&byte));

    const double seconds = secondsSince(start);
    EXPECT_GE(seconds, 300.0 / 60);
    EXPECT_LT(seconds, 300.0 / 60 + 0.3);
    EXPECT_LT(threadCpuSeconds() - cpuBefore, 0.02) << "the wait spins";
}

TEST_F(LinkTest, BytesArePacedOneTickApart)
{
    setDriverTickForTests(std::chrono::nanoseconds(0));
    device.serve(frameLength({1, 2, 3}), [](int) { return handshake(1); });
    const auto start = std::chrono::steady_clock::now();

    EXPECT_TRUE(send(2, {1, 2, 3}));

    // 21 bytes at 1/60 s each; the reply arrives at once.
    const double seconds = secondsSince(start);
    EXPECT_GE(seconds, 21.0 / 60 - 0.002);
    EXPECT_LT(seconds, 21.0 / 60 + 0.25);
}

} // namespace
} // namespace vantrel::test
