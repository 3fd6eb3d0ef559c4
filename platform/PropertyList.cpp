#include "platform/PropertyList.h"

#include "platform/Paths.h"
#include "platform/Utf8.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace vantrel {
namespace {

struct PlistFree
{
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

struct XmlFree
{
    void operator()(char* text) const { plist_to_xml_free(text); }
};

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD

// XML carries tab, line feed, carriage return and the characters from U+0020
// on, less U+FFFE and U+FFFF. Anything else (ESC, BEL, NUL), and bytes that
// are not UTF-8, would make a file that other property-list readers refuse;
// each becomes U+FFFD.
std::string xmlCharacters(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                result += static_cast<char>(c);
            else
                result += ReplacementCharacter;
            ++at;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, at);
        const std::string_view sequence = text.substr(at, length);
        if (length == 0 || sequence == "\xEF\xBF\xBE" || sequence == "\xEF\xBF\xBF")
            result += ReplacementCharacter;
        else
            result += sequence;
        at += length == 0 ? 1 : length;
    }
    return result;
}

plist_t toNode(const PropertyValue& value)
{
    switch (value.type()) {
    case PropertyValue::Type::Boolean:
        return plist_new_bool(*value.asBoolean() ? 1 : 0);
    case PropertyValue::Type::Integer:
        // Stored as two's complement; the XML writer prints it signed.
        return plist_new_uint(static_cast<std::uint64_t>(*value.asInteger()));
    case PropertyValue::Type::Real:
        return plist_new_real(*value.asReal());
    case PropertyValue::Type::String:
        return plist_new_string(xmlCharacters(*value.asString()).c_str());
    case PropertyValue::Type::Data: {
        const PropertyData& data = *value.asData();
        return plist_new_data(reinterpret_cast<const char*>(data.data()), data.size());
    }
    case PropertyValue::Type::Date: {
        const double seconds = value.asDate()->secondsSinceReference;
        const double whole = std::floor(seconds);
        const double clamped = std::clamp(whole, double(std::numeric_limits<std::int32_t>::min()),
                                          double(std::numeric_limits<std::int32_t>::max()));
        const auto micro =
            static_cast<std::int32_t>(std::clamp((seconds - whole) * 1e6, 0.0, 999999.0));
        return plist_new_date(static_cast<std::int32_t>(clamped), micro);
    }
    case PropertyValue::Type::Array: {
        plist_t array = plist_new_array();
        for (const PropertyValue& item : *value.asArray())
            plist_array_append_item(array, toNode(item));
        return array;
    }
    case PropertyValue::Type::Dictionary: {
        plist_t dictionary = plist_new_dict();
        for (const auto& [key, item] : value.asDictionary()->entries())
            plist_dict_set_item(dictionary, xmlCharacters(key).c_str(), toNode(item));
        return dictionary;
    }
    }
    return plist_new_dict();
}

bool fromNode(plist_t node, int depth, PropertyValue* result, std::string* error)
{
    if (depth > MaxPropertyListDepth) {
        *error = "the property list is nested too deeply";
        return false;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        *result = PropertyValue(value != 0);
        return true;
    }
    case PLIST_UINT:
    case PLIST_UID: {
        std::uint64_t value = 0;
        if (plist_get_node_type(node) == PLIST_UID)
            plist_get_uid_val(node, &value);
        else
            plist_get_uint_val(node, &value);
        *result = PropertyValue(static_cast<std::int64_t>(value));
        return true;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        *result = PropertyValue(value);
        return true;
    }
    case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        *result = PropertyValue(text ? std::string(text, length) : std::string());
        return true;
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        PropertyData data;
        if (bytes && length > 0)
            data.assign(reinterpret_cast<const std::uint8_t*>(bytes),
                        reinterpret_cast<const std::uint8_t*>(bytes) + length);
        *result = PropertyValue(std::move(data));
        return true;
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0;
        std::int32_t micro = 0;
        plist_get_date_val(node, &seconds, &micro);
        *result = PropertyValue(PropertyDate{seconds + micro / 1e6});
        return true;
    }
    case PLIST_ARRAY: {
        PropertyArray array;
        const std::uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            PropertyValue item;
            if (!fromNode(plist_array_get_item(node, i), depth + 1, &item, error))
                return false;
            array.push_back(std::move(item));
        }
        *result = PropertyValue(std::move(array));
        return true;
    }
    case PLIST_DICT: {
        std::vector<PropertyDictionary::Entry> entries;
        entries.reserve(plist_dict_get_size(node));
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            std::string keyText = key ? key : "";
            std::free(key);
            PropertyValue value;
            if (!fromNode(item, depth + 1, &value, error)) {
                std::free(iterator);
                return false;
            }
            entries.emplace_back(std::move(keyText), std::move(value));
        }
        std::free(iterator);
        *result = PropertyValue(PropertyDictionary::fromEntries(std::move(entries)));
        return true;
    }
    default:
        *error = "the property list holds a value of an unknown kind";
        return false;
    }
}

