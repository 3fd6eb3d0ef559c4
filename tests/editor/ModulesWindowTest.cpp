#include "EditorTestSupport.h"

#include "editor/ApplicationPreferences.h"
#include "editor/DocumentManager.h"
#include "editor/EventEditor.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/OutlinePrinter.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "platform/Paths.h"
#include "schedule/EventSummary.h"
#include "support/ScheduleBuilders.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <memory>
#include <numeric>

#include <csignal>
#include <sys/resource.h>

namespace vantrel::test {

void WindowTest::SetUp()
{
    resetApplicationPreferences();
    setDialogs(&answers);
}

void WindowTest::TearDown()
{
    setDialogs(nullptr);
    resetApplicationPreferences();
}

namespace {

class ModulesWindow : public WindowTest
{
  protected:
    Modules* open(ModulesDocument document, const std::string& name = "Test.vantrel")
    {
        const std::string path = home.root() + "/" + name;
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        Modules* window = manager.openDocument(QString::fromStdString(path));
        EXPECT_NE(window, nullptr);
        return window;
    }

    DocumentManager manager;
};


Module named(std::string name)
{
    Module module;
    module.name = std::move(name);
    return module;
}

std::vector<std::string> names(const Modules* window)
{
    std::vector<std::string> result;
    for (const Module& module : window->document().modules)
        result.push_back(module.name);
    return result;
}

QLineEdit* cellEditor(Modules* window)
{
    return qobject_cast<QLineEdit*>(window->outline()->activeEditor());
}

TEST_F(ModulesWindow, NewDocumentStartsWithItsModuleSelectedAndBeingEdited)
{
    Modules* window = manager.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->outline()->editedIndex().isValid(); }));
    EXPECT_EQ(window->selectedRows(), std::vector<int>{0});
    ASSERT_NE(cellEditor(window), nullptr);
    EXPECT_EQ(cellEditor(window)->selectedText(), "New Module");
    EXPECT_TRUE(window->findChild<QPushButton*>("newEventButton")->isEnabled());
    EXPECT_FALSE(window->isDocumentEdited());
    // The default size, as far as the screen has room for it and the frame.
    const QRect available = window->screen()->availableGeometry();
    const QSize frame = window->frameGeometry().size() - window->size();
    EXPECT_EQ(window->size(), QSize(800, 600).boundedTo(available.size() - frame));
    EXPECT_TRUE(available.contains(window->frameGeometry()));
    window->close();
}

TEST_F(ModulesWindow, NewModulePlacement)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    window->selectRow(3, false);
    window->insertModule(named("Before Coffee"));
    EXPECT_EQ(names(window),
              (std::vector<std::string>{"Porch", "Before Coffee", "Coffee", "Hall"}));
    EXPECT_EQ(window->selectedRows(), std::vector<int>{3})
        << "the selected row shows the new module";

    window->selectRow(0, false);
    window->outline()->editCell(window->model()->moduleIndex(0));
    ASSERT_TRUE(window->outline()->editedIndex().isValid());
    window->insertModule(named("After Porch"));
    EXPECT_EQ(names(window)[1], "After Porch");
    EXPECT_EQ(window->selectedRows(), std::vector<int>{3});

    window->selectRow(1, false); // an event row
    window->insertModule(named("Last"));
    EXPECT_EQ(names(window).back(), "Last");
    EXPECT_EQ(window->selectedRows(), std::vector<int>{window->model()->rowMap().rowCount() - 1});
    EXPECT_TRUE(window->isDocumentEdited());
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, NewEventPlacementExpandsAndSelectsIt)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    window->selectRow(3, false); // Coffee, collapsed, one event
    window->findChild<QAction*>("newEvent")->trigger();
    const Module& coffee = window->document().modules[1];
    EXPECT_TRUE(coffee.expanded);
    ASSERT_EQ(coffee.events.size(), 2u);
    EXPECT_EQ(eventFromData(coffee.events[1])->Flags, DefaultEventFlags);
    EXPECT_EQ(window->selectedRows(), std::vector<int>{5});
    EXPECT_EQ(window->currentEventIndex(), 1);

    window->selectRow(2, false); // Porch's second event
    window->newEvent();
    ASSERT_EQ(window->document().modules[0].events.size(), 3u);
    EXPECT_EQ(eventFromData(window->document().modules[0].events[1])->Flags, DefaultEventFlags);
    EXPECT_EQ(window->selectedRows(), std::vector<int>{2});
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, DeleteAModuleWithSomeOfItsEventsAndThenEverything)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    window->selectRow(0, false);
    window->selectRow(2, true);
    window->selectRow(3, true);
    window->findChild<QAction*>("delete")->trigger();
    EXPECT_EQ(names(window), std::vector<std::string>{"Hall"});
    EXPECT_EQ(window->currentEventIndex(), -1);

    window->selectRow(0, false);
    window->deleteRows();
    EXPECT_TRUE(window->document().modules.empty());
    EXPECT_EQ(window->model()->rowCount(), 0);
    EXPECT_FALSE(window->findChild<QAction*>("delete")->isEnabled());
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, EditMenuFollowsTheSelectionAndTheClipboard)
{
    Modules* window = open(threeModules());
    QAction* copy = window->findChild<QAction*>("copy");
    QAction* cut = window->findChild<QAction*>("cut");
    QAction* paste = window->findChild<QAction*>("paste");
    window->selectRow(0, false);
    window->selectRow(1, true);
    window->validateMenus();
    EXPECT_FALSE(copy->isEnabled()) << "a module with only some of its events";
    window->selectRow(2, true);
    window->validateMenus();
    EXPECT_TRUE(copy->isEnabled() && cut->isEnabled());

    auto* data = new QMimeData;
    data->setData(mimeTypeForPasteboardType(EventsPasteboardType), "<plist/>");
    QApplication::clipboard()->setMimeData(data);
    window->validateMenus();
    EXPECT_FALSE(paste->isEnabled()) << "events paste onto exactly one row";
    window->selectRow(4, false);
    window->validateMenus();
    EXPECT_TRUE(paste->isEnabled());
    QApplication::clipboard()->clear();
    window->validateMenus();
    EXPECT_FALSE(paste->isEnabled());
    window->close();
}

