#include "editor/core/DragRules.h"
#include "editor/core/OutlineCommands.h"
#include "editor/core/PageBreaks.h"

#include "support/ScheduleBuilders.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using test::modulesWith;

// Rows: 0 M0, 1 e0, 2 e1, 3 M1 (collapsed, 3 events), 4 M2, 5 e0.
const ModuleList Shape = modulesWith({{2, true}, {3, false}, {1, true}});

TEST(OutlineRows, MapRowsToModulesAndEvents)
{
    const OutlineRowMap rows(Shape);
    EXPECT_EQ(rows.rowCount(), 6);
    EXPECT_EQ(rows.eventIndexForOutlineRow(0), -1);
    EXPECT_EQ(rows.eventIndexForOutlineRow(1), 0);
    EXPECT_EQ(rows.eventIndexForOutlineRow(2), 1);
    EXPECT_EQ(rows.moduleIndexForOutlineRow(2), 0);
    EXPECT_EQ(rows.moduleIndexForOutlineRow(3), 1);
    EXPECT_EQ(rows.moduleIndexForOutlineRow(5), 2);
    EXPECT_EQ(rows.levelForRow(5), 1);
    EXPECT_EQ(rows.rowForEvent(1, 0), -1) << "a collapsed module's events have no rows";
    EXPECT_EQ(rows.rowForEvent(2, 0), 5);
    // Outside the outline both answer 0, as when no module row stands above.
    EXPECT_EQ(rows.moduleIndexForOutlineRow(6), 0);
    EXPECT_EQ(rows.eventIndexForOutlineRow(-1), 0);
    EXPECT_EQ(OutlineRowMap().moduleIndexForOutlineRow(0), 0);
}

TEST(OutlineCommands, NewModuleGoesBeforeOrAfterTheSelectedModuleOrAtTheEnd)
{
    const OutlineRowMap rows(Shape);
    EXPECT_EQ(moduleInsertionFor(rows, {3}, false).position, 1u);
    EXPECT_EQ(moduleInsertionFor(rows, {3}, false).placement,
              ModulePlacement::BeforeSelectedModule);
    EXPECT_EQ(moduleInsertionFor(rows, {3}, true).position, 2u);
    EXPECT_EQ(moduleInsertionFor(rows, {3}, true).placement, ModulePlacement::AfterEditedModule);
    for (const std::vector<int>& selection : {std::vector<int>{}, {1}, {0, 3}}) {
        EXPECT_EQ(moduleInsertionFor(rows, selection, true).position, 3u);
        EXPECT_EQ(moduleInsertionFor(rows, selection, false).placement, ModulePlacement::AtEnd);
    }
}

TEST(OutlineCommands, NewEventAppendsToAModuleOrGoesBeforeTheSelectedEvent)
{
    const OutlineRowMap rows(Shape);
    const EventInsertion onModule = eventInsertionFor(rows, Shape, 3);
    EXPECT_EQ(onModule.module, 1u);
    EXPECT_EQ(onModule.position, 3u);
    EXPECT_EQ(onModule.newRow(), 7); // once the module is expanded
    const EventInsertion onEvent = eventInsertionFor(rows, Shape, 2);
    EXPECT_EQ(onEvent.module, 0u);
    EXPECT_EQ(onEvent.position, 1u);
    EXPECT_EQ(onEvent.newRow(), 2);
}

TEST(OutlineCommands, DeleteVisitsRowsFromTheLastUp)
{
    const auto order = deletionOrder(OutlineRowMap(Shape), {0, 2, 5, 9, 2});
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], (OutlineRow{2, 0}));
    EXPECT_EQ(order[1], (OutlineRow{0, 1}));
    EXPECT_EQ(order[2], (OutlineRow{0, -1}));
}

TEST(OutlineCommands, CopyValidNeedsOneKindOfWholeBlock)
{
    const OutlineRowMap rows(Shape);
    auto check = [&](std::vector<int> selectedRows) {
        std::vector<bool> selected(static_cast<std::size_t>(rows.rowCount()));
        for (int row : selectedRows)
            selected[static_cast<std::size_t>(row)] = true;
        return copyValid(rows, selected);
    };
    EXPECT_TRUE(check({}).valid);
    EXPECT_FALSE(check({}).modules || check({}).events);
    EXPECT_TRUE(check({0, 1, 2}).valid) << "a module with all its visible events";
    EXPECT_TRUE(check({0, 3}).modules) << "modules without their events";
    EXPECT_TRUE(check({1, 5}).events) << "events of different modules";
    EXPECT_FALSE(check({0, 1}).valid) << "a module with some of its events";
    EXPECT_FALSE(check({0, 2}).valid);
    EXPECT_FALSE(check({3, 5}).valid) << "a module and another module's event";
    EXPECT_FALSE(check({1, 3}).valid);
}