bool matchesAt(std::string_view text, std::size_t at, std::string_view word)
{
    return text.substr(at, word.size()) == word;
}

// The XML parser below us recurses once per open container, as does freeing
// its tree, so a file of a few megabytes of "<array>" would overflow the
// stack. Counting open and close tags is cruder than parsing, but text that
// holds no elements (comments, CDATA sections, processing instructions) is
// passed over, so only absurd input is refused.
bool nestingWithinLimit(std::string_view xml)
{
    const auto isNameEnd = [&](std::size_t at) {
        if (at >= xml.size())
            return false;
        const char c = xml[at];
        return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
    };
    int depth = 0;
    std::size_t at = xml.find('<');
    while (at != std::string_view::npos) {
        std::string_view endOfText;
        if (matchesAt(xml, at, "<!--"))
            endOfText = "-->";
        else if (matchesAt(xml, at, "<![CDATA["))
            endOfText = "]]>";
        else if (matchesAt(xml, at, "<?"))
            endOfText = "?>";
        if (!endOfText.empty()) {
            // Unterminated: the parser refuses the file anyway.
            const std::size_t end = xml.find(endOfText, at + 2);
            if (end == std::string_view::npos)
                return true;
            at = xml.find('<', end + endOfText.size());
            continue;
        }
        const bool closing = matchesAt(xml, at + 1, "/");
        const std::size_t name = at + (closing ? 2 : 1);
        std::size_t end = 0;
        if (matchesAt(xml, name, "array") && isNameEnd(name + 5))
            end = name + 5;
        else if (matchesAt(xml, name, "dict") && isNameEnd(name + 4))
            end = name + 4;
        if (end != 0) {
            const std::size_t close = xml.find('>', end);
            const bool selfClosing =
                close != std::string_view::npos && close > end && xml[close - 1] == '/';
            if (closing)
                depth = std::max(0, depth - 1);
            else if (!selfClosing && ++depth > MaxPropertyListDepth + 1)
                return false;
        }
        at = xml.find('<', at + 1);
    }
    return true;
}

} // namespace

PropertyDate propertyDateFromUnix(std::time_t unixTime)
{
    return PropertyDate{
        static_cast<double>(static_cast<std::int64_t>(unixTime) - UnixToReferenceSeconds)};
}

std::time_t unixFromPropertyDate(PropertyDate date)
{
    return static_cast<std::time_t>(std::floor(date.secondsSinceReference)) +
           UnixToReferenceSeconds;
}

const PropertyValue* PropertyDictionary::find(std::string_view key) const
{
    const auto it =
        std::lower_bound(m_entries.begin(), m_entries.end(), key,
                         [](const Entry& entry, std::string_view k) { return entry.first < k; });
    return it != m_entries.end() && it->first == key ? &it->second : nullptr;
}

PropertyValue* PropertyDictionary::find(std::string_view key)
{
    return const_cast<PropertyValue*>(std::as_const(*this).find(key));
}