TEST_F(ModulesWindow, ModuleCellsApplyTheirTypingChecks)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->outline()->editCell(
        window->model()->moduleIndex(2, ModulesOutlineModel::HouseCodeColumn));
    QLineEdit* editor = cellEditor(window);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "A");
    QTest::keyClicks(editor, "c");
    EXPECT_EQ(editor->text(), "C");
    EXPECT_EQ(editor->selectedText(), "C");
    QTest::keyClicks(editor, "q3");
    EXPECT_EQ(editor->text(), "C");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->outline()->editedIndex().isValid(); }));
    EXPECT_EQ(window->document().modules[2].houseCode, 2);

    window->outline()->editCell(window->model()->moduleIndex(2, ModulesOutlineModel::UnitColumn));
    editor = cellEditor(window);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "l");
    EXPECT_EQ(editor->text(), "All Lights");
    EXPECT_EQ(editor->selectedText(), "All Lights");
    QTest::keyClicks(editor, "7");
    EXPECT_EQ(editor->text(), "7");
    QTest::keyClicks(editor, "7"); // 77 is no unit
    EXPECT_EQ(editor->text(), "7");
    QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->outline()->editedIndex().isValid(); }));
    EXPECT_EQ(window->document().modules[2].unit, 1) << "Escape commits nothing";
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, AnEventLineStaysInEditingUntilEndEdit)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->selectRow(1, false);
    window->edit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cellEditor(window) != nullptr; }));
    cellEditor(window)->setText("Turn Off @ 9:15 PM");
    QTest::keyClick(cellEditor(window), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !eventFromData(window->document().modules[0].events[0])->isOn(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cellEditor(window) != nullptr && window->outline()->editedIndex().isValid(); }));
    const Event changed = *eventFromData(window->document().modules[0].events[0]);
    EXPECT_FALSE(changed.isOn());
    EXPECT_EQ(changed.Time, clockTime(21, 15));
    EXPECT_EQ(window->outline()->editedIndex().row(), 0);
    EXPECT_EQ(cellEditor(window)->selectedText(), "Turn Off @ 09:15 PM Every Day");

    cellEditor(window)->setText("on");
    window->findChild<QAction*>("endEdit")->trigger();
    QTest::qWait(20);
    EXPECT_FALSE(window->outline()->editedIndex().isValid());
    EXPECT_TRUE(eventFromData(window->document().modules[0].events[0])->isOn());
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, TabWalksAlongAModuleRowAndOnToTheNextModule)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    RkNSOutlineView* outline = window->outline();
    const ModulesOutlineModel* model = window->model();
    auto editing = [&] { return QModelIndex(outline->editedIndex()); };

    outline->editCell(model->moduleIndex(0));
    ASSERT_NE(cellEditor(window), nullptr);
    QTest::keyClicks(cellEditor(window), "Front porch");
    QTest::keyClick(cellEditor(window), Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return editing() == model->moduleIndex(0, ModulesOutlineModel::HouseCodeColumn); }));
    EXPECT_EQ(window->document().modules[0].name, "Front porch") << "Tab commits";
    QTest::keyClicks(cellEditor(window), "c");
    QTest::keyClick(cellEditor(window), Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return editing() == model->moduleIndex(0, ModulesOutlineModel::UnitColumn); }));
    EXPECT_EQ(window->document().modules[0].houseCode, 2);
    QTest::keyClick(cellEditor(window), Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return editing() == model->moduleIndex(0, ModulesOutlineModel::TypeColumn); }));
    // The first module's events are shown; Tab passes over them.
    QTest::keyClick(cellEditor(window), Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editing() == model->moduleIndex(1); }));
    EXPECT_EQ(window->selectedRows(), std::vector<int>{3});
    QTest::keyClick(cellEditor(window), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return editing() == model->moduleIndex(0, ModulesOutlineModel::TypeColumn); }));
    QTest::keyClick(cellEditor(window), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return editing() == model->moduleIndex(0, ModulesOutlineModel::UnitColumn); }));

    // Return commits and stays put; Tab from the last cell of all ends editing.
    QTest::keyClick(cellEditor(window), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editing().isValid(); }));
    outline->editCell(model->moduleIndex(2, ModulesOutlineModel::TypeColumn));
    ASSERT_NE(cellEditor(window), nullptr);
    QTest::keyClick(cellEditor(window), Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editing().isValid(); }));
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, TheEndEditButtonLeavesTheNextEventEditOpenAfterReturn)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->selectRow(1, false);
    window->edit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cellEditor(window) != nullptr; }));
    cellEditor(window)->setText("Turn Off @ 9:15 PM");
    auto* endEditButton = window->findChild<QPushButton*>("endEditButton");
    ASSERT_TRUE(endEditButton->isEnabled());
    QTest::mouseClick(endEditButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->outline()->editedIndex().isValid(); }));
    EXPECT_FALSE(eventFromData(window->document().modules[0].events[0])->isOn());

    window->edit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cellEditor(window) != nullptr; }));
    cellEditor(window)->setText("Turn On @ 9:15 PM");
    QTest::keyClick(cellEditor(window), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return eventFromData(window->document().modules[0].events[0])->isOn(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return cellEditor(window) != nullptr && window->outline()->editedIndex().isValid();
    }));
    window->findChild<QAction*>("endEdit")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->outline()->editedIndex().isValid(); }));
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, ExpandAllMarksTheDocumentChangedATriangleDoesNot)
{
    Modules* window = open(threeModules());
    window->outline()->expand(window->model()->moduleIndex(1));
    EXPECT_TRUE(window->document().modules[1].expanded);
    window->outline()->collapse(window->model()->moduleIndex(0));
    EXPECT_FALSE(window->document().modules[0].expanded);
    EXPECT_FALSE(window->isDocumentEdited());
    window->findChild<QAction*>("expandAll")->trigger();
    for (const Module& module : window->document().modules)
        EXPECT_TRUE(module.expanded);
    EXPECT_TRUE(window->outline()->isExpanded(window->model()->moduleIndex(2)));
    EXPECT_TRUE(window->isDocumentEdited());
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, AltClickOnATriangleExpandsEveryModule)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    RkNSOutlineView* outline = window->outline();
    const QRect row = outline->visualRect(window->model()->moduleIndex(1));
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, Qt::AltModifier,
                      QPoint(row.left() - outline->indentation() / 2, row.center().y()));
    for (const Module& module : window->document().modules)
        EXPECT_TRUE(module.expanded);
    EXPECT_TRUE(window->isDocumentEdited());
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

