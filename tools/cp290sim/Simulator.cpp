#include "tools/cp290sim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vantrel::cp290sim {

namespace {

WeekTime hostLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // tm_wday counts from Sunday; the interface's week starts on Monday.
    return WeekTime{(local.tm_wday + 6) % 7, local.tm_hour, local.tm_min};
}

std::vector<std::uint8_t> replyBytes(std::uint8_t status, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> bytes(ReplySyncCount, SyncByte);
    bytes.push_back(status);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

} // namespace

Simulator::Simulator(Options options)
    : m_options(std::move(options)), m_interface(SteadyClock::now(), m_options.clockRate),
      m_random(m_options.seed)
{
    const TimePoint now = SteadyClock::now();
    m_interface.setReplyChecksums(m_options.replyChecksums);
    m_interface.setBaseHouseCode(m_options.baseHouseCode);
    m_interface.setClock(m_options.startClock.value_or(hostLocalTime()), now);
}

Simulator::~Simulator()
{
    closeTerminal();
    if (m_signals >= 0)
        ::close(m_signals);
    if (m_trace >= 0)
        ::close(m_trace);
}

bool Simulator::openTerminal(std::string* error)
{
    auto failWith = [&](const char* what) {
        *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0)
        return failWith("posix_openpt");
    if (grantpt(m_master) != 0)
        return failWith("grantpt");
    if (unlockpt(m_master) != 0)
        return failWith("unlockpt");
    char name[PATH_MAX];
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return failWith("ptsname");
    m_slavePath = name;
    // Holding the slave open keeps the master from reporting a hang-up whenever the
    // client closes, which would make poll() return at once over and over.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return failWith("open slave");
    termios attributes{};
    if (tcgetattr(m_slave, &attributes) != 0)
        return failWith("tcgetattr");
    // Raw before the client comes, so that nothing it sends is echoed back.
    cfmakeraw(&attributes);
    cfsetspeed(&attributes, B600);
    if (tcsetattr(m_slave, TCSANOW, &attributes) != 0)
        return failWith("tcsetattr");

    if (!m_options.linkPath.empty()) {
        struct stat info
        {
        };
        if (lstat(m_options.linkPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            ::unlink(m_options.linkPath.c_str());
        if (symlink(name, m_options.linkPath.c_str()) != 0)
            return failWith(("symlink " + m_options.linkPath).c_str());
        m_linked = true;
    }
    return true;
}

void Simulator::closeTerminal()
{
    if (m_linked) {
        ::unlink(m_options.linkPath.c_str());
        m_linked = false;
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

void Simulator::trace(const std::string& line)
{
    if (m_trace < 0)
        return;
    // One write per line: readers polling the file never see half a line for long,
    // and an O_APPEND write is never interleaved.
    const std::string whole = line + "\n";
    const ssize_t written = ::write(m_trace, whole.data(), whole.size());
    (void)written;
}

void Simulator::traceBytes(const char* prefix, const std::vector<std::uint8_t>& bytes)
{
    trace(std::string(prefix) + " " + hexBytes(bytes));
}

bool Simulator::isActive(FaultKind kind, long exchange, const Fault** found) const
{
    for (const auto& fault : m_options.faults) {
        if (fault.kind == kind && fault.appliesTo(exchange)) {
            if (found)
                *found = &fault;
            return true;
        }
    }
    return false;
}

std::uint8_t Simulator::noiseByte()
{
    return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 0xFE)(m_random));
}

std::vector<std::uint8_t> Simulator::garbage()
{
    std::vector<std::uint8_t> bytes;
    std::uniform_int_distribution<int> count(2, 8);
    for (int i = count(m_random); i > 0; --i)
        bytes.push_back(noiseByte());
    // A run one short of the sync, then more noise: nothing here may read as a status.
    bytes.insert(bytes.end(), ReplySyncCount - 1, SyncByte);
    for (int i = count(m_random); i > 0; --i)
        bytes.push_back(noiseByte());
    bytes.insert(bytes.end(), 3, SyncByte);
    bytes.push_back(noiseByte());
    return bytes;
}

void Simulator::abandonOutput()
{
    if (m_pendingReply || !m_output.empty() || m_babbling)
        trace("note reply abandoned for a new frame");
    m_pendingReply.reset();
    m_pendingReport.reset();
    m_output.clear();
    m_babbling = false;
    m_vanishWhenSent = false;
}

void Simulator::queueReply(std::vector<std::uint8_t> bytes, TimePoint at, Duration pacing)
{
    m_pendingReply = std::move(bytes);
    m_pendingAt = at;
    m_pendingPacing = pacing;
}

void Simulator::handleFrame(const Frame& frame, TimePoint now)
{
    ++m_exchange;
    traceBytes("rx", frame.bytes());
    abandonOutput();

    if (!m_powered) {
        trace("note no power");
        return;
    }
    const Fault* fault = nullptr;
    if (isActive(FaultKind::PowerLoss, m_exchange, &fault)) {
        m_interface.loseMemory(now);
        m_powered = false;
        if (fault->value)
            m_powerBackAt = now + std::chrono::duration_cast<Duration>(
                                      std::chrono::duration<double>(*fault->value));
        trace("note fault power-loss");
        return;
    }
    if (isActive(FaultKind::NoReply, m_exchange) || isActive(FaultKind::Flaky, m_exchange)) {
        trace("note fault no-reply");
        return;
    }
    if (isActive(FaultKind::Babble, m_exchange)) {
        trace("note fault babble");
        m_babbling = true;
        // Paced even with --fast, or it would flood the terminal as fast as it drains.
        m_pacing = std::chrono::duration_cast<Duration>(LineByteTime);
        m_nextSend = now;
        return;
    }
    if (isActive(FaultKind::Garbage, m_exchange)) {
        trace("note fault garbage");
        queueReply(garbage(), now + m_options.thinkTime, m_options.byteTime);
        return;
    }
    if (isActive(FaultKind::BadStatus, m_exchange)) {
        trace("note fault bad-status");
        queueReply(replyBytes(refusedStatus(frame.command), {}), now + m_options.thinkTime,
                   m_options.byteTime);
        return;
    }

    // A dropped timer event is acknowledged as if it had been stored.
    const std::optional<Frame> carriedOut = storedFrame(frame);
    const Outcome outcome = carriedOut ? m_interface.execute(*carriedOut, now) : Outcome{};
    if (!outcome.refusal.empty())
        trace("note refused: " + outcome.refusal);
    for (const auto& switched : outcome.switched)
        trace("x10 " + switched);
    std::vector<std::uint8_t> reply = replyBytes(outcome.status, outcome.payload);
    if (m_options.reports && !outcome.report.empty())
        m_pendingReport = replyBytes(1, outcome.report);

    Duration delay = m_options.thinkTime;
    if (frame.command == SelfTest && outcome.refusal.empty())
        delay += m_options.selfTestTime;
    Duration pacing = m_options.byteTime;
    if (isActive(FaultKind::DropByte, m_exchange, &fault)) {
        const std::size_t position =
            fault->value ? static_cast<std::size_t>(*fault->value) - 1 : reply.size() / 2;
        if (position < reply.size()) {
            trace("note fault drop-byte " + std::to_string(position + 1));
            reply.erase(reply.begin() + static_cast<std::ptrdiff_t>(position));
        }
    }
    if (isActive(FaultKind::Late, m_exchange, &fault)) {
        trace("note fault late");
        delay += std::chrono::duration_cast<Duration>(std::chrono::duration<double>(*fault->value));
    }
    if (isActive(FaultKind::Trickle, m_exchange, &fault)) {
        trace("note fault trickle");
        pacing = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(*fault->value));
    }
    if (isActive(FaultKind::Vanish, m_exchange, &fault)) {
        const auto keep = static_cast<std::size_t>(fault->value.value_or(0));
        trace("note fault vanish");
        if (keep == 0) {
            m_vanishNow = true;
            return;
        }
        reply.resize(std::min(keep, reply.size()));
        m_pendingReport.reset();
        m_vanishWhenSent = true;
    }
    queueReply(std::move(reply), now + delay, pacing);
}

std::optional<Frame> Simulator::storedFrame(const Frame& frame)
{
    if (frame.command != StoreEvent || !frame.isChecksumValid())
        return frame;
    const int slot = (frame.data[0] | (frame.data[1] << 8)) / 8;
    auto spoils = [&](FaultKind kind) {
        const Fault* fault = nullptr;
        return isActive(kind, m_exchange, &fault) && fault->value && *fault->value == slot;
    };
    if (spoils(FaultKind::DropEvent)) {
        trace("note fault drop-event " + std::to_string(slot));
        return std::nullopt;
    }
    if (!spoils(FaultKind::CorruptEvent))
        return frame;
    trace("note fault corrupt-event " + std::to_string(slot));
    Frame stored = frame;
    stored.data[4] = static_cast<std::uint8_t>((stored.data[4] + 1) % 24);
    stored.checksum = checksumOf(stored.command, stored.data);
    return stored;
}

void Simulator::readInput(TimePoint now)
{
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0)
            return; // EAGAIN: all read. EIO cannot happen while we hold the slave.
        m_lastInput = now;
        for (ssize_t i = 0; i < count; ++i) {
            if (auto frame = m_reader.feed(buffer[i]))
                handleFrame(*frame, now);
            if (m_vanishNow)
                return;
        }
    }
}