void PropertyDictionary::set(std::string key, PropertyValue value)
{
    const auto it =
        std::lower_bound(m_entries.begin(), m_entries.end(), key,
                         [](const Entry& entry, const std::string& k) { return entry.first < k; });
    if (it != m_entries.end() && it->first == key)
        it->second = std::move(value);
    else
        m_entries.insert(it, Entry(std::move(key), std::move(value)));
}

bool PropertyDictionary::remove(std::string_view key)
{
    const auto it =
        std::lower_bound(m_entries.begin(), m_entries.end(), key,
                         [](const Entry& entry, std::string_view k) { return entry.first < k; });
    if (it == m_entries.end() || it->first != key)
        return false;
    m_entries.erase(it);
    return true;
}

PropertyDictionary PropertyDictionary::fromEntries(std::vector<Entry> entries)
{
    const auto byKey = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    PropertyDictionary dictionary;
    // Files we wrote hold their keys sorted already.
    if (std::adjacent_find(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return !(a.first < b.first);
        }) == entries.end()) {
        dictionary.m_entries = std::move(entries);
        return dictionary;
    }
    std::stable_sort(entries.begin(), entries.end(), byKey);
    std::vector<Entry>& kept = dictionary.m_entries;
    kept.reserve(entries.size());
    for (Entry& entry : entries) {
        if (!kept.empty() && kept.back().first == entry.first)
            kept.back().second = std::move(entry.second);
        else
            kept.push_back(std::move(entry));
    }
    return dictionary;
}

bool PropertyDictionary::operator==(const PropertyDictionary& other) const
{
    return m_entries == other.m_entries;
}

PropertyValue::PropertyValue() : m_value(PropertyDictionary()) {}
PropertyValue::PropertyValue(bool value) : m_value(value) {}
PropertyValue::PropertyValue(double value) : m_value(value) {}
PropertyValue::PropertyValue(std::string value) : m_value(std::move(value)) {}
PropertyValue::PropertyValue(const char* value) : m_value(std::string(value ? value : "")) {}
PropertyValue::PropertyValue(PropertyData value) : m_value(std::move(value)) {}
PropertyValue::PropertyValue(PropertyDate value) : m_value(value) {}
PropertyValue::PropertyValue(PropertyArray value) : m_value(std::move(value)) {}
PropertyValue::PropertyValue(PropertyDictionary value) : m_value(std::move(value)) {}

bool PropertyValue::operator==(const PropertyValue& other) const
{
    return m_value == other.m_value;
}

const char* PropertyValue::typeName(Type type)
{
    switch (type) {
    case Type::Boolean:
        return "a boolean";
    case Type::Integer:
        return "an integer";
    case Type::Real:
        return "a real number";
    case Type::String:
        return "a string";
    case Type::Data:
        return "data";
    case Type::Date:
        return "a date";
    case Type::Array:
        return "a list";
    case Type::Dictionary:
        return "a dictionary";
    }
    return "a value";
}

std::string propertyListToXml(const PropertyValue& value)
{
    PlistNode node(toNode(value));
    char* text = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.get(), &text, &length);
    std::unique_ptr<char, XmlFree> owned(text);
    return text ? std::string(text, length) : std::string();
}

bool propertyListFromXml(std::string_view xml, PropertyValue* value, std::string* error)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    if (xml.empty() || xml.size() > std::numeric_limits<std::uint32_t>::max()) {
        message = "the file is not a property list";
        return false;
    }
    if (!nestingWithinLimit(xml)) {
        message = "the property list is nested too deeply";
        return false;
    }
    plist_t parsed = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &parsed);
    PlistNode node(parsed);
    if (!node) {
        message = "the file is not a property list";
        return false;
    }
    PropertyValue result;
    if (!fromNode(node.get(), 0, &result, &message))
        return false;
    *value = std::move(result);
    return true;
}

bool readPropertyListFile(const std::string& path, PropertyValue* value, std::string* error)
{
    std::string contents;
    if (!readWholeFile(path, &contents, error))
        return false;
    return propertyListFromXml(contents, value, error);
}

bool writePropertyListFile(const std::string& path, const PropertyValue& value, std::string* error)
{
    return writeFileAtomically(path, propertyListToXml(value), error);
}

} // namespace vantrel