// Window managers often take Alt+click for themselves.
TEST_F(ModulesWindow, CtrlClickOnATriangleExpandsOrCollapsesEveryModule)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    RkNSOutlineView* outline = window->outline();
    auto clickTriangle = [&](std::size_t module) {
        const QRect row = outline->visualRect(window->model()->moduleIndex(module));
        QTest::mouseClick(outline->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          QPoint(row.left() - outline->indentation() / 2, row.center().y()));
    };
    clickTriangle(1);
    for (const Module& module : window->document().modules)
        EXPECT_TRUE(module.expanded);
    EXPECT_TRUE(window->isDocumentEdited());
    clickTriangle(0);
    for (const Module& module : window->document().modules)
        EXPECT_FALSE(module.expanded);
    EXPECT_FALSE(outline->isExpanded(window->model()->moduleIndex(2)));
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

// How many colours the branch area left of a row's first cell holds: one
// when nothing is drawn there.
int branchColours(RkNSOutlineView* outline, const QModelIndex& index)
{
    const QImage image = outline->viewport()->grab().toImage();
    const QRect cell = outline->visualRect(index);
    const QRect branch(cell.left() - outline->indentation(), cell.top(), outline->indentation(),
                       cell.height());
    QSet<QRgb> colours;
    for (int y = branch.top(); y <= branch.bottom(); ++y)
        for (int x = branch.left(); x <= branch.right(); ++x)
            colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

TEST_F(ModulesWindow, AnExpandedModuleWithNoEventsKeepsItsTriangle)
{
    Modules* window = open(threeModules());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    RkNSOutlineView* outline = window->outline();
    const QModelIndex hall = window->model()->moduleIndex(2);
    window->selectRow(0, false);
    EXPECT_GT(branchColours(outline, hall), 1) << "closed triangle";
    EXPECT_EQ(branchColours(outline, window->model()->eventIndex(0, 0)), 1) << "no triangle";
    outline->expand(hall);
    ASSERT_TRUE(window->document().modules[2].expanded);
    EXPECT_GT(branchColours(outline, hall), 1) << "open triangle";
    // Also once the last event of an open module is gone.
    window->model()->removeEvent(0, 1);
    window->model()->removeEvent(0, 0);
    ASSERT_TRUE(outline->isExpanded(window->model()->moduleIndex(0)));
    EXPECT_GT(branchColours(outline, window->model()->moduleIndex(0)), 1) << "emptied";

    // And its triangle closes it again.
    const QRect row = outline->visualRect(hall);
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(row.left() - outline->indentation() / 2, row.center().y()));
    EXPECT_FALSE(outline->isExpanded(hall));
    EXPECT_FALSE(window->document().modules[2].expanded);
    EXPECT_TRUE(window->document().modules[0].expanded);
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, ReopenedDocumentHasItsRowsSelectionAndDrawer)
{
    Modules* window = open(threeModules());
    window->selectRow(3, false);
    window->selectRow(1, true);
    window->showHideEvents();
    ASSERT_TRUE(window->save());
    const QString path = window->filePath();
    window->close();
    EXPECT_EQ(applicationPreferences().stringValue(LastModulesFileKey), path.toStdString());

    window = manager.openDocument(path);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->selectedRows(), (std::vector<int>{3, 1}));
    EXPECT_TRUE(window->outline()->isExpanded(window->model()->moduleIndex(0)));
    EXPECT_FALSE(window->outline()->isExpanded(window->model()->moduleIndex(1)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isDrawerOpen(); }));
    EXPECT_EQ(window->findChild<QPushButton*>("eventsButton")->text(), "Hide Event Editor");
    EXPECT_EQ(manager.openDocument(path), window) << "an open document comes forward";
    EXPECT_FALSE(window->isDocumentEdited());
    window->close();
}

