#pragma once

// A schedule in the application's preferences and a virtual CP290 behind a
// device name, as the helper finds them after the user has sent events once.

#include "cp290/ActivityLog.h"
#include "platform/DateTime.h"
#include "platform/Preferences.h"
#include "schedule/HelperCopy.h"
#include "support/Cp290Sim.h"
#include "support/ScheduleBuilders.h"
#include "support/TemporaryHome.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantrel::test {

constexpr const char* SimDeviceName = "CP290";

inline Event weeklyEvent(int hour, int minute, bool on = true)
{
    return clockEvent(EventDaysMask, hour, minute, on);
}

// What the application stores when it sends: device name, modules, repeat counts.
inline void storeApplicationCopy(const ModuleList& modules, const char* device = SimDeviceName,
                                 ClassicEventRepeat repeat = {1, 1})
{
    Preferences application(ApplicationDomain);
    if (device)
        application.setValue(SerialDeviceKey, device);
    storeHelperCopy(application, modules, repeat);
}

inline std::vector<std::string> logMessages()
{
    std::ifstream in(logFilePath());
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(in, line)) {
        const auto separator = line.find(" -- ");
        messages.push_back(separator == std::string::npos ? line : line.substr(separator + 4));
    }
    return messages;
}

inline std::size_t countFrames(const Cp290Sim& sim, const std::string& prefix)
{
    std::size_t n = 0;
    for (const auto& line : sim.traceLines())
        if (line.rfind("rx " + prefix, 0) == 0)
            ++n;
    return n;
}

} // namespace vantrel::test
