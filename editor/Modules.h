#pragma once

// One document window: the module list of one schedule file, its outline of
// modules and events, the command buttons and the drawer along the bottom.
// The window owns its document for as long as it is open. It builds the
// widgets and menus (Modules.cpp) and keeps files, closing, printing and its
// state (ModulesFiles.cpp); the outline commands (OutlineEditing), sending
// and direct switching (ScheduleSending) and the event editor's binding
// (EventEditorBinding) work on it, and its commands forward to them.

#include "editor/core/OutlineCommands.h"
#include "schedule/ModulesDocument.h"

#include <QMainWindow>
#include <QModelIndexList>
#include <QTimer>

#include <memory>

class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;
class QPrinter;
class QMimeData;

namespace vantrel {

struct DownloadReport;
class DiskWatch;
class DocumentManager;
class DocumentUndo;
class EventEditor;
class EventEditorBinding;
class OutlineEditing;
class ScheduleSending;
class ModulesOutlineModel;
class RkNSOutlineView;

class Modules : public QMainWindow
{
    Q_OBJECT

  public:
    // A new document when `path` is empty (document is then ignored).
    Modules(DocumentManager* manager, ModulesDocument document, QString path,
            QString untitledName = {});
    ~Modules() override;

    const QString& filePath() const { return m_filePath; }
    QString displayName() const;
    const ModulesDocument& document() const { return m_document; }
    ModulesOutlineModel* model() const { return m_model; }
    RkNSOutlineView* outline() const { return modulesOutline; }
    bool isDocumentEdited() const { return isWindowModified(); }
    bool isDrawerOpen() const;
    DocumentUndo* undoHistory() const { return m_undo; }

    int currentModuleIndex() const { return m_currentModuleIndex; }
    int currentEventIndex() const { return m_currentEventIndex; }

    // The outline's rows and their mapping, by the names of the window's own operations.
    int moduleIndexForOutlineRow(int row) const;
    int eventIndexForOutlineRow(int row) const;
    std::vector<int> selectedRows() const; // last row first
    void selectRow(int row, bool extend);
    void deselectAll();
    // Every row the outline shows, with one selection change.
    void selectAll();

    // Document commands (the window's actions call these).
    void newModule();
    void newEvent();
    void deleteRows();
    void edit();
    void endEdit();
    void expandAll();
    void collapseAll();
    void showHideEvents();
    void insertModule(Module module);
    void insertEvent(const EventData& event);
    void reloadAndFixExpanded();
    void setDrawerRowsExpanded();
    CopyValidity copyValid();
    // Re-evaluates Delete, Cut, Copy and Paste (validateMenuItem:).
    void validateMenus();

    // The clipboard: complete copies of the selected block.
    void copy();
    void cut();
    void paste();

    // Dragging rows within a window and between windows: a drop always moves.
    quint64 dragId() const { return m_dragId; }
    QMimeData* dragMimeData(const QModelIndexList& indexes);
    // The outline model's drop (drop) or its judgement of one (!drop).
    bool handleDrop(const QMimeData* mime, int row, const QModelIndex& parent, bool drop);
    void draggingDone() { m_draggingModules = false; }
    // The source's side of a drop into another window (OutlineDragAndDrop.cpp):
    // the event being edited is saved and forgotten, the dragged rows leave
    // (modules in ascending order, events highest first), and the window
    // shows the change.
    void beginDragRemoval();
    void removeDraggedModules(const std::vector<std::size_t>& ascending);
    void removeDraggedEvents(const std::vector<OutlineRow>& highestFirst);
    void endDragRemoval();

    // The event editor in the drawer and direct switching.
    EventEditor* eventEditor() const { return m_eventEditor; }
    void saveEventData();
    void loadEventData();
    void setCurrentEvent(const Event& event);
    void resetEvent();
    // Switches the modules of the selected rows now: 2 on, 3 off.
    void onOff(int function);

    // Sending: the whole schedule to the CP290, and its repeat counts.
    void sendEventsToCP290();
    void performEvents();
    // "57 of 128 CP290 events today", as the status bar shows it.
    QString scheduleCountText() const;

    // File commands. Each returns whether it did what it set out to.
    bool save();
    bool saveAs();
    bool revertToSaved();
    void runPageLayout();
    void printDocument();
    void printPreview();
    // Prints the outline's rows as they stand; the number of pages.
    int printOutline(QPrinter& printer);

    bool writeToFile(const QString& path, QString* error);
    // Asks to save unsaved changes; false when the user cancelled.
    bool confirmClose();
    // Closes the window without asking again, after confirmClose().
    bool closeConfirmed();

    void updateChangeCount();
    void clearChangeCount();