TEST_F(ModulesWindow, AnUnreadableFileIsNamedInAnAlertAndOpensNothing)
{
    const std::string path = home.root() + "/Broken.vantrel";
    writeFileAtomically(path, "not a property list");
    EXPECT_EQ(manager.openDocument(QString::fromStdString(path)), nullptr);
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_TRUE(answers.alerts[0].title.contains("Broken.vantrel"));
    EXPECT_FALSE(answers.alerts[0].message.isEmpty());
    EXPECT_TRUE(manager.documents().isEmpty());
}

TEST_F(ModulesWindow, ADamagedCellOpensAndCanBeRepaired)
{
    ModulesDocument document = threeModules();
    document.modules[1].houseCode = 20;
    document.modules[1].unit = 40;
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    ModulesOutlineModel* model = window->model();
    EXPECT_EQ(model->moduleIndex(1, ModulesOutlineModel::HouseCodeColumn).data().toString(), "?");
    EXPECT_EQ(model->moduleIndex(1, ModulesOutlineModel::UnitColumn).data().toString(), "40");
    model->setData(model->moduleIndex(1, ModulesOutlineModel::HouseCodeColumn), "D");
    EXPECT_EQ(window->document().modules[1].houseCode, 3);
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, AFailedSaveKeepsTheOldFileAndTheChanges)
{
    Modules* window = open(threeModules());
    std::string before;
    ASSERT_TRUE(readWholeFile(window->filePath().toStdString(), &before));
    window->expandAll();
    // A file size limit stands in for a full disk (root ignores permissions).
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit limit{}, saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = saved;
    limit.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool saved_ok = window->save();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_FALSE(saved_ok);
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_TRUE(answers.alerts[0].title.contains("could not be saved"));
    EXPECT_TRUE(window->isDocumentEdited());
    std::string after;
    ASSERT_TRUE(readWholeFile(window->filePath().toStdString(), &after));
    EXPECT_EQ(after, before);

    answers.saveAnswers.push_back(SaveChangesAnswer::Cancel);
    EXPECT_FALSE(window->close()) << "Cancel keeps the window";
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    EXPECT_TRUE(window->close());
}

TEST_F(ModulesWindow, CancellingCloseAllLeavesEveryWindowOpen)
{
    Modules* first = open(threeModules(), "First.vantrel");
    Modules* changed = open(threeModules(), "Changed.vantrel");
    Modules* last = open(threeModules(), "Last.vantrel");
    changed->expandAll();
    ASSERT_TRUE(changed->isDocumentEdited());

    answers.saveAnswers.push_back(SaveChangesAnswer::Cancel);
    EXPECT_FALSE(manager.closeAll());
    EXPECT_TRUE(answers.saveAnswers.empty()) << "the changed window was asked about";
    EXPECT_EQ(manager.documents(), (QList<Modules*>{first, changed, last}));
    for (Modules* window : {first, changed, last})
        EXPECT_TRUE(window->isVisible()) << window->displayName().toStdString();

    // Once answered, each window closes without a second question.
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    EXPECT_TRUE(manager.closeAll());
    EXPECT_TRUE(manager.documents().isEmpty());
}

