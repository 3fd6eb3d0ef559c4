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

int main(int argc, char** argv)
{
    // Exactly one copy per user. A second one leaves at once, before it logs
    // or touches the preferences.
    vantrel::InstanceLock lock;
    const std::string lockFolder = vantrel::runtimeDirectory();
    vantrel::makeDirectories(lockFolder);
    if (!lock.acquire(lockFolder + "/vantrel-helper.lock"))
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

    // A SIGTERM that arrived during the first check is taken up in the loop.
    if (vantrel::terminate)
        QTimer::singleShot(0, [&controller] { controller.checkTerminate(); });

    return application.exec();
}
