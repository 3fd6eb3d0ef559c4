#include "editor/core/ScheduleChange.h"

#include <gtest/gtest.h>

#include <random>

namespace vantrel {
namespace {

Module named(const std::string& name, bool expanded = false)
{
    Module module;
    module.name = name;
    module.expanded = expanded;
    return module;
}

ModuleList namedList(std::initializer_list<const char*> names)
{
    ModuleList list;
    for (const char* name : names)
        list.push_back(named(name));
    return list;
}

TEST(ScheduleChange, KeepsOnlyTheStretchThatDiffers)
{
    const ClassicEventRepeat once{1, 1};
    ModuleList many;
    for (int i = 0; i < 1000; ++i)
        many.push_back(named(std::to_string(i)));
    ModuleList edited = many;
    edited[500].name = "changed";
    auto change = scheduleChange(many, once, edited, once);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->position, 500u);
    EXPECT_EQ(change->before, ModuleList{many[500]});
    EXPECT_EQ(change->after, ModuleList{edited[500]});

    // An insertion and a removal hold only the module that came or went.
    ModuleList inserted = many;
    inserted.insert(inserted.begin() + 10, named("new"));
    change = scheduleChange(many, once, inserted, once);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->position, 10u);
    EXPECT_TRUE(change->before.empty());
    EXPECT_EQ(change->after, ModuleList{named("new")});
    change = scheduleChange(inserted, once, many, once);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->before, ModuleList{named("new")});
    EXPECT_TRUE(change->after.empty());

    // Repeated modules: the common head and tail never overlap.
    change = scheduleChange(namedList({"a", "a", "a"}), once, namedList({"a", "a"}), once);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->before.size(), 1u);
    EXPECT_TRUE(change->after.empty());

    EXPECT_FALSE(scheduleChange(many, once, many, once));
    // Expansion is part of the document; the repeat counts alone are a change.
    edited = many;
    edited[3].expanded = true;
    EXPECT_TRUE(scheduleChange(many, once, edited, once));
    change = scheduleChange(many, once, many, {2, 3});
    ASSERT_TRUE(change);
    EXPECT_TRUE(change->before.empty() && change->after.empty());
    EXPECT_EQ(change->repeatAfter, (ClassicEventRepeat{2, 3}));
}

// Random edits of random lists: undo gives back the list before, redo the
// one after, whatever the edit.
TEST(ScheduleChange, UndoAndRedoGiveBackBothSidesOfRandomEdits)
{
    std::mt19937 random(28);
    const auto pick = [&](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound)(random);
    };
    for (int round = 0; round < 500; ++round) {
        ModuleList before;
        for (std::size_t i = pick(8); i > 0; --i)
            before.push_back(named(std::string(1, static_cast<char>('a' + pick(3))), pick(1) == 1));
        ModuleList after = before;
        for (std::size_t edits = pick(3); edits > 0; --edits) {
            switch (pick(2)) {
            case 0:
                after.insert(after.begin() + static_cast<std::ptrdiff_t>(pick(after.size())),
                             named(std::string(1, static_cast<char>('a' + pick(3)))));
                break;
            case 1:
                if (!after.empty())
                    after.erase(after.begin() +
                                static_cast<std::ptrdiff_t>(pick(after.size() - 1)));
                break;
            default:
                if (!after.empty())
                    after[pick(after.size() - 1)].expanded ^= true;
            }
        }
        const ClassicEventRepeat repeatBefore{1, 1};
        const ClassicEventRepeat repeatAfter{static_cast<std::uint8_t>(1 + pick(1)), 1};
        const auto change = scheduleChange(before, repeatBefore, after, repeatAfter);
        if (before == after && repeatBefore == repeatAfter) {
            EXPECT_FALSE(change);
            continue;
        }
        ASSERT_TRUE(change);
        ModuleList modules = after;
        ClassicEventRepeat repeat = repeatAfter;
        ASSERT_TRUE(applyChange(modules, repeat, *change, ChangeDirection::Undo));
        EXPECT_EQ(modules, before);
        EXPECT_EQ(repeat, repeatBefore);
        ASSERT_TRUE(applyChange(modules, repeat, *change, ChangeDirection::Redo));
        EXPECT_EQ(modules, after);
        EXPECT_EQ(repeat, repeatAfter);
    }
}

TEST(ScheduleChange, RefusesAScheduleThatNoLongerHoldsItsModules)
{
    const ClassicEventRepeat once{1, 1};
    const ModuleList before = namedList({"a", "b", "c"});
    const ModuleList after = namedList({"a", "B", "c"});
    const auto change = scheduleChange(before, once, after, once);
    ASSERT_TRUE(change);

    // A triangle clicked since is no reason to refuse; the undo puts the
    // module back as it was, expansion included.
    ModuleList clicked = after;
    clicked[1].expanded = true;
    ClassicEventRepeat repeat = once;
    ASSERT_TRUE(applyChange(clicked, repeat, *change, ChangeDirection::Undo));
    EXPECT_EQ(clicked, before);

    // Another description, or a list too short: nothing is touched.
    for (ModuleList other : {namedList({"a", "x", "c"}), namedList({"a"}), ModuleList{}}) {
        const ModuleList kept = other;
        ClassicEventRepeat counts{4, 4};
        EXPECT_FALSE(applyChange(other, counts, *change, ChangeDirection::Undo));
        EXPECT_EQ(other, kept);
        EXPECT_EQ(counts, (ClassicEventRepeat{4, 4}));
    }
    EXPECT_FALSE(changeFits(after, *change, ChangeDirection::Redo)) << "already redone";
}

TEST(ScheduleChange, ComposesOnlyChangesOfTheSameStretch)
{
    const ClassicEventRepeat once{1, 1};
    const ModuleList first = namedList({"a", "b", "c"});
    const ModuleList second = namedList({"a", "B", "c"});
    const ModuleList third = namedList({"a", "BB", "c"});
    const auto both = composeChanges(*scheduleChange(first, once, second, once),
                                     *scheduleChange(second, once, third, once));
    ASSERT_TRUE(both);
    EXPECT_EQ(*both, *scheduleChange(first, once, third, once));
    EXPECT_FALSE(composeChanges(*scheduleChange(first, once, second, once),
                                *scheduleChange(second, once, namedList({"a", "B", "C"}), once)));

    ModuleList expansion = namedList({"a", "b"});
    EXPECT_TRUE(copyExpansion(expansion, {named("x", true), named("y", false)}));
    EXPECT_TRUE(expansion[0].expanded);
    EXPECT_EQ(expansion[0].name, "a");
    EXPECT_FALSE(copyExpansion(expansion, {named("x", false)}));
    EXPECT_TRUE(expansion[0].expanded);
}

} // namespace
} // namespace vantrel
