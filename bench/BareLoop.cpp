// The floor for the helper at rest: a C++ program that does nothing but
// sleep in poll() on a pipe and a five-minute timerfd, as the helper's loop
// does. Whatever the helper holds or does beyond this is its own.

#include <cstdint>
#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/timerfd.h>
#include <unistd.h>

int main()
{
    const int checks = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    int signals[2];
    if (checks < 0 || pipe(signals) != 0) {
        const std::string message = "vantrel-bare-loop: no timer or pipe\n";
        std::fputs(message.c_str(), stderr);
        return 1;
    }
    const itimerspec every{{300, 0}, {300, 0}};
    timerfd_settime(checks, 0, &every, nullptr);
    for (;;) {
        pollfd watched[] = {{signals[0], POLLIN, 0}, {checks, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0)
            continue;
        std::uint64_t expirations = 0;
        if (watched[1].revents & POLLIN && read(checks, &expirations, sizeof expirations) < 0)
            return 1;
    }
}
