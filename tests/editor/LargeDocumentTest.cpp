// Documents far larger than a CP290 needs: selections of thousands of rows
// restored, selected and pasted, and descriptions of absurd length.

#include "EditorTestSupport.h"

#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "support/ScheduleBuilders.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>

#include <memory>

namespace vantrel::test {
namespace {

// Under half a second each in a release build, a few seconds under the
// sanitizers; selecting row by row, the opening took over 70 s and the rest
// minutes.
constexpr qint64 OpenBoundMs = 30000;
constexpr qint64 SelectAndPasteBoundMs = 30000;

class LargeDocument : public WindowTest
{
  protected:
    // Every third module expanded with two events, so that a selection runs
    // over both levels of the outline.
    static ModulesDocument manyModules(int count)
    {
        ModulesDocument document;
        for (int m = 0; m < count; ++m) {
            Module module;
            module.name = "Module " + std::to_string(m);
            module.unit = m % 16 + 1;
            if (m % 3 == 0) {
                module.expanded = true;
                module.events = {eventToData(clockEvent(EventDaysMask, 7, 0)),
                                 eventToData(clockEvent(EventDaysMask, 19, 0, false))};
            }
            document.modules.push_back(std::move(module));
        }
        return document;
    }

    Modules* open(const ModulesDocument& document)
    {
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        return manager.openDocument(QString::fromStdString(path));
    }

    void TearDown() override
    {
        for (Modules* window : manager.documents()) {
            window->clearChangeCount();
            window->close();
        }
        QApplication::processEvents();
        WindowTest::TearDown();
    }

    std::string path = home.root() + "/Large.vantrel";
    DocumentManager manager;
};

TEST_F(LargeDocument, TwoThousandSavedRowsAreSelectedAgainOnOpening)
{
    ModulesDocument document = manyModules(2400);
    // 4,000 rows; every row but each fourth, scattered over both levels, so
    // that the selection is hundreds of separate blocks. Stored highest first.
    std::vector<std::int64_t> selected;
    for (std::int64_t row = 3999; row >= 0; --row)
        if (row % 4 != 0 && selected.size() < 2000)
            selected.push_back(row);
    document.selectedRows = selected;

    QElapsedTimer timer;
    timer.start();
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    QApplication::processEvents();
    EXPECT_LT(timer.elapsed(), OpenBoundMs);

    ASSERT_EQ(window->model()->rowMap().rowCount(), 4000);
    const std::vector<int> rows = window->selectedRows();
    EXPECT_EQ(std::vector<std::int64_t>(rows.begin(), rows.end()), selected);
    // Many rows: the drawer shows no event and Delete applies to them all.
    EXPECT_EQ(window->currentEventIndex(), -1);
    EXPECT_TRUE(window->findChild<QAction*>("delete")->isEnabled());
    EXPECT_FALSE(window->isDocumentEdited());
}

TEST_F(LargeDocument, SelectAllCopyAndPasteIntoItselfKeepOrderAndSelectThePaste)
{
    constexpr int Count = 6000;
    Modules* window = open(manyModules(Count));
    ASSERT_NE(window, nullptr);
    const int rowsBefore = window->model()->rowMap().rowCount();

    QElapsedTimer timer;
    timer.start();
    window->findChild<QAction*>("selectAll")->trigger();
    ASSERT_EQ(window->selectedRows().size(), static_cast<std::size_t>(rowsBefore));
    EXPECT_TRUE(window->findChild<QAction*>("copy")->isEnabled());
    window->copy();
    // Paste takes one selected row at most; with none it adds at the end.
    window->deselectAll();
    window->paste();
    QApplication::processEvents();
    EXPECT_LT(timer.elapsed(), SelectAndPasteBoundMs);

    const ModuleList& modules = window->document().modules;
    ASSERT_EQ(modules.size(), std::size_t(2 * Count));
    // In the copied order.
    for (std::size_t m : {std::size_t(0), std::size_t(Count - 1)}) {
        EXPECT_EQ(modules[m + Count], modules[m]) << m;
    }
    EXPECT_EQ(modules[Count + 1234].name, "Module 1234");
    // The pasted block, both levels, is the selection.
    const std::vector<int> rows = window->selectedRows();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(rowsBefore));
    EXPECT_EQ(rows.front(), 2 * rowsBefore - 1);
    EXPECT_EQ(rows.back(), rowsBefore);
    EXPECT_TRUE(window->isDocumentEdited());
}

// Undo keeps the stretch each command changed: typing into a few of six
// thousand modules and taking it all back again stays quick, as does the
// undo of a paste that doubled the document.
TEST_F(LargeDocument, UndoOfTypingAndOfAPasteOfEverything)
{
    constexpr int Count = 6000;
    Modules* window = open(manyModules(Count));
    ASSERT_NE(window, nullptr);
    const ModulesDocument opened = window->document();
    QAction* undo = window->findChild<QAction*>("undo");

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 100; ++i) {
        const auto module = static_cast<std::size_t>(i * 57 % Count);
        window->model()->setData(
            window->model()->moduleIndex(module, ModulesOutlineModel::NameColumn),
            QString("Typed %1").arg(i));
    }
    for (int i = 0; i < 100; ++i)
        undo->trigger();
    QApplication::processEvents();
    EXPECT_LT(timer.elapsed(), SelectAndPasteBoundMs);
    EXPECT_EQ(window->document().modules, opened.modules);
    EXPECT_FALSE(window->isDocumentEdited());

