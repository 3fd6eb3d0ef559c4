#pragma once

// What the link tests share: a driver host that records what the driver
// asked of it, a fixture that resets the driver around each test, and a
// device played by the test itself on a pseudo-terminal, for replies the
// virtual CP290 would never send (a broken handshake run, a chosen status).

#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/DriverTesting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantrel::test {

using Bytes = std::vector<std::uint8_t>;

class RecordingHost : public DriverHost
{
  public:
    struct Alert
    {
        std::string title;
        std::string message;
    };

    void statusEnd() override { events.push_back("statusEnd"); }
    void showAlert(const std::string& title, const std::string& message) override
    {
        events.push_back("alert " + title);
        alerts.push_back({title, message});
    }
    void incrementProgress(double amount) override { progress.push_back(amount); }

    double progressTotal() const
    {
        double total = 0;
        for (double amount : progress)
            total += amount;
        return total;
    }

    std::vector<std::string> events; // statusEnd and alerts, in order
    std::vector<Alert> alerts;
    std::vector<double> progress;
};

inline bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetospeed(&a) == cfgetospeed(&b);
}

// The terminal settings of the port at path, as another program finds them.
inline std::optional<termios> settingsOf(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios attributes{};
    const bool read = fd >= 0 && tcgetattr(fd, &attributes) == 0;
    if (fd >= 0)
        close(fd);
    return read ? std::optional<termios>(attributes) : std::nullopt;
}

// What another process finds when it tries to take the port at path now:
// 0 it opens and locks it and finds the settings expected (those from
// before the driver opened it), 1 the open is refused, 2 the lock, 3 the
// settings are still the driver's. The child only makes system calls, so a
// test with threads may run it.
inline int anotherProcessTakesThePort(const std::string& path, const termios& expected)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            _exit(1);
        if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            _exit(2);
        termios attributes{};
        _exit(tcgetattr(fd, &attributes) == 0 && sameSettings(attributes, expected) ? 0 : 3);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Records, for each alert, what another process found of the port while
// the alert was up.
class PortCheckingHost : public RecordingHost
{
  public:
    PortCheckingHost(std::string path, const termios& expected)
        : m_path(std::move(path)), m_expected(expected)
    {}

    void showAlert(const std::string& title, const std::string& message) override
    {
        portWhileUp.push_back(anotherProcessTakesThePort(m_path, m_expected));
        RecordingHost::showAlert(title, message);
    }

    std::vector<int> portWhileUp;

  private:
    std::string m_path;
    termios m_expected;
};

class DriverFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        resetDriverState();
        setDriverHost(&host);
    }
    void TearDown() override
    {
        resetDriverState();
        setDriverHost(nullptr);
    }

    RecordingHost host;
};

// The frame the driver must put on the line for a command.
inline Bytes frameOf(std::uint8_t command, const Bytes& data, std::optional<std::uint8_t> checksum)
{
    Bytes frame(16, 0xFF);
    frame.push_back(command);
    frame.insert(frame.end(), data.begin(), data.end());
    if (checksum)
        frame.push_back(*checksum);
    return frame;
}

inline Bytes handshake(std::uint8_t status)
{
    Bytes reply(6, 0xFF);
    reply.push_back(status);
    return reply;
}

// A device on the master side of a pseudo-terminal, run on a thread of the
// test: it reads frames of a known length and answers each with the bytes
// the test chose for it. The test keeps a terminal descriptor of its own
// open, so the master never sees a hang-up while the driver has the port closed.
class ScriptedDevice
{
  public:
    using Answer = std::function<Bytes(int frameIndex)>;

    ScriptedDevice()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            ADD_FAILURE() << "posix_openpt: " << std::strerror(errno);
            return;
        }
        m_path = ptsname(m_master);
        m_keeper = open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        m_stop = eventfd(0, EFD_CLOEXEC);
    }

    ~ScriptedDevice()
    {
        stop();
        if (m_keeper >= 0)
            close(m_keeper);
        if (m_master >= 0)
            close(m_master);
        if (m_stop >= 0)
            close(m_stop);
    }

    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    const std::string& path() const { return m_path; }
    int master() const { return m_master; }

    // Answers every frame of frameLength bytes. closeAfterFrame >= 0 makes
    // the device vanish (close its end) after that frame's answer.
    void serve(std::size_t frameLength, Answer answer, int closeAfterFrame = -1)
    {
        m_thread = std::thread([this, frameLength, answer, closeAfterFrame] {
            run(frameLength, answer, closeAfterFrame);
        });
    }

    void stop()
    {
        if (!m_thread.joinable())
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(m_stop, &one, sizeof one);
        m_thread.join();
    }

    std::vector<Bytes> frames() const
    {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }

  private:
    void run(std::size_t frameLength, const Answer& answer, int closeAfterFrame)
    {
        Bytes current;
        // A generous deadline only catches a test that hangs.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (poll(fds, 2, 1000) < 0 && errno != EINTR)
                return;
            if (fds[1].revents & POLLIN)
                return;
            if (!(fds[0].revents & POLLIN))
                continue;
            std::uint8_t buffer[256];
            const ssize_t got = read(m_master, buffer, sizeof buffer);
            if (got <= 0)
                continue;
            for (ssize_t i = 0; i < got; ++i) {
                current.push_back(buffer[i]);
                if (current.size() < frameLength)
                    continue;
                int index = 0;
                {
                    std::lock_guard lock(m_mutex);
                    m_frames.push_back(current);
                    index = static_cast<int>(m_frames.size()) - 1;
                }
                current.clear();
                writeAll(answer(index));
                if (index == closeAfterFrame) {
                    close(m_master);
                    m_master = -1;
                    return;
                }
            }
        }
    }

    void writeAll(const Bytes& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }

    int m_master = -1;
    int m_keeper = -1;
    int m_stop = -1;
    std::string m_path;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_frames;
};

inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace vantrel::test
