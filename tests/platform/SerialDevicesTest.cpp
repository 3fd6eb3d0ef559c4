// Serial device names and paths, over a fake /dev and /sys/class/tty built
// in a temporary folder.

#include "platform/SerialDevices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class SerialDevices : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vantrel-serial-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        folders.dev = m_root + "/dev";
        folders.sysClassTty = m_root + "/sys";
        folders.byId = m_root + "/serial/by-id";
        fs::create_directories(folders.dev);
        fs::create_directories(folders.sysClassTty);
    }
    void TearDown() override { fs::remove_all(m_root); }

    void node(const std::string& name) { std::ofstream(folders.dev + "/" + name); }
    // A ttyS port as sysfs shows it: with or without a device, and its UART type.
    void serialPort(const std::string& name, bool hasDevice, const char* type)
    {
        node(name);
        const std::string sys = folders.sysClassTty + "/" + name;
        fs::create_directories(sys);
        if (hasDevice)
            fs::create_directories(sys + "/device");
        if (type)
            std::ofstream(sys + "/type") << type << "\n";
    }
    std::string makeExtra()
    {
        folders.extra = m_root + "/extra";
        fs::create_directories(folders.extra);
        return folders.extra;
    }

    SerialDeviceFolders folders;

  private:
    std::string m_root;
};

TEST_F(SerialDevices, ListsSerialNodesWithoutTheirPrefix)
{
    for (const char* name : {"ttyUSB0", "ttyACM1", "ttyAMA0", "tty0", "tty12", "console", "null",
                             "ttyUSB", "ttyprintk"})
        node(name);

    EXPECT_EQ(serialDeviceNames(folders), (std::vector<std::string>{"ACM1", "AMA0", "USB0"}));
}

TEST_F(SerialDevices, ListsOnlyRealBuiltInPorts)
{
    struct Row
    {
        const char* legend;
        const char* name;
        bool hasDevice;
        const char* type;
        bool listed;
    };
    const Row rows[] = {
        {"a probed 16550A", "ttyS0", true, "4", true},
        {"a port slot with no UART behind it", "ttyS1", true, "0", false},
        {"no device in sysfs", "ttyS2", false, "4", false},
        {"a device without a type attribute", "ttyS3", true, nullptr, true},
    };
    for (const Row& row : rows)
        serialPort(row.name, row.hasDevice, row.type);

    const auto names = serialDeviceNames(folders);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        const std::string shown = std::string(row.name).substr(3);
        EXPECT_EQ(std::find(names.begin(), names.end(), shown) != names.end(), row.listed);
    }
}

TEST_F(SerialDevices, SortsNumbersByValue)
{
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB1", "ttyACM0"})
        node(name);

    EXPECT_EQ(serialDeviceNames(folders),
              (std::vector<std::string>{"ACM0", "USB1", "USB2", "USB10"}));
}

TEST_F(SerialDevices, ExtraFolderListsAnyTtyEntryOnce)
{
    node("ttyUSB0");
    const std::string extra = makeExtra();
    fs::create_symlink("/nonexistent/pts/7", extra + "/ttyCP290");
    std::ofstream(extra + "/ttyUSB0");
    std::ofstream(extra + "/notes.txt");

    EXPECT_EQ(serialDeviceNames(folders), (std::vector<std::string>{"CP290", "USB0"}));
}

TEST_F(SerialDevices, PathOfANameLooksInTheExtraFolderFirst)
{
    const std::string extra = makeExtra();
    fs::create_symlink("/nonexistent/pts/7", extra + "/ttyCP290");

    struct Row
    {
        const char* name;
        std::string path;
    };
    const Row rows[] = {
        {"USB0", folders.dev + "/ttyUSB0"},
        {"CP290", extra + "/ttyCP290"},
        {"", ""},
        {"../etc/passwd", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(serialDevicePath(row.name, folders), row.path);
    }
}

// An adapter keeps its stable name across a replug that gives it another
// ttyUSB number: the stored name then finds the new node.
TEST_F(SerialDevices, AdaptersAreListedAndFoundByTheirStableNames)
{
    node("ttyUSB0");
    fs::create_directories(folders.byId);
    const std::string link = folders.byId + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink(folders.dev + "/ttyUSB0", link);

    const std::string name = "FTDI FT232R USB UART (A50285BI)";
    EXPECT_EQ(serialDeviceNames(folders), (std::vector<std::string>{name, "USB0"}));
    EXPECT_EQ(serialDevicePath(name, folders), link);

    // Replugged: the same link now leads to ttyUSB1.
    fs::remove(link);
    fs::remove(folders.dev + "/ttyUSB0");
    node("ttyUSB1");
    fs::create_symlink(folders.dev + "/ttyUSB1", link);
    EXPECT_EQ(serialDeviceNames(folders), (std::vector<std::string>{name, "USB1"}));
    EXPECT_EQ(serialDevicePath(name, folders), link);
    EXPECT_EQ(fs::canonical(serialDevicePath(name, folders)).filename(), "ttyUSB1");

    struct Row
    {
        const char* entry;
        const char* readable;
    };
    for (const Row& row : {Row{"usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0",
                               "Prolific Technology Inc. USB-Serial (Controller)"},
                           Row{"usb-1a86_USB2.0-Ser_-if00-port0", "1a86 USB2.0-Ser"},
                           Row{"pci-Plain", "Plain"}}) {
        SCOPED_TRACE(row.entry);
        EXPECT_EQ(readableSerialIdName(row.entry), row.readable);
    }
}

TEST_F(SerialDevices, EnvironmentNamesTheExtraFolder)
{
    const std::string extra = makeExtra();
    fs::create_symlink("/nonexistent/pts/7", extra + "/ttyVirtual");
    const char* old = std::getenv("VANTREL_DEVICE_DIR");
    const std::string saved = old ? old : "";
    setenv("VANTREL_DEVICE_DIR", extra.c_str(), 1);

    const auto names = serialDeviceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Virtual"), names.end());
    EXPECT_EQ(serialDevicePath("Virtual"), extra + "/ttyVirtual");
    EXPECT_EQ(serialDevicePath("USB0"), "/dev/ttyUSB0");

    if (old)
        setenv("VANTREL_DEVICE_DIR", saved.c_str(), 1);
    else
        unsetenv("VANTREL_DEVICE_DIR");
}

} // namespace
} // namespace vantrel
