// A document's file changed by someone else while its window is open: a
// second window, vantrelctl, a plain atomic writer, a deletion.

#include "EditorTestSupport.h"

#include "editor/DiskWatch.h"
#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "platform/Paths.h"
#include "support/ScheduleBuilders.h"

#include <QProcess>
#include <QSignalSpy>

#include <filesystem>

namespace vantrel::test {
namespace {

constexpr int NoticeTimeout = 5000;

class DocumentOnDisk : public WindowTest
{
  protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        path = home.root() + "/Watched.vantrel";
        document.modules = {named("Porch", true), named("Coffee"), named("Hall")};
        document.modules[0].events = {eventToData(clockEvent(EventDaysMask, 19, 0))};
    }

    Modules* openWindow()
    {
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        Modules* window = manager.openDocument(QString::fromStdString(path));
        EXPECT_NE(window, nullptr);
        changed = std::make_unique<QSignalSpy>(watchOf(window), &DiskWatch::changedOnDisk);
        checked = std::make_unique<QSignalSpy>(watchOf(window), &DiskWatch::checked);
        return window;
    }

    // Another program's save of the document with module 0 renamed.
    void writeElsewhere(const std::string& firstName, const std::string& to = {})
    {
        ModulesDocument theirs = document;
        theirs.modules[0].name = firstName;
        std::string error;
        EXPECT_TRUE(writeModulesFile(to.empty() ? path : to, theirs, &error)) << error;
    }

    static Module named(std::string name, bool expanded = false)
    {
        Module module;
        module.name = std::move(name);
        module.expanded = expanded;
        return module;
    }
    static DiskWatch* watchOf(Modules* window)
    {
        return window->findChild<DiskWatch*>("diskWatch");
    }
    static std::string nameOf(const Modules* window, std::size_t module)
    {
        return window->document().modules.at(module).name;
    }
    std::string savedName(std::size_t module) const
    {
        ModulesDocument saved;
        std::string error;
        EXPECT_TRUE(readModulesFile(path, &saved, &error)) << error;
        return saved.modules.at(module).name;
    }
    static void rename(Modules* window, std::size_t module, const QString& name)
    {
        window->model()->setData(window->model()->moduleIndex(module), name);
    }

    std::string path;
    ModulesDocument document; // rows: 0 Porch, 1 its event, 2 Coffee, 3 Hall
    DocumentManager manager;
    std::unique_ptr<QSignalSpy> changed;
    std::unique_ptr<QSignalSpy> checked;
};

TEST_F(DocumentOnDisk, AnUnchangedWindowReadsOtherWritersSavesAndKeepsItsView)
{
    Modules* window = openWindow();
    window->selectRow(2, false);
    window->selectRow(1, true);
    window->showHideEvents();

    // A second instance of the program saves its own selection and no drawer.
    DocumentManager elsewhere;
    Modules* other = elsewhere.openDocument(QString::fromStdString(path));
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, window);
    QSignalSpy otherChanged(watchOf(other), &DiskWatch::changedOnDisk);
    rename(other, 0, "Porch Light");
    other->selectRow(3, false);
    ASSERT_TRUE(other->save());
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    EXPECT_EQ(nameOf(window, 0), "Porch Light");
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(window->selectedRows(), (std::vector<int>{2, 1}));
    EXPECT_TRUE(window->isDrawerOpen());

    // A separate process replacing the file: the watch outlived the last rename.
    QProcess ctl;
    ctl.start(VANTRELCTL_PATH, {"set", QString::fromStdString(path), "1", "N", "Coffee Maker"});
    ASSERT_TRUE(ctl.waitForFinished(NoticeTimeout));
    ASSERT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    EXPECT_EQ(nameOf(window, 1), "Coffee Maker");
    EXPECT_EQ(window->selectedRows(), (std::vector<int>{2, 1}));
    ASSERT_TRUE(otherChanged.count() == 1 || otherChanged.wait(NoticeTimeout));
    EXPECT_EQ(nameOf(other, 1), "Coffee Maker");
    EXPECT_TRUE(answers.reloadQuestions.empty());
    other->close();
    window->close();
}

