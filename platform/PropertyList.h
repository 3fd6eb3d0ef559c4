#pragma once

// Property-list values in memory, and their XML form. Documents, the
// preferences store and the pasteboard all keep their data as property lists;
// this small value type keeps the rest of the code away from the C library's
// node ownership rules, and the XML reader here refuses input that could make
// that library overflow its stack.

#include <concepts>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vantrel {

// A property-list date: seconds since 2001-01-01 00:00 UTC.
struct PropertyDate
{
    double secondsSinceReference = 0;
    auto operator<=>(const PropertyDate&) const = default;
};

// Seconds from 1970-01-01 to 2001-01-01.
constexpr std::int64_t UnixToReferenceSeconds = 978307200;

PropertyDate propertyDateFromUnix(std::time_t unixTime);
std::time_t unixFromPropertyDate(PropertyDate date);

class PropertyValue;
using PropertyData = std::vector<std::uint8_t>;
using PropertyArray = std::vector<PropertyValue>;

// Keys kept sorted, so that writing the same content twice gives the same bytes.
class PropertyDictionary
{
  public:
    using Entry = std::pair<std::string, PropertyValue>;

    const PropertyValue* find(std::string_view key) const;
    PropertyValue* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    void set(std::string key, PropertyValue value);
    // True when the key was there.
    bool remove(std::string_view key);
    // Defined below PropertyValue: clang wants it complete here.
    std::size_t size() const;
    bool empty() const;
    const std::vector<Entry>& entries() const { return m_entries; }

    // Entries in any order, as a reader meets them, sorted once: calling set()
    // for each would move the tail of the vector on every key that comes
    // before the ones already there. Of entries with one key the last wins,
    // as with set().
    static PropertyDictionary fromEntries(std::vector<Entry> entries);

    bool operator==(const PropertyDictionary& other) const;

  private:
    std::vector<Entry> m_entries;
};

class PropertyValue
{
  public:
    enum class Type
    {
        Boolean,
        Integer,
        Real,
        String,
        Data,
        Date,
        Array,
        Dictionary
    };

    // An empty dictionary.
    PropertyValue();
    PropertyValue(bool value);
    template <std::integral T>
    requires(!std::same_as<T, bool>) PropertyValue(T value)
        : m_value(static_cast<std::int64_t>(value))
    {}
    PropertyValue(double value);
    PropertyValue(std::string value);
    PropertyValue(const char* value);
    PropertyValue(PropertyData value);
    PropertyValue(PropertyDate value);
    PropertyValue(PropertyArray value);
    PropertyValue(PropertyDictionary value);

    Type type() const { return static_cast<Type>(m_value.index()); }
    static const char* typeName(Type type);

    // Each gives the value when it has that type, else nullptr.
    const bool* asBoolean() const { return std::get_if<bool>(&m_value); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&m_value); }
    const double* asReal() const { return std::get_if<double>(&m_value); }
    const std::string* asString() const { return std::get_if<std::string>(&m_value); }
    const PropertyData* asData() const { return std::get_if<PropertyData>(&m_value); }
    const PropertyDate* asDate() const { return std::get_if<PropertyDate>(&m_value); }
    const PropertyArray* asArray() const { return std::get_if<PropertyArray>(&m_value); }
    PropertyArray* asArray() { return std::get_if<PropertyArray>(&m_value); }
    const PropertyDictionary* asDictionary() const
    {
        return std::get_if<PropertyDictionary>(&m_value);
    }
    PropertyDictionary* asDictionary() { return std::get_if<PropertyDictionary>(&m_value); }

    bool operator==(const PropertyValue& other) const;

  private:
    // Alternatives in the order of Type.
    std::variant<bool, std::int64_t, double, std::string, PropertyData, PropertyDate, PropertyArray,
                 PropertyDictionary>
        m_value;
};

inline std::size_t PropertyDictionary::size() const
{
    return m_entries.size();
}
inline bool PropertyDictionary::empty() const
{
    return m_entries.empty();
}

// Deeper nesting than any of our files use; the parser below us recurses.
constexpr int MaxPropertyListDepth = 64;

std::string propertyListToXml(const PropertyValue& value);
// On failure *value is unchanged and error says why.
bool propertyListFromXml(std::string_view xml, PropertyValue* value, std::string* error = nullptr);

bool readPropertyListFile(const std::string& path, PropertyValue* value,
                          std::string* error = nullptr);
// Atomic: on failure the old file stays as it was.
bool writePropertyListFile(const std::string& path, const PropertyValue& value,
                           std::string* error = nullptr);

} // namespace vantrel
