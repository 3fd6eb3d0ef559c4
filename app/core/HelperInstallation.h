#pragma once

// The helper's life outside the helper itself, without any window: which
// copy of the "Vantrel Helper.app" folder is newer, installing it into the
// data folder, its autostart entry (the login item), starting it detached
// and stopping it. The application's controller calls these.

#include <cstdint>
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
// SIGTERM to processId, only when it is this user's helper. Returns whether
// a signal was sent.
bool stopHelperProcess(std::optional<std::int64_t> processId, const std::string& installedBundle);

// Installs or replaces the installed bundle when it is missing or its version
// is lower than the bundled one's: stops the running helper first (as
// above), removes the old folder, copies the new one. Failures leave the
// helper as it was and report nothing but false. Returns whether it
// installed.
bool installOrUpdateHelper(const std::string& bundled, const std::string& installed,
                           std::optional<std::int64_t> processId);

// Starts the installed helper's program detached: a new session, no
// terminal, standard streams on /dev/null, no zombie left behind. Its own
// lock keeps it to one copy. Returns whether the program could be started.
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
