#include "helper/HelperController.h"

#include "helper/NotificationProcess.h"

#include "cp290/ActivityLog.h"
#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/Recovery.h"
#include "cp290/Verification.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"
#include "platform/SerialDevices.h"
#include "platform/SignalPipe.h"
#include "schedule/HelperCopy.h"

#include <functional>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace vantrel {

volatile std::sig_atomic_t terminate = 0;
volatile std::sig_atomic_t sending = 0;

namespace {

constexpr const char* TooManyEventsLog =
    "More than 128 events were specified.  They cannot be sent to the CP290.";
constexpr const char* ReprogrammedLog = "Interface memory was lost; reprogrammed.";

// A send time further ahead than this can only have been stored while the
// clock was wrong; waiting for it would silence the helper until then.
constexpr std::time_t SendTimeHorizonSeconds = 2 * 86400;

// Day rules other than weekly, and sun-tied times, change from day to day.
constexpr std::uint16_t ChangesDaily = EventDayRuleMask | EventSunriseFlag | EventSunsetFlag;

bool needsDailyDownload(const ModuleList& modules)
{
    for (auto module = modules.rbegin(); module != modules.rend(); ++module)
        for (auto item = module->events.rbegin(); item != module->events.rend(); ++item)
            if (const auto event = eventFromData(*item); event && (event->Flags & ChangesDaily))
                return true;
    return false;
}

bool hasEvents(const ModuleList& modules)
{
    for (const Module& module : modules)
        if (!module.events.empty())
            return true;
    return false;
}

// The check after a download; false when the interface holds something else.
bool logCheck(const DownloadReport& report)
{
    if (!report.checkAsked)
        return true;
    if (!report.differences)
        writeLog("Events not verified: they could not be read back.");
    else if (!report.differences->empty())
        writeLog("Events not verified. " + differenceText(report.differences->front()) + ".");
    else
        writeLog("Events verified.");
    return report.verified();
}

std::string outcome(const char* format, bool succeeded)
{
    std::string line = format;
    line.replace(line.find("%@"), 2, succeeded ? "" : "un");
    return line;
}

// Gives the pages freed by a check back to the system: the helper sleeps
// for hours between checks and should not hold a schedule's worth of heap.
void releaseFreeMemory()
{
    malloc_trim(0);
}

struct ReleaseMemoryAtEnd
{
    ReleaseMemoryAtEnd() = default;
    ReleaseMemoryAtEnd(const ReleaseMemoryAtEnd&) = delete;
    ReleaseMemoryAtEnd& operator=(const ReleaseMemoryAtEnd&) = delete;
    ~ReleaseMemoryAtEnd() { releaseFreeMemory(); }
};

} // namespace

std::string helperLockPath()
{
    return configDirectory() + "/" + HelperDomain + ".lock";
}

bool helperIsDisabled()
{
    return Preferences(ApplicationDomain).contains(NoHelperKey);
}

helperController::helperController(std::function<void()> endProgram)
    : notify(startDesktopNotification), m_defaults(HelperDomain),
      m_endProgram(std::move(endProgram))
{}

helperController::~helperController()
{
    setBaseHouseCodeObserver(nullptr);
}

void helperController::awakeFromNib()
{
    writeLog("Started.");
    CP290Verbose = false;
    m_defaults.setValue(ProcessIDKey, static_cast<std::int64_t>(getpid()));
    save();
    // Kept for setting it again should the interface lose its memory.
    setBaseHouseCodeObserver(
        [this](std::uint8_t byte) { rememberBaseHouseCode(m_defaults, byte); });
    SignalPipe::install(SIGTERM, &terminate);
    checkWhatToSend();
}

void helperController::checkTerminate()
{
    SignalPipe::drain();
    if (m_ended || !terminate)
        return;
    // During an exchange the request is taken up when the exchange has ended.
    if (!sending) {
        writeLog("Terminated.");
        end();
    }
}

bool helperController::endIfTerminating()
{
    if (!terminate)
        return false;
    writeLog("Terminated.");
    end();
    return true;
}

void helperController::save()
{
    // With nothing of ours to write, the file is read again only when it was
    // replaced: a machine that drops its page cache would otherwise wait on
    // the disk at every check, a second wake-up beside the timer's.
    if (!m_defaults.hasPendingChanges() && !m_defaults.ownFileChangedSinceRead())
        return;
    std::string error;
    if (m_defaults.synchronize(&error)) {
        m_saveFailureLogged = false;
        return;
    }
    // Without the process id the application cannot stop us, and without
    // the send time the next start sends again: say so, but not at every check.
    if (!m_saveFailureLogged)
        writeLog("Preferences not saved: " + error + ".");
    m_saveFailureLogged = true;
}

void helperController::reportDamagedCopy(const Preferences& application,
                                         const std::string& error, std::time_t now)
{
    // A digest, not the values: the damaged copy is not kept between checks.
    std::string text;
    for (const char* key : {HelperModulesKey, HelperEventRepeatKey})
        if (const PropertyValue* value = application.value(key))
            text += propertyListToXml(*value);
    const std::size_t digest = std::hash<std::string>{}(text);
    if (m_damageReported && m_damageReported->digest == digest &&
        now - m_damageReported->loggedAt < static_cast<std::time_t>(SecondsPerDay))
        return;
    writeLog("Events not sent: " + error + ".");
    m_damageReported = DamageReport{digest, now};
}