    timer.restart();
    window->findChild<QAction*>("selectAll")->trigger();
    window->copy();
    window->deselectAll();
    window->paste();
    ASSERT_EQ(window->document().modules.size(), std::size_t(2 * Count));
    undo->trigger();
    QApplication::processEvents();
    EXPECT_LT(timer.elapsed(), SelectAndPasteBoundMs);
    EXPECT_EQ(window->document().modules, opened.modules);
}

TEST_F(LargeDocument, DescriptionsAreHeldToTheLimitInFilesPastesAndTyping)
{
    // Two-byte characters around the cut, so that it cannot split one.
    const std::string tooLong = std::string(MaxModuleNameCharacters - 1, 'a') + "\xC3\xA9\xC3\xA9" +
                                std::string(100000, 'z');
    ModulesDocument document = manyModules(3);
    document.modules[1].name = tooLong;
    document.modules[2].name = std::string(MaxModuleNameCharacters, 'b'); // exactly the limit

    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    const std::string kept = std::string(MaxModuleNameCharacters - 1, 'a') + "\xC3\xA9";
    EXPECT_EQ(window->document().modules[1].name, kept);
    EXPECT_EQ(window->document().modules[2].name, document.modules[2].name);
    ASSERT_EQ(answers.alerts.size(), 1u);
    EXPECT_TRUE(answers.alerts[0].title.contains("Large.vantrel"));
    EXPECT_TRUE(answers.alerts[0].title.contains("4096"));
    EXPECT_TRUE(answers.alerts[0].message.contains("shortened"));
    // Saving now would drop the rest, so the window has a change to save.
    EXPECT_TRUE(window->isDocumentEdited());

    // Pasted modules are cut the same way.
    Module pasted;
    pasted.name = tooLong;
    QApplication::clipboard()->setMimeData(modulesMimeData({pasted}));
    const auto items = readPastedItems(QApplication::clipboard()->mimeData());
    ASSERT_TRUE(items);
    EXPECT_EQ(items->modules.at(0).name, kept);

    // The description cell takes no more than the limit; other cells keep
    // their own rules.
    {
        const QModelIndex name = window->model()->moduleIndex(0);
        QAbstractItemDelegate* delegate = window->outline()->itemDelegate();
        const std::unique_ptr<QWidget> editor(delegate->createEditor(window->outline(), {}, name));
        auto* line = qobject_cast<QLineEdit*>(editor.get());
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(line->maxLength(), MaxModuleNameCharacters);
        const std::unique_ptr<QWidget> eventEditor(
            delegate->createEditor(window->outline(), {}, window->model()->eventIndex(0, 0)));
        EXPECT_NE(qobject_cast<QLineEdit*>(eventEditor.get())->maxLength(),
                  MaxModuleNameCharacters);
    }

    // An ordinary document opens without a word.
    answers.alerts.clear();
    window->clearChangeCount();
    window->close();
    QApplication::processEvents();
    ASSERT_NE(open(manyModules(3)), nullptr);
    EXPECT_TRUE(answers.alerts.empty());
}

} // namespace
} // namespace vantrel::test
