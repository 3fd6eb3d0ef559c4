// The document window's files, closing, printing and window state.

#include "editor/Modules.h"

#include "editor/OutlineEditing.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/Recovery.h"
#include "cp290/Verification.h"
#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DiskWatch.h"
#include "editor/DocumentHost.h"
#include "editor/DocumentManager.h"
#include "editor/DocumentUndo.h"
#include "editor/EventEditor.h"
#include "editor/FileNames.h"
#include "editor/HelperStatusWatcher.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/OutlineDelegate.h"
#include "editor/OutlinePrinter.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "editor/ScheduleCount.h"
#include "editor/core/DragRules.h"
#include "schedule/HelperCopy.h"
#include "schedule/ModulesDocument.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {
namespace {

constexpr int ReloadedMessageMilliseconds = 10000;

PropertyData toData(const QByteArray& bytes)
{
    return PropertyData(bytes.begin(), bytes.end());
}

} // namespace

void Modules::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Only a shown window knows its frame: fit a restored one again, frame included.
    if (m_fitFrameOnShow) {
        m_fitFrameOnShow = false;
        fitFrameToScreen();
        // The window manager may add its frame only after the window is
        // shown: fit once more when it does.
        m_fitWhenFramed = frameGeometry() == geometry();
    }
    if (m_editOnShow) {
        m_editOnShow = false;
        const auto rows = selectedRows();
        if (rows.size() == 1)
            QTimer::singleShot(0, this, [this, row = rows.front()] { startEditingRow(row); });
    }
}

void Modules::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    applyDrawerPlacement();
    scheduleWindowStateSave();
}

void Modules::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (m_fitWhenFramed && frameGeometry() != geometry()) {
        m_fitWhenFramed = false;
        fitFrameToScreen();
    }
    scheduleWindowStateSave();
}

void Modules::applyDrawerPlacement()
{
    m_drawerOffsets = drawerOffsets(frameGeometry().width());
    // Offsets count from the window's edges; negative ones (a window
    // narrower than the drawer) are shown as none.
    const int inset = drawer->mapTo(this, QPoint(0, 0)).x();
    m_drawerContent->move(std::max(0, m_drawerOffsets.leading - inset), 0);
}

void Modules::fitFrameToScreen()
{
    // A frame stored on a larger screen (or a screen since removed) would
    // put the window's title bar or its edges out of reach.
    const QScreen* screen = QGuiApplication::screenAt(frameGeometry().center());
    if (!screen)
        screen = this->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect frame = frameGeometry();
    const QSize margins = frame.size() - geometry().size();
    const QSize fitted = frame.size().boundedTo(available.size());
    if (fitted != frame.size())
        resize(fitted - margins);
    QRect placed(frame.topLeft(), fitted);
    if (placed.right() > available.right())
        placed.moveRight(available.right());
    if (placed.bottom() > available.bottom())
        placed.moveBottom(available.bottom());
    if (placed.left() < available.left())
        placed.moveLeft(available.left());
    if (placed.top() < available.top())
        placed.moveTop(available.top());
    if (placed.topLeft() != frame.topLeft())
        move(placed.topLeft());
}

void Modules::scheduleWindowStateSave()
{
    if (m_windowStateRestored)
        m_windowStateTimer.start();
}

void Modules::saveWindowState()
{
    m_windowStateTimer.stop();
    Preferences& preferences = applicationPreferences();
    preferences.setValue(ModulesWindowFrameKey, toData(saveGeometry()));
    preferences.setValue(OutlineColumnsKey, toData(modulesOutline->header()->saveState()));
    savePreferences(preferences, this);
}

bool Modules::writeToFile(const QString& path, QString* error)
{
    ModulesDocument stored = m_document;
    stored.drawerOpen = isDrawerOpen();
    stored.selectedRows.clear();
    for (int row : selectedRows())
        stored.selectedRows.push_back(row);
    std::string reason;
    if (!writeModulesFile(nativePath(path), stored, &reason)) {
        if (error)
            *error = QString::fromStdString(reason);
        return false;
    }
    return true;
}