bool helperController::turnedOff()
{
    if (m_defaults.contains(NoHelperKey))
        return true;
    // The application's file holds the whole schedule: it is read again only
    // when it has changed, and only this one setting is kept.
    const std::optional<FileIdentity> identity =
        fileIdentity(preferencesFilePath(ApplicationDomain));
    if (!m_applicationFile || identity != *m_applicationFile) {
        m_applicationFile = identity;
        m_noHelper = Preferences(ApplicationDomain).contains(NoHelperKey);
        releaseFreeMemory();
    }
    return m_noHelper;
}

void helperController::end()
{
    m_ended = true;
    if (m_endProgram)
        m_endProgram();
}

void helperController::checkWhatToSend()
{
    if (m_ended)
        return;
    save();
    // Turned off while its stop did not reach us (a stale process id): the
    // user's choice wins over the schedule.
    if (turnedOff()) {
        writeLog("Terminated.");
        end();
        return;
    }

    const std::time_t now = unixNow();
    if (const auto sendTime = m_defaults.unixDateValue(SendTimeKey))
        if (*sendTime > now && *sendTime - now <= SendTimeHorizonSeconds)
            return;

    // A send is due: the application's settings and schedule are read now
    // and let go when the check ends.
    const ReleaseMemoryAtEnd release;
    Preferences application(HelperDomain);
    application.addSuite(ApplicationDomain);
    const auto device = application.stringValue(SerialDeviceKey);
    if (!device)
        return;
    // While no device is usable nothing could be sent anyway; with a
    // schedule waiting, the night counts as failed.
    const std::string path = serialDevicePath(*device);
    if (path.empty() || access(path.c_str(), W_OK) != 0) {
        if (readHelperCopy(application))
            recordAttempt(HelperResult::Failed, "serial device " + *device + " not found", {});
        return;
    }

    std::string error;
    auto copy = readHelperCopy(application, &error);
    if (!copy) {
        // Nothing stored yet is silent. A damaged copy is never sent in part.
        if (!error.empty())
            reportDamagedCopy(application, error, now);
        return;
    }
    m_damageReported.reset();
    const ModuleList& modules = copy->modules;

    setCP290DeviceFilePath(path.c_str());

    MemoryRecovery recovery{rememberedBaseHouseCode()};
    bool succeeded = false;
    bool download = needsDailyDownload(modules);
    if (!download) {
        if (endIfTerminating())
            return;
        sending = 1;
        succeeded = CP290DoSetClockRecovering(recovery);
        if (recovery.reprogrammed) {
            writeLog(ReprogrammedLog);
            // The events went with the memory: the whole schedule goes again.
            download = succeeded && hasEvents(modules);
        }
        if (!download)
            writeLog(outcome("Clock set %@successfully.", succeeded));
        if (!download && !terminate)
            recordAttempt(succeeded ? HelperResult::ClockSet : HelperResult::Failed,
                          lastCP290FailureSummary(), {});
    }
    if (download) {
        if (!prepareDownload(modules, copy->eventRepeat)) {
            sending = 0;
            const bool tooMany = lastSendEventResult() == SendEventResult::TooManyEvents;
            writeLog(tooMany ? std::string(TooManyEventsLog)
                             : "Events not sent: " + lastSendEventError());
            recordAttempt(HelperResult::Failed,
                          tooMany ? std::string("more than 128 events") : lastSendEventError(), {});
            return;
        }
        // A request that came in before the exchange is not made to wait for it.
        if (endIfTerminating())
            return;
        sending = 1;
        const bool check = application.boolValue(CheckAfterSendKey).value_or(false);
        const DownloadReport report =
            finishDownload(recovery.reprogrammed ? std::nullopt : recovery.baseHouseCode, check);
        if (report.reprogrammed)
            writeLog(ReprogrammedLog);
        writeLog(outcome("Events sent %@successfully.", report.sent));
        // What the interface does not hold is sent again at the next check.
        succeeded = report.sent && logCheck(report);
        std::optional<std::string> checked;
        if (report.sent && report.checkAsked)
            checked = !report.differences ? std::string("not read back")
                      : report.verified() ? std::string(VerifiedCheck)
                                          : differenceText(report.differences->front());
        if (!terminate || report.sent)
            recordAttempt(report.sent ? HelperResult::Sent : HelperResult::Failed,
                          lastCP290FailureSummary(), checked);
    }

    if (endIfTerminating())
        return;
    sending = 0;
    if (!succeeded)
        return;

    m_defaults.setUnixDate(SendTimeKey, nextSendTimeAfter(unixNow()));
    save();
}

void helperController::recordAttempt(HelperResult result, const std::string& failure,
                                     const std::optional<std::string>& check)
{
    const std::time_t now = unixNow();
    HelperAttempt attempt{now, result, failure, check, 0};
    attempt.nextSend =
        attempt.succeeded() ? nextSendTimeAfter(now) : now + HelperCheckIntervalSeconds;
    storeHelperAttempt(m_defaults, attempt);
    // Once when a streak of failures begins, once when sending works again.
    const bool notified = m_defaults.boolValue(FailureNotifiedKey).value_or(false);
    if (!attempt.succeeded() && !notified) {
        if (notify)
            notify("The schedule could not be sent to the CP290",
                   "Vantrel Helper will try again at its next check. " +
                       (result == HelperResult::Failed ? "Reason: " + failure + "."
                                                       : "The CP290 holds something else: " +
                                                             attempt.check.value_or("") + "."));
        m_defaults.setValue(FailureNotifiedKey, true);
    } else if (attempt.succeeded() && notified) {
        if (notify)
            notify("The CP290 has its schedule again", "Vantrel Helper sent it successfully.");
        m_defaults.removeValue(FailureNotifiedKey);
    }
    save();
}

} // namespace vantrel