// Windows open with the frame the last one closed with; each steps off the one before.
TEST_F(ModulesWindow, NewWindowsCascadeFromTheOneOpenedLast)
{
    Modules* placed = open(threeModules(), "Placed.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(placed));
    // As small as the window goes, so that two steps still fit the screen.
    placed->setGeometry(QRect(0, 0, 400, 300));
    const QSize storedSize = placed->size();
    placed->close();

    Modules* first = open(threeModules(), "First.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    Modules* second = manager.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second));
    EXPECT_EQ(second->pos() - first->pos(), DocumentManager::cascadeOffset());
    Modules* third = open(threeModules(), "Third.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(third));
    EXPECT_EQ(third->pos() - second->pos(), DocumentManager::cascadeOffset());
    EXPECT_EQ(third->size(), storedSize);
    for (Modules* window : {first, second, third})
        window->clearChangeCount();
    EXPECT_TRUE(manager.closeAll());
}

TEST_F(ModulesWindow, ARestoredFrameLargerThanTheScreenIsFittedToIt)
{
    Modules* placed = open(threeModules(), "Placed.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(placed));
    const QRect available = placed->screen()->availableGeometry();
    placed->setGeometry(
        QRect(available.topLeft() + QPoint(-40, 30), available.size() + QSize(300, 200)));
    placed->close();

    Modules* window = open(threeModules(), "Again.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(available.contains(window->frameGeometry()))
        << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
        << window->frameGeometry().width() << "x" << window->frameGeometry().height() << " in "
        << available.width() << "x" << available.height() << " min "
        << window->minimumSizeHint().width() << "x" << window->minimumSizeHint().height();
    window->close();
}

// 200 modules with long descriptions, each with a long event line (a sunset
// event on a date, repeated, in security mode) and a short one.
ModulesDocument longPrintedDocument()
{
    ModulesDocument document;
    Event longEvent;
    longEvent.Flags =
        EventSunsetFlag | EventOnFlag | EventSecurityFlag | EventRuleDate | EventRepeatFlag;
    longEvent.Adjust = 45 * 60;
    longEvent.Date = dateValue(2026, 12, 18);
    longEvent.Repeat = 3;
    longEvent.Brightness = 4;
    for (int i = 0; i < 200; ++i) {
        Module module =
            moduleWith({longEvent, clockEvent(EventDaysMask, 8, 0)}, i % 16, i % 16 + 1);
        module.name = "Module " + std::to_string(i) +
                      " switches the lights along the garden path behind the house, by the "
                      "shed and the greenhouse, end " +
                      std::to_string(i);
        module.expanded = true;
        document.modules.push_back(module);
    }
    return document;
}

std::size_t pdfPageCount(const QString& pdf)
{
    std::string bytes;
    EXPECT_TRUE(readWholeFile(pdf.toStdString(), &bytes));
    std::size_t count = 0;
    for (std::size_t at = bytes.find("/Type /Page\n"); at != std::string::npos;
         at = bytes.find("/Type /Page\n", at + 1))
        ++count;
    return count;
}

TEST(OutlinePrinting, ColumnsFillThePageWidthAndFooterCountsPages)
{
    const std::vector<PrintedColumn> columns = {
        {ModulesOutlineModel::NameColumn, 300, "Description"},
        {ModulesOutlineModel::HouseCodeColumn, 80, "House Code"},
        {ModulesOutlineModel::UnitColumn, 60, "Unit"},
        {ModulesOutlineModel::TypeColumn, 60, "Type"}};
    struct Case
    {
        double page;
        std::vector<double> widths;
    };
    const Case cases[] = {{700, {500, 80, 60, 60}}, // the room to spare goes to the description
                          {500, {300, 80, 60, 60}},
                          {250, {150, 40, 30, 30}}}; // too narrow: all shrink alike
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        EXPECT_EQ(fitColumnWidths(columns, c.page), c.widths);
    }
    EXPECT_EQ(pageFooterText(3, 12), "Page 3 of 12");
}

TEST(OutlinePrinting, EveryRowWholeOnOnePageUnderTheTitleDateAndHeadings)
{
    ModulesDocument document = longPrintedDocument();
    ModulesOutlineModel model(&document.modules);
    const std::vector<PrintedColumn> columns = {
        {ModulesOutlineModel::NameColumn, 260, "Description"},
        {ModulesOutlineModel::HouseCodeColumn, 90, "House Code"},
        {ModulesOutlineModel::UnitColumn, 50, "Unit"},
        {ModulesOutlineModel::TypeColumn, 80, "Type"}};
    QFont font;
    font.setPixelSize(13);
    const QSizeF letter(7.5 * 96, 10 * 96);
    const QDate date(2026, 12, 9);
    const OutlinePrintPlan plan =
        planOutlinePrint(model, columns, font, 20, letter, "Garden.vantrel", date);

    const int pages = static_cast<int>(plan.pages.size());
    ASSERT_GT(pages, 10);
    const QFontMetricsF metrics(font);
    const QString longLine =
        QString::fromStdString(eventSummary(*eventFromData(document.modules[0].events[0])));
    ASSERT_GT(metrics.horizontalAdvance(longLine), 260) << "would not fit the description";
    std::vector<int> seen;
    for (int p = 0; p < pages; ++p) {
        SCOPED_TRACE(p);
        const PrintedPage& page = plan.pages[static_cast<std::size_t>(p)];
        QStringList furniture;
        for (const PrintedText& text : page.furniture) {
            furniture << text.text;
            EXPECT_GE(text.rect.top(), 0);
            EXPECT_LE(text.rect.bottom(), letter.height() + 0.01);
        }
        EXPECT_EQ(furniture,
                  QStringList({"Garden.vantrel", QLocale().toString(date, QLocale::LongFormat),
                               "Description", "House Code", "Unit", "Type",
                               QString("Page %1 of %2").arg(p + 1).arg(pages)}));
        ASSERT_FALSE(page.rows.empty());
        for (const PrintedRow& row : page.rows) {
            seen.push_back(row.row);
            // Whole on its page, below the headings and above the footer.
            EXPECT_GE(row.rect.top(), plan.body.top() - 0.01);
            EXPECT_LE(row.rect.bottom(), plan.body.bottom() + 0.01);
            for (const PrintedText& cell : row.cells) {
                EXPECT_TRUE(row.rect.contains(cell.rect.adjusted(0.01, 0.01, -0.01, -0.01)));
                const double needed =
                    metrics
                        .boundingRect(QRectF(0, 0, cell.rect.width(), 1e7), cell.flags, cell.text)
                        .height();
                EXPECT_LE(needed, cell.rect.height() + 0.01) << cell.text.toStdString();
            }
            if (row.isEvent) {
                // One text across the row, as on screen, never cut.
                ASSERT_EQ(row.cells.size(), 1u);
                EXPECT_GT(row.cells[0].rect.right(), letter.width() - 10);
                const QModelIndex index = model.indexForRow(row.row);
                EXPECT_EQ(row.cells[0].text, index.data().toString());
            } else {
                ASSERT_EQ(row.cells.size(), columns.size());
                for (std::size_t c = 0; c < columns.size(); ++c)
                    EXPECT_EQ(row.cells[c].text,
                              model.indexForRow(row.row, columns[c].logical).data().toString());
            }
        }
    }
    // Every row once, in order.
    std::vector<int> all(static_cast<std::size_t>(model.rowMap().rowCount()));
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(seen, all);

    const PrintedRow& first = plan.pages[0].rows[0];
    EXPECT_EQ(first.cells[0].text, QString::fromStdString(document.modules[0].name));
    EXPECT_EQ(first.cells[1].text, "A");
    EXPECT_EQ(first.cells[2].text, "1");
    EXPECT_EQ(plan.pages[0].rows[1].cells[0].text, longLine);
}

TEST_F(ModulesWindow, PrintsAndPreviewsTheWholeDocumentOnPdfPages)
{
    Modules* window = open(longPrintedDocument());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = QString::fromStdString(home.root() + "/outline.pdf");
    printer.setOutputFileName(pdf);
    const int pages = window->printOutline(printer);
    EXPECT_GE(pages, 15); // 600 rows, many of them on two lines
    EXPECT_EQ(pdfPageCount(pdf), static_cast<std::size_t>(pages));

    // The preview paints the same pages, through the dialogs.
    answers.previewFile = QString::fromStdString(home.root() + "/preview.pdf");
    auto* preview = window->findChild<QAction*>("printPreview");
    ASSERT_NE(preview, nullptr);
    preview->trigger();
    EXPECT_EQ(answers.previews, 1);
    EXPECT_EQ(pdfPageCount(answers.previewFile), static_cast<std::size_t>(pages));
    window->close();
}

// One Light module with an Off event at 23:30 on no day, and an "All
// Lights" module. Rows: 0 M0, 1 e0, 2 M1.
ModulesDocument editorDocument()
{
    ModulesDocument document;
    Event off = clockEvent(0, 23, 30, false);
    off.Flags |= EventSecurityFlag;
    off.Date = dateValue(2027, 7, 4);
    off.Repeat = 3;
    Module lamp = moduleWith({off});
    lamp.type = LightType;
    lamp.expanded = true;
    Module all;
    all.unit = AllLightsUnit;
    all.type = NoType;
    document.modules = {lamp, all};
    return document;
}

template <typename T> T* control(Modules* window, const char* name)
{
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

Event storedEvent(Modules* window)
{
    return *eventFromData(window->document().modules[0].events[0]);
}

TEST_F(ModulesWindow, EventEditorFollowsTheEventAndWritesItBack)
{
    Modules* window = open(editorDocument());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->showHideEvents();
    window->selectRow(1, false);
    auto* slider = control<QSlider>(window, "eventBrightnessSlider");
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->value(), 9);
    EXPECT_FALSE(control<QLabel>(window, "daysWarning")->isHidden()) << "no day chosen";

    QTest::mouseClick(control<QRadioButton>(window, "onSwitch"), Qt::LeftButton);
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->value(), 9);
    EXPECT_TRUE(storedEvent(window).isOn());
    EXPECT_EQ(storedEvent(window).Brightness, 9);

    QTest::mouseClick(control<QCheckBox>(window, "mondaySwitch"), Qt::LeftButton);
    EXPECT_TRUE(control<QLabel>(window, "daysWarning")->isHidden());
    EXPECT_EQ(storedEvent(window).Flags & EventDaysMask, EventMondayFlag);

    // To the date rule: the stored date and repeat, security cleared.
    auto* days = control<QComboBox>(window, "daysPopup");
    days->setCurrentIndex(EventRuleDate);
    emit days->activated(EventRuleDate);
    EXPECT_EQ(control<QLineEdit>(window, "date")->text(), "07/04/2027");
    EXPECT_EQ(control<QSpinBox>(window, "repeatDays")->value(), 3);
    EXPECT_FALSE(control<QCheckBox>(window, "securitySwitch")->isEnabled());
    EXPECT_EQ(storedEvent(window).dayRule(), EventRuleDate);
    EXPECT_FALSE(storedEvent(window).Flags & EventSecurityFlag);

    // Today changes the field only; the selection change then saves it.
    QTest::mouseClick(control<QPushButton>(window, "today"), Qt::LeftButton);
    EXPECT_EQ(storedEvent(window).Date, dateValue(2027, 7, 4));
    window->selectRow(0, false);
    DateTimeRec today = secondsToDate(GetDateTime());
    EXPECT_EQ(storedEvent(window).Date, dateValue(today.year, today.month, today.day));

    window->selectRow(1, false);
    QTest::mouseClick(control<QPushButton>(window, "resetEvent"), Qt::LeftButton);
    EXPECT_EQ(storedEvent(window).Flags, DefaultEventFlags);
    EXPECT_FALSE(control<QRadioButton>(window, "onSwitch")->isChecked());
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
}

TEST_F(ModulesWindow, ASunEventShowsTodaysSunTimeFixed)
{
    ModulesDocument document = editorDocument();
    Event sunset = *eventFromData(document.modules[0].events[0]);
    sunset.Flags = static_cast<std::uint16_t>((sunset.Flags & ~EventClockTimeFlag) |
                                              EventSunsetFlag | EventOffsetBeforeFlag);
    sunset.Adjust = 45 * 60;
    document.modules[0].events[0] = eventToData(sunset);
    Modules* window = open(document);
    window->selectRow(1, false);
    EXPECT_FALSE(control<QTimeEdit>(window, "time")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(window, "offset")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(window, "offset")->text(), "00:45");
    EXPECT_EQ(control<QLineEdit>(window, "offsetSign")->text(), "-");
    EXPECT_FALSE(window->isDocumentEdited()) << "showing an event changes nothing";
    window->close();
}

TEST_F(ModulesWindow, TheEventEditorNeitherUndoesNorInventsNorDropsEdits)
{
    ModulesDocument document = editorDocument();
    Event dimmed = clockEvent(EventDaysMask, 19, 0);
    dimmed.Brightness = 4;
    document.modules[1].events = {eventToData(dimmed)};
    document.modules[1].expanded = true;
    Modules* window = open(document);
    window->showHideEvents();
    window->selectRow(1, false);

    // A day ticked, then to the date rule and back: the tick stays.
    QTest::mouseClick(control<QCheckBox>(window, "mondaySwitch"), Qt::LeftButton);
    auto* days = control<QComboBox>(window, "daysPopup");
    for (int rule : {EventRuleDate, EventRuleWeekly}) {
        days->setCurrentIndex(rule);
        emit days->activated(rule);
    }
    EXPECT_TRUE(control<QCheckBox>(window, "mondaySwitch")->isChecked());
    EXPECT_EQ(storedEvent(window).Flags & EventDaysMask, EventMondayFlag);

    // Looking at a dimmed event of an All Lights module keeps its brightness.
    window->clearChangeCount();
    window->selectRow(3, false);
    window->selectRow(2, false);
    EXPECT_EQ(eventFromData(window->document().modules[1].events[0])->Brightness, 4);
    EXPECT_FALSE(window->isDocumentEdited());

    // A time still being typed in is a change the close asks about.
    window->selectRow(1, false);
    control<QTimeEdit>(window, "time")->setTime(QTime(21, 15));
    answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
    window->close();
    EXPECT_TRUE(answers.saveAnswers.empty()) << "closed without asking";
}

TEST_F(ModulesWindow, AnAllUnitAmongTheSelectedModulesDisablesDirectSwitching)
{
    Modules* window = open(editorDocument());
    window->selectRow(0, false);
    EXPECT_TRUE(control<QPushButton>(window, "onButton")->isEnabled());
    EXPECT_TRUE(control<QSlider>(window, "selectedBrightnessSlider")->isEnabled()) << "a Light";
    window->selectRow(2, true);
    EXPECT_FALSE(control<QPushButton>(window, "onButton")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(window, "offButton")->isEnabled());
    // A new module takes the selected All Lights module's row: it can be switched.
    window->selectRow(2, false);
    window->insertModule(named("Lamp"));
    EXPECT_TRUE(control<QPushButton>(window, "onButton")->isEnabled());
    window->clearChangeCount();
    window->close();
}

TEST_F(ModulesWindow, ADamagedEventReadsAsDamagedAndIsNotPasted)
{
    ModulesDocument document = threeModules();
    Event damaged = clockEvent(EventDaysMask, 8, 0);
    damaged.Brightness = 65535;
    document.modules[0].events[1] = eventToData(damaged);
    document.modules[0].events[0] = EventData{};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->model()->data(window->model()->eventIndex(0, 1)).toString(),
              "Damaged event: brightness 65535 is not 1 to 9");
    // The status line is brought up to date once the window's start-up is in.
    const auto* count = window->findChild<QLabel*>("scheduleCount");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !count->text().isEmpty(); }));
    const QString status = count->text();
    EXPECT_TRUE(status.contains("event")) << status.toStdString();
    EXPECT_FALSE(status.contains("module")) << status.toStdString();

    // Copied out, it is refused on the way in, as a damaged module is.
    window->selectRow(2, false);
    window->findChild<QAction*>("copy")->trigger();
    EXPECT_FALSE(readPastedItems(QApplication::clipboard()->mimeData()));
    const std::size_t before = window->document().modules[2].events.size();
    window->selectRow(4, false);
    window->paste();
    EXPECT_EQ(window->document().modules[2].events.size(), before);
    // Looked at in the event editor, it is left as it is; so is a record of
    // zeros, which the editor can only show otherwise.
    EXPECT_EQ(window->document().modules[0].events[1], eventToData(damaged));
    window->selectRow(1, false);
    window->findChild<QAction*>("paste")->trigger();
    window->selectRow(4, false);
    EXPECT_EQ(window->document().modules[0].events[0], EventData{});
    EXPECT_EQ(window->document().modules[0].events[1], eventToData(damaged));
    EXPECT_FALSE(window->isDocumentEdited());

    window->clearChangeCount();
    window->close();
}

