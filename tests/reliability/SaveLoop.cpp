// Saves without end, one version after another, until killed: the child of
// the kill test.
//   vantrel-save-loop document FILE FIRST   the document file
//   vantrel-save-loop application FIRST      the application's preferences
//                                            with the helper copy in them
//   vantrel-save-loop helper FIRST           the helper's preferences
//   vantrel-save-loop log WHO COUNT          COUNT activity log lines, then ends
// Preferences go to $XDG_CONFIG_HOME/vantrel/, the log to $XDG_STATE_HOME/vantrel/.

#include "cp290/ActivityLog.h"
#include "platform/Preferences.h"
#include "schedule/HelperCopy.h"
#include "tests/reliability/SaveVersions.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    using namespace vantrel;
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool document = mode == "document";
    if (mode == "log" && argc == 4) {
        const long count = std::atol(argv[3]);
        for (long i = 0; i < count; ++i)
            writeLog(test::logLineMessage(argv[2], i));
        return 0;
    }
    if (argc != (document ? 4 : 3)) {
        std::fprintf(stderr, "usage: vantrel-save-loop document FILE FIRST | application FIRST | "
                             "helper FIRST\n");
        return 2;
    }
    long k = std::atol(argv[argc - 1]);
    std::string error;
    if (document) {
        for (;; ++k)
            if (!writeModulesFile(argv[2], test::versionDocument(k), &error))
                break;
    } else if (mode == "application") {
        Preferences preferences(ApplicationDomain);
        for (;; ++k) {
            preferences.setValue(SerialDeviceKey, "CP290-" + std::to_string(k));
            if (!storeHelperCopy(preferences, test::versionModules(k), {1, 1}, &error))
                break;
        }
    } else if (mode == "helper") {
        Preferences preferences(HelperDomain);
        for (;; ++k) {
            preferences.setValue(ProcessIDKey, static_cast<std::int64_t>(k));
            preferences.setUnixDate(SendTimeKey, test::HelperVersionBase + k);
            if (!preferences.synchronize(&error))
                break;
        }
    }
    std::fprintf(stderr, "vantrel-save-loop: %s\n", error.empty() ? "unknown mode" : error.c_str());
    return 1;
}
