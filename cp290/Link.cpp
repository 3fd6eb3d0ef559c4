// The serial link to the CP290 and one command exchange with its retries.
//
// The interface talks at 600 baud and answers each frame with a run of six
// 0xFF bytes and a status byte. The port is opened non-blocking and every
// wait is a poll() against a deadline, so a silent, babbling or vanished
// device ends the exchange within a bounded time without spinning.

#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/DriverTesting.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace vantrel {

char CP290DeviceFilePath[CP290DeviceFilePathSize] = {};
int CP290FileDescriptor = -1;
bool CP290Close = true;
bool CP290Verbose = true;
double gProgressBudget = 0;

std::uint8_t gMinute = 0;
std::uint8_t gHour = 0;
std::uint8_t gBaseHouseCode = 0;
std::uint8_t CP290TimerEvent[CP290MaxEvents][CP290TimerEventSize] = {};
std::uint16_t NumEvents = 0;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::nanoseconds RealTick{1000000000 / 60};

// A byte wait gives up after 30 empty tries of 10 ticks, about 5 s of silence.
constexpr int ByteReadTries = 30;
constexpr int TicksPerByteReadTry = 10;

// The self test runs in the interface for about ten seconds; the exchange
// gives it eleven before reading the reply.
constexpr int SelfTestWaitSeconds = 11;
constexpr int TicksPerSecond = 60;

// A working interface sends at most a report of its own (12 bytes) before
// the handshake of the frame just sent. Anything much longer is a babbling
// line, whose steady bytes would keep the per-byte time-out from ever firing.
constexpr int MaxBytesBeforeStatus = 256;
// Also bound the handshake by time: a device trickling one byte every few
// seconds is not a babbler by count, but must not hold the program for
// minutes. Seven bytes just inside the byte time-out take 35 s.
constexpr int HandshakeTimeLimitTicks = 45 * TicksPerSecond;
// And the whole reply: the event table is up to 1,031 bytes, about 17 s at
// 600 baud, and a byte every 4.9 s would otherwise stretch it to 85 minutes.
constexpr int ReplyTimeLimitTicks = 60 * TicksPerSecond;

constexpr int PreambleLength = 16;
constexpr int HandshakeLength = 6;
constexpr int Attempts = 3;
constexpr int ClockReplyLength = 4;
constexpr int EventSlotLength = 8;
constexpr std::uint8_t EmptySlot = 0xFF;

const char* const NotRespondingTitle = "CP290 Not Responding";
const char* const CannotOpenTitle = "Cannot Open Serial Device";
const char* const CannotOpenMessage =
    "The specified serial device cannot be opened.  Please recheck your connections, reselect "
    "the device (under the CP290 menu), and then retry.";

termios gOriginalTTYAttrs{};
// setCP290DeviceFilePath was given a path that does not fit the buffer; the
// next open fails rather than open a truncated path that may name another device.
bool devicePathTooLong = false;
std::chrono::nanoseconds tick = RealTick;
// When the byte after the last one sent may go out; see waitAfterByte().
Clock::time_point nextByteSlot{};
bool sleepLoopByteWait = false;
// Set by the program's signal handler; see setCP290StopRequest().
volatile std::sig_atomic_t* stopRequest = nullptr;
const sigset_t* stopWaitMask = nullptr;

// Why the last attempt failed, kept for the "CP290 Not Responding" alert. A
// failed system call keeps its errno, taken where it failed; the other kinds
// have no errno, and quoting whatever errno happens to hold would mislead.
enum class FailureKind
{
    None,
    SystemCall,
    NoAnswer,
    DeviceGone,
    OutputStalled,
    NoHandshake,
    BadStatus,
    ReplyTooSlow,
    ImpossibleClock,
    Stopped,
};

struct Failure
{
    FailureKind kind = FailureKind::None;
    int error = 0;
    std::uint8_t status = 0;
    std::string detail;
};

Failure lastFailure;

bool failureReportHeld = false;
std::optional<std::string> heldFailureReport;
std::function<void(std::uint8_t)> baseHouseCodeObserver;

void noteSystemFailure(int error)
{
    lastFailure = {FailureKind::SystemCall, error, 0, {}};
}

