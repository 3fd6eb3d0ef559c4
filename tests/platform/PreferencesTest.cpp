#include "platform/Preferences.h"

#include "platform/Location.h"
#include "platform/Paths.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

std::string fileContents(const std::string& path)
{
    std::string text;
    readWholeFile(path, &text);
    return text;
}

bool fileExists(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0;
}

TEST(Preferences, DomainFilesLiveInTheConfigurationFolder)
{
    test::TemporaryHome home;
    EXPECT_EQ(preferencesFilePath(ApplicationDomain),
              home.root() + "/config/vantrel/net.vantrel.Vantrel.plist");
    EXPECT_EQ(preferencesFilePath(HelperDomain),
              home.root() + "/config/vantrel/net.vantrel.VantrelHelper.plist");
}

TEST(Preferences, KeysAreAbsentUntilWritten)
{
    test::TemporaryHome home;
    Preferences preferences(ApplicationDomain);
    EXPECT_FALSE(preferences.contains(SerialDeviceKey));
    EXPECT_FALSE(preferences.stringValue(SerialDeviceKey));
    EXPECT_FALSE(preferences.boolValue(NoHelperKey));
    // Nothing to write: no file appears.
    EXPECT_TRUE(preferences.synchronize());
    EXPECT_FALSE(fileExists(preferencesFilePath(ApplicationDomain)));
}

TEST(Preferences, TypedValuesRoundTripThroughTheFile)
{
    test::TemporaryHome home;
    {
        Preferences preferences(ApplicationDomain);
        preferences.setValue(SerialDeviceKey, "USB0");
        preferences.setValue(NoHelperKey, true);
        preferences.setValue(ProcessIDKey, 4242);
        preferences.setValue(HelperEventRepeatKey, PropertyData{1, 2});
        preferences.setUnixDate(SendTimeKey, 1173250800);
        preferences.setValue("List", PropertyArray{PropertyValue(1), PropertyValue("x")});
        EXPECT_TRUE(preferences.hasPendingChanges());
        std::string error;
        ASSERT_TRUE(preferences.synchronize(&error)) << error;
        EXPECT_FALSE(preferences.hasPendingChanges());
    }
    const Preferences reread(ApplicationDomain);
    EXPECT_EQ(reread.stringValue(SerialDeviceKey), "USB0");
    EXPECT_EQ(reread.boolValue(NoHelperKey), true);
    EXPECT_EQ(reread.integerValue(ProcessIDKey), 4242);
    EXPECT_EQ(reread.dataValue(HelperEventRepeatKey), (PropertyData{1, 2}));
    EXPECT_EQ(reread.unixDateValue(SendTimeKey), 1173250800);
    ASSERT_NE(reread.arrayValue("List"), nullptr);
    EXPECT_EQ(reread.arrayValue("List")->size(), 2u);
    // Asked for the wrong kind, a key reads as absent.
    EXPECT_FALSE(reread.integerValue(SerialDeviceKey));
    EXPECT_NE(fileContents(preferencesFilePath(ApplicationDomain)).find("<date>"),
              std::string::npos);
}

TEST(Preferences, RemovedKeysAreGoneAfterSynchronize)
{
    test::TemporaryHome home;
    Preferences writer(ApplicationDomain);
    writer.setValue(NoHelperKey, true);
    ASSERT_TRUE(writer.synchronize());
    writer.removeValue(NoHelperKey);
    ASSERT_TRUE(writer.synchronize());
    EXPECT_FALSE(Preferences(ApplicationDomain).contains(NoHelperKey));
}

