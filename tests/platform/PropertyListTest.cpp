#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace vantrel {
namespace {

PropertyValue everyKind()
{
    PropertyDictionary inner;
    inner.set("Event Index", 3);
    inner.set("Module Index", -2);
    PropertyDictionary top;
    top.set("flag", true);
    top.set("number", std::int64_t(-9000000000));
    top.set("real", 2.5);
    top.set("text", "A & B <c> \"d\" \xC3\xA9t\xC3\xA9");
    top.set("bytes", PropertyData{0, 1, 2, 0xFF});
    top.set("empty bytes", PropertyData{});
    top.set("when", propertyDateFromUnix(1173279840));
    top.set("list", PropertyArray{PropertyValue(1), PropertyValue("two"), PropertyValue(inner)});
    top.set("nothing", PropertyArray{});
    return top;
}

TEST(PropertyList, EveryKindSurvivesTheXmlForm)
{
    const PropertyValue original = everyKind();
    PropertyValue back;
    std::string error;
    ASSERT_TRUE(propertyListFromXml(propertyListToXml(original), &back, &error)) << error;
    EXPECT_EQ(back, original);
}

TEST(PropertyList, DictionaryKeepsKeysSortedAndUnique)
{
    PropertyDictionary dictionary;
    dictionary.set("b", 1);
    dictionary.set("a", 2);
    dictionary.set("b", 3);
    ASSERT_EQ(dictionary.size(), 2u);
    EXPECT_EQ(dictionary.entries()[0].first, "a");
    EXPECT_EQ(*dictionary.find("b")->asInteger(), 3);
    EXPECT_TRUE(dictionary.remove("a"));
    EXPECT_FALSE(dictionary.remove("a"));
    EXPECT_EQ(dictionary.find("a"), nullptr);
}

TEST(PropertyList, TypedAccessGivesNothingForAnotherKind)
{
    const PropertyValue text("3");
    EXPECT_EQ(text.asInteger(), nullptr);
    EXPECT_EQ(text.asBoolean(), nullptr);
    ASSERT_NE(text.asString(), nullptr);
    EXPECT_EQ(PropertyValue(true).type(), PropertyValue::Type::Boolean);
    EXPECT_EQ(PropertyValue(7u).type(), PropertyValue::Type::Integer);
    EXPECT_EQ(PropertyValue().type(), PropertyValue::Type::Dictionary);
}

TEST(PropertyList, DatesConvertToAndFromUnixTime)
{
    // 2007-03-07 15:04 UTC.
    const PropertyDate date = propertyDateFromUnix(1173279840);
    EXPECT_EQ(date.secondsSinceReference, 1173279840.0 - 978307200.0);
    EXPECT_EQ(unixFromPropertyDate(date), 1173279840);
    EXPECT_NE(propertyListToXml(PropertyValue(date)).find("<date>2007-03-07T15:04:00Z</date>"),
              std::string::npos);
}

TEST(PropertyList, RefusesWhatIsNotAPropertyList)
{
    const struct
    {
        const char* legend;
        std::string text;
    } rows[] = {
        {"empty", ""},
        {"plain text", "hello"},
        {"unclosed", "<plist version=\"1.0\"><dict><key>a</key>"},
        {"nesting beyond the limit",
         [] {
             std::string s = "<plist version=\"1.0\">";
             for (int i = 0; i < MaxPropertyListDepth + 5; ++i)
                 s += "<array>";
             for (int i = 0; i < MaxPropertyListDepth + 5; ++i)
                 s += "</array>";
             return s + "</plist>";
         }()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        PropertyValue value(42);
        std::string error;
        EXPECT_FALSE(propertyListFromXml(row.text, &value, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(value, PropertyValue(42));
    }
}

TEST(PropertyList, AcceptsNestingUpToTheLimitAndEmptyContainers)
{
    std::string s = "<plist version=\"1.0\">";
    for (int i = 0; i < 10; ++i)
        s += "<array>";
    s += "<array/><dict/>";
    for (int i = 0; i < 10; ++i)
        s += "</array>";
    s += "</plist>";
    PropertyValue value;
    std::string error;
    EXPECT_TRUE(propertyListFromXml(s, &value, &error)) << error;
}

TEST(PropertyList, TagsInCommentsAndCdataAreNotNesting)
{
    std::string tags;
    for (int i = 0; i < 2 * MaxPropertyListDepth; ++i)
        tags += "<array><dict>";
    const std::string xml = "<?xml version=\"1.0\"?><!-- " + tags +
                            " --><plist version=\"1.0\"><dict><key>N</key><string><![CDATA[" +
                            tags + "]]></string></dict></plist>";
    PropertyValue value;
    std::string error;
    ASSERT_TRUE(propertyListFromXml(xml, &value, &error)) << error;
    EXPECT_EQ(*value.asDictionary()->find("N")->asString(), tags);
}

TEST(PropertyList, WritesOnlyCharactersXmlCanCarry)
{
    // ESC, BEL and NUL; a byte that is not UTF-8; a surrogate's encoding; U+FFFE.
    const std::string raw = std::string("Porch\x1b]0;x\x07 \xff lamp\0!", 20) +
                            "\xC3\xA9 \xED\xA0\x80 \xEF\xBF\xBE\tend";
    PropertyDictionary dictionary;
    dictionary.set("N", raw);
    dictionary.set("key\x1b", 1);
    const std::string xml = propertyListToXml(dictionary);
    for (const unsigned char c : xml)
        ASSERT_TRUE(c >= 0x20 || c == '\t' || c == '\n') << int(c);

    const std::string fffd = "\xEF\xBF\xBD";
    PropertyValue back;
    ASSERT_TRUE(propertyListFromXml(xml, &back));
    EXPECT_EQ(*back.asDictionary()->find("N")->asString(),
              "Porch" + fffd + "]0;x" + fffd + " " + fffd + " lamp" + fffd + "!\xC3\xA9 " + fffd +
                  fffd + fffd + " " + fffd + "\tend");
    EXPECT_NE(back.asDictionary()->find("key" + fffd), nullptr);
    // Written again, the file is the same.
    EXPECT_EQ(propertyListToXml(back), xml);

    // What earlier versions wrote, control characters and all, still reads.
    const std::string old = "<plist version=\"1.0\"><dict><key>N</key><string>a\x1b[2Jb\xff"
                            "</string></dict></plist>";
    ASSERT_TRUE(propertyListFromXml(old, &back));
    EXPECT_EQ(*back.asDictionary()->find("N")->asString(), "a\x1b[2Jb\xff");
}

// Keys of one width, so that their text order is their number order.
std::string numberedKey(int number)
{
    char key[16];
    std::snprintf(key, sizeof key, "k%06d", number);
    return key;
}

TEST(PropertyList, ReadsAHugeDictionaryInAnyKeyOrder)
{
    // Inserting each key into a sorted vector took 36 s for these descending
    // keys on the build machine; reading them all and sorting once takes
    // 0.7 s, a few times that under the sanitizers.
    constexpr int Count = 80000;
    std::string xml = "<plist version=\"1.0\"><dict>";
    for (int number = Count; number-- > 0;)
        xml += "<key>" + numberedKey(number) + "</key><integer>" + std::to_string(number) +
               "</integer>";
    xml += "</dict></plist>";

    const auto start = std::chrono::steady_clock::now();
    PropertyValue value;
    std::string error;
    ASSERT_TRUE(propertyListFromXml(xml, &value, &error)) << error;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(10));

    const PropertyDictionary& dictionary = *value.asDictionary();
    ASSERT_EQ(dictionary.size(), std::size_t(Count));
    for (int number = 0; number < Count; ++number) {
        const auto& [key, item] = dictionary.entries()[static_cast<std::size_t>(number)];
        ASSERT_EQ(key, numberedKey(number));
        ASSERT_EQ(*item.asInteger(), number);
    }
}

TEST(PropertyList, DictionaryFromEntriesMatchesOneBuiltKeyByKey)
{
    const std::vector<PropertyDictionary::Entry> rows = {
        {"b", 1}, {"a", 2}, {"c", 3}, {"b", 4}, {"a", 5}, {"", 6},
    };
    PropertyDictionary byKey;
    for (const auto& [key, value] : rows)
        byKey.set(key, value);
    const PropertyDictionary sortedOnce = PropertyDictionary::fromEntries(rows);
    EXPECT_EQ(sortedOnce, byKey);
    EXPECT_EQ(*sortedOnce.find("b")->asInteger(), 4);
    EXPECT_EQ(propertyListToXml(sortedOnce), propertyListToXml(byKey));

    // Sorted and unique already: taken as it comes.
    const PropertyDictionary sorted = PropertyDictionary::fromEntries({{"a", 1}, {"b", 2}});
    EXPECT_EQ(sorted.entries().front().first, "a");
    EXPECT_EQ(sorted.size(), 2u);
    EXPECT_TRUE(PropertyDictionary::fromEntries({}).empty());
}

TEST(PropertyList, RepeatedKeyInAFileKeepsTheLastValue)
{
    PropertyValue value;
    ASSERT_TRUE(propertyListFromXml("<plist version=\"1.0\"><dict><key>b</key><integer>1"
                                    "</integer><key>a</key><integer>2</integer><key>b</key>"
                                    "<integer>3</integer></dict></plist>",
                                    &value));
    const PropertyDictionary& dictionary = *value.asDictionary();
    ASSERT_EQ(dictionary.size(), 2u);
    EXPECT_EQ(dictionary.entries()[0].first, "a");
    EXPECT_EQ(*dictionary.find("b")->asInteger(), 3);
}

} // namespace
} // namespace vantrel
