#include "platform/Preferences.h"

#include "platform/Location.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace vantrel {

std::string preferencesFilePath(const std::string& domain)
{
    return configDirectory() + "/" + domain + ".plist";
}

namespace {

PreferencesWarningSink& warningSink()
{
    static PreferencesWarningSink sink;
    return sink;
}

// Files reported since they last read well, so that the helper, which
// re-reads every few minutes, says it once.
std::set<std::string>& reportedFiles()
{
    static std::set<std::string> files;
    return files;
}

void reportUnreadable(const std::string& path, const std::string& reason)
{
    if (!reportedFiles().insert(path).second)
        return;
    const std::string where = reason.rfind(path, 0) == 0 ? reason : path + ": " + reason;
    const std::string message = where + "; its preferences are taken as empty";
    if (warningSink())
        warningSink()(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

} // namespace

void setPreferencesWarningSink(PreferencesWarningSink sink)
{
    warningSink() = std::move(sink);
}

PropertyDictionary Preferences::readDomain(const std::string& name, bool* damaged)
{
    if (damaged)
        *damaged = false;
    // A damaged file is taken as empty, as a missing one is; it stays on
    // disk until its owner writes the domain again.
    const std::string path = preferencesFilePath(name);
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        reportedFiles().erase(path);
        return {};
    }
    PropertyValue plist;
    std::string error;
    if (!readPropertyListFile(path, &plist, &error)) {
        if (damaged)
            *damaged = true;
        reportUnreadable(path, error);
        return {};
    }
    PropertyDictionary* values = plist.asDictionary();
    if (!values) {
        if (damaged)
            *damaged = true;
        reportUnreadable(path, std::string("the top level is ") +
                                   PropertyValue::typeName(plist.type()) + ", not a dictionary");
        return {};
    }
    reportedFiles().erase(path);
    return std::move(*values);
}

Preferences::Preferences(std::string domain)
{
    m_own.name = std::move(domain);
    readOwnDomain();
}

void Preferences::readOwnDomain()
{
    m_ownFileSeen = fileIdentity(preferencesFilePath(m_own.name));
    m_own.values = readDomain(m_own.name);
}

bool Preferences::ownFileChangedSinceRead() const
{
    return !m_ownFileSeen || fileIdentity(preferencesFilePath(m_own.name)) != *m_ownFileSeen;
}

void Preferences::addSuite(const std::string& domain)
{
    if (domain == m_own.name)
        return;
    for (const Domain& suite : m_suites)
        if (suite.name == domain)
            return;
    m_suites.push_back(Domain{domain, readDomain(domain)});
}

const PropertyValue* Preferences::value(std::string_view key) const
{
    if (const PropertyValue* found = m_own.values.find(key))
        return found;
    for (const Domain& suite : m_suites)
        if (const PropertyValue* found = suite.values.find(key))
            return found;
    return nullptr;
}

std::optional<std::string> Preferences::stringValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    if (const std::string* text = found ? found->asString() : nullptr)
        return *text;
    return std::nullopt;
}

std::optional<std::int64_t> Preferences::integerValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    if (const std::int64_t* number = found ? found->asInteger() : nullptr)
        return *number;
    return std::nullopt;
}

std::optional<bool> Preferences::boolValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    if (const bool* flag = found ? found->asBoolean() : nullptr)
        return *flag;
    return std::nullopt;
}

std::optional<PropertyData> Preferences::dataValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    if (const PropertyData* data = found ? found->asData() : nullptr)
        return *data;
    return std::nullopt;
}

std::optional<PropertyDate> Preferences::dateValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    if (const PropertyDate* date = found ? found->asDate() : nullptr)
        return *date;
    return std::nullopt;
}

std::optional<std::time_t> Preferences::unixDateValue(std::string_view key) const
{
    if (const auto date = dateValue(key))
        return unixFromPropertyDate(*date);
    return std::nullopt;
}

const PropertyArray* Preferences::arrayValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    return found ? found->asArray() : nullptr;
}

const PropertyDictionary* Preferences::dictionaryValue(std::string_view key) const
{
    const PropertyValue* found = value(key);
    return found ? found->asDictionary() : nullptr;
}

void Preferences::setValue(std::string key, PropertyValue value)
{
    // Recorded even when the value read last is the same: another process
    // may have written a different one since, and the later write wins.
    m_own.values.set(key, value);
    m_pending.insert_or_assign(std::move(key), std::move(value));
}

void Preferences::setUnixDate(std::string key, std::time_t unixTime)
{
    setValue(std::move(key), propertyDateFromUnix(unixTime));
}

void Preferences::removeValue(std::string_view key)
{
    m_own.values.remove(key);
    m_pending.insert_or_assign(std::string(key), std::nullopt);
}

namespace {

// Held across read, merge and write, so that two writers of one domain
// cannot each merge into the file as it was before the other's write.
class FolderLock
{
  public:
    explicit FolderLock(const std::string& folder)
        : m_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd < 0)
            return;
        while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            close(m_fd); // drops the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool isHeld() const { return m_fd >= 0; }

  private:
    int m_fd;
};

} // namespace

bool Preferences::writePending(std::string* error)
{
    const std::string folder = configDirectory();
    if (!makeDirectories(folder)) {
        if (error)
            *error = folder + ": " + std::strerror(errno);
        return false;
    }
    const FolderLock lock(folder);
    if (!lock.isHeld()) {
        if (error)
            *error = folder + ": " + std::strerror(errno);
        return false;
    }
    const std::string path = preferencesFilePath(m_own.name);
    std::optional<FileIdentity> seen = fileIdentity(path);
    bool damaged = false;
    PropertyDictionary merged = readDomain(m_own.name, &damaged);
    bool changed = damaged;
    for (const auto& [key, value] : m_pending) {
        const PropertyValue* onDisk = merged.find(key);
        if (value) {
            if (!onDisk || !(*onDisk == *value)) {
                merged.set(key, *value);
                changed = true;
            }
        } else if (merged.remove(key)) {
            changed = true;
        }
    }
    if (changed) {
        if (damaged) {
            // Whatever the user can still rescue by hand is not lost.
            std::string bytes;
            if (readWholeFile(path, &bytes))
                writeFileAtomically(path + ".damaged", bytes);
        }
        if (!writePropertyListFile(path, PropertyValue(merged), error))
            return false;
        seen = fileIdentity(path);
    }
    m_pending.clear();
    m_ownFileSeen = seen;
    m_own.values = std::move(merged);
    return true;
}

bool Preferences::synchronize(std::string* error)
{
    bool written = true;
    if (!m_pending.empty()) {
        written = writePending(error);
        if (!written) {
            // The keys set here still read as set until a write succeeds.
            for (Domain& suite : m_suites)
                suite.values = readDomain(suite.name);
            return false;
        }
    } else {
        readOwnDomain();
    }
    for (Domain& suite : m_suites)
        suite.values = readDomain(suite.name);
    return written;
}

namespace {

std::optional<int> coordinateFromPreferences(const char* key)
{
    const Preferences preferences(ApplicationDomain);
    const auto degrees = preferences.integerValue(key);
    if (!degrees)
        return std::nullopt;
    const std::int64_t limit = std::strcmp(key, LatitudeKey) == 0 ? 90 : 180;
    if (*degrees < -limit || *degrees > limit)
        return std::nullopt;
    return static_cast<int>(*degrees);
}

} // namespace

void installLocationPreferences()
{
    setPreferredCoordinateSource(coordinateFromPreferences);
}

} // namespace vantrel