void noteFailure(FailureKind kind, std::uint8_t status = 0, std::string detail = {})
{
    lastFailure = {kind, 0, status, std::move(detail)};
}

std::string failureText()
{
    switch (lastFailure.kind) {
    case FailureKind::SystemCall:
        return std::strerror(lastFailure.error);
    case FailureKind::NoAnswer:
    case FailureKind::None:
        return "The CP290 did not answer";
    case FailureKind::DeviceGone:
        return "The serial device was disconnected";
    case FailureKind::OutputStalled:
        return "The serial device does not take the data sent to it";
    case FailureKind::NoHandshake:
        return "The CP290 sent data but no reply";
    case FailureKind::BadStatus:
        return "The CP290 answered with status " + std::to_string(lastFailure.status);
    case FailureKind::ReplyTooSlow:
        return "The CP290's reply did not end in time";
    case FailureKind::ImpossibleClock:
        return "The CP290 reported a clock it cannot have meant (" + lastFailure.detail + ")";
    case FailureKind::Stopped:
        return "Stopped by a signal";
    }
    return {};
}

Clock::duration ticks(long count)
{
    return std::chrono::duration_cast<Clock::duration>(tick * count);
}

timespec timespecOf(Clock::duration duration)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return {static_cast<time_t>(seconds.count()),
            static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(duration - seconds).count())};
}

bool stopRequested()
{
    return stopRequest && *stopRequest;
}

// Returns false when a stop was requested before or during the wait.
bool sleepUntil(Clock::time_point when)
{
    if (stopRequest) {
        // The program's stop signals can only arrive inside this wait.
        for (;;) {
            if (*stopRequest)
                return false;
            const auto now = Clock::now();
            if (now >= when)
                return true;
            const timespec remaining = timespecOf(when - now);
            ppoll(nullptr, 0, &remaining, stopWaitMask);
        }
    }
    // steady_clock is CLOCK_MONOTONIC on Linux; an absolute wait needs no
    // recomputation after a signal interrupts it.
    const timespec at = timespecOf(when.time_since_epoch());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    return true;
}

bool waitTicks(long count)
{
    return sleepUntil(Clock::now() + ticks(count));
}

// One tick after each byte keeps the output at the line rate (a byte is ten
// bits, 1/60 s at 600 baud), so the frame is on the wire when the reply wait
// starts. tcdrain() cannot do this: pseudo-terminals and many USB adapters
// report the output drained at once. The slots are counted from the previous
// byte's slot, not from now, so the time spent in write() and a late wake-up
// do not add up over a 128-event download; after a pause (a reply wait) the
// count starts afresh.
bool waitAfterByte()
{
    const auto now = Clock::now();
    if (now > nextByteSlot + ticks(1))
        nextByteSlot = now;
    nextByteSlot += ticks(1);
    return sleepUntil(nextByteSlot);
}

