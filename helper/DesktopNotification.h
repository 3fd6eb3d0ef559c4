#pragma once

// A note on the user's desktop through the notification service of the
// session bus, when there is one: a headless box has none, and then
// nothing happens beyond the activity log.

#include <string>

namespace vantrel {

// Returns whether the service took it (asked without waiting for its answer).
bool sendDesktopNotification(const std::string& summary, const std::string& body);

} // namespace vantrel
