// Undo and Redo in the document window: every command taken back to the
// saved bytes it started from and brought back again.

#include "EditorTestSupport.h"

#include "editor/DocumentManager.h"
#include "editor/DocumentUndo.h"
#include "editor/EventEditor.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/RkNSOutlineView.h"
#include "platform/Paths.h"
#include "schedule/FieldFormatters.h"
#include "support/ScheduleBuilders.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QSlider>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>

namespace vantrel::test {
namespace {

class Undo : public WindowTest
{
  protected:
    Modules* open(const ModulesDocument& document, const std::string& name = "Undo.vantrel")
    {
        const std::string path = home.root() + "/" + name;
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        return manager.openDocument(QString::fromStdString(path));
    }

    // What Save would write now.
    std::string savedBytes(Modules* window)
    {
        const QString path = QString::fromStdString(home.root() + "/bytes.vantrel");
        QString error;
        EXPECT_TRUE(window->writeToFile(path, &error)) << error.toStdString();
        std::string bytes;
        EXPECT_TRUE(readWholeFile(path.toStdString(), &bytes));
        return bytes;
    }

    static QAction* action(Modules* window, const char* name)
    {
        return window->findChild<QAction*>(name);
    }

    static QUndoStack* stack(Modules* window) { return window->findChild<QUndoStack*>("undoStack"); }

    void closeAll()
    {
        for (Modules* window : manager.documents())
            window->clearChangeCount();
        manager.closeAll();
    }