void Simulator::runDueWork(TimePoint now)
{
    if (m_reader.hasPartialFrame() && now - m_lastInput >= m_options.frameTimeout)
        traceBytes("note partial frame dropped:", m_reader.dropPartialFrame());

    if (!m_powered && m_powerBackAt && now >= *m_powerBackAt) {
        m_powered = true;
        m_powerBackAt.reset();
        m_interface.loseMemory(now);
        trace("note power back");
    }

    if (m_powered) {
        for (const auto& firing : m_interface.advance(now)) {
            trace("note timer event " + std::to_string(firing.slot));
            for (const auto& switched : firing.switched)
                trace("x10 " + switched);
            if (m_options.reports) {
                const auto bytes = replyBytes(1, firing.report);
                traceBytes("tx", bytes);
                if (m_output.empty())
                    m_pacing = std::chrono::duration_cast<Duration>(m_options.byteTime);
                m_output.insert(m_output.end(), bytes.begin(), bytes.end());
            }
        }
    }

    if (m_pendingReply && now >= m_pendingAt) {
        traceBytes("tx", *m_pendingReply);
        m_output.insert(m_output.end(), m_pendingReply->begin(), m_pendingReply->end());
        if (m_pendingReport) {
            traceBytes("tx", *m_pendingReport);
            m_output.insert(m_output.end(), m_pendingReport->begin(), m_pendingReport->end());
            m_pendingReport.reset();
        }
        m_pacing = m_pendingPacing;
        m_nextSend = now;
        m_pendingReply.reset();
    }
}

