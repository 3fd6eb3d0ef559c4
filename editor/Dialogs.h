#pragma once

// Every dialog and alert of the window goes through here, so that tests can
// answer them: the next file name, the next button, and a record of alerts.

#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace vantrel {

enum class SaveChangesAnswer
{
    Save,
    DontSave,
    Cancel
};

// What to do with a document whose file another program changed while the
// window holds unsaved changes.
enum class ChangedFileAnswer
{
    Reload,  // read the file again; the changes made here are lost
    KeepMine // keep the window's version; saving it will overwrite the file
};

class Dialogs
{
  public:
    virtual ~Dialogs() = default;

    // An empty name when the user cancels.
    virtual QString openFileName(QWidget* parent) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& suggested) = 0;
    // A plain-text file to write, starting in the home folder with the
    // suggested name; an empty name when the user cancels.
    virtual QString saveTextFileName(QWidget* parent, const QString& suggestedName) = 0;
    virtual SaveChangesAnswer askSaveChanges(QWidget* parent, const QString& documentName) = 0;
    // Whether to throw the unsaved changes away and read the saved file again.
    virtual bool confirmRevert(QWidget* parent, const QString& documentName) = 0;
    // The document's file changed on disk while it has unsaved changes here.
    virtual ChangedFileAnswer askReloadChangedFile(QWidget* parent,
                                                   const QString& documentName) = 0;
    // Whether to save over a file that changed on disk since it was read or saved.
    virtual bool confirmOverwriteChangedFile(QWidget* parent, const QString& documentName) = 0;
    // The document's file is read-only: says so, and whether to save it
    // under another name instead.
    virtual bool offerSaveAsForReadOnly(QWidget* parent, const QString& documentName) = 0;
    // A window-modal alert with one "OK".
    virtual void alert(QWidget* parent, const QString& title, const QString& message) = 0;
    virtual bool runPrintDialog(QWidget* parent, QPrinter* printer) = 0;
    virtual void runPageSetup(QWidget* parent, QPrinter* printer) = 0;
    // Shows the pages `paint` prints, with the printer's settings; `paint`
    // may be called several times as the settings change.
    virtual void runPrintPreview(QWidget* parent, QPrinter* printer,
                                 const std::function<void(QPrinter*)>& paint) = 0;
};

// The name a text file is saved under: ".txt" added when it has no suffix.
QString textFileNameWithSuffix(const QString& path);

// The dialogs in use; the desktop's own unless a test installed others.
Dialogs& dialogs();
// Installs replacements (not owned); nullptr puts the desktop's back.
void setDialogs(Dialogs* replacement);

// The print settings shared by every document (page setup, printer).
QPrinter& sharedPrinter();

} // namespace vantrel
