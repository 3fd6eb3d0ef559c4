#include "schedule/ModuleEditing.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

Event dimmedOn()
{
    Event e;
    e.Flags = EventOnFlag | EventClockTimeFlag | EventDaysMask;
    e.Brightness = 4;
    return e;
}

Event plainOff()
{
    Event e;
    e.Flags = EventClockTimeFlag | EventDaysMask;
    e.Brightness = 9;
    return e;
}

Module lightWithEvents()
{
    Module m;
    m.name = "Porch";
    m.houseCode = 2;
    m.unit = 5;
    m.type = LightType;
    m.events = {eventToData(dimmedOn()), eventToData(plainOff())};
    return m;
}

Event eventAt(const Module& m, std::size_t i)
{
    return *eventFromData(m.events[i]);
}

TEST(ModuleEditing, ColumnIdentifiers)
{
    EXPECT_EQ(moduleColumnForIdentifier("C"), ModuleColumn::HouseCode);
    EXPECT_EQ(moduleColumnForIdentifier("#"), ModuleColumn::Unit);
    EXPECT_EQ(moduleColumnForIdentifier("T"), ModuleColumn::Type);
    EXPECT_EQ(moduleColumnForIdentifier("N"), ModuleColumn::Name);
    EXPECT_EQ(moduleColumnForIdentifier("X"), std::nullopt);
}

TEST(ModuleEditing, AllModulesTurnsEveryEventOffAtFullBrightness)
{
    ModuleList modules = {Module{}, lightWithEvents()};
    const ModuleCellChange change =
        commitModuleCell(modules, 1, ModuleColumn::Unit, std::int64_t{AllModulesUnit});
    EXPECT_TRUE(change.eventsRewritten);
    EXPECT_TRUE(change.needsModuleChanged);
    EXPECT_EQ(modules[1].unit, AllModulesUnit);
    EXPECT_EQ(modules[1].type, NoType);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(eventAt(modules[1], i).isOn());
        EXPECT_EQ(eventAt(modules[1], i).Brightness, 9);
    }
    EXPECT_EQ(modules[0], Module{});
}

TEST(ModuleEditing, AllLightsTurnsEveryEventOnKeepingBrightness)
{
    ModuleList modules = {lightWithEvents()};
    commitModuleCell(modules, 0, ModuleColumn::Unit, std::int64_t{AllLightsUnit});
    EXPECT_EQ(modules[0].type, NoType);
    EXPECT_TRUE(eventAt(modules[0], 0).isOn());
    EXPECT_EQ(eventAt(modules[0], 0).Brightness, 4);
    EXPECT_TRUE(eventAt(modules[0], 1).isOn());
    EXPECT_EQ(eventAt(modules[0], 1).Brightness, 9);
}

TEST(ModuleEditing, ApplianceTypeDropsDimming)
{
    ModuleList modules = {lightWithEvents()};
    const ModuleCellChange change =
        commitModuleCell(modules, 0, ModuleColumn::Type, std::int64_t{ApplianceType});
    EXPECT_TRUE(change.eventsRewritten);
    EXPECT_EQ(modules[0].type, ApplianceType);
    EXPECT_TRUE(eventAt(modules[0], 0).isOn());
    EXPECT_EQ(eventAt(modules[0], 0).Brightness, 9);
}

TEST(ModuleEditing, TypeFollowsTheUnit)
{
    struct Row
    {
        const char* legend;
        std::int64_t unit;
        std::int64_t type;
        ModuleColumn column;
        std::int64_t value;
        std::int64_t expectedType;
    };
    const Row rows[] = {
        {"type 2 on unit 5 falls back to Appliance", 5, LightType, ModuleColumn::Type, NoType,
         ApplianceType},
        {"unit 17 to unit 3 gives Appliance", 17, NoType, ModuleColumn::Unit, 3, ApplianceType},
        {"Appliance typed on an All unit is set back to none", 18, NoType, ModuleColumn::Type,
         ApplianceType, NoType},
        {"Light on unit 4 stays", 4, ApplianceType, ModuleColumn::Type, LightType, LightType},
        {"unit 16 keeps Light", 2, LightType, ModuleColumn::Unit, 16, LightType},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        Module m = lightWithEvents();
        m.unit = row.unit;
        m.type = row.type;
        ModuleList modules = {m};
        commitModuleCell(modules, 0, row.column, row.value);
        EXPECT_EQ(modules[0].type, row.expectedType);
    }
}

TEST(ModuleEditing, HouseCodeAndNameChangeNothingElse)
{
    ModuleList modules = {lightWithEvents()};
    ModuleCellChange change =
        commitModuleCell(modules, 0, ModuleColumn::HouseCode, std::int64_t{7});
    EXPECT_FALSE(change.eventsRewritten);
    EXPECT_FALSE(change.needsModuleChanged);
    change = commitModuleCell(modules, 0, ModuleColumn::Name, std::string("Hall"));
    EXPECT_FALSE(change.needsModuleChanged);
    Module expected = lightWithEvents();
    expected.houseCode = 7;
    expected.name = "Hall";
    EXPECT_EQ(modules[0], expected);
}

TEST(ModuleEditing, RewritingKeepsPadding)
{
    Module m = lightWithEvents();
    m.events[0][18] = 0xAB;
    m.events[0][19] = 0xCD;
    ModuleList modules = {m};
    commitModuleCell(modules, 0, ModuleColumn::Unit, std::int64_t{AllModulesUnit});
    EXPECT_EQ(modules[0].events[0][18], 0xAB);
    EXPECT_EQ(modules[0].events[0][19], 0xCD);
}

TEST(ModuleEditing, WrongKindOrIndexChangesNothing)
{
    ModuleList modules = {lightWithEvents()};
    const ModuleList before = modules;
    commitModuleCell(modules, 0, ModuleColumn::Unit, std::string("7"));
    commitModuleCell(modules, 0, ModuleColumn::Name, std::int64_t{7});
    commitModuleCell(modules, 3, ModuleColumn::Unit, std::int64_t{18});
    EXPECT_EQ(modules, before);
}

} // namespace
} // namespace vantrel
