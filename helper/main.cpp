// Vantrel Helper: runs in the background from login, without any window,
// and keeps the interface's timer events right for the day.

#include "helper/HelperController.h"

#include "cp290/ActivityLog.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "platform/SignalPipe.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>

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

    QCoreApplication application(argc, argv);
    // Log lines and dates are written in the C locale whatever the session's is.
    std::setlocale(LC_ALL, "C");

    // The user's own coordinates, when set, win over the time zone's city.
    vantrel::installLocationPreferences();
    // The helper has no terminal: what it has to say goes to the log.
    vantrel::setPreferencesWarningSink(
        [](const std::string& message) { vantrel::writeLog(message + "."); });

    vantrel::helperController controller([] { QCoreApplication::exit(0); });
    controller.awakeFromNib();
    if (controller.hasEnded())
        return 0;

    QSocketNotifier termination(vantrel::SignalPipe::readDescriptor(), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated,
                     [&controller] { controller.checkTerminate(); });

    QTimer checks;
    checks.setInterval(vantrel::HelperCheckIntervalSeconds * 1000);
    // The check is due every five minutes, not to the millisecond: a coarse
    // timer lets the system fold the wake-up in with others.
    checks.setTimerType(Qt::CoarseTimer);
    QObject::connect(&checks, &QTimer::timeout, [&controller] { controller.checkWhatToSend(); });
    checks.start();

    // A SIGTERM that arrived before the loop runs is taken up at once.
    if (vantrel::terminate)
        QTimer::singleShot(0, [&controller] { controller.checkTerminate(); });

    return application.exec();
}