// Waits for the port to become ready for events, up to deadline. Returns the
// poll events, or 0 at the deadline, or -1 with the failure noted.
int waitForPort(short events, Clock::time_point deadline)
{
    for (;;) {
        if (stopRequested()) {
            noteFailure(FailureKind::Stopped);
            return -1;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return 0;
        pollfd port{CP290FileDescriptor, events, 0};
        const timespec remaining = timespecOf(deadline - now);
        const int ready = ppoll(&port, 1, &remaining, stopWaitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            noteSystemFailure(errno);
            return -1;
        }
        if (ready == 0)
            continue;
        if (port.revents & POLLNVAL) {
            noteSystemFailure(EBADF);
            return -1;
        }
        return port.revents;
    }
}

// Waits for one received byte until deadline; false with the failure noted.
bool getByteUntil(std::uint8_t* byte, Clock::time_point deadline)
{
    for (;;) {
        const int ready = waitForPort(POLLIN, deadline);
        if (ready < 0)
            return false;
        if (ready == 0) {
            noteFailure(FailureKind::NoAnswer);
            return false;
        }
        const bool hungUp = ready & (POLLHUP | POLLERR);
        const ssize_t got = read(CP290FileDescriptor, byte, 1);
        if (got == 1)
            return true;
        if (got == 0) {
            // End of file: the other end of the line has gone.
            noteFailure(FailureKind::DeviceGone);
            return false;
        }
        if (errno == EINTR || (errno == EAGAIN && !hungUp))
            continue;
        if (errno == EAGAIN)
            noteFailure(FailureKind::DeviceGone);
        else
            noteSystemFailure(errno);
        return false;
    }
}

void failOpen(int fd, bool exclusive, int error)
{
    if (fd >= 0) {
        if (exclusive)
            ioctl(fd, TIOCNXCL);
        close(fd);
    }
    CP290FileDescriptor = -1;
    noteSystemFailure(error);
    if (CP290Verbose) {
        driverHost().statusEnd();
        driverHost().showAlert(CannotOpenTitle, cannotOpenMessage(error, CP290DeviceFilePath));
    }
}

void advanceProgress(double amount)
{
    driverHost().incrementProgress(amount);
}

bool statusAccepted(std::uint8_t command, std::uint8_t status)
{
    switch (command) {
    case CP290SetBaseHouseCode:
        return status == 0 || status == 1;
    case CP290SelfTest:
        return status == 0;
    default:
        return status == 1;
    }
}

bool sendFrame(std::uint8_t command, const std::uint8_t* data, int count)
{
    for (int i = 0; i < PreambleLength; ++i)
        if (!SendByte(0xFF))
            return false;
    if (!SendByte(command))
        return false;
    for (int i = 0; i < count; ++i)
        if (!SendByte(data[i]))
            return false;
    if (count >= 2) {
        // The checksum of a timer event leaves out its two address bytes.
        const int first = command == CP290DownloadEvent ? 2 : 0;
        unsigned sum = 0;
        for (int i = first; i < count; ++i)
            sum += data[i];
        if (!SendByte(static_cast<std::uint8_t>(sum & 0xFF)))
            return false;
    }
    return true;
}

Clock::duration byteTimeout()
{
    return ticks(ByteReadTries * TicksPerByteReadTry);
}

// One byte of a reply: the byte time-out, cut short by the reply's deadline.
bool getReplyByte(std::uint8_t* byte, Clock::time_point replyDeadline)
{
    if (CP290FileDescriptor < 0 || sleepLoopByteWait) {
        if (!GetByte(byte))
            return false;
        if (Clock::now() <= replyDeadline)
            return true;
        noteFailure(FailureKind::ReplyTooSlow);
        return false;
    }
    const auto byteDeadline = std::min(Clock::now() + byteTimeout(), replyDeadline);
    if (getByteUntil(byte, byteDeadline))
        return true;
    if (lastFailure.kind == FailureKind::NoAnswer && byteDeadline == replyDeadline)
        noteFailure(FailureKind::ReplyTooSlow);
    return false;
}

// Reads up to and including the status byte: any bytes, then six 0xFF in a
// row, then the status. A status is never 0xFF, so further 0xFF after the
// sixth are skipped: a stale 0xFF (the trailing checksum of the previous
// reply, arriving just after the input flush) must not push the handshake's
// own last 0xFF into the status.
bool readStatus(std::uint8_t* status, Clock::time_point replyDeadline)
{
    const auto deadline = Clock::now() + ticks(HandshakeTimeLimitTicks);
    int run = 0;
    for (int received = 0; received < MaxBytesBeforeStatus; ++received) {
        std::uint8_t byte = 0;
        if (!getReplyByte(&byte, replyDeadline))
            return false;
        if (run == HandshakeLength && byte != 0xFF) {
            *status = byte;
            return true;
        }
        if (byte != 0xFF)
            run = 0;
        else if (run < HandshakeLength)
            ++run;
        if (Clock::now() > deadline)
            break;
    }
    noteFailure(FailureKind::NoHandshake);
    return false;
}

// What in a clock reply no interface can mean; empty when it is a clock.
std::string impossibleClock(const std::array<std::uint8_t, ClockReplyLength>& reply)
{
    char text[48] = {};
    const std::uint8_t day = reply[2];
    if (reply[0] > 59)
        std::snprintf(text, sizeof text, "minute %u", reply[0]);
    else if (reply[1] > 23)
        std::snprintf(text, sizeof text, "hour %u", reply[1]);
    else if (day == 0 || day > 0x40 || (day & (day - 1)) != 0)
        std::snprintf(text, sizeof text, "day byte 0x%02X", day);
    else if ((reply[3] & 0x0F) != 0)
        // Every house code byte has its code in the high four bits only.
        std::snprintf(text, sizeof text, "base house code byte 0x%02X", reply[3]);
    return text;
}

bool readClockReply(Clock::time_point replyDeadline)
{
    std::array<std::uint8_t, ClockReplyLength> reply{};
    for (auto& byte : reply)
        if (!getReplyByte(&byte, replyDeadline))
            return false;
    // A garbled reply would otherwise be shown as "10:134 PM" or put back as
    // the base house code.
    if (std::string what = impossibleClock(reply); !what.empty()) {
        noteFailure(FailureKind::ImpossibleClock, 0, std::move(what));
        return false;
    }
    // The third byte is the day, which nothing uses.
    gMinute = reply[0];
    gHour = reply[1];
    gBaseHouseCode = reply[3];
    return true;
}

bool readEventSlots(Clock::time_point replyDeadline)
{
    // Read into a copy so a reply cut short leaves the table as it was.
    std::array<std::array<std::uint8_t, EventSlotLength>, CP290MaxEvents> slots{};
    for (auto& slot : slots) {
        if (!getReplyByte(&slot[0], replyDeadline))
            return false;
        if (slot[0] != EmptySlot)
            for (int i = 1; i < EventSlotLength; ++i)
                if (!getReplyByte(&slot[i], replyDeadline))
                    return false;
        if (CP290Verbose)
            advanceProgress(1.0);
    }
    for (int i = 0; i < CP290MaxEvents; ++i) {
        CP290TimerEvent[i][2] = slots[i][0];
        if (slots[i][0] != EmptySlot)
            std::memcpy(&CP290TimerEvent[i][3], &slots[i][1], EventSlotLength - 1);
    }
    return true;
}

bool attemptExchange(std::uint8_t command, const std::uint8_t* data, int count)
{
    // A port that could not be opened keeps the open's error for the report.
    if (CP290FileDescriptor < 0)
        return false;

    // The interface sends a checksum after some replies and reports of its
    // own after switching; a stale 0xFF left over must not count toward this
    // frame's handshake.
    tcflush(CP290FileDescriptor, TCIFLUSH);

    if (!sendFrame(command, data, count))
        return false;

    if (command == CP290SelfTest && CP290Verbose) {
        for (int second = 0; second < SelfTestWaitSeconds; ++second) {
            advanceProgress(gProgressBudget / 12);
            if (!waitTicks(TicksPerSecond)) {
                noteFailure(FailureKind::Stopped);
                return false;
            }
        }
    }

    const auto replyDeadline = Clock::now() + ticks(ReplyTimeLimitTicks);
    std::uint8_t status = 0;
    if (!readStatus(&status, replyDeadline))
        return false;
    if (!statusAccepted(command, status)) {
        noteFailure(FailureKind::BadStatus, status);
        return false;
    }
    if (command == CP290GetClock)
        return readClockReply(replyDeadline);
    if (command == CP290GetEvents)
        return readEventSlots(replyDeadline);
    return true;
}

} // namespace