TEST_F(DocumentOnDisk, AModifiedWindowIsAskedOnceForEachChange)
{
    Modules* window = openWindow();
    rename(window, 0, "My Porch");
    ASSERT_TRUE(window->isDocumentEdited());

    answers.reloadAnswers = {ChangedFileAnswer::KeepMine};
    writeElsewhere("Their Porch");
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    EXPECT_EQ(answers.reloadQuestions, QStringList{"Watched.vantrel"});
    EXPECT_EQ(nameOf(window, 0), "My Porch");
    EXPECT_TRUE(window->isDocumentEdited());

    // The same bytes written again (new inode and time): the answer stands.
    std::string same;
    ASSERT_TRUE(readWholeFile(path, &same));
    ASSERT_TRUE(writeFileAtomically(path, same));
    ASSERT_TRUE(checked->wait(NoticeTimeout));
    EXPECT_EQ(answers.reloadQuestions.size(), 1);

    answers.reloadAnswers = {ChangedFileAnswer::Reload};
    writeElsewhere("Their Porch Light");
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    EXPECT_EQ(answers.reloadQuestions.size(), 2);
    EXPECT_EQ(nameOf(window, 0), "Their Porch Light");
    EXPECT_FALSE(window->isDocumentEdited());
    window->close();
}

TEST_F(DocumentOnDisk, SavingOverAnOutsideChangeAsksAndOurOwnSavesAreNoNews)
{
    Modules* window = openWindow();
    rename(window, 0, "My Porch");
    // Saved before the watch had a chance to notice: the save looks for itself.
    writeElsewhere("Their Porch");
    answers.overwriteAnswers = {false};
    EXPECT_FALSE(window->save());
    EXPECT_EQ(answers.overwriteQuestions, QStringList{"Watched.vantrel"});
    EXPECT_EQ(savedName(0), "Their Porch");
    EXPECT_TRUE(window->isDocumentEdited());

    answers.reloadAnswers = {ChangedFileAnswer::KeepMine};
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    answers.overwriteAnswers = {true};
    EXPECT_TRUE(window->save());
    EXPECT_EQ(savedName(0), "My Porch");
    EXPECT_EQ(answers.overwriteQuestions.size(), 2);
    EXPECT_FALSE(window->isDocumentEdited());

    // Two saves in a row and a Save As: nothing to ask or reload.
    rename(window, 1, "My Coffee");
    EXPECT_TRUE(window->save());
    ASSERT_TRUE(checked->wait(NoticeTimeout));
    rename(window, 2, "My Hall");
    const std::string renamed = home.root() + "/Renamed.vantrel";
    answers.fileNames = {QString::fromStdString(renamed)};
    EXPECT_TRUE(window->saveAs());
    ASSERT_TRUE(checked->wait(NoticeTimeout));
    EXPECT_EQ(changed->count(), 1);
    EXPECT_EQ(answers.reloadQuestions.size(), 1);
    EXPECT_EQ(answers.overwriteQuestions.size(), 2);

    // The watch went along with the name.
    writeElsewhere("Old Name's Porch");
    ASSERT_TRUE(checked->wait(NoticeTimeout));
    EXPECT_EQ(nameOf(window, 0), "My Porch");
    writeElsewhere("New Name's Porch", renamed);
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    EXPECT_EQ(nameOf(window, 0), "New Name's Porch");
    window->close();
}

TEST_F(DocumentOnDisk, ADeletedFileKeepsTheWindowAndIsReadWhenItReturns)
{
    Modules* window = openWindow();
    ASSERT_TRUE(std::filesystem::remove(path));
    ASSERT_TRUE(checked->wait(NoticeTimeout));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(nameOf(window, 0), "Porch");
    EXPECT_EQ(changed->count(), 0);

    writeElsewhere("Restored Porch");
    ASSERT_TRUE(changed->wait(NoticeTimeout));
    EXPECT_EQ(nameOf(window, 0), "Restored Porch");
    EXPECT_FALSE(window->isDocumentEdited());

    // Nothing left to overwrite: saving puts the window's version back unasked.
    ASSERT_TRUE(std::filesystem::remove(path));
    rename(window, 2, "Still Here");
    EXPECT_TRUE(window->save());
    EXPECT_EQ(savedName(2), "Still Here");
    EXPECT_TRUE(answers.overwriteQuestions.empty());
    EXPECT_TRUE(answers.reloadQuestions.empty());
    window->close();
}

} // namespace
} // namespace vantrel::test
