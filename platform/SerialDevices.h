#pragma once

// The serial devices a CP290 may hang on, by the names shown to the user.
// A name is the device node's name without "tty" ("USB0" for /dev/ttyUSB0),
// and serialDevicePath() is the one way back from a name to its path, for
// the application and the helper alike. The folder named by the environment
// variable VANTREL_DEVICE_DIR is searched as well: the virtual CP290 puts a
// link to its terminal there.

#include <string>
#include <vector>

namespace vantrel {

struct SerialDeviceFolders
{
    std::string dev = "/dev";
    std::string sysClassTty = "/sys/class/tty";
    std::string extra; // any tty* entry here is listed; empty for none
};

// The folders of this machine, with extra taken from VANTREL_DEVICE_DIR.
SerialDeviceFolders systemSerialDeviceFolders();

// Names of the serial devices present, sorted (USB2 before USB10), each once.
std::vector<std::string> serialDeviceNames();
std::vector<std::string> serialDeviceNames(const SerialDeviceFolders& folders);

// The path of the device with that name: an entry of the extra folder when
// one exists, otherwise the node under /dev. Empty for a name that cannot be
// a device name (empty, or holding a '/').
std::string serialDevicePath(const std::string& name);
std::string serialDevicePath(const std::string& name, const SerialDeviceFolders& folders);

} // namespace vantrel
