#pragma once

// The serial devices a CP290 may hang on, by the names shown to the user.
// A name is the device node's name without "tty" ("USB0" for /dev/ttyUSB0),
// and serialDevicePath() is the one way back from a name to its path, for
// the application and the helper alike. The folder named by the environment
// variable VANTREL_DEVICE_DIR is searched as well: the virtual CP290 puts a
// link to its terminal there. USB adapters are also listed by the stable
// names the system gives them in /dev/serial/by-id, shown readably ("FTDI
// FT232R USB UART (A50285BI)"): such a name finds the same adapter whatever
// ttyUSB number it gets after a replug or a reboot.

#include <string>
#include <vector>

namespace vantrel {

struct SerialDeviceFolders
{
    std::string dev = "/dev";
    std::string sysClassTty = "/sys/class/tty";
    std::string extra; // any tty* entry here is listed; empty for none
    std::string byId = "/dev/serial/by-id";
};

// The folders of this machine, with extra taken from VANTREL_DEVICE_DIR.
SerialDeviceFolders systemSerialDeviceFolders();

// Names of the serial devices present, sorted (USB2 before USB10), each once.
std::vector<std::string> serialDeviceNames();
std::vector<std::string> serialDeviceNames(const SerialDeviceFolders& folders);

// The readable name of a /dev/serial/by-id entry: "usb-FTDI_FT232R_USB_UART_
// A50285BI-if00-port0" -> "FTDI FT232R USB UART (A50285BI)".
std::string readableSerialIdName(const std::string& entry);

// The path of the device with that name: the stable link of an adapter
// whose readable name it is, else an entry of the extra folder when one
// exists, otherwise the node under /dev. Empty for a name that cannot be
// a device name (empty, or holding a '/').
std::string serialDevicePath(const std::string& name);
std::string serialDevicePath(const std::string& name, const SerialDeviceFolders& folders);

} // namespace vantrel