TEST_F(ModulesWindow, CopiedModulesPasteInOrderIntoAnotherWindow)
{
    Modules* source = open(threeModules());
    QAbstractItemModelTester sourceTester(source->model(),
                                          QAbstractItemModelTester::FailureReportingMode::Fatal);
    source->selectRow(3, false); // Coffee, then Hall
    source->selectRow(4, true);
    source->findChild<QAction*>("copy")->trigger();
    Modules* target = manager.newDocument();
    QAbstractItemModelTester targetTester(target->model(),
                                          QAbstractItemModelTester::FailureReportingMode::Fatal);
    target->outline()->endEditing();
    target->deselectAll();
    target->findChild<QAction*>("paste")->trigger();
    EXPECT_EQ(names(target), (std::vector<std::string>{"New Module", "Coffee", "Hall"}));
    EXPECT_EQ(target->selectedRows(), (std::vector<int>{2, 1}));
    EXPECT_EQ(target->document().modules[1].events, source->document().modules[1].events);

    // Cut takes them away; a paste before the selected module brings them back there.
    source->findChild<QAction*>("cut")->trigger();
    EXPECT_EQ(names(source), std::vector<std::string>{"Porch"});
    source->selectRow(0, false);
    source->paste();
    EXPECT_EQ(names(source), (std::vector<std::string>{"Coffee", "Hall", "Porch"}));
    for (Modules* window : {source, target}) {
        window->clearChangeCount();
        window->close();
    }
}