TEST(Preferences, UnchangedDomainIsNotRewritten)
{
    test::TemporaryHome home;
    Preferences preferences(HelperDomain);
    preferences.setValue(ProcessIDKey, 10);
    ASSERT_TRUE(preferences.synchronize());
    struct stat before
    {
    };
    ASSERT_EQ(stat(preferencesFilePath(HelperDomain).c_str(), &before), 0);
    preferences.setValue(ProcessIDKey, 10);
    ASSERT_TRUE(preferences.synchronize());
    struct stat after
    {
    };
    ASSERT_EQ(stat(preferencesFilePath(HelperDomain).c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

// What lets a process that only reads skip the read: its own writes do not
// count as changes, anyone else's, a deletion and a return do.
TEST(Preferences, TheOwnFileIsKnownChangedOnlyWhenSomeoneElseReplacedIt)
{
    test::TemporaryHome home;
    Preferences own(HelperDomain);
    EXPECT_FALSE(own.ownFileChangedSinceRead()) << "absent then, absent now";
    own.setValue(ProcessIDKey, 10);
    ASSERT_TRUE(own.synchronize());
    EXPECT_FALSE(own.ownFileChangedSinceRead()) << "our own write";
    own.setValue(ProcessIDKey, 10);
    ASSERT_TRUE(own.synchronize());
    EXPECT_FALSE(own.ownFileChangedSinceRead()) << "a synchronize that wrote nothing";

    Preferences other(HelperDomain);
    other.setValue("Last Result", std::string("Failed"));
    ASSERT_TRUE(other.synchronize());
    EXPECT_TRUE(own.ownFileChangedSinceRead());
    ASSERT_TRUE(own.synchronize());
    EXPECT_FALSE(own.ownFileChangedSinceRead());
    EXPECT_EQ(own.stringValue("Last Result"), "Failed");

    ASSERT_TRUE(std::filesystem::remove(preferencesFilePath(HelperDomain)));
    EXPECT_TRUE(own.ownFileChangedSinceRead());
    ASSERT_TRUE(own.synchronize());
    EXPECT_FALSE(own.ownFileChangedSinceRead());
    EXPECT_FALSE(own.contains(ProcessIDKey));
}

// The application and the helper as two objects: each writes its own
// domain and sees the other's through a suite after synchronizing.
TEST(Preferences, TwoProcessesMeetThroughSuitesAndSynchronize)
{
    test::TemporaryHome home;
    Preferences application(ApplicationDomain);
    application.addSuite(HelperDomain);
    Preferences helper(HelperDomain);
    helper.addSuite(ApplicationDomain);

    helper.setValue(ProcessIDKey, 777);
    ASSERT_TRUE(helper.synchronize());
    EXPECT_FALSE(application.integerValue(ProcessIDKey)) << "seen before the reader synchronized";
    ASSERT_TRUE(application.synchronize());
    EXPECT_EQ(application.integerValue(ProcessIDKey), 777);

    application.setValue(SerialDeviceKey, "ACM0");
    EXPECT_FALSE(helper.stringValue(SerialDeviceKey));
    ASSERT_TRUE(application.synchronize());
    ASSERT_TRUE(helper.synchronize());
    EXPECT_EQ(helper.stringValue(SerialDeviceKey), "ACM0");

    // The own domain wins over a suite holding the same key.
    helper.setValue(SerialDeviceKey, "Mine");
    EXPECT_EQ(helper.stringValue(SerialDeviceKey), "Mine");

    // Each writes only its own domain.
    EXPECT_EQ(fileContents(preferencesFilePath(ApplicationDomain)).find(ProcessIDKey),
              std::string::npos);
    ASSERT_TRUE(helper.synchronize());
    EXPECT_EQ(Preferences(ApplicationDomain).stringValue(SerialDeviceKey), "ACM0");
}

// A child process that runs body and exits with 0 when it returned true.
pid_t runInChild(const std::function<bool()>& body)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(body() ? 0 : 1);
    return child;
}

bool childSucceeded(pid_t child)
{
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Two copies of the application: one sends a new schedule (the helper's
// copy), the other, which read the domain before, then only stores its window
// frame. The schedule the helper reads must be the new one.
TEST(Preferences, AnotherProcessNeverPutsBackAKeyItDidNotTouch)
{
    test::TemporaryHome home;
    {
        Preferences seed(ApplicationDomain);
        seed.setValue(HelperModulesKey, "last week");
        seed.setValue(SerialDeviceKey, "USB0");
        ASSERT_TRUE(seed.synchronize());
    }
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t copyB = runInChild([&] {
        Preferences b(ApplicationDomain);
        char go = 0;
        // Read, then wait until copy A has written, then write a key of its own.
        if (write(toParent[1], "r", 1) != 1 || read(toChild[0], &go, 1) != 1)
            return false;
        for (int frame = 0; frame < 5; ++frame) {
            b.setValue("NSWindow Frame CP290ModulesWindow", std::to_string(frame));
            if (!b.synchronize())
                return false;
        }
        // Reads after synchronize see what the other process wrote.
        return b.stringValue(HelperModulesKey) == "this week";
    });
    char ready = 0;
    ASSERT_EQ(read(toParent[0], &ready, 1), 1);
    Preferences a(ApplicationDomain);
    a.setValue(HelperModulesKey, "this week");
    a.removeValue(SerialDeviceKey);
    ASSERT_TRUE(a.synchronize());
    ASSERT_EQ(write(toChild[1], "g", 1), 1);
    EXPECT_TRUE(childSucceeded(copyB));
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);

    const Preferences reread(ApplicationDomain);
    EXPECT_EQ(reread.stringValue(HelperModulesKey), "this week");
    EXPECT_FALSE(reread.contains(SerialDeviceKey)) << "a removed key came back";
    EXPECT_EQ(reread.stringValue("NSWindow Frame CP290ModulesWindow"), "4");
}

// Many synchronizes at once from several processes: the lock across read,
// merge and write keeps every one of their keys, and a key both set ends
// with one of their values, whole.
TEST(Preferences, WritersRacingOnOneDomainLoseNoKey)
{
    test::TemporaryHome home;
    constexpr int Writers = 3;
    constexpr int KeysEach = 60;
    std::vector<pid_t> children;
    for (int writer = 0; writer < Writers; ++writer)
        children.push_back(runInChild([writer] {
            Preferences mine(ApplicationDomain);
            for (int key = 0; key < KeysEach; ++key) {
                mine.setValue("key " + std::to_string(writer) + "." + std::to_string(key), key);
                mine.setValue("shared", writer);
                if (!mine.synchronize())
                    return false;
            }
            return true;
        }));
    for (pid_t child : children)
        EXPECT_TRUE(childSucceeded(child));
    const Preferences reread(ApplicationDomain);
    for (int writer = 0; writer < Writers; ++writer)
        for (int key = 0; key < KeysEach; ++key)
            EXPECT_EQ(reread.integerValue("key " + std::to_string(writer) + "." +
                                          std::to_string(key)),
                      key);
    ASSERT_TRUE(reread.integerValue("shared"));
    EXPECT_LT(*reread.integerValue("shared"), Writers);
}

TEST(Preferences, SuitesAreSearchedInTheOrderAdded)
{
    test::TemporaryHome home;
    Preferences first("one");
    first.setValue("k", "from one");
    ASSERT_TRUE(first.synchronize());
    Preferences second("two");
    second.setValue("k", "from two");
    ASSERT_TRUE(second.synchronize());

    Preferences reader("reader");
    reader.addSuite("two");
    reader.addSuite("one");
    reader.addSuite("two");
    EXPECT_EQ(reader.stringValue("k"), "from two");
}

TEST(Preferences, DamagedFileReadsAsEmptyAndSurvivesUntilTheOwnerWrites)
{
    test::TemporaryHome home;
    ASSERT_TRUE(makeDirectories(configDirectory()));
    const std::string damaged = "<plist><dict><key>SerialDevice</key><string>USB0";
    ASSERT_TRUE(writeFileAtomically(preferencesFilePath(ApplicationDomain), damaged));

    Preferences preferences(ApplicationDomain);
    EXPECT_FALSE(preferences.contains(SerialDeviceKey));
    ASSERT_TRUE(preferences.synchronize());
    EXPECT_EQ(fileContents(preferencesFilePath(ApplicationDomain)), damaged);

    Preferences helper(HelperDomain);
    helper.addSuite(ApplicationDomain);
    helper.setValue(ProcessIDKey, 1);
    ASSERT_TRUE(helper.synchronize());
    EXPECT_EQ(fileContents(preferencesFilePath(ApplicationDomain)), damaged);

    preferences.setValue(SerialDeviceKey, "USB1");
    ASSERT_TRUE(preferences.synchronize());
    EXPECT_EQ(Preferences(ApplicationDomain).stringValue(SerialDeviceKey), "USB1");
    // What the user may still rescue by hand is kept beside it.
    EXPECT_EQ(fileContents(preferencesFilePath(ApplicationDomain) + ".damaged"), damaged);

    // A top level that is not a dictionary counts as damaged too.
    ASSERT_TRUE(writeFileAtomically(preferencesFilePath(HelperDomain), "<plist><array/></plist>"));
    EXPECT_FALSE(Preferences(HelperDomain).contains(ProcessIDKey));
}

TEST(Preferences, ALinkedDomainFileIsWrittenThroughAndKeepsItsMode)
{
    // Users keep such files among their dotfiles, linked into place.
    test::TemporaryHome home;
    ASSERT_TRUE(makeDirectories(configDirectory()));
    ASSERT_TRUE(makeDirectories(home.root() + "/dotfiles"));
    const std::string kept = home.root() + "/dotfiles/vantrel.plist";
    ASSERT_TRUE(writeFileAtomically(kept, propertyListToXml(PropertyDictionary())));
    ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
    const std::string linked = preferencesFilePath(ApplicationDomain);
    ASSERT_EQ(symlink(kept.c_str(), linked.c_str()), 0);

    Preferences preferences(ApplicationDomain);
    preferences.setValue(SerialDeviceKey, "USB0");
    ASSERT_TRUE(preferences.synchronize());
    EXPECT_TRUE(std::filesystem::is_symlink(linked));
    EXPECT_EQ(Preferences(ApplicationDomain).stringValue(SerialDeviceKey), "USB0");
    struct stat info
    {
    };
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(Preferences, AFileThatIsNotRegularReadsAsEmptyAndIsReportedOnce)
{
    test::TemporaryHome home;
    ASSERT_TRUE(makeDirectories(configDirectory()));
    ASSERT_EQ(mkfifo(preferencesFilePath(HelperDomain).c_str(), 0600), 0);
    std::vector<std::string> messages;
    setPreferencesWarningSink([&](const std::string& message) { messages.push_back(message); });
    // Reading a FIFO would wait for a writer that never comes.
    alarm(20);
    Preferences preferences(ApplicationDomain);
    preferences.addSuite(HelperDomain);
    preferences.setValue(SerialDeviceKey, "USB0");
    EXPECT_TRUE(preferences.synchronize());
    EXPECT_TRUE(preferences.synchronize());
    alarm(0);
    setPreferencesWarningSink(nullptr);
    EXPECT_FALSE(preferences.contains(ProcessIDKey));
    EXPECT_EQ(preferences.stringValue(SerialDeviceKey), "USB0");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(preferencesFilePath(HelperDomain) + ": a FIFO"), std::string::npos)
        << messages[0];
    EXPECT_EQ(messages[0].find('\n'), std::string::npos);
}

TEST(Preferences, FailedWriteKeepsTheChangesPending)
{
    test::TemporaryHome home;
    // A regular file where the configuration folder should be.
    ASSERT_TRUE(makeDirectories(home.root()));
    ASSERT_TRUE(writeFileAtomically(home.root() + "/config", "not a folder"));
    Preferences preferences(ApplicationDomain);
    preferences.setValue(SerialDeviceKey, "USB0");
    std::string error;
    EXPECT_FALSE(preferences.synchronize(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(preferences.hasPendingChanges());
    EXPECT_EQ(preferences.stringValue(SerialDeviceKey), "USB0");
}

TEST(Preferences, LocationComesFromTheApplicationDomain)
{
    test::TemporaryHome home;
    installLocationPreferences();
    setLocationOverride({});
    Preferences preferences(ApplicationDomain);
    preferences.setValue(LatitudeKey, 52);
    preferences.setValue(LongitudeKey, -1);
    ASSERT_TRUE(preferences.synchronize());
    MachineLocation location;
    ReadLocation(&location);
    EXPECT_EQ(location.latitude, fractFromDegrees(52));
    EXPECT_EQ(location.longitude, fractFromDegrees(-1));

    // Out of range or of the wrong kind: ignored, as if absent.
    preferences.setValue(LatitudeKey, 500);
    preferences.setValue(LongitudeKey, "west");
    ASSERT_TRUE(preferences.synchronize());
    MachineLocation ignored;
    ReadLocation(&ignored);
    setPreferredCoordinateSource(nullptr);
    MachineLocation withoutPreferences;
    ReadLocation(&withoutPreferences);
    EXPECT_EQ(ignored.latitude, withoutPreferences.latitude);
    EXPECT_EQ(ignored.longitude, withoutPreferences.longitude);
    setPreferredCoordinateSource(nullptr);
    setLocationOverride({});
}

} // namespace
} // namespace vantrel
