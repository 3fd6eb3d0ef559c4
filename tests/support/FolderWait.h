#pragma once

// Waiting for a file to change without polling: woken by inotify on its folder.

#include <chrono>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace vantrel::test {

// Waits until condition holds, woken by changes in folder.
inline bool waitForFileCondition(const std::string& folder, const std::function<bool()>& condition,
                                 std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, folder.c_str(), IN_MODIFY | IN_CREATE | IN_MOVED_TO);
    bool holds = false;
    for (;;) {
        holds = condition();
        const auto now = std::chrono::steady_clock::now();
        if (holds || now >= deadline)
            break;
        pollfd fd{watch, POLLIN, 0};
        poll(&fd, 1,
             static_cast<int>(
                 std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()) +
                 1);
        char drain[4096];
        while (read(watch, drain, sizeof drain) > 0) {
        }
    }
    close(watch);
    return holds;
}

} // namespace vantrel::test
