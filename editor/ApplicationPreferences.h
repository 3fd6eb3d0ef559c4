#pragma once

// The application's own preferences domain, one object for the process, so
// that every window reads and writes the same values.

#include "platform/Preferences.h"

namespace vantrel {

Preferences& applicationPreferences();
// Re-reads the domain from disk (tests point the folders elsewhere first).
void resetApplicationPreferences();

// Window state kept under the autosave names.
constexpr const char* ModulesWindowFrameKey = "CP290ModulesWindow";
constexpr const char* OutlineColumnsKey = "CP290Outline";

} // namespace vantrel
