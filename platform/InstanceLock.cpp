#include "platform/InstanceLock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;

// Without inotify the file is tried again this often.
constexpr std::chrono::milliseconds RetryWithoutWatch{1000};

class Descriptor
{
  public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd)
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

  private:
    int m_fd;
};

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        close(m_fd);
}

InstanceLock::Result InstanceLock::acquire(const std::string& path, std::chrono::milliseconds wait,
                                           int interruptFd, std::string* error)
{
    if (m_fd >= 0)
        return Result::Acquired;
    Descriptor file(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return Result::Failed;
    }

    const auto deadline = Clock::now() + wait;
    Descriptor watch;
    bool triedWatch = false;
    for (;;) {
        if (flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            m_fd = file.release();
            return Result::Acquired;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            if (error)
                *error = path + ": " + std::strerror(errno);
            return Result::Failed;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            if (error)
                *error = path + ": held by another process";
            return Result::Held;
        }
        if (!triedWatch) {
            // The holder's exit closes its descriptor, an event on the file.
            // The watch comes before the next try, so a close in between is
            // not missed.
            triedWatch = true;
            watch.reset(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
            if (watch.get() >= 0 &&
                inotify_add_watch(watch.get(), path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
                watch.reset(-1);
            continue;
        }
        const bool watching = watch.get() >= 0;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (!watching)
            left = std::min(left, RetryWithoutWatch);
        pollfd fds[2] = {{watch.get(), POLLIN, 0}, {interruptFd, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            if (error)
                *error = path + ": " + std::strerror(errno);
            return Result::Failed;
        }
        if (fds[1].revents & POLLIN)
            return Result::Interrupted;
        if (fds[0].revents & POLLIN) {
            char events[4096];
            while (read(watch.get(), events, sizeof events) > 0) {
            }
        }
    }
}

} // namespace vantrel