    DocumentManager manager;
};


void selectRows(Modules* window, std::initializer_list<int> rows)
{
    window->deselectAll();
    bool extend = false;
    for (int row : rows) {
        window->selectRow(row, extend);
        extend = true;
    }
}

void setCell(Modules* window, const QModelIndex& index, const std::string& text)
{
    window->model()->setData(index, QString::fromStdString(text));
}

// Chooses the repeat counts once the window's sheet is up.
void chooseRepeatCounts(Modules* window, int on, int off)
{
    QTimer::singleShot(0, window, [window, on, off] {
        auto* sheet = window->findChild<QDialog*>("performEventsSheet");
        ASSERT_NE(sheet, nullptr);
        sheet->findChild<QComboBox*>("eventRepeatOnPopup")->setCurrentIndex(on - 1);
        sheet->findChild<QComboBox*>("eventRepeatOffPopup")->setCurrentIndex(off - 1);
        sheet->findChild<QPushButton*>("performEventsOK")->click();
    });
    window->performEvents();
}

void dragModules(Modules* window, std::vector<std::size_t> modules, int row)
{
    QModelIndexList indexes;
    for (std::size_t module : modules)
        indexes.push_back(window->model()->moduleIndex(module));
    std::unique_ptr<QMimeData> data(window->dragMimeData(indexes));
    ASSERT_TRUE(data);
    ASSERT_TRUE(window->handleDrop(data.get(), row, {}, true));
    window->draggingDone();
}

struct CommandCase
{
    const char* undoText;
    std::vector<int> selected; // before the command
    std::function<void(Modules*)> run;
    std::function<void(Modules*)> prepare = nullptr;
};

TEST_F(Undo, EachCommandIsTakenBackToTheSavedBytesAndBroughtBack)
{
    const std::vector<CommandCase> cases = {
        {"Undo New Module", {3},
         [](Modules* w) {
             action(w, "newModule")->trigger();
         }},
        {"Undo New Event", {3},
         [](Modules* w) {
             action(w, "newEvent")->trigger();
         }},
        {"Undo Delete", {0, 2, 3},
         [](Modules* w) {
             action(w, "delete")->trigger();
         }},
        {"Undo Typing", {1},
         [](Modules* w) {
             setCell(w, w->model()->eventIndex(0, 0), "5:15 PM");
         }},
        {"Undo Typing", {0},
         [](Modules* w) {
             setCell(w, w->model()->moduleIndex(0, ModulesOutlineModel::UnitColumn),
                     moduleNumberText(AllLightsUnit));
         }},
        {"Undo Typing", {}, // type 0 rewrites the events too
         [](Modules* w) {
             setCell(w, w->model()->moduleIndex(0, ModulesOutlineModel::TypeColumn),
                     moduleTypeText(ApplianceType));
         }},
        {"Undo Event Change", {2},
         [](Modules* w) {
             w->eventEditor()->findChild<QCheckBox*>("securitySwitch")->click();
         }},
        {"Undo Reset", {1},
         [](Modules* w) {
             w->eventEditor()->findChild<QPushButton*>("resetEvent")->click();
         }},
        {"Undo Expand All", {}, [](Modules* w) { action(w, "expandAll")->trigger(); }},
        {"Undo Collapse All", {2, 4},
         [](Modules* w) {
             action(w, "collapseAll")->trigger();
         }},
        {"Undo Cut", {3},
         [](Modules* w) {
             action(w, "cut")->trigger();
         }},
        {"Undo Paste", {3}, [](Modules* w) { action(w, "paste")->trigger(); },
         [](Modules* w) {
             selectRows(w, {1, 2});
             action(w, "copy")->trigger();
         }},
        {"Undo Drag", {0, 4}, [](Modules* w) { dragModules(w, {0, 2}, 2); }},
        {"Undo Repeat Counts", {2}, [](Modules* w) { chooseRepeatCounts(w, 3, 2); }},
    };
    for (const CommandCase& command : cases) {
        SCOPED_TRACE(command.undoText);
        Modules* window = open(threeModules());
        ASSERT_NE(window, nullptr);
        QAbstractItemModelTester tester(window->model(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        QAction* undo = action(window, "undo");
        QAction* redo = action(window, "redo");
        EXPECT_FALSE(undo->isEnabled());
        EXPECT_EQ(undo->text(), "Undo");
        if (command.prepare)
            command.prepare(window);
        window->deselectAll();
        for (int row : command.selected)
            window->selectRow(row, true);
        const std::string before = savedBytes(window);
        command.run(window);
        const std::string after = savedBytes(window);
        const int afterEvent = window->currentEventIndex();
        ASSERT_NE(after, before);
        EXPECT_TRUE(window->isDocumentEdited());
        ASSERT_TRUE(undo->isEnabled());
        EXPECT_EQ(undo->text(), command.undoText);

        undo->trigger();
        EXPECT_EQ(savedBytes(window), before);
        EXPECT_FALSE(window->isDocumentEdited()) << "back at the saved state";
        EXPECT_FALSE(undo->isEnabled());
        EXPECT_TRUE(redo->isEnabled());
        EXPECT_EQ(redo->text(), QString(command.undoText).replace("Undo", "Redo"));

        redo->trigger();
        EXPECT_EQ(savedBytes(window), after);
        EXPECT_TRUE(window->isDocumentEdited());
        EXPECT_EQ(window->currentEventIndex(), afterEvent);
        EXPECT_EQ(window->model()->rowMap().rowCount(),
                  OutlineRowMap(window->document().modules).rowCount());
        closeAll();
    }
}

TEST_F(Undo, TheEventEditorShowsTheEventUndoneAndTheOutlineItsRows)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    selectRows(window, {2});
    const Event original = *eventFromData(window->document().modules[0].events[1]);
    window->eventEditor()->findChild<QCheckBox*>("securitySwitch")->click();
    ASSERT_NE(window->eventEditor()->read(), original);
    selectRows(window, {4});
    action(window, "undo")->trigger();
    EXPECT_EQ(window->selectedRows(), std::vector<int>{2});
    EXPECT_EQ(window->currentEventIndex(), 1);
    EXPECT_EQ(window->eventEditor()->read(), original);

    // A collapse undone shows the module's event rows again.
    action(window, "collapseAll")->trigger();
    ASSERT_FALSE(window->outline()->isExpanded(window->model()->moduleIndex(0)));
    action(window, "undo")->trigger();
    EXPECT_TRUE(window->outline()->isExpanded(window->model()->moduleIndex(0)));
    EXPECT_EQ(window->model()->indexForRow(1), window->model()->eventIndex(0, 0));

    // Undo from the menu while a description is being typed takes back the
    // typing, not the command before it.
    action(window, "redo")->trigger();
    const std::string before = window->document().modules[2].name;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    selectRows(window, {2});
    window->outline()->editCell(window->model()->moduleIndex(2));
    auto* editor = qobject_cast<QLineEdit*>(window->outline()->activeEditor());
    ASSERT_NE(editor, nullptr);
    editor->setText("Hallway");
    action(window, "undo")->trigger();
    EXPECT_FALSE(window->outline()->editedIndex().isValid());
    EXPECT_EQ(window->document().modules[2].name, before);
    EXPECT_EQ(action(window, "redo")->text(), "Redo Typing");
    action(window, "redo")->trigger();
    EXPECT_EQ(window->document().modules[2].name, "Hallway");
    closeAll();
}

// Typing still in its cell is a step of its own: undoing the command that
// followed it does not take the typing back too.
TEST_F(Undo, TypingLeftInItsCellIsNotFoldedIntoTheNextCommand)
{
    const std::vector<std::pair<const char*, QString>> commands = {
        {"newModule", "Undo New Module"}, {"delete", "Undo Delete"}, {"expandAll", "Undo Expand All"}};
    for (const auto& [command, undoText] : commands) {
        SCOPED_TRACE(command);
        Modules* window = open(threeModules());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        selectRows(window, {4});
        window->outline()->editCell(window->model()->moduleIndex(2));
        auto* editor = qobject_cast<QLineEdit*>(window->outline()->activeEditor());
        ASSERT_NE(editor, nullptr);
        editor->setText("Hallway");
        const std::size_t modules = window->document().modules.size();
        action(window, command)->trigger();
        EXPECT_EQ(stack(window)->count(), 2);
        EXPECT_EQ(action(window, "undo")->text(), undoText);
        action(window, "undo")->trigger();
        EXPECT_EQ(window->document().modules.size(), modules);
        EXPECT_EQ(window->document().modules[2].name, "Hallway");
        EXPECT_EQ(action(window, "undo")->text(), "Undo Typing");
        action(window, "undo")->trigger();
        EXPECT_EQ(window->document().modules[2].name, "Hall");
        closeAll();
    }
}

// A module whose type does not suit its unit, as another program may write
// it: selecting it changes nothing, and the history stays whole.
TEST_F(Undo, SelectingAModuleWithAnUnsuitedTypeChangesNothing)
{
    ModulesDocument document = threeModules();
    document.modules[2].unit = AllLightsUnit;
    document.modules[2].type = ApplianceType;
    Modules* window = open(document);
    const ModuleList before = window->document().modules;
    selectRows(window, {4});
    EXPECT_EQ(window->document().modules, before);
    EXPECT_FALSE(window->isDocumentEdited());
    // Shown as All Lights: no direct switching.
    EXPECT_FALSE(window->findChild<QPushButton*>("onButton")->isEnabled());
    EXPECT_FALSE(window->findChild<QPushButton*>("offButton")->isEnabled());

    setCell(window, window->model()->moduleIndex(2), "Everything");
    action(window, "undo")->trigger();
    EXPECT_EQ(window->document().modules, before);
    ASSERT_TRUE(action(window, "redo")->isEnabled());
    action(window, "redo")->trigger();
    EXPECT_EQ(window->document().modules[2].name, "Everything");
    EXPECT_EQ(stack(window)->count(), 1) << "the history was kept";
    EXPECT_EQ(window->document().modules[2].type, ApplianceType);
    closeAll();
}

// Dropped modules that show their events are selected as modules, and the
// drag's undo and redo bring that selection back.
TEST_F(Undo, DroppedExpandedModulesAreTheRowsSelected)
{
    ModulesDocument document = threeModules();
    document.modules[1].expanded = true;
    Modules* window = open(document);
    QAbstractItemModelTester tester(window->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    dragModules(window, {0, 1}, 3);
    const ModuleList& modules = window->document().modules;
    ASSERT_EQ(modules[1].name, "Porch");
    ASSERT_EQ(modules[2].name, "Coffee");
    const OutlineRowMap& rows = window->model()->rowMap();
    const std::vector<int> dropped{rows.rowForModule(1), rows.rowForModule(2)};
    const auto selected = [window] {
        std::vector<int> sorted = window->selectedRows();
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    };
    EXPECT_EQ(selected(), dropped);
    action(window, "undo")->trigger();
    action(window, "redo")->trigger();
    EXPECT_EQ(selected(), dropped);
    closeAll();
}

TEST_F(Undo, TheModifiedMarkFollowsTheSavedState)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    selectRows(window, {4});
    action(window, "delete")->trigger();
    action(window, "expandAll")->trigger();
    ASSERT_TRUE(window->save());
    EXPECT_FALSE(window->isDocumentEdited());
    // Saving keeps what can be undone; undoing past the save is a change.
    action(window, "undo")->trigger();
    EXPECT_TRUE(window->isDocumentEdited());
    action(window, "redo")->trigger();
    EXPECT_FALSE(window->isDocumentEdited());
    action(window, "undo")->trigger();
    action(window, "undo")->trigger();
    EXPECT_EQ(window->document().modules.size(), 3u);
    EXPECT_TRUE(window->isDocumentEdited());

    // A command that changes nothing is no command and no change.
    window->revertToSaved();
    EXPECT_FALSE(action(window, "undo")->isEnabled()) << "Revert starts afresh";
    EXPECT_FALSE(action(window, "redo")->isEnabled());
    action(window, "expandAll")->trigger();
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(stack(window)->count(), 0);

    // A triangle clicked is not taken into the next command.
    window->outline()->collapse(window->model()->moduleIndex(0));
    selectRows(window, {1});
    action(window, "delete")->trigger();
    action(window, "undo")->trigger();
    EXPECT_FALSE(window->document().modules[0].expanded);

    // A change the schedule does not show (descriptions cut on reading)
    // leaves no state on the stack that is the saved one.
    ASSERT_TRUE(window->save());
    window->updateChangeCount();
    EXPECT_TRUE(window->isDocumentEdited());
    action(window, "redo")->trigger();
    action(window, "undo")->trigger();
    EXPECT_TRUE(window->isDocumentEdited());
    closeAll();
}

TEST_F(Undo, ConsecutiveChangesToOneEventAreOneCommand)
{
    Modules* window = open(threeModules());
    selectRows(window, {1});
    auto* slider = window->eventEditor()->findChild<QSlider*>("eventBrightnessSlider");
    ASSERT_NE(slider, nullptr);
    const std::string before = savedBytes(window);
    for (int value = NoDimBrightness - 1; value > 1; --value)
        slider->setValue(value);
    EXPECT_EQ(stack(window)->count(), 1);
    // Dragged back where it started, the slider leaves nothing to undo.
    slider->setValue(NoDimBrightness);
    EXPECT_EQ(stack(window)->count(), 0);
    EXPECT_FALSE(window->isDocumentEdited());
    slider->setValue(4);
    action(window, "undo")->trigger();
    EXPECT_EQ(savedBytes(window), before);
    closeAll();
}

TEST_F(Undo, ADragBetweenWindowsIsUndoneInBothOrInNeither)
{
    ModulesDocument two;
    two.modules = {threeModules().modules[0], threeModules().modules[2]};
    Modules* source = open(threeModules(), "Source.vantrel");
    Modules* target = open(two, "Target.vantrel");
    QAbstractItemModelTester sourceTester(source->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester targetTester(target->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const std::string sourceBefore = savedBytes(source);
    const std::string targetBefore = savedBytes(target);
    QModelIndexList dragged{source->model()->eventIndex(0, 0), source->model()->eventIndex(0, 1)};
    std::unique_ptr<QMimeData> data(source->dragMimeData(dragged));
    ASSERT_TRUE(data);
    ASSERT_TRUE(target->handleDrop(data.get(), 1, target->model()->moduleIndex(0), true));
    const std::string sourceAfter = savedBytes(source);
    const std::string targetAfter = savedBytes(target);
    ASSERT_TRUE(source->isDocumentEdited() && target->isDocumentEdited());
    EXPECT_EQ(action(source, "undo")->text(), "Undo Drag");

    action(target, "undo")->trigger();
    EXPECT_EQ(savedBytes(source), sourceBefore);
    EXPECT_EQ(savedBytes(target), targetBefore);
    EXPECT_FALSE(source->isDocumentEdited() || target->isDocumentEdited());
    action(source, "redo")->trigger();
    EXPECT_EQ(savedBytes(source), sourceAfter);
    EXPECT_EQ(savedBytes(target), targetAfter);

    // Once the source changed again, the drag is undone in neither until
    // that change is undone too.
    selectRows(source, {1});
    action(source, "delete")->trigger();
    const std::string sourceDeleted = savedBytes(source);
    EXPECT_FALSE(action(target, "undo")->isEnabled());
    action(target, "undo")->trigger();
    EXPECT_EQ(savedBytes(target), targetAfter);
    EXPECT_EQ(savedBytes(source), sourceDeleted);
    action(source, "undo")->trigger();
    ASSERT_TRUE(action(target, "undo")->isEnabled());
    action(source, "undo")->trigger();
    EXPECT_EQ(savedBytes(source), sourceBefore);
    EXPECT_EQ(savedBytes(target), targetBefore);

    // A window closed takes its half with it: the other can no longer undo
    // the drag, and loses nothing.
    action(target, "redo")->trigger();
    source->clearChangeCount();
    const QPointer<Modules> alive(source);
    source->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alive; }, 5000));
    EXPECT_FALSE(action(target, "undo")->isEnabled());
    action(target, "undo")->trigger();
    EXPECT_EQ(savedBytes(target), targetAfter);
    closeAll();
}

TEST_F(Undo, AFileChangedOnDiskAndReloadedStartsAFreshHistory)
{
    Modules* window = open(threeModules());
    selectRows(window, {4});
    action(window, "delete")->trigger();
    ASSERT_TRUE(window->save());
    ModulesDocument changed = threeModules();
    changed.modules.resize(1);
    std::string error;
    ASSERT_TRUE(writeModulesFile(window->filePath().toStdString(), changed, &error)) << error;
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->document().modules.size() == 1; }, 10000));
    EXPECT_FALSE(action(window, "undo")->isEnabled());
    action(window, "undo")->trigger();
    EXPECT_EQ(window->document().modules.size(), 1u);
    EXPECT_FALSE(window->isDocumentEdited());
    closeAll();
}

