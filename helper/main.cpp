// Vantrel Helper: runs in the background from login, without any window,
// and keeps the interface's timer events right for the day.

#include "helper/HelperController.h"

#include "cp290/ActivityLog.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "platform/SignalPipe.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#ifndef VANTREL_HELPER_VERSION
#error "VANTREL_HELPER_VERSION must give the helper's bundle version"
#endif

namespace {

constexpr int ExitUsage = 2;

// The helper takes no arguments; these two answer and end at once, anything
// else is refused, all before a preference or the log is touched.
int answerArguments(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("Usage: vantrel-helper\n"
                    "Runs in the background, started by Vantrel and at login, and at the first\n"
                    "check after 3:00 AM each day downloads the schedule Vantrel last sent to the\n"
                    "CP290 again, with that day's sunrise and sunset (or only sets its clock).\n"
                    "It reports to the activity log and stops on SIGTERM. It takes no arguments.\n"
                    "  --help     print this and exit\n"
                    "  --version  print the version and exit\n");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vantrel-helper %s\n", VANTREL_HELPER_VERSION);
        return 0;
    }
    std::fprintf(stderr, "vantrel-helper: unexpected argument '%s'; it takes none (see --help)\n",
                 argv[1]);
    return ExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything else, so that no SIGTERM is lost: the handler only
    // records it, and the loop takes it up once it runs. A program that
    // started us with SIGTERM blocked would otherwise keep us from stopping.
    vantrel::SignalPipe::install(SIGTERM, &vantrel::terminate);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);

    if (argc > 1)
        return answerArguments(argc, argv);

    // Exactly one copy per preferences: a copy started while another runs
    // (the application starts one at every launch, quit and enabling, as the
    // desktop's launcher would) ends at once, without a word.
    vantrel::InstanceLock lock;
    vantrel::makeDirectories(vantrel::configDirectory());
    std::string error;
    switch (lock.acquire(vantrel::helperLockPath(), {}, -1, &error)) {
    case vantrel::InstanceLock::Result::Acquired:
        break;
    case vantrel::InstanceLock::Result::Held:
    case vantrel::InstanceLock::Result::Interrupted:
        return 0;
    case vantrel::InstanceLock::Result::Failed:
        // Without a word here the daily send would silently never happen.
        std::setlocale(LC_ALL, "C");
        vantrel::writeLog("Not started: cannot lock " + error + ".");
        std::fprintf(stderr, "vantrel-helper: cannot lock %s\n", error.c_str());
        return 1;
    }
    // The user turned the helper off: a copy started anyway (an old autostart
    // entry, a start racing the switch) never sends.
    if (vantrel::helperIsDisabled())
        return 0;

    // Log lines and dates are written in the C locale whatever the session's is.
    std::setlocale(LC_ALL, "C");

    // The user's own coordinates, when set, win over the time zone's city.
    vantrel::installLocationPreferences();
    // The helper has no terminal: what it has to say goes to the log.
    vantrel::setPreferencesWarningSink(
        [](const std::string& message) { vantrel::writeLog(message + "."); });

    bool quit = false;
    vantrel::helperController controller([&quit] { quit = true; });
    controller.awakeFromNib();
    if (controller.hasEnded())
        return 0;

    // The loop sleeps in poll() on two descriptors: the signal pipe and a
    // timer for the check every five minutes. Nothing else wakes it.
    const int checks = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (checks < 0) {
        vantrel::writeLog(std::string("Not started: no timer: ") + std::strerror(errno) + ".");
        return 1;
    }
    const itimerspec every{{vantrel::HelperCheckIntervalSeconds, 0},
                           {vantrel::HelperCheckIntervalSeconds, 0}};
    timerfd_settime(checks, 0, &every, nullptr);

    // A SIGTERM that arrived before the loop runs is taken up at once.
    if (vantrel::terminate)
        controller.checkTerminate();
    while (!quit) {
        pollfd watched[] = {{vantrel::SignalPipe::readDescriptor(), POLLIN, 0},
                            {checks, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            vantrel::writeLog(std::string("Ended: ") + std::strerror(errno) + ".");
            return 1;
        }
        if (watched[0].revents & POLLIN)
            controller.checkTerminate();
        if (quit || !(watched[1].revents & POLLIN))
            continue;
        std::uint64_t expirations = 0;
        // Checks missed while the machine slept make one check, not several.
        if (read(checks, &expirations, sizeof expirations) == sizeof expirations)
            controller.checkWhatToSend();
    }
    close(checks);
    return 0;
}