TEST(OutlineCommands, ButtonsAndEditMenuFollowTheSelection)
{
    EXPECT_EQ(commandButtonState(0).deleteRows, false);
    const CommandButtonState one = commandButtonState(1);
    EXPECT_TRUE(one.newEvent && one.deleteRows && one.edit && one.endEdit);
    const CommandButtonState two = commandButtonState(2);
    EXPECT_TRUE(two.deleteRows);
    EXPECT_FALSE(two.newEvent || two.edit || two.endEdit);
    EXPECT_TRUE(pasteEnabled(true, false, 0));
    EXPECT_TRUE(pasteEnabled(true, false, 1));
    EXPECT_FALSE(pasteEnabled(true, false, 2));
    EXPECT_FALSE(pasteEnabled(false, true, 0));
    EXPECT_TRUE(pasteEnabled(false, true, 1));
    EXPECT_FALSE(cutCopyEnabled(0, CopyValidity{}));
}

TEST(OutlineCommands, DrawerOffsetsOfTheWorkedWidths)
{
    EXPECT_EQ(drawerOffsets(800), (DrawerOffsets{142, 142}));
    EXPECT_EQ(drawerOffsets(801), (DrawerOffsets{142, 143}));
    EXPECT_EQ(drawerOffsets(400), (DrawerOffsets{-58, -58}));
}

TEST(OutlineCommands, SelectedRowsAreStoredLastFirst)
{
    EXPECT_EQ(selectedRowsForStoring({2, 5}), (std::vector<int>{5, 2}));
}

TEST(PageBreaks, APageEndsAtTheTopOfTheRowItWouldCut)
{
    const std::vector<RowGeometry> rows = {{0, 20}, {20, 20}, {40, 20}};
    EXPECT_EQ(adjustPageHeightNew(rows, 0, 50, 0), 40);
    EXPECT_EQ(adjustPageHeightNew(rows, 0, 40, 0), 40) << "on a boundary";
    EXPECT_EQ(adjustPageHeightNew(rows, 0, 75, 0), 75) << "below the last row";
    EXPECT_EQ(adjustPageHeightNew(rows, 20, 30, 0), 30) << "a row taller than the page";
}

TEST(PageBreaks, EveryRowLandsWholeOnOnePage)
{
    std::vector<RowGeometry> rows;
    for (int row = 0; row < 100; ++row)
        rows.push_back({row * 17.0, 17.0});
    const auto pages = paginateRows(rows, 100);
    ASSERT_FALSE(pages.empty());
    int next = 0;
    for (const auto& [first, last] : pages) {
        EXPECT_EQ(first, next);
        EXPECT_LE(rows[static_cast<std::size_t>(last - 1)].top + 17.0 -
                      rows[static_cast<std::size_t>(first)].top,
                  100.0);
        next = last;
    }
    EXPECT_EQ(next, 100);
    EXPECT_EQ(pages.size(), 20u); // five rows of 17 fit on a page of 100
}

TEST(DragRules, ModulesLandAtTheTopLevel)
{
    EXPECT_EQ(moduleDropIndex({std::nullopt, false, false, 2}, 7), 2u) << "between two modules";
    EXPECT_EQ(moduleDropIndex({std::nullopt, false, false, -1}, 7), 7u) << "onto the outline";
    EXPECT_EQ(moduleDropIndex({3, false, true, 1}, 7), 4u) << "onto a module or between its events";
    EXPECT_EQ(moduleDropIndex({3, true, true, -1}, 7), 4u) << "onto an event row";
}

TEST(DragRules, EventsLandOnlyAmongAnExpandedModulesEvents)
{
    EXPECT_EQ(eventDropIndex({2, false, true, 1}), std::optional<std::size_t>(1));
    EXPECT_FALSE(eventDropIndex({2, false, false, 1})) << "a collapsed module";
    EXPECT_FALSE(eventDropIndex({2, false, true, -1})) << "onto the module row itself";
    EXPECT_FALSE(eventDropIndex({2, true, true, -1})) << "onto an event row";
    EXPECT_FALSE(eventDropIndex({std::nullopt, false, false, 1})) << "between two modules";
}

TEST(DragRules, MovingModulesTwoAndFiveOfSeven)
{
    auto moved = [](std::size_t drop, std::vector<std::size_t> dragged) {
        std::vector<int> list = {0, 1, 2, 3, 4, 5, 6};
        const std::size_t position = moveBlock(list, dragged, drop);
        list.push_back(static_cast<int>(position) * 100); // the block's position, last
        return list;
    };
    EXPECT_EQ(moved(4, {2, 5}), (std::vector<int>{0, 1, 3, 2, 5, 4, 6, 300}));
    EXPECT_EQ(moved(0, {5, 2}), (std::vector<int>{2, 5, 0, 1, 3, 4, 6, 0}));
    EXPECT_EQ(moved(7, {2, 5}), (std::vector<int>{0, 1, 3, 4, 6, 2, 5, 500}));
    EXPECT_EQ(moved(2, {2}), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 200})) << "nothing moves";
    EXPECT_EQ(moved(3, {2}), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 200}));
}

} // namespace
} // namespace vantrel