// Every new document opens with its module's name in editing: the paste
// shortcut there pastes copied modules as the menu does, and text as text.
TEST_F(ModulesWindow, PasteShortcutInAnEditedCellPastesModulesOrText)
{
    Modules* source = open(threeModules());
    source->selectRow(3, false); // Coffee, then Hall
    source->selectRow(4, true);
    source->findChild<QAction*>("copy")->trigger();
    ASSERT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(
        mimeTypeForPasteboardType(ModulesPasteboardType)));

    Modules* target = manager.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(target));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cellEditor(target) != nullptr; }));
    QTest::keyClick(cellEditor(target), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(names(target), (std::vector<std::string>{"New Module", "Coffee", "Hall"}));

    // Text on the clipboard goes into the cell being edited, as usual.
    Modules* typed = manager.newDocument();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(typed));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cellEditor(typed) != nullptr; }));
    QApplication::clipboard()->setText("Garden lamp");
    QTest::keyClick(cellEditor(typed), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cellEditor(typed)->text(), "Garden lamp");
    EXPECT_EQ(typed->document().modules.size(), 1u);

    // Copy with nothing selected in the cell copies the module being edited.
    cellEditor(typed)->deselect();
    QTest::keyClick(cellEditor(typed), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(
        mimeTypeForPasteboardType(ModulesPasteboardType)));
    for (Modules* window : {source, target, typed}) {
        window->outline()->endEditing();
        window->clearChangeCount();
        window->close();
    }
}

