#pragma once

// The schedule handed from the application to the helper: "Modules" (event
// items in host order, both programs run on one machine) and "EventRepeat"
// in the application's preferences domain.

#include "platform/Preferences.h"
#include "schedule/Event.h"
#include "schedule/Module.h"

#include <optional>
#include <string>

namespace vantrel {

struct HelperCopy
{
    ModuleList modules;
    ClassicEventRepeat eventRepeat;
};

// Puts both keys into the application's domain and writes it at once.
// False (with the reason) when the preferences could not be written.
bool storeHelperCopy(Preferences& applicationPreferences, const ModuleList& modules,
                     ClassicEventRepeat eventRepeat, std::string* error = nullptr);

// Empty when either key is absent (error left empty: nothing stored yet) or
// when a stored value is damaged (error says what is wrong). The helper reads
// through its own preferences with the application's domain as a suite.
std::optional<HelperCopy> readHelperCopy(const Preferences& preferences,
                                         std::string* error = nullptr);

} // namespace vantrel
