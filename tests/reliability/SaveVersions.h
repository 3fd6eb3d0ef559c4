#pragma once

// The numbered contents the save loop writes and the kill test expects: each
// version k is a different, easily recognised schedule, so a file read back
// can be matched against exactly one version or against none (torn).

#include "schedule/ModulesDocument.h"
#include "support/ScheduleBuilders.h"

#include <charconv>
#include <optional>
#include <string>

namespace vantrel::test {

// Twenty modules of five events each: tens of kilobytes, so a save takes
// long enough for kills to land inside it.
inline ModuleList versionModules(long k)
{
    ModuleList modules;
    for (int m = 0; m < 20; ++m) {
        std::vector<Event> events;
        for (int e = 0; e < 5; ++e)
            events.push_back(clockEvent(static_cast<std::uint16_t>(0x7F00), (k + m) % 24,
                                        (k + e) % 60, (k + e) % 2 == 0));
        Module module = moduleWith(events, m % 16, m % 16 + 1);
        module.name = "Version " + std::to_string(k) + " module " + std::to_string(m);
        modules.push_back(module);
    }
    return modules;
}

inline ModulesDocument versionDocument(long k)
{
    ModulesDocument document;
    document.modules = versionModules(k);
    document.eventRepeat = {static_cast<std::uint8_t>(k % 3 + 1), 1};
    document.selectedRows = {k % 7};
    document.drawerOpen = k % 2 == 1;
    return document;
}

// The version a schedule says it is, from its first module's name.
inline std::optional<long> versionOf(const ModuleList& modules)
{
    const std::string prefix = "Version ";
    if (modules.empty() || modules[0].name.rfind(prefix, 0) != 0)
        return std::nullopt;
    const std::string& name = modules[0].name;
    long k = 0;
    const auto [end, ec] =
        std::from_chars(name.data() + prefix.size(), name.data() + name.size(), k);
    if (ec != std::errc())
        return std::nullopt;
    return k;
}

// A log message long enough that a line written in pieces would show.
inline std::string logLineMessage(const std::string& who, long i)
{
    return who + " line " + std::to_string(i) + " " + std::string(200, who.empty() ? '.' : who[0]);
}

// The helper's own domain: its process id and send time move together.
constexpr std::time_t HelperVersionBase = 1'200'000'000;

} // namespace vantrel::test
