// The drag and paste rules of the outline, without a window: what a drag
// carries and how another window reads it back, how dropped events move,
// where pasted modules land, and the switching controls and drawer page a
// selection gives.

#include "editor/core/DragData.h"
#include "editor/core/OutlineCommands.h"

#include "support/ScheduleBuilders.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using test::modulesWith;

// Rows: 0 M0, 1 e0, 2 e1, 3 M1 (collapsed, 3 events), 4 M2, 5 e0.
const ModuleList Shape = modulesWith({{2, true}, {3, false}, {1, true}});

std::string plist(const std::string& array)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>" + array +
           "</array></plist>";
}

std::string eventRef(int module, int event)
{
    return "<dict><key>Event Index</key><integer>" + std::to_string(event) +
           "</integer><key>Module Index</key><integer>" + std::to_string(module) +
           "</integer></dict>";
}

TEST(DragData, DraggedRowsAreOneKindInTheOrderGiven)
{
    const OutlineRowMap rows(Shape);
    struct Case
    {
        std::vector<int> rows;
        bool valid, modules, events;
        std::vector<OutlineRow> dragged;
    };
    const Case cases[] = {
        {{4, 0}, true, true, false, {{2, -1}, {0, -1}}},
        {{5, 2, 1}, true, false, true, {{2, 0}, {0, 1}, {0, 0}}},
        {{9, 3}, true, true, false, {{1, -1}}}, // outside the outline: skipped
        {{}, false, false, false, {}},
        {{42}, false, false, false, {}},
        // Mixed: refused, with only the first kind marked.
        {{5, 4}, false, false, true, {}},
        {{4, 5}, false, true, false, {}},
    };
    for (const Case& c : cases) {
        const DraggedRows dragged = draggedRows(rows, c.rows);
        EXPECT_EQ(dragged.valid, c.valid) << ::testing::PrintToString(c.rows);
        EXPECT_EQ(dragged.modules, c.modules) << ::testing::PrintToString(c.rows);
        EXPECT_EQ(dragged.events, c.events) << ::testing::PrintToString(c.rows);
        if (c.valid) {
            EXPECT_EQ(dragged.rows, c.dragged);
        }
    }
}

TEST(DragData, WhatADragWritesReadsBack)
{
    const std::vector<OutlineRow> modules{{2, -1}, {0, -1}};
    EXPECT_EQ(readModuleDragList(dragListXml(modules), Shape), (std::vector<std::size_t>{2, 0}));
    const std::vector<OutlineRow> events{{2, 0}, {1, 2}, {0, 0}};
    EXPECT_EQ(readEventDragList(dragListXml(events), Shape), events);
}

TEST(DragData, ReadingRefusesWhatNoWindowOfOursMade)
{
    struct Case
    {
        const char* why;
        std::string xml;
        bool modules; // read as modules, else as events
    };
    const Case cases[] = {
        {"not a property list", "<plist", true},
        {"not an array", "<plist version=\"1.0\"><integer>1</integer></plist>", true},
        {"an empty array", plist(""), true},
        {"a negative index", plist("<integer>-1</integer>"), true},
        {"past the last module", plist("<integer>3</integer>"), true},
        {"a module twice", plist("<integer>1</integer><integer>1</integer>"), true},
        {"an event record as a module", plist(eventRef(0, 0)), true},
        {"an index as an event", plist("<integer>0</integer>"), false},
        {"no event index", plist("<dict><key>Module Index</key><integer>0</integer></dict>"),
         false},
        {"past the module's events", plist(eventRef(2, 1)), false},
        {"past the last module's", plist(eventRef(3, 0)), false},
        {"a negative event", plist(eventRef(0, -1)), false},
        {"an event twice", plist(eventRef(1, 2) + eventRef(0, 0) + eventRef(1, 2)), false},
    };
    for (const Case& c : cases) {
        if (c.modules)
            EXPECT_FALSE(readModuleDragList(c.xml, Shape)) << c.why;
        else
            EXPECT_FALSE(readEventDragList(c.xml, Shape)) << c.why;
    }
    // The same event of two modules is two events.
    EXPECT_TRUE(readEventDragList(plist(eventRef(0, 0) + eventRef(2, 0)), Shape));
}

