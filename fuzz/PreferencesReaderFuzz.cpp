// The preferences reader on any file: a domain file as the other program or a
// damaged disk may leave it, read with every typed getter and as the helper
// copy of the schedule.

#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "schedule/HelperCopy.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {
std::string domainFile;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A folder of our own, in memory where the system has one.
    std::string folder = "/dev/shm/vantrel-fuzz-XXXXXX";
    if (!mkdtemp(folder.data())) {
        folder = "/tmp/vantrel-fuzz-XXXXXX";
        if (!mkdtemp(folder.data()))
            std::abort();
    }
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    vantrel::setPreferencesWarningSink([](const std::string&) {});
    domainFile = vantrel::preferencesFilePath(vantrel::ApplicationDomain);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantrel;
    {
        std::ofstream out(domainFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Preferences helper(HelperDomain);
    helper.addSuite(ApplicationDomain);
    for (const char* key :
         {SerialDeviceKey, LastModulesFileKey, DisclaimerAcceptedKey, NoHelperKey, HelperModulesKey,
          HelperEventRepeatKey, LatitudeKey, LongitudeKey, SendTimeKey, ProcessIDKey}) {
        (void)helper.stringValue(key);
        (void)helper.integerValue(key);
        (void)helper.boolValue(key);
        (void)helper.dataValue(key);
        (void)helper.unixDateValue(key);
        (void)helper.arrayValue(key);
        (void)helper.dictionaryValue(key);
    }
    std::string error;
    (void)readHelperCopy(helper, &error);
    return 0;
}