// Fifty random commands on random selections, undone to the start and
// redone to the end, each step compared with the bytes it stands for.
TEST_F(Undo, FiftyRandomCommandsUndoneToTheStartAndRedoneToTheEnd)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::mt19937 random(2028);
    const auto pick = [&](int bound) { return std::uniform_int_distribution<int>(0, bound)(random); };
    const auto selectSome = [&] {
        const int rows = window->model()->rowMap().rowCount();
        window->deselectAll();
        if (rows == 0)
            return;
        const int first = pick(rows - 1);
        window->selectRow(first, false);
        if (pick(3) == 0)
            window->selectRow(pick(rows - 1), true);
    };
    const std::vector<std::function<void()>> commands = {
        [&] { action(window, "newModule")->trigger(); },
        [&] { action(window, "newEvent")->trigger(); },
        [&] { action(window, "delete")->trigger(); },
        [&] { action(window, "expandAll")->trigger(); },
        [&] { action(window, "collapseAll")->trigger(); },
        [&] { action(window, "cut")->trigger(); },
        [&] {
            action(window, "copy")->trigger();
            action(window, "paste")->trigger();
        },
        [&] {
            if (window->currentEventIndex() >= 0)
                window->eventEditor()->findChild<QCheckBox*>("securitySwitch")->click();
        },
        [&] {
            if (window->currentEventIndex() >= 0)
                window->eventEditor()->findChild<QPushButton*>("resetEvent")->click();
        },
        [&] {
            const auto rows = window->selectedRows();
            if (!rows.empty())
                setCell(window, window->model()->indexForRow(rows.front()),
                        "Name " + std::to_string(pick(99)));
        },
        [&] {
            if (!window->document().modules.empty())
                setCell(window,
                        window->model()->moduleIndex(
                            static_cast<std::size_t>(pick(
                                static_cast<int>(window->document().modules.size()) - 1)),
                            ModulesOutlineModel::UnitColumn),
                        moduleNumberText(1 + pick(AllModulesUnit - 1)));
        },
        [&] {
            const auto count = static_cast<int>(window->document().modules.size());
            if (count > 1)
                dragModules(window, {static_cast<std::size_t>(pick(count - 1))}, pick(count));
        },
        [&] { chooseRepeatCounts(window, 1 + pick(4), 1 + pick(4)); },
    };
    QUndoStack* history = stack(window);
    // By stack index: the bytes before the command above it, and after its own.
    std::map<int, std::string> beforeCommand;
    std::map<int, std::string> afterCommand{{0, savedBytes(window)}};
    for (int step = 0; step < 50; ++step) {
        selectSome();
        const int index = history->index();
        const std::string before = savedBytes(window);
        const ModulesDocument document = window->document();
        commands[static_cast<std::size_t>(pick(static_cast<int>(commands.size()) - 1))]();
        window->outline()->endEditing();
        const bool changed = window->document().modules != document.modules ||
                             window->document().eventRepeat != document.eventRepeat;
        if (history->index() == index + 1) {
            beforeCommand[index] = before;
            afterCommand[index + 1] = savedBytes(window);
        } else if (history->index() == index && changed) {
            afterCommand[index] = savedBytes(window); // joined the command above
        }
        ASSERT_GE(history->index(), index - 1);
    }
    const int end = history->index();
    ASSERT_GT(end, 25) << "most commands change the document";
    const std::string last = afterCommand[end];
    for (int index = end; index > 0; --index) {
        action(window, "undo")->trigger();
        ASSERT_EQ(history->index(), index - 1);
        ASSERT_EQ(savedBytes(window), beforeCommand[index - 1]) << "undone to " << index - 1;
    }
    EXPECT_FALSE(window->isDocumentEdited());
    for (int index = 1; index <= end; ++index) {
        action(window, "redo")->trigger();
        ASSERT_EQ(savedBytes(window), afterCommand[index]) << "redone to " << index;
    }
    EXPECT_EQ(savedBytes(window), last);
    closeAll();
}

} // namespace
} // namespace vantrel::test
