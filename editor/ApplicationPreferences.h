#pragma once

// The application's own preferences domain, one object for the process, so
// that every window reads and writes the same values.

#include "platform/Preferences.h"

class QWidget;

namespace vantrel {

Preferences& applicationPreferences();
// Re-reads the domain from disk (tests point the folders elsewhere first).
void resetApplicationPreferences();

// Writes what this process changed in `preferences` (by default the
// application's). A failed write is told in an alert over `parent`, once
// until a write succeeds again: the values stay in effect in this process
// and are written at the next chance.
bool savePreferences(QWidget* parent);
bool savePreferences(Preferences& preferences, QWidget* parent);

// Window state kept under the autosave names.
constexpr const char* ModulesWindowFrameKey = "CP290ModulesWindow";
constexpr const char* OutlineColumnsKey = "CP290Outline";

} // namespace vantrel
