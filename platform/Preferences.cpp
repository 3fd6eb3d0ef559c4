#include "platform/Preferences.h"

#include "platform/Location.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
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

PropertyDictionary Preferences::readDomain(const std::string& name)
{
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
        reportUnreadable(path, error);
        return {};
    }
    PropertyDictionary* values = plist.asDictionary();
    if (!values) {
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
    m_own.values = readDomain(m_own.name);
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
    const PropertyValue* old = m_own.values.find(key);
    if (old && *old == value)
        return;
    m_own.values.set(std::move(key), std::move(value));
    m_changed = true;
}

void Preferences::setUnixDate(std::string key, std::time_t unixTime)
{
    setValue(std::move(key), propertyDateFromUnix(unixTime));
}

void Preferences::removeValue(std::string_view key)
{
    if (m_own.values.remove(key))
        m_changed = true;
}

bool Preferences::synchronize(std::string* error)
{
    bool written = true;
    if (m_changed) {
        const std::string folder = configDirectory();
        if (!makeDirectories(folder)) {
            if (error)
                *error = folder + ": " + std::strerror(errno);
            written = false;
        } else if (writePropertyListFile(preferencesFilePath(m_own.name),
                                         PropertyValue(m_own.values), error)) {
            m_changed = false;
        } else {
            written = false;
        }
    } else {
        m_own.values = readDomain(m_own.name);
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
