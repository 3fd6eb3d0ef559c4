#pragma once

// The per-user preferences store: one XML property-list file per domain in
// the configuration folder. A process writes only its own domain and reads
// others as suites; synchronize() is where the programs meet, so a value set
// in one becomes visible to another only after the writer and then the
// reader have synchronized. Several processes may write one domain (two
// copies of a program, its command-line tool): each writes only the keys it
// set or removed, merged into the file as it is on disk, so nobody puts back
// a value another process wrote since.

#include "platform/FileIdentity.h"
#include "platform/PropertyList.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

constexpr const char* ApplicationDomain = "net.vantrel.Vantrel";
constexpr const char* HelperDomain = "net.vantrel.VantrelHelper";

// Application domain.
constexpr const char* SerialDeviceKey = "SerialDevice";
constexpr const char* LastModulesFileKey = "Last Modules File";
constexpr const char* DisclaimerAcceptedKey = "DisclaimerAccepted";
constexpr const char* NoHelperKey = "No Helper";
constexpr const char* HelperModulesKey = "Modules";
constexpr const char* HelperEventRepeatKey = "EventRepeat";
constexpr const char* LatitudeKey = "Latitude";
constexpr const char* LongitudeKey = "Longitude";
// Read by the helper too: after a download, read the events back and compare.
constexpr const char* CheckAfterSendKey = "Check After Send";
// Both domains, each written by its own program: the base house code last
// read from or set in the interface (its letter), and when.
constexpr const char* BaseHouseCodeKey = "Base House Code";
constexpr const char* BaseHouseCodeDateKey = "Base House Code Date";
// Helper domain.
constexpr const char* SendTimeKey = "Send Time";
constexpr const char* ProcessIDKey = "Process ID";

// configDirectory() + "/" + domain + ".plist"
std::string preferencesFilePath(const std::string& domain);

class Preferences
{
  public:
    // Reads the domain's file; a missing or damaged file reads as empty.
    explicit Preferences(std::string domain);

    const std::string& domain() const { return m_own.name; }

    // Reads look in this object's own domain first, then in the suites in
    // the order they were added.
    void addSuite(const std::string& domain);

    const PropertyValue* value(std::string_view key) const;
    bool contains(std::string_view key) const { return value(key) != nullptr; }
    // Each is empty when the key is absent or holds another kind of value.
    std::optional<std::string> stringValue(std::string_view key) const;
    std::optional<std::int64_t> integerValue(std::string_view key) const;
    std::optional<bool> boolValue(std::string_view key) const;
    std::optional<PropertyData> dataValue(std::string_view key) const;
    std::optional<PropertyDate> dateValue(std::string_view key) const;
    std::optional<std::time_t> unixDateValue(std::string_view key) const;
    const PropertyArray* arrayValue(std::string_view key) const;
    const PropertyDictionary* dictionaryValue(std::string_view key) const;

    // Changes go to the own domain at once and reach the disk at
    // synchronize(), key by key.
    void setValue(std::string key, PropertyValue value);
    void setUnixDate(std::string key, std::time_t unixTime);
    void removeValue(std::string_view key);

    // Under a lock on the configuration folder, reads the own domain as it
    // is on disk, applies the keys set or removed here since the last
    // synchronize and writes the result atomically (only when that changes
    // the file); then every domain reads as it is on disk. A damaged file
    // about to be replaced is kept beside it as "<file>.damaged". False when
    // the write failed; the changes stay pending for the next call.
    bool synchronize(std::string* error = nullptr);
    bool hasPendingChanges() const { return !m_pending.empty(); }
    // Whether the own domain's file is another than the one last read or
    // written here, told by a stat, not a read.
    bool ownFileChangedSinceRead() const;

  private:
    struct Domain
    {
        std::string name;
        PropertyDictionary values;
    };
    // Empty when missing or damaged; *damaged tells the two apart.
    static PropertyDictionary readDomain(const std::string& name, bool* damaged = nullptr);
    bool writePending(std::string* error);
    void readOwnDomain();

    Domain m_own;
    // The own file as seen just before it was last read, or as this process
    // left it when it last wrote it (under the folder lock); unset until then.
    std::optional<std::optional<FileIdentity>> m_ownFileSeen;
    std::vector<Domain> m_suites;
    // Keys set (a value) or removed (none) since the last synchronize.
    std::map<std::string, std::optional<PropertyValue>, std::less<>> m_pending;
};

// Where a domain file that is there but cannot be read (damaged, or not a
// regular file) is reported; it is then taken as empty. Each such file is
// reported once, and again only after it has read well or been absent in
// between. Without a sink the report goes to standard error.
using PreferencesWarningSink = std::function<void(const std::string& message)>;
void setPreferencesWarningSink(PreferencesWarningSink sink);

// Lets the location layer take "Latitude" and "Longitude" (whole degrees)
// from the application's domain when the user has set them.
void installLocationPreferences();

} // namespace vantrel
