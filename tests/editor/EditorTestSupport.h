#pragma once

// Runs widget tests offscreen with a QApplication for the whole test
// program, and answers the window's dialogs from queues.

#include "editor/Dialogs.h"
#include "schedule/ModulesDocument.h"
#include "support/ScheduleBuilders.h"
#include "support/TemporaryHome.h"

#include <QApplication>
#include <QPrinter>
#include <QStringList>

#include <deque>
#include <gtest/gtest.h>

namespace vantrel::test {

struct RecordedAlert
{
    QString title;
    QString message;
};

class ScriptedDialogs : public Dialogs
{
  public:
    std::deque<QString> fileNames;
    std::deque<SaveChangesAnswer> saveAnswers;
    std::vector<RecordedAlert> alerts;
    bool printAccepted = true;
    int previews = 0;
    QString previewFile; // where a preview's pages go
    int pageSetups = 0;
    bool revertAccepted = true;
    int revertQuestions = 0;
    // Questions about a file changed on disk: the documents asked about, in
    // order, and the answers to give.
    std::deque<ChangedFileAnswer> reloadAnswers;
    QStringList reloadQuestions;
    std::deque<bool> overwriteAnswers;
    QStringList overwriteQuestions;
    // Read-only documents that Save offered to save as another, and the answers.
    std::deque<bool> saveAsOffers;
    QStringList readOnlyDocuments;

    QString openFileName(QWidget*) override { return next(fileNames); }
    QString saveFileName(QWidget*, const QString&) override { return next(fileNames); }
    QString saveTextFileName(QWidget*, const QString&) override { return next(fileNames); }
    SaveChangesAnswer askSaveChanges(QWidget*, const QString&) override
    {
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "unexpected save-changes question";
            return SaveChangesAnswer::Cancel;
        }
        const SaveChangesAnswer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    bool confirmRevert(QWidget*, const QString&) override
    {
        ++revertQuestions;
        return revertAccepted;
    }
    ChangedFileAnswer askReloadChangedFile(QWidget*, const QString& documentName) override
    {
        reloadQuestions.push_back(documentName);
        if (reloadAnswers.empty()) {
            ADD_FAILURE() << "unexpected question about a file changed on disk";
            return ChangedFileAnswer::KeepMine;
        }
        const ChangedFileAnswer answer = reloadAnswers.front();
        reloadAnswers.pop_front();
        return answer;
    }
    bool confirmOverwriteChangedFile(QWidget*, const QString& documentName) override
    {
        overwriteQuestions.push_back(documentName);
        if (overwriteAnswers.empty()) {
            ADD_FAILURE() << "unexpected question about overwriting a changed file";
            return false;
        }
        const bool answer = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return answer;
    }
    bool offerSaveAsForReadOnly(QWidget*, const QString& documentName) override
    {
        readOnlyDocuments.push_back(documentName);
        if (saveAsOffers.empty()) {
            ADD_FAILURE() << "unexpected read-only question";
            return false;
        }
        const bool answer = saveAsOffers.front();
        saveAsOffers.pop_front();
        return answer;
    }
    void alert(QWidget*, const QString& title, const QString& message) override
    {
        alerts.push_back({title, message});
    }
    bool runPrintDialog(QWidget*, QPrinter*) override { return printAccepted; }
    void runPageSetup(QWidget*, QPrinter*) override { ++pageSetups; }
    // A preview paints its pages into a PDF, as the dialog would on screen.
    void runPrintPreview(QWidget*, QPrinter* printer,
                         const std::function<void(QPrinter*)>& paint) override
    {
        ++previews;
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(previewFile);
        paint(printer);
    }

  private:
    static QString next(std::deque<QString>& queue)
    {
        if (queue.empty())
            return {};
        QString value = queue.front();
        queue.pop_front();
        return value;
    }
};

// A fresh home and scripted dialogs for each test.
class WindowTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    TemporaryHome home;
    ScriptedDialogs answers;
};

// Three modules: Porch expanded with two events, Coffee collapsed with one,
// Hall without events. Rows: 0 Porch, 1 e0, 2 e1, 3 Coffee, 4 Hall.
inline ModulesDocument threeModules()
{
    ModulesDocument document;
    Module porch =
        moduleWith({clockEvent(EventDaysMask, 19, 0), clockEvent(EventDaysMask, 23, 30, false)});
    porch.name = "Porch";
    porch.type = LightType;
    porch.expanded = true;
    Module coffee = moduleWith({clockEvent(EventDaysMask, 6, 45)}, 1, 7);
    coffee.name = "Coffee";
    Module hall;
    hall.name = "Hall";
    document.modules = {porch, coffee, hall};
    return document;
}

} // namespace vantrel::test