void setDriverTickForTests(std::chrono::nanoseconds length)
{
    tick = length.count() > 0 ? length : RealTick;
}

std::chrono::nanoseconds driverTick()
{
    return tick;
}

void setSleepLoopByteWaitForTests(bool on)
{
    sleepLoopByteWait = on;
}

void setCP290StopRequest(volatile std::sig_atomic_t* flag, const sigset_t* waitMask)
{
    stopRequest = flag;
    stopWaitMask = flag ? waitMask : nullptr;
}

void resetDriverState()
{
    closeCP290();
    std::memset(CP290DeviceFilePath, 0, sizeof CP290DeviceFilePath);
    devicePathTooLong = false;
    CP290FileDescriptor = -1;
    CP290Close = true;
    CP290Verbose = true;
    gProgressBudget = 0;
    gMinute = 0;
    gHour = 0;
    gBaseHouseCode = 0;
    std::memset(CP290TimerEvent, 0, sizeof CP290TimerEvent);
    NumEvents = 0;
    gOriginalTTYAttrs = {};
    tick = RealTick;
    nextByteSlot = {};
    sleepLoopByteWait = false;
    stopRequest = nullptr;
    stopWaitMask = nullptr;
    lastFailure = {};
    failureReportHeld = false;
    heldFailureReport.reset();
    baseHouseCodeObserver = nullptr;
}

