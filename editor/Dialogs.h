#pragma once

// Every dialog and alert of the window goes through here, so that tests can
// answer them: the next file name, the next button, and a record of alerts.

#include <QString>

class QPrinter;
class QWidget;

namespace vantrel {

enum class SaveChangesAnswer
{
    Save,
    DontSave,
    Cancel
};

class Dialogs
{
  public:
    virtual ~Dialogs() = default;

    // An empty name when the user cancels.
    virtual QString openFileName(QWidget* parent) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& suggested) = 0;
    virtual SaveChangesAnswer askSaveChanges(QWidget* parent, const QString& documentName) = 0;
    // Whether to throw the unsaved changes away and read the saved file again.
    virtual bool confirmRevert(QWidget* parent, const QString& documentName) = 0;
    // A window-modal alert with one "OK".
    virtual void alert(QWidget* parent, const QString& title, const QString& message) = 0;
    virtual bool runPrintDialog(QWidget* parent, QPrinter* printer) = 0;
    virtual void runPageSetup(QWidget* parent, QPrinter* printer) = 0;
};

// The dialogs in use; the desktop's own unless a test installed others.
Dialogs& dialogs();
// Installs replacements (not owned); nullptr puts the desktop's back.
void setDialogs(Dialogs* replacement);

// The print settings shared by every document (page setup, printer).
QPrinter& sharedPrinter();

} // namespace vantrel