  signals:
    // The modules, their events or the repeat counts may have changed.
    void scheduleChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    friend class DocumentUndo; // undo puts a document back as a revert does
    friend class EventEditorBinding;
    friend class OutlineEditing;
    friend class ScheduleSending;

    void buildWindow();
    void buildMenus();
    // The alerts and status line after a download that was sent.
    void tellHowTheSendWent(const DownloadReport& report);
    QAction* addAction(QMenu* menu, const char* name, const QString& title,
                       const QKeySequence& shortcut, void (Modules::*slot)());
    void windowControllerDidLoadNib(bool isNew);
    void outlineViewSelectionDidChange();
    // copyValid and validateMenus for rows the caller has already read.
    CopyValidity copyValidFor(const std::vector<int>& selectedRows);
    void validateMenusFor(const std::vector<int>& rows);
    void applyDrawerPlacement();
    void outlineExpanded(const QModelIndex& index);
    void outlineCollapsed(const QModelIndex& index);
    void moduleCellCommitted(std::size_t module, bool needsModuleChanged);
    void eventTextCommitted(std::size_t module, std::size_t event);
    void moduleChanged();
    void forgetCurrentEvent();
    // Ends in-place editing and saves the event editor's controls.
    void commitEditing();
    // commitEditing, then forgets the current event: for changes that move rows.
    void beginStructuralChange();
    // Whether the outline's open cell editor holds text other than its cell's.
    bool cellEditorChangedText() const;
    void startEditingRow(int row);
    void windowWillClose();
    void scheduleWindowStateSave();
    void saveWindowState();
    // Keeps a restored frame within the available area of its screen.
    void fitFrameToScreen();
    void updateTitle();
    void fixExpanded();
    void scheduleCountUpdate();
    void updateScheduleCount();
    // Reads the file again over the document. keepView keeps the window's
    // selection and drawer instead of the ones stored in the file.
    bool readSavedFile(bool keepView, QString* error);
    // Another program changed the file: reload quietly, or ask when there
    // are unsaved changes here.
    void fileChangedOnDisk();

    DocumentManager* m_manager;
    ModulesDocument m_document;
    QString m_filePath;
    QString m_untitledName;
    std::unique_ptr<OutlineEditing> m_editing;
    std::unique_ptr<ScheduleSending> m_sending;
    std::unique_ptr<EventEditorBinding> m_binding;

    ModulesOutlineModel* m_model = nullptr;
    RkNSOutlineView* modulesOutline = nullptr;
    QPushButton* newModuleButton = nullptr;
    QPushButton* newEventButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* endEditButton = nullptr;
    QPushButton* expandAllButton = nullptr;
    QPushButton* collapseAllButton = nullptr;
    QPushButton* eventsButton = nullptr;
    QWidget* drawer = nullptr;
    QStackedWidget* m_drawerContent = nullptr;
    QWidget* eventView = nullptr;
    QWidget* noEventsView = nullptr;
    EventEditor* m_eventEditor = nullptr;
    QPushButton* onButton = nullptr;
    QPushButton* offButton = nullptr;
    QSlider* selectedBrightnessSlider = nullptr;
    QLabel* selectedBrightnessLabel = nullptr;
    QAction* m_cutAction = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_pasteAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_newEventAction = nullptr;
    QAction* m_editAction = nullptr;
    QAction* m_endEditAction = nullptr;
    QAction* m_showHideAction = nullptr;
    QAction* m_revertAction = nullptr;

    int m_currentModuleIndex = -1;
    int m_currentEventIndex = -1;
    Event m_defaultEvent;
    bool m_expandingAll = false;
    bool m_collapsingAll = false;
    // closeConfirmed() is closing the window: its changes were asked about.
    bool m_closeConfirmed = false;
    // A frame was restored: fitted again once shown.
    bool m_fitFrameOnShow = false;
    // Shown before the window manager framed it: fitted again once it has.
    bool m_fitWhenFramed = false;
    bool m_draggingModules = false;
    bool m_dragCutCopyModules = false;
    bool m_dragCutCopyEvents = false;
    DrawerOffsets m_drawerOffsets;

    int m_quietSelection = 0; // commands that make their own selection
    bool m_editOnShow = false;
    bool m_windowStateRestored = false;
    QTimer m_windowStateTimer;
    QTimer m_countTimer;
    QLabel* m_countLabel = nullptr;
    quint64 m_dragId = 0;
    DiskWatch* m_diskWatch = nullptr;
    DocumentUndo* m_undo = nullptr;
    bool m_askingAboutDiskChange = false;
    bool m_diskChangeWaiting = false; // for a send to end
};

} // namespace vantrel