void setCP290DeviceFilePath(const char* path)
{
    if (!path)
        path = "";
    const std::size_t length = std::strlen(path);
    devicePathTooLong = length >= CP290DeviceFilePathSize;
    if (devicePathTooLong) {
        CP290DeviceFilePath[0] = '\0';
        return;
    }
    std::memcpy(CP290DeviceFilePath, path, length + 1);
}

std::string cannotOpenMessage(int error, const char* devicePath)
{
    const std::string message = CannotOpenMessage;
    if (error != EACCES)
        return message;
    // Serial ports belong to a group (usually "dialout") whose members may
    // use them; a new membership counts from the next login.
    std::string groupName;
    struct stat node
    {
    };
    if (devicePath && stat(devicePath, &node) == 0) {
        struct group entry
        {
        };
        struct group* found = nullptr;
        std::array<char, 4096> buffer{};
        if (getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
            groupName = "the group \"" + std::string(found->gr_name) + "\", which owns the device";
        else
            groupName =
                "the group with id " + std::to_string(node.st_gid) + ", which owns the device";
    } else {
        groupName = "the group that owns the device (usually \"dialout\")";
    }
    return message + "  To get access, make your user a member of " + groupName +
           ", then log out and log in again.";
}

int openCP290()
{
    if (CP290FileDescriptor >= 0)
        return CP290FileDescriptor;
    if (devicePathTooLong) {
        failOpen(-1, false, ENAMETOOLONG);
        return -1;
    }

    // O_NOCTTY: a port must never become the controlling terminal of a
    // program started without one (the helper).
    const int fd = open(CP290DeviceFilePath, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        failOpen(-1, false, errno);
        return -1;
    }
    // TIOCEXCL does not stop a process running as root, and two openers can
    // both pass it before either sets it; the lock refuses the second opener
    // in both cases.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        failOpen(fd, false, error);
        return -1;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        failOpen(fd, false, errno);
        return -1;
    }
    if (tcgetattr(fd, &gOriginalTTYAttrs) != 0) {
        failOpen(fd, true, errno);
        return -1;
    }

    termios attributes = gOriginalTTYAttrs;
    attributes.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON | IXOFF | IMAXBEL);
    attributes.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB);
    attributes.c_cflag |= CS8 | CREAD | CLOCAL;
    attributes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ISIG | ICANON);
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 10;
    if (cfsetspeed(&attributes, B600) != 0 || tcsetattr(fd, TCSANOW, &attributes) != 0) {
        failOpen(fd, true, errno);
        return -1;
    }
    CP290FileDescriptor = fd;
    return fd;
}

void closeCP290()
{
    if (CP290FileDescriptor < 0)
        return;
    tcsetattr(CP290FileDescriptor, TCSANOW, &gOriginalTTYAttrs);
    // A pseudo-terminal stays exclusive after its last client closes while
    // the other end is open; without this the next opener not running as
    // root could never open the port again.
    ioctl(CP290FileDescriptor, TIOCNXCL);
    close(CP290FileDescriptor);
    CP290FileDescriptor = -1;
}

bool SendByte(std::uint8_t byte)
{
    if (CP290FileDescriptor < 0) {
        noteSystemFailure(EBADF);
        return false;
    }
    for (;;) {
        const ssize_t written = write(CP290FileDescriptor, &byte, 1);
        if (written == 1)
            break;
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            // The output queue is full: give the line one byte time-out to
            // drain before calling the device stuck.
            const int ready =
                waitForPort(POLLOUT, Clock::now() + ticks(ByteReadTries * TicksPerByteReadTry));
            if (ready < 0)
                return false;
            if (ready == 0) {
                noteFailure(FailureKind::OutputStalled);
                return false;
            }
            if ((ready & (POLLHUP | POLLERR)) && !(ready & POLLOUT)) {
                noteFailure(FailureKind::DeviceGone);
                return false;
            }
            continue;
        }
        noteSystemFailure(written < 0 ? errno : EIO);
        return false;
    }
    if (!waitAfterByte()) {
        noteFailure(FailureKind::Stopped);
        return false;
    }
    return true;
}