bool Modules::save()
{
    if (m_filePath.isEmpty())
        return saveAs();
    commitEditing();
    // The save renames a new file over the old one, which its folder allows
    // whatever the file's own mode says; a file its owner made read-only is
    // left alone, as root's saves too.
    if (struct stat info{}; stat(nativePath(m_filePath).c_str(), &info) == 0 &&
                            S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0)
        return dialogs().offerSaveAsForReadOnly(this, displayName()) && saveAs();
    if (m_diskWatch->changedSinceAdopted() &&
        !dialogs().confirmOverwriteChangedFile(this, displayName()))
        return false;
    QString error;
    if (!writeToFile(m_filePath, &error)) {
        dialogs().alert(this, tr("The document “%1” could not be saved.").arg(displayName()),
                        error);
        return false;
    }
    // What the folder and the file report about this write is no news.
    m_diskWatch->adopt();
    clearChangeCount();
    return true;
}

bool Modules::saveAs()
{
    commitEditing();
    QString suggested = m_filePath;
    if (suggested.isEmpty())
        suggested = displayName() + ".vantrel";
    QString path = dialogs().saveFileName(this, suggested);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".vantrel";
    QString error;
    if (!writeToFile(path, &error)) {
        dialogs().alert(this,
                        tr("The document “%1” could not be saved.")
                            .arg(readableFileName(QFileInfo(path).fileName())),
                        error);
        return false;
    }
    m_filePath = QFileInfo(path).absoluteFilePath();
    m_diskWatch->watch(m_filePath);
    clearChangeCount();
    return true;
}

bool Modules::revertToSaved()
{
    if (m_filePath.isEmpty())
        return false;
    commitEditing();
    if (isWindowModified() && !dialogs().confirmRevert(this, displayName()))
        return false;
    QString error;
    if (!readSavedFile(false, &error)) {
        dialogs().alert(this, tr("The document “%1” could not be reverted.").arg(displayName()),
                        error);
        return false;
    }
    return true;
}

bool Modules::readSavedFile(bool keepView, QString* error)
{
    const DiskFileState before = DiskFileState::of(m_filePath);
    ModulesDocument reread;
    reread.eventRepeat = m_document.eventRepeat;
    std::string reason;
    if (!readModulesFile(nativePath(m_filePath), &reread, &reason)) {
        *error = QString::fromStdString(reason);
        return false;
    }
    // Rows by module and event, as their row numbers move with the modules.
    std::vector<OutlineRow> kept;
    for (int row : selectedRows())
        if (const auto at = m_model->rowMap().rowAt(row))
            kept.push_back(*at);
    m_currentModuleIndex = m_currentEventIndex = -1;
    {
        QuietSelection quiet(m_quietSelection);
        m_document.eventRepeat = reread.eventRepeat;
        m_document.selectedRows = reread.selectedRows;
        m_document.drawerOpen = reread.drawerOpen;
        m_model->replaceAll(std::move(reread.modules));
    }
    if (keepView) {
        m_document.drawerOpen = false; // the drawer stays as it is
        m_document.selectedRows.clear();
        const OutlineRowMap& rows = m_model->rowMap();
        for (const OutlineRow& row : kept) {
            const int at = row.isModuleRow()
                               ? rows.rowForModule(row.module)
                               : rows.rowForEvent(row.module, static_cast<std::size_t>(row.event));
            if (at >= 0)
                m_document.selectedRows.push_back(at);
        }
    }
    setDrawerRowsExpanded();
    clearChangeCount();
    m_undo->reset();
    scheduleCountUpdate();
    m_diskWatch->adopt(before);
    return true;
}