TEST_F(ModulesWindow, CopiedEventsPasteBeforeTheSelectedEventAndDamagedDataNotAtAll)
{
    Modules* window = open(threeModules());
    QAbstractItemModelTester tester(window->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    window->expandAll();
    window->selectRow(2, false); // Porch's 23:30 event, then Coffee's 6:45 one
    window->selectRow(4, true);
    window->copy();
    window->selectRow(1, false); // before Porch's 19:00 event
    window->paste();
    const auto& events = window->document().modules[0].events;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(eventFromData(events[0])->Time, clockTime(23, 30));
    EXPECT_EQ(eventFromData(events[1])->Time, clockTime(6, 45));
    EXPECT_EQ(window->selectedRows(), std::vector<int>{1}) << "the block's first event";

    // A module list with one damaged cell is refused whole.
    ModuleList damaged = threeModules().modules;
    damaged[1].unit = 40;
    QApplication::clipboard()->setMimeData(modulesMimeData(damaged));
    window->deselectAll();
    const std::size_t before = window->document().modules.size();
    window->paste();
    EXPECT_EQ(window->document().modules.size(), before);
    window->clearChangeCount();
    window->close();
}

TEST_F(ModulesWindow, DraggedRowsMoveWithinAndBetweenWindows)
{
    ModulesDocument seven;
    for (int i = 0; i < 7; ++i)
        seven.modules.push_back(named(std::to_string(i)));
    Modules* window = open(seven);
    ModulesOutlineModel* model = window->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto drag = [&](Modules* from, std::vector<QModelIndex> rows) {
        return std::unique_ptr<QMimeData>(
            from->dragMimeData(QModelIndexList(rows.begin(), rows.end())));
    };
    auto data = drag(window, {model->moduleIndex(2), model->moduleIndex(5)});
    ASSERT_TRUE(data);
    EXPECT_TRUE(window->handleDrop(data.get(), 4, {}, true));
    EXPECT_EQ(names(window), (std::vector<std::string>{"0", "1", "3", "2", "5", "4", "6"}));
    EXPECT_EQ(window->selectedRows(), (std::vector<int>{4, 3}));
    // Drag data naming one module twice is not ours: nothing moves.
    const std::string twice =
        propertyListToXml(PropertyValue(PropertyArray{PropertyValue(1), PropertyValue(1)}));
    data = drag(window, {model->moduleIndex(1)});
    data->setData(ModulesDragMimeType, QByteArray::fromStdString(twice));
    EXPECT_FALSE(window->handleDrop(data.get(), 6, {}, true));
    window->draggingDone();
    EXPECT_EQ(names(window), (std::vector<std::string>{"0", "1", "3", "2", "5", "4", "6"}));

    // A module row and an event row are never dragged together.
    window->selectRow(0, false);
    window->newEvent();
    EXPECT_FALSE(drag(window, {model->moduleIndex(1), model->eventIndex(0, 0)}));

    // Events into another window's expanded module: they leave the source.
    Modules* other = open(threeModules(), "Other.vantrel");
    ASSERT_NE(other, window);
    QAbstractItemModelTester otherTester(other->model(),
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
    data = drag(window, {model->eventIndex(0, 0)});
    ASSERT_TRUE(data);
    const QModelIndex porch = other->model()->moduleIndex(0);
    EXPECT_FALSE(other->handleDrop(data.get(), -1, porch, false)) << "onto the module row itself";
    EXPECT_FALSE(other->handleDrop(data.get(), 0, other->model()->moduleIndex(1), false))
        << "a collapsed module";
    EXPECT_TRUE(other->handleDrop(data.get(), 1, porch, true));
    EXPECT_EQ(other->document().modules[0].events.size(), 3u);
    EXPECT_EQ(eventFromData(other->document().modules[0].events[1])->Flags, DefaultEventFlags);
    EXPECT_TRUE(window->document().modules[0].events.empty());
    EXPECT_TRUE(window->isDocumentEdited() && other->isDocumentEdited());
    // The references are spent: the same drop again names nothing.
    EXPECT_FALSE(other->handleDrop(data.get(), 1, porch, false));
    for (Modules* each : {window, other}) {
        each->clearChangeCount();
        each->close();
    }
}

TEST(EventEditorDates, TheDateFieldReadsWords)
{
    DateTimeRec today;
    today.year = 2026;
    today.month = 12;
    today.day = 31;
    const auto tomorrow = EventEditor::dateFromText(" Tomorrow", today);
    ASSERT_TRUE(tomorrow);
    EXPECT_EQ(tomorrow->year, 2027);
    EXPECT_EQ(tomorrow->month, 1);
    EXPECT_EQ(tomorrow->day, 1);
    EXPECT_EQ(EventEditor::dateFromText("7/4/27", today)->year, 2027);
    EXPECT_FALSE(EventEditor::dateFromText("2/30/2027", today));
    EXPECT_FALSE(EventEditor::dateFromText("soon", today));
}

} // namespace
} // namespace vantrel::test
