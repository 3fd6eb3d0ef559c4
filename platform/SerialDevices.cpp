#include "platform/SerialDevices.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

constexpr std::string_view TtyPrefix = "tty";

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> entriesOf(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* directory = opendir(folder.c_str());
    if (!directory)
        return names;
    while (const dirent* entry = readdir(directory))
        names.emplace_back(entry->d_name);
    closedir(directory);
    return names;
}

bool exists(const std::string& path)
{
    struct stat status
    {
    };
    return stat(path.c_str(), &status) == 0;
}

// Every 8250-style UART the kernel could have has a ttyS node and a device
// in sysfs, probed or not; one with no hardware reports port type 0.
bool isRealSerialPort(const SerialDeviceFolders& folders, const std::string& node)
{
    const std::string sys = folders.sysClassTty + "/" + node;
    if (!exists(sys + "/device"))
        return false;
    std::ifstream typeFile(sys + "/type");
    int type = -1;
    if (typeFile >> type)
        return type != 0;
    return true;
}

bool isListedDevNode(const SerialDeviceFolders& folders, const std::string& node)
{
    for (std::string_view prefix : {"ttyUSB", "ttyACM", "ttyAMA"})
        if (startsWith(node, prefix) && node.size() > prefix.size())
            return true;
    return startsWith(node, "ttyS") && node.size() > 4 && isRealSerialPort(folders, node);
}

// Orders names as people count: digit runs compare by value.
bool naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool aDigit = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool bDigit = std::isdigit(static_cast<unsigned char>(b[j]));
        if (aDigit && bDigit) {
            std::size_t iEnd = i;
            std::size_t jEnd = j;
            while (iEnd < a.size() && std::isdigit(static_cast<unsigned char>(a[iEnd])))
                ++iEnd;
            while (jEnd < b.size() && std::isdigit(static_cast<unsigned char>(b[jEnd])))
                ++jEnd;
            std::string_view aRun = std::string_view(a).substr(i, iEnd - i);
            std::string_view bRun = std::string_view(b).substr(j, jEnd - j);
            while (aRun.size() > 1 && aRun.front() == '0')
                aRun.remove_prefix(1);
            while (bRun.size() > 1 && bRun.front() == '0')
                bRun.remove_prefix(1);
            if (aRun.size() != bRun.size())
                return aRun.size() < bRun.size();
            if (aRun != bRun)
                return aRun < bRun;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool isDeviceName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos;
}

} // namespace

std::string readableSerialIdName(const std::string& entry)
{
    std::string name = entry;
    for (std::string_view bus : {"usb-", "pci-", "platform-"})
        if (startsWith(name, bus)) {
            name.erase(0, bus.size());
            break;
        }
    // The interface and port the adapter's node hangs on say nothing to people.
    if (const auto suffix = name.rfind("-if"); suffix != std::string::npos && suffix > 0)
        name.erase(suffix);
    std::string serial;
    if (const auto last = name.rfind('_'); last != std::string::npos && last + 1 < name.size()) {
        serial = name.substr(last + 1);
        name.erase(last);
    }
    std::replace(name.begin(), name.end(), '_', ' ');
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (!serial.empty())
        name += " (" + serial + ")";
    return isDeviceName(name) ? name : std::string();
}

SerialDeviceFolders systemSerialDeviceFolders()
{
    SerialDeviceFolders folders;
    if (const char* extra = std::getenv("VANTREL_DEVICE_DIR"))
        folders.extra = extra;
    return folders;
}

std::vector<std::string> serialDeviceNames()
{
    return serialDeviceNames(systemSerialDeviceFolders());
}

std::vector<std::string> serialDeviceNames(const SerialDeviceFolders& folders)
{
    std::vector<std::string> names;
    for (const std::string& node : entriesOf(folders.dev))
        if (isListedDevNode(folders, node))
            names.push_back(node.substr(TtyPrefix.size()));
    if (!folders.extra.empty())
        for (const std::string& entry : entriesOf(folders.extra))
            if (startsWith(entry, TtyPrefix) && entry.size() > TtyPrefix.size())
                names.push_back(entry.substr(TtyPrefix.size()));
    for (const std::string& entry : entriesOf(folders.byId))
        if (entry != "." && entry != "..")
            if (std::string name = readableSerialIdName(entry); !name.empty())
                names.push_back(std::move(name));
    std::sort(names.begin(), names.end(), naturalLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::string serialDevicePath(const std::string& name)
{
    return serialDevicePath(name, systemSerialDeviceFolders());
}

std::string serialDevicePath(const std::string& name, const SerialDeviceFolders& folders)
{
    if (!isDeviceName(name))
        return {};
    for (const std::string& entry : entriesOf(folders.byId))
        if (entry != "." && entry != ".." && readableSerialIdName(entry) == name)
            return folders.byId + "/" + entry;
    const std::string node = std::string(TtyPrefix) + name;
    if (!folders.extra.empty()) {
        const std::string extraPath = folders.extra + "/" + node;
        struct stat status
        {
        };
        // lstat: the virtual CP290's link counts even before its target is checked.
        if (lstat(extraPath.c_str(), &status) == 0)
            return extraPath;
    }
    return folders.dev + "/" + node;
}

} // namespace vantrel
