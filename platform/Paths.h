#pragma once

// Per-user folders, following the XDG base-directory rules.

#include <cstddef>
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

// Readers refuse files larger than this: no document or preferences file
// comes near it, and a link to an endless device must not fill memory.
constexpr std::size_t MaxReadFileSize = 64 * 1024 * 1024;

// Writes data to path atomically: a temporary file beside the target, flushed
// to disk, then renamed over it. On failure the old file is untouched and
// error (when given) holds a one-line reason.
//
// A path that is a symbolic link is saved to where the link leads, so the
// link and every other name for the file see the new contents. The target
// keeps its permission bits (and, where allowed, its owner); a new file gets
// 0666 less the umask. A target that is not a regular file is refused. The
// temporary file's name is derived from the target's (see
// atomicSaveTemporaryPath), so a save that was killed leaves at most that
// one file behind, and the next save of the same file reuses and removes it.
bool writeFileAtomically(const std::string& path, const std::string& data,
                         std::string* error = nullptr);

// The file a save of path writes: path itself, or the end of its chain of
// symbolic links (relative links taken from the folder of the link).
std::string atomicSaveTarget(const std::string& path);
// The hidden temporary file that saving target uses: "." + name + ".saving"
// in the target's folder (shortened with a hash of the name when that would
// exceed the longest name a folder can hold).
std::string atomicSaveTemporaryPath(const std::string& target);

// Reads a regular file of at most maxSize bytes. Anything else (a FIFO, a
// device, a folder) is refused before it is read, so that reading can
// neither block nor run on without end; error says what the path is.
bool readWholeFile(const std::string& path, std::string* data, std::string* error = nullptr,
                   std::size_t maxSize = MaxReadFileSize);

} // namespace vantrel