bool GetByte(std::uint8_t* byte)
{
    if (CP290FileDescriptor < 0) {
        noteSystemFailure(EBADF);
        return false;
    }
    if (sleepLoopByteWait) {
        for (int tries = 0; tries < ByteReadTries; ++tries) {
            const ssize_t got = read(CP290FileDescriptor, byte, 1);
            if (got == 1)
                return true;
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
                break;
            if (!waitTicks(TicksPerByteReadTry)) {
                noteFailure(FailureKind::Stopped);
                return false;
            }
        }
        noteFailure(FailureKind::NoAnswer);
        return false;
    }
    // One deadline for the 30 tries of 10 ticks: a signal that interrupts
    // the wait does not start the time-out again.
    return getByteUntil(byte, Clock::now() + byteTimeout());
}

bool SendCP290Command(std::uint8_t command, const std::uint8_t* data, std::int16_t count)
{
    if (count < 0 || !data)
        count = 0;
    if (stopRequested())
        return false;

    int attempt = 0;
    if (CP290FileDescriptor < 0 && openCP290() < 0)
        attempt = 1; // the failed open is the first attempt

    if (CP290FileDescriptor >= 0 && CP290Verbose && command != CP290DownloadEvent) {
        if (command == CP290GetEvents)
            advanceProgress(1.0);
        else if (command == CP290SelfTest)
            advanceProgress(gProgressBudget / 12);
        else
            advanceProgress(gProgressBudget / 2);
    }

    for (; attempt < Attempts && !stopRequested(); ++attempt) {
        if (!attemptExchange(command, data, count))
            continue;
        if (CP290Verbose && (command == CP290SetBaseHouseCode || command == CP290SetClock ||
                             command == CP290GetClock))
            advanceProgress(gProgressBudget / 2);
        if (baseHouseCodeObserver && command == CP290GetClock)
            baseHouseCodeObserver(gBaseHouseCode);
        else if (baseHouseCodeObserver && command == CP290SetBaseHouseCode && count >= 1)
            baseHouseCodeObserver(data[0]);
        if (CP290Close)
            closeCP290();
        return true;
    }

    if (stopRequested()) {
        // The program is going away: give the port back now, and leave the
        // telling to the program.
        closeCP290();
        return false;
    }
    if (CP290Verbose) {
        char message[512];
        std::snprintf(message, sizeof message,
                      "There does not appear to be a CP290 connected to the specified serial "
                      "device.  The specific error was \"%s\".  Please recheck your connections "
                      "and then retry.",
                      failureText().c_str());
        if (failureReportHeld) {
            heldFailureReport = message;
        } else {
            // The alert may wait for hours; meanwhile the port must be free for
            // others (the helper's nightly download). A batch ends at a failed
            // command, so closing it here takes nothing from the batch.
            closeCP290();
            driverHost().statusEnd();
            driverHost().showAlert(NotRespondingTitle, message);
        }
    }
    if (CP290Close)
        closeCP290();
    return false;
}

std::optional<std::uint8_t> lastRefusalStatus()
{
    if (lastFailure.kind != FailureKind::BadStatus)
        return std::nullopt;
    return lastFailure.status;
}

void holdCP290FailureReport(bool hold)
{
    failureReportHeld = hold;
    if (hold)
        heldFailureReport.reset();
}

void showHeldCP290FailureReport()
{
    if (!heldFailureReport)
        return;
    const std::string message = std::move(*heldFailureReport);
    heldFailureReport.reset();
    // As above: the port is given back before the alert waits.
    closeCP290();
    driverHost().statusEnd();
    driverHost().showAlert(NotRespondingTitle, message);
}

void setBaseHouseCodeObserver(std::function<void(std::uint8_t)> observer)
{
    baseHouseCodeObserver = std::move(observer);
}

std::string lastCP290FailureSummary()
{
    switch (lastFailure.kind) {
    case FailureKind::SystemCall:
        return std::strerror(lastFailure.error);
    case FailureKind::DeviceGone:
        return "Serial Device Disconnected";
    case FailureKind::Stopped:
        return "Stopped";
    default:
        return NotRespondingTitle;
    }
}

} // namespace vantrel
