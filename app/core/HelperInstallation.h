#pragma once

// The helper's life outside the helper itself, without any window: which
// copy of the "Vantrel Helper.app" folder is newer, installing it into the
// data folder, its autostart entry (the login item), starting it detached
// and stopping it. The application's controller calls these.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vantrel {

constexpr const char* HelperBundleName = "Vantrel Helper.app";

// Replaces, in place, every occurrence of target (compared without regard
// to letter case), left to right; the search resumes after each insertion.
void caseInsensitiveReplace(std::string& text, std::string_view target,
                            std::string_view replacement);

// The version number of a bundle version string: A/a -> "1", B/b -> "2",
// the leading decimal number as a float f (0 when none), n = f * 10000 in
// single precision truncated; a multiple of 1000 gains 999. "3.4" -> 34999,
// "3.4b2" -> 34220, "3.4a1" -> 34110.
int versionNumberOfString(std::string_view version);
// CFBundleVersion of BUNDLE/Contents/Info.plist through the rule above; 0
// when the file or key is missing or unreadable.
int bundleVersionNumber(const std::string& bundlePath);

// The application's resource folder: share/vantrel beside the folder of the
// running program (build/bin -> build/share/vantrel, /usr/bin ->
// /usr/share/vantrel).
std::string applicationResourceDirectory();
std::string bundledHelperPath();   // applicationResourceDirectory() + "/Vantrel Helper.app"
std::string installedHelperPath(); // dataDirectory() + "/Vantrel Helper.app"
// The program inside a bundle: BUNDLE/Contents/bin/vantrel-helper.
std::string helperProgramPath(const std::string& bundlePath);

// Whether pid is a process of this user whose executable is the helper
// program of the installed bundle (a stored process id may belong to
// another program by now).
bool isHelperProcess(pid_t pid, const std::string& installedBundle);
// The longest a helper may take to end after SIGTERM: it finishes the
// exchange it is in first, at worst a full download at the line rate with
// retries and a read-back of every event.
constexpr std::chrono::minutes HelperExchangeLimit{4};

// A helper being stopped: SIGTERM has been sent, and the process descriptor
// (a pidfd) becomes readable when the process has ended.
class StoppingHelper
{
  public:
    StoppingHelper() = default;
    ~StoppingHelper();
    StoppingHelper(StoppingHelper&& other) noexcept;
    StoppingHelper& operator=(StoppingHelper&& other) noexcept;
    StoppingHelper(const StoppingHelper&) = delete;
    StoppingHelper& operator=(const StoppingHelper&) = delete;

    // Whether SIGTERM was sent (to this user's helper).
    bool signalled() const { return m_signalled; }
    // -1 when the system cannot watch the process (then it is not waited for).
    int processDescriptor() const { return m_fd; }
    bool hasEnded() const;
    // Blocks until the process ended or the time is up; true when it ended.
    bool waitForEnd(std::chrono::milliseconds limit) const;
    // The last resort after the limit: SIGKILL, then waits for the end.
    void kill() const;

  private:
    friend StoppingHelper stopHelperProcess(std::optional<std::int64_t>, const std::string&);
    int m_fd = -1;
    pid_t m_pid = 0;
    bool m_signalled = false;
};

// SIGTERM to processId, only when it is this user's helper. The result tells
// whether a signal was sent and lets the caller wait for the end.
StoppingHelper stopHelperProcess(std::optional<std::int64_t> processId,
                                 const std::string& installedBundle);

// How a caller waits for a stopped helper to end before anything replaces or
// restarts it: the default blocks for up to HelperExchangeLimit, then kills.
using HelperEndWait = std::function<void(const StoppingHelper&)>;
void waitForHelperEnd(const StoppingHelper& helper);

// Installs or replaces the installed bundle when it is missing or its version
// is lower than the bundled one's: stops the running helper first (as
// above) and waits for it to end through wait, removes the old folder,
// copies the new one. Failures leave the helper as it was and report nothing
// but false. Returns whether it installed.
bool installOrUpdateHelper(const std::string& bundled, const std::string& installed,
                           std::optional<std::int64_t> processId,
                           const HelperEndWait& wait = waitForHelperEnd);

// Starts the installed helper's program detached: a new session, no
// terminal, standard streams on /dev/null, no zombie left behind. Its own
// lock keeps it to one copy: started while another runs, it ends at once.
// Returns whether the program could be started.
bool startHelperDetached(const std::string& installedBundle);

// The autostart entries: configHome() + "/autostart".
std::string autostartDirectory();
// The entry this program writes: autostartDirectory() + "/vantrel-helper.desktop".
std::string helperAutostartEntryPath();
// Whether any *.desktop entry in the autostart folder has an Exec line that
// names "Vantrel Helper.app" (wherever that lies).
bool hasHelperAutostartEntry();
// Unless such an entry exists, writes one (atomically) whose Exec runs the
// installed helper's program, hidden from menus. Returns whether the helper
// has an entry afterwards.
bool addHelperAutostartEntry(const std::string& installedBundle);
// Removes the last entry (in name order) whose Exec names "Vantrel
// Helper.app" and whose program exists. Returns whether one was removed.
bool removeHelperAutostartEntry();

} // namespace vantrel
