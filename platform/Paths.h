#pragma once

// Per-user folders, following the XDG base-directory rules.

#include <string>

namespace vantrel {

// $XDG_CONFIG_HOME/vantrel (preferences), $XDG_STATE_HOME/vantrel (the log),
// $XDG_DATA_HOME/vantrel (the installed helper), each with the XDG default
// under $HOME when the variable is unset or not absolute.
std::string configDirectory();
std::string stateDirectory();
std::string dataDirectory();
// $XDG_RUNTIME_DIR when set, else the state folder.
std::string runtimeDirectory();
// $XDG_CONFIG_HOME itself (autostart entries live beside our folder).
std::string configHome();

// Creates a folder and its missing parents (mode 0700 for new ones).
bool makeDirectories(const std::string& path);

// Writes data to path atomically: a temporary file in the same folder,
// flushed to disk, then renamed over the old one. On failure the old file is
// untouched and error (when given) holds the reason.
bool writeFileAtomically(const std::string& path, const std::string& data,
                         std::string* error = nullptr);
bool readWholeFile(const std::string& path, std::string* data, std::string* error = nullptr);

} // namespace vantrel
