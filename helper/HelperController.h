#pragma once

// The helper's daily cycle. The interface only knows weekday clock times, so
// date, even/odd-day and sun-tied events are right for today and tomorrow
// only; once a day, at the first check after the send time, the helper
// downloads the whole schedule again with today's sun times, or only sets the
// interface's clock when nothing needs that. It reports through the log.

#include "cp290/DailyCompile.h"
#include "cp290/HelperStatus.h"
#include "platform/FileIdentity.h"
#include "platform/Preferences.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace vantrel {

// Set by the SIGTERM handler.
extern volatile std::sig_atomic_t terminate;
// 1 while the helper exchanges data with the interface; a termination
// request waits for the exchange to end and its result to be logged.
extern volatile std::sig_atomic_t sending;

constexpr int HelperCheckIntervalSeconds = 300;

// The lock that keeps one helper running per preferences folder, beside the
// helper's own preferences: every copy that would read and write them finds
// it, whatever else its environment holds.
std::string helperLockPath();

// Whether the application's "No Helper" is set, as it is on disk now.
bool helperIsDisabled();

class helperController
{
  public:
    // endProgram asks the event loop to quit; the controller never exits the
    // process itself.
    explicit helperController(std::function<void()> endProgram);
    ~helperController();
    helperController(const helperController&) = delete;
    helperController& operator=(const helperController&) = delete;

    // Logs the start, publishes the process id, installs the SIGTERM handling
    // and runs the first check. The caller then runs checkWhatToSend every
    // HelperCheckIntervalSeconds.
    void awakeFromNib();
    void checkWhatToSend();
    // Runs in the event loop after SIGTERM arrived (the handler only records it).
    void checkTerminate();

    Preferences& defaults() { return m_defaults; }
    // How a failure streak and the recovery after it reach the user; a
    // short-lived notification program unless replaced.
    std::function<void(const std::string& summary, const std::string& body)> notify;
    bool hasEnded() const { return m_ended; }

  private:
    void end();
    // Ends the program instead of starting an exchange when a termination
    // request has come in; true when it did.
    bool endIfTerminating();
    // Writes the helper's preferences; a failure is logged once until a
    // write succeeds again, and the changes stay pending for the next check.
    void save();
    // Logs a damaged schedule copy once, and again only when the copy
    // changes or a day has passed.
    void reportDamagedCopy(const Preferences& application, const std::string& error,
                           std::time_t now);
    // The application's "No Helper" (or our own), as it is on disk now.
    bool turnedOff();
    // Keeps the outcome and the next try for the window and `vantrelctl
    // status`, and tells the desktop when a failure streak begins or ends.
    void recordAttempt(HelperResult result, const std::string& failure,
                       const std::optional<std::string>& check);

    struct DamageReport
    {
        std::size_t digest = 0; // of the damaged copy as stored
        std::time_t loggedAt = 0;
    };

    Preferences m_defaults;
    std::function<void()> m_endProgram;
    bool m_ended = false;
    bool m_saveFailureLogged = false;
    std::optional<DamageReport> m_damageReported;
    std::optional<std::optional<FileIdentity>> m_applicationFile;
    bool m_noHelper = false;
};

} // namespace vantrel
