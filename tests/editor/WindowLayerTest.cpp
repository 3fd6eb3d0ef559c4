// The document window's files, quitting, window state and damaged drops.

#include "EditorTestSupport.h"

#include "editor/ApplicationPreferences.h"
#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "editor/core/DragData.h"
#include "support/ScheduleBuilders.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>

#include <functional>
#include <memory>

#include <unistd.h>

namespace vantrel::test {
namespace {

using Tester = QAbstractItemModelTester;

class WindowLayer : public WindowTest
{
  protected:
    std::string pathOf(const std::string& name) const { return home.root() + "/" + name; }

    Modules* open(const ModulesDocument& document, const std::string& name)
    {
        std::string error;
        EXPECT_TRUE(writeModulesFile(pathOf(name), document, &error)) << error;
        Modules* window = manager.openDocument(QString::fromStdString(pathOf(name)));
        EXPECT_NE(window, nullptr);
        return window;
    }

    std::vector<std::string> savedNames(const std::string& name) const
    {
        ModulesDocument document;
        std::string error;
        EXPECT_TRUE(readModulesFile(pathOf(name), &document, &error)) << error;
        std::vector<std::string> result;
        for (const Module& module : document.modules)
            result.push_back(module.name);
        return result;
    }

    static void deleteModule(Modules* window, int row)
    {
        window->selectRow(row, false);
        window->deleteRows();
        ASSERT_TRUE(window->isDocumentEdited());
    }

