#pragma once

// The helper tells the desktop about a failure streak through a small
// program of its own, started only then: the session bus and its library
// would otherwise stay resident for months to be used a few times a year.

#include <string>

namespace vantrel {

// The notification program beside the running helper.
std::string notificationProgramPath();

// Starts it with summary and body and returns at once; it is not waited
// for and leaves no child behind. False when it could not be started.
bool startDesktopNotification(const std::string& summary, const std::string& body);

} // namespace vantrel
