#pragma once

// What the helper did at its last attempt and when it tries next, kept in
// the helper's own preferences for the window's status bar and
// `vantrelctl status` to read: the helper writes, the others only read.

#include "platform/Preferences.h"

#include <ctime>
#include <optional>
#include <string>
#include <sys/types.h>

namespace vantrel {

// Helper domain.
constexpr const char* LastAttemptKey = "Last Attempt";       // date
constexpr const char* LastResultKey = "Last Result";         // one of the result words below
constexpr const char* LastFailureKey = "Last Failure";       // why it failed; absent on success
constexpr const char* LastCheckKey = "Last Check";           // "Verified" or what differed
constexpr const char* NextSendKey = "Next Send";             // date of the next attempt
constexpr const char* FailureNotifiedKey = "Failure Notified"; // a failure streak was announced

enum class HelperResult
{
    Sent,
    ClockSet,
    Failed,
};

struct HelperAttempt
{
    std::time_t when = 0;
    HelperResult result = HelperResult::Sent;
    std::string failure;              // why, when Failed
    std::optional<std::string> check; // "Verified" or the first difference, when checked
    std::time_t nextSend = 0;

    // Sent or clock set, and the check (if any) found nothing different.
    bool succeeded() const;
};

constexpr const char* VerifiedCheck = "Verified";

void storeHelperAttempt(Preferences& helperPreferences, const HelperAttempt& attempt);
// The last attempt as stored; nullopt before the first or when unreadable.
std::optional<HelperAttempt> readHelperAttempt(const Preferences& helperPreferences);

struct HelperState
{
    bool enabled = true;      // the application's "No Helper" is absent
    bool running = false;     // its stored process id is a running helper
    std::optional<pid_t> processID;
    std::optional<HelperAttempt> last;
    std::optional<std::time_t> nextSend; // from the last attempt or "Send Time"
};

// Reads both domains as they are on disk now.
HelperState readHelperState();
// Whether pid runs a helper program (also one replaced on disk).
bool isRunningHelper(pid_t pid);

// "Helper: sent today at 3:02 AM, verified" and the like, for local time now.
std::string helperStatusText(const HelperState& state, std::time_t now);
// 0 last attempt succeeded (or none yet), 1 it failed, 2 off or not running.
int helperStatusExitCode(const HelperState& state);

} // namespace vantrel