    DocumentManager manager;
};

// Porch (expanded, two events), Coffee, Hall: rows 0 Porch, 1-2 its events, 3, 4.
ModulesDocument garden()
{
    ModulesDocument document;
    Module porch = moduleWith({clockEvent(EventDaysMask, 19, 0), clockEvent(EventDaysMask, 23, 0)});
    porch.name = "Porch";
    porch.expanded = true;
    Module coffee;
    coffee.name = "Coffee";
    Module hall;
    hall.name = "Hall";
    document.modules = {porch, coffee, hall};
    return document;
}

std::vector<std::string> names(const Modules* window)
{
    std::vector<std::string> result;
    for (const Module& module : window->document().modules)
        result.push_back(module.name);
    return result;
}

const std::vector<std::string> Garden{"Porch", "Coffee", "Hall"};

TEST_F(WindowLayer, RevertReadsTheSavedFileAfterAskingAndNeverForAnUntitledDocument)
{
    Modules* window = open(garden(), "Revert.vantrel");
    Tester tester(window->model(), Tester::FailureReportingMode::Fatal);
    deleteModule(window, 0);

    answers.revertAccepted = false;
    EXPECT_FALSE(window->revertToSaved());
    EXPECT_EQ(answers.revertQuestions, 1);
    EXPECT_EQ(names(window), (std::vector<std::string>{"Coffee", "Hall"}));
    EXPECT_TRUE(window->isDocumentEdited());

    answers.revertAccepted = true;
    EXPECT_TRUE(window->revertToSaved());
    EXPECT_EQ(names(window), Garden);
    EXPECT_EQ(window->model()->rowCount(), 3);
    EXPECT_EQ(window->model()->rowCount(window->model()->moduleIndex(0)), 2);
    EXPECT_FALSE(window->isDocumentEdited());
    // Unchanged: nothing to ask about.
    EXPECT_TRUE(window->revertToSaved());
    EXPECT_EQ(answers.revertQuestions, 2);

    Modules* untitled = manager.newDocument();
    EXPECT_FALSE(untitled->revertToSaved());
    EXPECT_EQ(answers.revertQuestions, 2);
    untitled->clearChangeCount();
    EXPECT_TRUE(manager.closeAll());
}

TEST_F(WindowLayer, SaveAsNamesAnUntitledDocumentOnlyOnceItsFileIsWritten)
{
    Modules* window = manager.newDocument();
    const QString untitledTitle = window->windowTitle();
    window->newModule();
    ASSERT_TRUE(window->isDocumentEdited());

    // Save of an untitled document is Save As; no name chosen is a cancel.
    EXPECT_FALSE(window->save());
    EXPECT_TRUE(window->filePath().isEmpty());
    EXPECT_TRUE(window->isDocumentEdited());

    answers.fileNames = {QString::fromStdString(pathOf("missing/Garden"))};
    EXPECT_FALSE(window->save());
    EXPECT_EQ(answers.alerts.size(), 1u);
    EXPECT_TRUE(window->filePath().isEmpty());
    EXPECT_EQ(window->windowTitle(), untitledTitle);
    EXPECT_TRUE(window->isDocumentEdited());

    answers.fileNames = {QString::fromStdString(pathOf("Garden"))};
    EXPECT_TRUE(window->save());
    EXPECT_EQ(window->filePath(), QString::fromStdString(pathOf("Garden.vantrel")));
    EXPECT_TRUE(window->windowTitle().contains("Garden"));
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_EQ(savedNames("Garden.vantrel"), names(window));

    // From now on Save writes that file without asking.
    deleteModule(window, 0);
    EXPECT_TRUE(window->save());
    EXPECT_TRUE(answers.fileNames.empty());
    EXPECT_EQ(savedNames("Garden.vantrel"), names(window));
    EXPECT_TRUE(manager.closeAll());
}

TEST_F(WindowLayer, QuitAsksEachModifiedWindowAndACancelledSaveKeepsThemAllOpen)
{
    Modules* saved = open(garden(), "Saved.vantrel");
    Modules* dropped = open(garden(), "Dropped.vantrel");
    Modules* untouched = open(garden(), "Untouched.vantrel");
    Modules* untitled = manager.newDocument();
    deleteModule(saved, 0);
    deleteModule(dropped, 0);
    untitled->newModule();
    ASSERT_TRUE(untitled->isDocumentEdited());
    const QList<Modules*> all{saved, dropped, untouched, untitled};

    // The untitled window's Save As is cancelled: nothing closes.
    answers.saveAnswers = {SaveChangesAnswer::Save, SaveChangesAnswer::DontSave,
                           SaveChangesAnswer::Save};
    EXPECT_FALSE(manager.closeAll());
    EXPECT_TRUE(answers.saveAnswers.empty());
    EXPECT_EQ(manager.documents(), all);
    EXPECT_EQ(savedNames("Saved.vantrel"), (std::vector<std::string>{"Coffee", "Hall"}));
    EXPECT_FALSE(saved->isDocumentEdited());
    EXPECT_TRUE(dropped->isDocumentEdited()) << "Don't Save closes nothing until all agree";

    // Asked again: only the windows still modified.
    answers.saveAnswers = {SaveChangesAnswer::DontSave, SaveChangesAnswer::Save};
    answers.fileNames = {QString::fromStdString(pathOf("Untitled Saved"))};
    EXPECT_TRUE(manager.closeAll());
    EXPECT_TRUE(answers.saveAnswers.empty());
    EXPECT_TRUE(manager.documents().isEmpty());
    EXPECT_EQ(savedNames("Dropped.vantrel"), Garden);
    EXPECT_EQ(savedNames("Untitled Saved.vantrel").size(), 2u);
}

TEST_F(WindowLayer, ColumnWidthsComeBackAndDamagedWindowStateIsIgnored)
{
    Modules* window = open(garden(), "Columns.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->outline()->header()->resizeSection(ModulesOutlineModel::UnitColumn, 123);
    // The last column fills the rest of the outline: not one to compare.
    window->outline()->header()->resizeSection(ModulesOutlineModel::NameColumn, 250);
    const QSize size = window->size();
    window->close();

    Modules* again = open(garden(), "Again.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(again));
    EXPECT_EQ(again->outline()->header()->sectionSize(ModulesOutlineModel::UnitColumn), 123);
    EXPECT_EQ(again->outline()->header()->sectionSize(ModulesOutlineModel::NameColumn), 250);
    EXPECT_EQ(again->size(), size);
    again->close();

    // Bytes that are no window state: the window opens as a first one does.
    const PropertyData garbage{0xff, 0x00, 0x13, 0x37, 'x'};
    applicationPreferences().setValue(ModulesWindowFrameKey, garbage);
    applicationPreferences().setValue(OutlineColumnsKey, garbage);
    Modules* fresh = open(garden(), "Fresh.vantrel");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fresh));
    QHeaderView* header = fresh->outline()->header();
    EXPECT_EQ(header->count(), ModulesOutlineModel::ColumnCount);
    for (int column = 0; column < header->count(); ++column)
        EXPECT_GT(header->sectionSize(column), 0) << column;
    EXPECT_FALSE(fresh->isDocumentEdited());
    fresh->close();
}

QByteArray bytes(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

TEST_F(WindowLayer, DropsWithDamagedReferencesChangeNothing)
{
    Modules* window = open(garden(), "Target.vantrel");
    Modules* closed = open(garden(), "Closed.vantrel");
    Tester tester(window->model(), Tester::FailureReportingMode::Fatal);
    ModulesOutlineModel* model = window->model();
    std::unique_ptr<QMimeData> fromClosed(closed->dragMimeData({closed->model()->moduleIndex(0)}));
    ASSERT_TRUE(fromClosed);
    closed->close();
    const QByteArray source =
        std::unique_ptr<QMimeData>(window->dragMimeData({model->moduleIndex(1)}))
            ->data(DragSourceMimeType);
    window->draggingDone();

    struct Damage
    {
        const char* what;
        bool events;
        std::function<void(QMimeData&)> damage;
    };
    const std::vector<Damage> damages{
        {"a module past the end", false,
         [](QMimeData& data) {
             data.setData(ModulesDragMimeType, bytes(dragListXml({OutlineRow{3, -1}})));
         }},
        {"an event past its module's end", true,
         [](QMimeData& data) {
             data.setData(EventsDragMimeType, bytes(dragListXml({OutlineRow{0, 2}})));
         }},
        {"an event of a module past the end", true,
         [](QMimeData& data) {
             data.setData(EventsDragMimeType, bytes(dragListXml({OutlineRow{7, 0}})));
         }},
        {"no rows", false,
         [](QMimeData& data) { data.setData(ModulesDragMimeType, bytes(dragListXml({}))); }},
        {"garbage", false,
         [](QMimeData& data) { data.setData(ModulesDragMimeType, QByteArray("\xff\0<plist", 8)); }},
        {"another process", false,
         [](QMimeData& data) {
             data.setData(DragSourceMimeType,
                          QByteArray::number(static_cast<qint64>(getpid()) + 1) + ":1");
         }},
        {"a source that is no number", false,
         [](QMimeData& data) { data.setData(DragSourceMimeType, "12:ab:cd"); }},
        {"no source", false, [](QMimeData& data) { data.removeFormat(DragSourceMimeType); }},
    };
    const QModelIndex porch = model->moduleIndex(0);
    for (const Damage& damage : damages) {
        QMimeData data;
        data.setData(DragSourceMimeType, source);
        damage.damage(data);
        const int row = damage.events ? 1 : 0;
        const QModelIndex parent = damage.events ? porch : QModelIndex();
        EXPECT_FALSE(window->handleDrop(&data, row, parent, false)) << damage.what;
        EXPECT_FALSE(window->handleDrop(&data, row, parent, true)) << damage.what;
    }
    EXPECT_FALSE(window->handleDrop(fromClosed.get(), 0, {}, true)) << "a closed window's rows";

    EXPECT_EQ(names(window), Garden);
    EXPECT_EQ(window->document().modules[0].events.size(), 2u);
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_FALSE(window->findChild<QAction*>("undo")->isEnabled());

    // The same source with sound references is taken: the damage was what refused.
    QMimeData sound;
    sound.setData(DragSourceMimeType, source);
    sound.setData(ModulesDragMimeType, bytes(dragListXml({OutlineRow{2, -1}})));
    EXPECT_TRUE(window->handleDrop(&sound, 0, {}, true));
    EXPECT_EQ(names(window), (std::vector<std::string>{"Hall", "Porch", "Coffee"}));
    window->clearChangeCount();
    window->close();
}

} // namespace
} // namespace vantrel::test
