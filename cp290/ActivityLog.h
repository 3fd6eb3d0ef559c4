#pragma once

// The activity log both programs append to: one line per entry, the local
// date and time, " -- " and the message. Each line is one write() on a
// descriptor opened with O_APPEND, so lines from the two programs never
// mix, and the file is opened and closed for every line so the application
// can read or empty it at any time.

#include <cstdint>
#include <string>

namespace vantrel {

// stateDirectory() + "/VantrelHelper.log"
std::string logFilePath();

// Appends "%a %m/%d/%y %I:%M %p -- message\n" (English day names whatever
// the locale). Creates the log folder when missing; when the log cannot be
// written the entry is dropped without a word, and the caller goes on.
void writeLog(const std::string& message);

// The line writeLog would append at the local seconds value given.
std::string formatLogLine(std::uint32_t localSeconds, const std::string& message);

// Whole log as text; false when it cannot be read (also when missing).
bool readLog(std::string* text);
// Empties the log (creating an empty one when missing).
bool clearLog();

} // namespace vantrel