TEST(DragData, EventMovesRemoveFromTheBottomUpAndCountOnlyTheirOwnAbove)
{
    const std::vector<OutlineRow> dragged{{0, 1}, {2, 0}, {0, 0}};
    struct Case
    {
        bool sameDocument;
        std::size_t target, dropIndex, targetCount, position;
    };
    const Case cases[] = {
        // Into module 0 of the same document: both of its dragged events stood above.
        {true, 0, 2, 2, 0},
        // Into module 1 (3 events), none of them dragged.
        {true, 1, 2, 3, 2},
        // Module 2's one event leaves it empty: the block goes first.
        {true, 2, 1, 1, 0},
        // From another window nothing leaves the target.
        {false, 0, 2, 2, 2},
        // A drop index past the events left is brought back to their end.
        {false, 1, 7, 3, 3},
    };
    for (const Case& c : cases) {
        const EventMovePlan plan =
            eventMovePlan(dragged, c.sameDocument, c.target, c.dropIndex, c.targetCount);
        EXPECT_EQ(plan.position, c.position) << c.target << " " << c.dropIndex;
        EXPECT_EQ(plan.removal, (std::vector<OutlineRow>{{2, 0}, {0, 1}, {0, 0}}));
    }
}

TEST(PasteRules, PastedModulesSelectThroughTheLastOnesEvents)
{
    // Pasted modules 1 and 2 into Shape: rows 3 and 4, then module 2's event at 5.
    const OutlineRowMap rows(Shape);
    EXPECT_EQ(pastedModuleRows(rows, Shape, 1, 2), (RowSpan{3, 5}));
    EXPECT_EQ(pastedModuleRows(rows, Shape, 0, 2), (RowSpan{0, 3}))
        << "a collapsed last module: its row alone";
    EXPECT_EQ(pastedModuleRows(rows, Shape, 0, 1), (RowSpan{0, 2}));
}

TEST(SelectionRules, SwitchingControlsAndDrawerPageFollowTheSelection)
{
    Module appliance;
    Module light;
    light.type = LightType;
    Module allLights;
    allLights.type = LightType;
    allLights.unit = AllLightsUnit;
    Module allUnits;
    allUnits.unit = AllLightsUnit + 1;
    EXPECT_EQ(directSwitchingForModule(appliance), (DirectSwitching{true, true, false}));
    EXPECT_EQ(directSwitchingForModule(light), (DirectSwitching{true, true, true}));
    EXPECT_EQ(directSwitchingForModule(allLights), DirectSwitching{});
    EXPECT_EQ(directSwitchingForModule(allUnits), DirectSwitching{});

    // Rows: 0 appliance, 1 its event, 2 light, 3 all lights, 4 all units.
    ModuleList modules{appliance, light, allLights, allUnits};
    modules[0].expanded = true;
    modules[0].events.resize(1);
    const OutlineRowMap rows(modules);
    struct Case
    {
        std::vector<int> selected;
        DirectSwitching direct;
    };
    const Case cases[] = {
        {{2, 0}, {true, true, true}},
        {{1, 0}, {true, true, false}}, // the event row does not count
        {{3, 0}, {true, true, true}},  // "All Lights" is a light: it dims
        {{4, 2}, {}},                  // an "All" appliance module switches nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(directSwitchingForRows(rows, modules, c.selected), c.direct)
            << ::testing::PrintToString(c.selected);

    EXPECT_EQ(drawerPageFor(rows, {1}), DrawerPage::Event);
    for (const std::vector<int>& selected : {std::vector<int>{}, {0}, {1, 0}, {9}})
        EXPECT_EQ(drawerPageFor(rows, selected), DrawerPage::NoEvents)
            << ::testing::PrintToString(selected);
}

} // namespace
} // namespace vantrel