void Modules::fileChangedOnDisk()
{
    // The question still open covers this change too.
    if (m_askingAboutDiskChange || m_diskChangeWaiting)
        return;
    // A send reads the document throughout and stores what it sent for the
    // helper: the file waits until it is over.
    if (documentHost() && documentHost()->isBusy()) {
        m_diskChangeWaiting = true;
        documentHost()->afterExchange(this, [this] {
            m_diskChangeWaiting = false;
            if (m_diskWatch->changedSinceAdopted())
                fileChangedOnDisk();
        });
        return;
    }
    commitEditing();
    const bool asked = isWindowModified();
    if (asked) {
        const QPointer<Modules> alive(this);
        m_askingAboutDiskChange = true;
        raise();
        const ChangedFileAnswer answer = dialogs().askReloadChangedFile(this, displayName());
        if (!alive)
            return;
        m_askingAboutDiskChange = false;
        if (answer == ChangedFileAnswer::KeepMine)
            return;
    }
    QString error;
    if (readSavedFile(true, &error)) {
        statusBar()->showMessage(tr("Reloaded: “%1” was changed on disk.").arg(displayName()),
                                 ReloadedMessageMilliseconds);
    } else if (asked) {
        dialogs().alert(this, tr("The document “%1” could not be reloaded.").arg(displayName()),
                        error);
    } else {
        // Perhaps caught halfway through another program's write: the next
        // change brings the rest.
        statusBar()->showMessage(
            tr("“%1” changed on disk but could not be read: %2").arg(displayName(), error));
    }
}

bool Modules::cellEditorChangedText() const
{
    const QModelIndex edited = modulesOutline->editedIndex();
    const auto* editor = qobject_cast<const QLineEdit*>(modulesOutline->activeEditor());
    return edited.isValid() && editor &&
           editor->text() != m_model->data(edited, Qt::EditRole).toString();
}

bool Modules::confirmClose()
{
    // What is still being typed in is a change too; a cell merely open is not.
    if (cellEditorChangedText())
        modulesOutline->endEditing();
    saveEventData();
    if (!isWindowModified())
        return true;
    raise();
    activateWindow();
    switch (dialogs().askSaveChanges(this, displayName())) {
    case SaveChangesAnswer::Save:
        return save();
    case SaveChangesAnswer::DontSave:
        return true;
    case SaveChangesAnswer::Cancel:
        return false;
    }
    return false;
}

bool Modules::closeConfirmed()
{
    m_closeConfirmed = true;
    const bool closed = close();
    m_closeConfirmed = false;
    return closed;
}

void Modules::closeEvent(QCloseEvent* event)
{
    if (!m_closeConfirmed && !confirmClose()) {
        event->ignore();
        return;
    }
    windowWillClose();
    event->accept();
    QMainWindow::closeEvent(event);
}

void Modules::windowWillClose()
{
    saveWindowState();
    Preferences& preferences = applicationPreferences();
    if (m_filePath.isEmpty())
        preferences.removeValue(LastModulesFileKey);
    else
        preferences.setValue(LastModulesFileKey, m_filePath.toStdString());
    savePreferences(preferences, this);
    if (m_manager)
        m_manager->documentClosed(this);
}

void Modules::runPageLayout()
{
    dialogs().runPageSetup(this, &sharedPrinter());
}

void Modules::printDocument()
{
    commitEditing();
    modulesOutline->setFocus();
    QPrinter& printer = sharedPrinter();
    printer.setDocName(displayName());
    if (!dialogs().runPrintDialog(this, &printer))
        return;
    // Nothing printed means the printer or the file was not opened.
    if (printOutline(printer) == 0)
        dialogs().alert(
            this, tr("The document could not be printed."),
            printer.outputFileName().isEmpty()
                ? tr("The printer “%1” did not accept the job.").arg(printer.printerName())
                : tr("“%1” could not be written.").arg(printer.outputFileName()));
}

void Modules::printPreview()
{
    commitEditing();
    modulesOutline->setFocus();
    QPrinter& printer = sharedPrinter();
    printer.setDocName(displayName());
    dialogs().runPrintPreview(this, &printer, [this](QPrinter* target) { printOutline(*target); });
}

int Modules::printOutline(QPrinter& printer)
{
    std::vector<PrintedColumn> columns;
    const QHeaderView* header = modulesOutline->header();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            columns.push_back({logical, static_cast<double>(header->sectionSize(logical)),
                               m_model->headerData(logical, Qt::Horizontal).toString()});
    }
    return vantrel::printOutline(printer, *m_model, columns, modulesOutline->font(),
                                 modulesOutline->indentation(), displayName());
}

} // namespace vantrel