void Simulator::writeOutput(TimePoint now)
{
    if (m_babbling && m_output.empty() && now >= m_nextSend)
        m_output.push_back(noiseByte());
    if (m_output.empty() || m_writeBlocked)
        return;
    const bool paced = m_pacing > Duration::zero();
    if (paced && now < m_nextSend)
        return;
    std::vector<std::uint8_t> chunk(m_output.begin(),
                                    paced ? m_output.begin() + 1 : m_output.end());
    const ssize_t written = ::write(m_master, chunk.data(), chunk.size());
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            m_writeBlocked = true;
        return;
    }
    m_output.erase(m_output.begin(), m_output.begin() + written);
    if (paced)
        m_nextSend = now + m_pacing;
    if (m_output.empty() && m_vanishWhenSent)
        m_vanishNow = true;
}

int Simulator::pollTimeout(TimePoint now) const
{
    std::optional<TimePoint> wake;
    auto consider = [&](TimePoint at) {
        if (!wake || at < *wake)
            wake = at;
    };
    if (m_reader.hasPartialFrame())
        consider(m_lastInput + std::chrono::duration_cast<Duration>(m_options.frameTimeout));
    if (m_pendingReply)
        consider(m_pendingAt);
    if (!m_writeBlocked && (!m_output.empty() || m_babbling))
        consider(m_pacing > Duration::zero() ? m_nextSend : now);
    if (m_powered)
        consider(m_interface.nextMinuteStart(now));
    else if (m_powerBackAt)
        consider(*m_powerBackAt);
    if (!wake)
        return -1;
    if (*wake <= now)
        return 0;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
    return static_cast<int>(std::min<long long>(wait, INT_MAX));
}

int Simulator::run()
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    // Signals arrive as readable data in the loop; no work is done in a handler. An
    // ignored signal would never reach the descriptor, so ignoring is undone first.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    m_signals = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_signals < 0) {
        std::fprintf(stderr, "vantrel-cp290sim: signalfd: %s\n", std::strerror(errno));
        return 1;
    }
    if (!m_options.tracePath.empty()) {
        m_trace =
            ::open(m_options.tracePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (m_trace < 0) {
            std::fprintf(stderr, "vantrel-cp290sim: %s: %s\n", m_options.tracePath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::string error;
    if (!openTerminal(&error)) {
        std::fprintf(stderr, "vantrel-cp290sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", m_slavePath.c_str());
    std::fflush(stdout);

    for (;;) {
        TimePoint now = SteadyClock::now();
        runDueWork(now);
        writeOutput(now);
        if (m_vanishNow) {
            trace("note vanished");
            closeTerminal();
            return 0;
        }

        pollfd fds[2] = {{m_signals, POLLIN, 0}, {m_master, POLLIN, 0}};
        if (m_writeBlocked)
            fds[1].events |= POLLOUT;
        const int ready = ::poll(fds, 2, pollTimeout(now));
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "vantrel-cp290sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            const ssize_t got = ::read(m_signals, &info, sizeof info);
            (void)got;
            trace("note stopped by signal " + std::to_string(info.ssi_signo));
            closeTerminal();
            return 0;
        }
        now = SteadyClock::now();
        if (fds[1].revents & POLLOUT)
            m_writeBlocked = false;
        if (fds[1].revents & POLLIN)
            readInput(now);
        else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // Only possible if the slave we hold was lost; waiting on would spin.
            std::fprintf(stderr, "vantrel-cp290sim: terminal hung up\n");
            closeTerminal();
            return 1;
        }
    }
}

} // namespace vantrel::cp290sim
