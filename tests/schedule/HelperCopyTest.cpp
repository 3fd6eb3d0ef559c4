#include "schedule/HelperCopy.h"

#include "schedule/ModulesDocument.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <bit>

namespace vantrel {
namespace {

ModuleList sampleModules()
{
    Event event;
    event.Date = 0x11223344;
    event.Flags = DefaultEventFlags;
    Module lamp;
    lamp.name = "Lamp";
    lamp.houseCode = 1;
    lamp.unit = 3;
    lamp.type = LightType;
    lamp.events = {eventToData(event)};
    return {lamp, Module{}};
}

TEST(HelperCopy, ApplicationStoresAndHelperReadsThroughItsSuite)
{
    test::TemporaryHome home;
    Preferences helper(HelperDomain);
    helper.addSuite(ApplicationDomain);
    EXPECT_FALSE(readHelperCopy(helper));

    Preferences application(ApplicationDomain);
    std::string error;
    ASSERT_TRUE(storeHelperCopy(application, sampleModules(), {2, 1}, &error)) << error;
    ASSERT_TRUE(helper.synchronize());
    const auto copy = readHelperCopy(helper, &error);
    ASSERT_TRUE(copy) << error;
    EXPECT_EQ(copy->modules, sampleModules());
    EXPECT_EQ(copy->eventRepeat, (ClassicEventRepeat{2, 1}));
}

TEST(HelperCopy, EventItemsAreInHostOrder)
{
    test::TemporaryHome home;
    Preferences application(ApplicationDomain);
    ASSERT_TRUE(storeHelperCopy(application, sampleModules(), {1, 1}));
    const Preferences reread(ApplicationDomain);
    const PropertyArray* modules = reread.arrayValue(HelperModulesKey);
    ASSERT_NE(modules, nullptr);
    const PropertyValue& events = *(*modules)[0].asDictionary()->find(ModuleEventsKey);
    const PropertyData& item = *(*events.asArray())[0].asData();
    ASSERT_EQ(item.size(), EventDataSize);
    if constexpr (std::endian::native == std::endian::little) {
        EXPECT_EQ(item[16], 0x20);
        EXPECT_EQ(item[17], 0x7F);
        EXPECT_EQ(item[0], 0x44);
    } else {
        EXPECT_EQ(item[16], 0x7F);
        EXPECT_EQ(item[17], 0x20);
    }
    EXPECT_EQ(reread.dataValue(HelperEventRepeatKey), (PropertyData{1, 1}));
}

TEST(HelperCopy, MissingKeysAreNotAnError)
{
    test::TemporaryHome home;
    Preferences application(ApplicationDomain);
    application.setValue(HelperModulesKey, PropertyArray{});
    std::string error = "stale";
    EXPECT_FALSE(readHelperCopy(application, &error));
    EXPECT_TRUE(error.empty());
}

TEST(HelperCopy, DamagedValuesAreRefusedWithAReason)
{
    test::TemporaryHome home;
    PropertyDictionary badModule;
    badModule.set(ModuleHouseCodeKey, 16);
    const struct
    {
        const char* legend;
        PropertyValue modules;
        PropertyValue repeat;
        const char* expectedError;
    } rows[] = {
        {"modules not a list", PropertyValue("x"), PropertyData{1, 1}, "not a list"},
        {"house code 16", PropertyArray{PropertyValue(badModule)}, PropertyData{1, 1},
         "module 1: house code 16 is out of range"},
        {"repeat counts of one byte", PropertyArray{moduleToPropertyList([] {
             Module module;
             return module;
         }())},
         PropertyData{1}, "\"EventRepeat\" is 1 bytes long, not 2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        Preferences application(ApplicationDomain);
        application.setValue(HelperModulesKey, row.modules);
        application.setValue(HelperEventRepeatKey, row.repeat);
        std::string error;
        EXPECT_FALSE(readHelperCopy(application, &error));
        EXPECT_NE(error.find(row.expectedError), std::string::npos) << error;
    }
}

} // namespace
} // namespace vantrel
