#include "editor/Dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>

namespace vantrel {
namespace {

// Messages with this many lines or more show their lines as a scrolling list.
constexpr int AlertListLines = 8;

const QString DocumentFilter = QObject::tr("Vantrel documents (*.vantrel)");
const QString AllFilesFilter = QObject::tr("All files (*)");
const QString TextFilter = QObject::tr("Text files (*.txt)");

// Runs a dialog as a sheet on its window: window-modal, yet waited for.
int runWindowModal(QDialog& dialog)
{
    dialog.setWindowModality(dialog.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    return dialog.exec();
}

class DesktopDialogs : public Dialogs
{
  public:
    QString openFileName(QWidget* parent) override
    {
        return QFileDialog::getOpenFileName(parent, QObject::tr("Open Document"), QString(),
                                            DocumentFilter + ";;" + AllFilesFilter);
    }

    QString saveFileName(QWidget* parent, const QString& suggested) override
    {
        QFileDialog dialog(parent, QObject::tr("Save Document"), suggested,
                           DocumentFilter + ";;" + AllFilesFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("vantrel");
        if (runWindowModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    QString saveTextFileName(QWidget* parent, const QString& suggestedName) override
    {
        QFileDialog dialog(parent, QObject::tr("Save Text"),
                           QDir::home().filePath(suggestedName + ".txt"),
                           TextFilter + ";;" + AllFilesFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("txt");
        if (runWindowModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    SaveChangesAnswer askSaveChanges(QWidget* parent, const QString& documentName) override
    {
        QMessageBox box(
            QMessageBox::Warning,
            QObject::tr("Do you want to save the changes you made to “%1”?").arg(documentName),
            QObject::tr("Your changes will be lost if you don't save them."), QMessageBox::NoButton,
            parent);
        box.setObjectName("saveChangesAlert");
        QPushButton* save = box.addButton(QMessageBox::Save);
        QPushButton* discard =
            box.addButton(QObject::tr("Don't Save"), QMessageBox::DestructiveRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(save);
        runWindowModal(box);
        if (box.clickedButton() == save)
            return SaveChangesAnswer::Save;
        if (box.clickedButton() == discard)
            return SaveChangesAnswer::DontSave;
        return SaveChangesAnswer::Cancel;
    }

    bool confirmRevert(QWidget* parent, const QString& documentName) override
    {
        QMessageBox box(
            QMessageBox::Warning,
            QObject::tr("Do you want to revert “%1” to the version last saved?").arg(documentName),
            QObject::tr("The changes you made since you last saved it will be lost."),
            QMessageBox::NoButton, parent);
        box.setObjectName("revertAlert");
        QPushButton* revert = box.addButton(QObject::tr("Revert"), QMessageBox::DestructiveRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        runWindowModal(box);
        return box.clickedButton() == revert;
    }

    ChangedFileAnswer askReloadChangedFile(QWidget* parent, const QString& documentName) override
    {
        QMessageBox box(
            QMessageBox::Warning,
            QObject::tr("The document “%1” was changed on disk by another program.")
                .arg(documentName),
            QObject::tr("Reload it to see those changes and lose the ones you made here, or "
                        "keep your version."),
            QMessageBox::NoButton, parent);
        box.setObjectName("changedOnDiskAlert");
        QPushButton* reload = box.addButton(QObject::tr("Reload"), QMessageBox::DestructiveRole);
        box.setDefaultButton(
            box.addButton(QObject::tr("Keep My Version"), QMessageBox::RejectRole));
        runWindowModal(box);
        return box.clickedButton() == reload ? ChangedFileAnswer::Reload
                                             : ChangedFileAnswer::KeepMine;
    }

    bool confirmOverwriteChangedFile(QWidget* parent, const QString& documentName) override
    {
        QMessageBox box(
            QMessageBox::Warning,
            QObject::tr("“%1” changed on disk since you opened or last saved it. Overwrite it?")
                .arg(documentName),
            QObject::tr("The changes another program made to it will be lost."),
            QMessageBox::NoButton, parent);
        box.setObjectName("overwriteChangedAlert");
        QPushButton* overwrite =
            box.addButton(QObject::tr("Overwrite"), QMessageBox::DestructiveRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        runWindowModal(box);
        return box.clickedButton() == overwrite;
    }

    bool offerSaveAsForReadOnly(QWidget* parent, const QString& documentName) override
    {
        QMessageBox box(QMessageBox::Warning,
                        QObject::tr("The document “%1” is read-only.").arg(documentName),
                        QObject::tr("Its file is protected against changes. You can save your "
                                    "changes as a new document instead."),
                        QMessageBox::NoButton, parent);
        box.setObjectName("readOnlyAlert");
        QPushButton* saveAs = box.addButton(QObject::tr("Save As…"), QMessageBox::AcceptRole);
        box.setDefaultButton(saveAs);
        box.addButton(QMessageBox::Cancel);
        runWindowModal(box);
        return box.clickedButton() == saveAs;
    }

    void alert(QWidget* parent, const QString& title, const QString& message) override
    {
        // Successes and failures alike: the title says which.
        QMessageBox box(QMessageBox::Information, title, message, QMessageBox::Ok, parent);
        box.setText(title);
        box.setWindowTitle(title);
        // A long list (the slots a check found different) would run off the
        // screen or wrap mid-item in the label: the first line stays the
        // message, the list scrolls below it, one item a line.
        const qsizetype lineBreak = message.indexOf(u'\n');
        const bool asList = message.count(u'\n') >= AlertListLines;
        box.setInformativeText(asList ? message.left(lineBreak) : message);
        // Only now: setting a text lays the box out again with a new grid.
        auto* grid = qobject_cast<QGridLayout*>(box.layout());
        if (grid && asList) {
            auto* list = new QPlainTextEdit(message.mid(lineBreak + 1), &box);
            list->setObjectName("alertList");
            list->setReadOnly(true);
            list->setLineWrapMode(QPlainTextEdit::NoWrap);
            list->setMinimumSize(560, list->fontMetrics().lineSpacing() * AlertListLines);
            // Between the message and the buttons.
            auto* buttons = box.findChild<QDialogButtonBox*>();
            int row = grid->rowCount(), column = 0, rowSpan = 1, columnSpan = grid->columnCount();
            if (buttons && grid->indexOf(buttons) >= 0) {
                grid->getItemPosition(grid->indexOf(buttons), &row, &column, &rowSpan, &columnSpan);
                grid->removeWidget(buttons);
                grid->addWidget(buttons, row + 1, column, rowSpan, columnSpan);
            }
            grid->addWidget(list, row, 0, 1, grid->columnCount());
        }
        // Wide enough that a two-sentence message does not become a column,
        // that the window manager need not shorten the title, and that no
        // line of a short list wraps, as far as the screen allows.
        const QFontMetrics metrics(box.font());
        int width = std::max(380, metrics.horizontalAdvance(title) + 160);
        for (const QString& line : box.informativeText().split(u'\n'))
            width = std::max(width, metrics.horizontalAdvance(line) + 100); // and the icon
        if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
            width = std::min(width, screen->availableGeometry().width() * 3 / 4);
        if (grid)
            grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                          grid->rowCount(), 0, 1, grid->columnCount());
        runWindowModal(box);
    }

    bool runPrintDialog(QWidget* parent, QPrinter* printer) override
    {
        QPrintDialog dialog(printer, parent);
        return runWindowModal(dialog) == QDialog::Accepted;
    }

    void runPageSetup(QWidget* parent, QPrinter* printer) override
    {
        QPageSetupDialog dialog(printer, parent);
        runWindowModal(dialog);
    }

    void runPrintPreview(QWidget* parent, QPrinter* printer,
                         const std::function<void(QPrinter*)>& paint) override
    {
        QPrintPreviewDialog dialog(printer, parent);
        dialog.setObjectName("printPreviewDialog");
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                         [&paint](QPrinter* target) { paint(target); });
        runWindowModal(dialog);
    }
};

DesktopDialogs& desktopDialogs()
{
    static DesktopDialogs instance;
    return instance;
}

Dialogs* installed = nullptr;

} // namespace

QString textFileNameWithSuffix(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + ".txt";
}

Dialogs& dialogs()
{
    return installed ? *installed : desktopDialogs();
}

void setDialogs(Dialogs* replacement)
{
    installed = replacement;
}

QPrinter& sharedPrinter()
{
    // Kept for the whole process: destroying it after the application object
    // is gone would touch a dead print system.
    static QPrinter* printer = new QPrinter;
    return *printer;
}

} // namespace vantrel
