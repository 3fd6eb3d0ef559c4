#pragma once

// The client side of the simulator's terminal, as bare as possible: raw bytes out,
// raw bytes in, with poll() and a deadline, so that the tests check the simulator
// and nothing else.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace vantrel::test {

using Bytes = std::vector<std::uint8_t>;

class TerminalClient
{
  public:
    explicit TerminalClient(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {}
    ~TerminalClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TerminalClient(const TerminalClient&) = delete;
    TerminalClient& operator=(const TerminalClient&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool write(const Bytes& bytes)
    {
        return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Preamble, then the frame as given (command byte to checksum).
    bool sendFrame(const Bytes& frame)
    {
        Bytes bytes(16 + frame.size(), 0xFF);
        std::copy(frame.begin(), frame.end(), bytes.begin() + 16);
        return write(bytes);
    }

    // Reads until count bytes have come, the deadline passes or the terminal hangs up.
    Bytes read(std::size_t count,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                continue;
            std::uint8_t buffer[2048];
            const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) {
                m_hungUp = (fd.revents & POLLHUP) != 0 || n == 0;
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // Whatever arrives within the window; for checking that nothing does.
    Bytes readFor(std::chrono::milliseconds window) { return read(SIZE_MAX, window); }

    bool hasHungUp() const { return m_hungUp; }

  private:
    int m_fd = -1;
    bool m_hungUp = false;
};

inline Bytes reply(std::uint8_t status, Bytes payload = {})
{
    Bytes bytes(7 + payload.size(), 0xFF);
    bytes[6] = status;
    std::copy(payload.begin(), payload.end(), bytes.begin() + 7);
    return bytes;
}

} // namespace vantrel::test
