#include "editor/Modules.h"

#include "cp290/Driver.h"
#include "editor/ApplicationPreferences.h"
#include "editor/DiskWatch.h"
#include "editor/DocumentHost.h"
#include "editor/DocumentUndo.h"
#include "editor/HelperStatusWatcher.h"
#include "editor/DocumentManager.h"
#include "editor/EventEditor.h"
#include "editor/EventEditorBinding.h"
#include "editor/FileNames.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/OutlineDelegate.h"
#include "editor/OutlineEditing.h"
#include "editor/PasteboardTypes.h"
#include "editor/RkNSOutlineView.h"
#include "editor/ScheduleCount.h"
#include "editor/ScheduleSending.h"
#include "schedule/ModulesDocument.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

namespace vantrel {
namespace {

constexpr int DrawerHeight = 190;
constexpr int ModulesOutlineEventIndent = 20;

QByteArray fromData(const PropertyData& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()),
                      static_cast<qsizetype>(data.size()));
}

} // namespace

Modules::Modules(DocumentManager* manager, ModulesDocument document, QString path,
                 QString untitledName)
    : m_manager(manager), m_document(std::move(document)), m_filePath(std::move(path)),
      m_untitledName(std::move(untitledName)), m_editing(std::make_unique<OutlineEditing>(*this)),
      m_sending(std::make_unique<ScheduleSending>(*this)),
      m_binding(std::make_unique<EventEditorBinding>(*this))
{
    setObjectName("Modules");
    static quint64 nextDragId = 0;
    m_dragId = ++nextDragId;
    setAttribute(Qt::WA_DeleteOnClose);
    const bool isNew = m_filePath.isEmpty();
    if (isNew)
        m_document = ModulesDocument{};
    buildWindow();
    m_undo = new DocumentUndo(*this);
    buildMenus();
    m_windowStateTimer.setSingleShot(true);
    m_windowStateTimer.setInterval(400);
    connect(&m_windowStateTimer, &QTimer::timeout, this, &Modules::saveWindowState);
    m_countLabel = new QLabel(this);
    m_countLabel->setObjectName("scheduleCount");
    m_countLabel->setContentsMargins(6, 0, 0, 0);
    statusBar()->addWidget(m_countLabel, 1);
    // Sending sits beside the count it is about.
    auto* send = new QPushButton(tr("Send to CP290"), this);
    send->setObjectName("sendButton");
    send->setAutoDefault(false);
    connect(send, &QPushButton::clicked, this, &Modules::sendEventsToCP290);
    // The helper's health beside the count; a click shows its log.
    auto* helper = new QPushButton(this);
    helper->setObjectName("helperStatus");
    helper->setFlat(true);
    helper->setAutoDefault(false);
    helper->setFocusPolicy(Qt::NoFocus);
    helper->setToolTip(tr("What Vantrel Helper did last; click for the activity log"));
    HelperStatusWatcher& watcher = HelperStatusWatcher::instance();
    helper->setText(watcher.text());
    connect(&watcher, &HelperStatusWatcher::textChanged, helper, &QPushButton::setText);
    connect(helper, &QPushButton::clicked, this, [] {
        if (documentHost())
            documentHost()->showActivityLog();
    });
    statusBar()->addPermanentWidget(helper);
    statusBar()->addPermanentWidget(send);
    m_countTimer.setSingleShot(true);
    connect(&m_countTimer, &QTimer::timeout, this, &Modules::updateScheduleCount);
    m_diskWatch = new DiskWatch(this);
    m_diskWatch->setObjectName("diskWatch");
    connect(m_diskWatch, &DiskWatch::changedOnDisk, this, &Modules::fileChangedOnDisk);
    m_diskWatch->watch(m_filePath);
    windowControllerDidLoadNib(isNew);
}

Modules::~Modules() = default;

QString Modules::displayName() const
{
    if (m_filePath.isEmpty())
        return m_untitledName.isEmpty() ? tr("Untitled") : m_untitledName;
    return readableFileName(QFileInfo(m_filePath).fileName());
}

void Modules::updateTitle()
{
    // The desktop adds the application's name after a dash.
    setWindowTitle(displayName() + QStringLiteral("[*]"));
    setWindowFilePath(m_filePath);
    if (m_revertAction)
        m_revertAction->setEnabled(!m_filePath.isEmpty() && isWindowModified());
}

void Modules::updateChangeCount()
{
    // What was sent and verified is no longer the document.
    statusBar()->clearMessage();
    setWindowModified(true);
    updateTitle();
    scheduleCountUpdate();
    m_undo->changeCounted();
}

void Modules::scheduleCountUpdate()
{
    // Once the edits of this pass of the event loop are in.
    m_countTimer.start(0);
    emit scheduleChanged();
}

void Modules::updateScheduleCount()
{
    // Again when the clock can change it (an event's minute, midnight, 3:00 AM).
    const ScheduleCount count = countScheduleEvents(m_document.modules, m_document.eventRepeat);
    m_countLabel->setText(vantrel::scheduleCountText(count));
    recountAtNextChange(this, count, [this] { updateScheduleCount(); });
}

QString Modules::scheduleCountText() const
{
    return vantrel::scheduleCountText(
        countScheduleEvents(m_document.modules, m_document.eventRepeat));
}

void Modules::clearChangeCount()
{
    m_undo->markClean();
    setWindowModified(false);
    updateTitle();
}

bool Modules::isDrawerOpen() const
{
    return drawer && !drawer->isHidden();
}

// ---------------------------------------------------------------- window

void Modules::buildWindow()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    m_model = new ModulesOutlineModel(&m_document.modules, this);
    modulesOutline = new RkNSOutlineView(central);
    modulesOutline->setModel(m_model);
    modulesOutline->setItemDelegate(new OutlineDelegate(modulesOutline));
    modulesOutline->setIndentation(ModulesOutlineEventIndent);
    layout->addWidget(modulesOutline, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    auto makeButton = [&](QPushButton*& button, const char* name, const QString& title,
                          void (Modules::*slot)()) {
        button = new QPushButton(title, central);
        button->setObjectName(name);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
    };
    makeButton(newModuleButton, "newModuleButton", tr("New Module"), &Modules::newModule);
    makeButton(newEventButton, "newEventButton", tr("New Event"), &Modules::newEvent);
    makeButton(deleteButton, "deleteButton", tr("Delete"), &Modules::deleteRows);
    makeButton(editButton, "editButton", tr("Edit"), &Modules::edit);
    makeButton(endEditButton, "endEditButton", tr("End Edit"), &Modules::endEdit);
    buttons->addSpacing(12);
    makeButton(expandAllButton, "expandAllButton", tr("Expand All"), &Modules::expandAll);
    makeButton(collapseAllButton, "collapseAllButton", tr("Collapse All"), &Modules::collapseAll);
    buttons->addStretch(1);
    makeButton(eventsButton, "eventsButton", tr("Show Event Editor"), &Modules::showHideEvents);
    layout->addLayout(buttons);

    // Switching the selected modules now.
    auto* direct = new QHBoxLayout;
    direct->addWidget(new QLabel(tr("Switch the selected modules now:"), central));
    onButton = new QPushButton(tr("On"), central);
    onButton->setObjectName("onButton");
    offButton = new QPushButton(tr("Off"), central);
    offButton->setObjectName("offButton");
    for (QPushButton* button : {onButton, offButton})
        button->setAutoDefault(false);
    connect(onButton, &QPushButton::clicked, this, [this] { onOff(CP290FunctionOn); });
    connect(offButton, &QPushButton::clicked, this, [this] { onOff(CP290FunctionOff); });
    selectedBrightnessSlider = new QSlider(Qt::Horizontal, central);
    selectedBrightnessSlider->setObjectName("selectedBrightnessSlider");
    selectedBrightnessSlider->setRange(1, NoDimBrightness);
    selectedBrightnessSlider->setValue(NoDimBrightness);
    selectedBrightnessSlider->setPageStep(1);
    selectedBrightnessSlider->setMaximumWidth(140);
    selectedBrightnessLabel = new QLabel(tr("Brightness"), central);
    selectedBrightnessLabel->setObjectName("selectedBrightnessLabel");
    direct->addWidget(onButton);
    direct->addWidget(offButton);
    direct->addSpacing(12);
    direct->addWidget(selectedBrightnessLabel);
    direct->addWidget(selectedBrightnessSlider);
    direct->addStretch(1);
    layout->addLayout(direct);

    // The drawer: a panel along the bottom edge. Its content is placed by
    // hand from the offsets, so that it never holds the window's width.
    drawer = new QWidget(central);
    drawer->setObjectName("drawer");
    drawer->setFixedHeight(DrawerHeight);
    drawer->setMinimumWidth(0);
    m_drawerContent = new QStackedWidget(drawer);
    m_drawerContent->setObjectName("drawerContent");
    m_drawerContent->setFrameShape(QFrame::StyledPanel);
    m_drawerContent->setFixedSize(DrawerContentWidth, DrawerHeight);
    noEventsView = new QWidget(m_drawerContent);
    noEventsView->setObjectName("noEventsView");
    auto* noEventsLayout = new QVBoxLayout(noEventsView);
    auto* noEventsLabel = new QLabel(tr("Select one event to edit it here."), noEventsView);
    noEventsLabel->setAlignment(Qt::AlignCenter);
    noEventsLabel->setEnabled(false);
    noEventsLayout->addWidget(noEventsLabel);
    eventView = new QWidget(m_drawerContent);
    eventView->setObjectName("eventView");
    auto* eventLayout = new QVBoxLayout(eventView);
    eventLayout->setContentsMargins(0, 0, 0, 0);
    m_eventEditor = new EventEditor(eventView);
    eventLayout->addWidget(m_eventEditor);
    connect(m_eventEditor, &EventEditor::changed, this, &Modules::saveEventData);
    connect(m_eventEditor, &EventEditor::resetRequested, this, &Modules::resetEvent);
    m_drawerContent->addWidget(noEventsView);
    m_drawerContent->addWidget(eventView);
    // Larger fonts need a wider drawer than the usual one; overlapping
    // controls would be worse than a drawer that is off-centre.
    m_drawerContent->setFixedWidth(
        std::max(DrawerContentWidth, m_drawerContent->minimumSizeHint().width()));
    drawer->hide();
    layout->addWidget(drawer);

    // A small or scaled screen can be narrower than the button row or
    // shorter than the outline and the drawer: the window then scrolls, so
    // every control stays reachable.
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName("windowScroller");
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(central);
    setCentralWidget(scroller);

    connect(m_model, &ModulesOutlineModel::moduleCellCommitted, this,
            [this](std::size_t module, ModuleCellChange change) {
                moduleCellCommitted(module, change.needsModuleChanged);
            });
    connect(m_model, &ModulesOutlineModel::eventTextCommitted, this, &Modules::eventTextCommitted);
    m_model->setDragId(m_dragId);
    connect(m_model, &ModulesOutlineModel::dragStarted, this,
            [this](bool modules, bool events, bool valid) {
                m_dragCutCopyModules = modules;
                m_dragCutCopyEvents = events;
                if (valid)
                    m_draggingModules = modules;
            });
    m_model->setDropHost(m_manager, m_editing.get());
    modulesOutline->setDragEnabled(true);
    modulesOutline->setAcceptDrops(true);
    modulesOutline->setDropIndicatorShown(true);
    modulesOutline->setDragDropMode(QAbstractItemView::DragDrop);
    modulesOutline->setDefaultDropAction(Qt::MoveAction);
    // Rows never open under a drag: events drop between the events of a
    // module that is already expanded.
    modulesOutline->setAutoExpandDelay(-1);
    connect(modulesOutline, &RkNSOutlineView::dragFinished, this, &Modules::draggingDone);
    connect(modulesOutline, &QTreeView::expanded, this, &Modules::outlineExpanded);
    connect(modulesOutline, &QTreeView::collapsed, this, &Modules::outlineCollapsed);
    connect(modulesOutline, &RkNSOutlineView::editRequested, this, &Modules::edit);
    connect(modulesOutline->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_quietSelection == 0)
            outlineViewSelectionDidChange();
    });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &Modules::validateMenus);
    QHeaderView* header = modulesOutline->header();
    connect(header, &QHeaderView::sectionResized, this, &Modules::scheduleWindowStateSave);
    connect(header, &QHeaderView::sectionMoved, this, [this, header] {
        // The description stays the first column.
        if (header->visualIndex(ModulesOutlineModel::NameColumn) != 0)
            header->moveSection(header->visualIndex(ModulesOutlineModel::NameColumn), 0);
        scheduleWindowStateSave();
    });
}

QAction* Modules::addAction(QMenu* menu, const char* name, const QString& title,
                            const QKeySequence& shortcut, void (Modules::*slot)())
{
    auto* action = new QAction(title, this);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    menu->addAction(action);
    return action;
}

void Modules::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName("fileMenu");
    QAction* action = addAction(file, "newDocument", tr("&New"), QKeySequence::New, nullptr);
    connect(action, &QAction::triggered, m_manager, [this] { m_manager->newDocument(); });
    action = addAction(file, "openDocument", tr("&Open…"), QKeySequence::Open, nullptr);
    connect(action, &QAction::triggered, m_manager,
            [this] { m_manager->openDocumentWithDialog(this); });
    file->addSeparator();
    action = addAction(file, "closeDocument", tr("&Close"), QKeySequence::Close, nullptr);
    connect(action, &QAction::triggered, this, &QWidget::close);
    action = addAction(file, "saveDocument", tr("&Save"), QKeySequence::Save, nullptr);
    connect(action, &QAction::triggered, this, &Modules::save);
    action = addAction(file, "saveDocumentAs", tr("Save &As…"), QKeySequence::SaveAs, nullptr);
    connect(action, &QAction::triggered, this, &Modules::saveAs);
    m_revertAction = addAction(file, "revertDocumentToSaved", tr("&Revert to Saved"), {}, nullptr);
    connect(m_revertAction, &QAction::triggered, this, &Modules::revertToSaved);
    file->addSeparator();
    addAction(file, "runPageLayout", tr("Page Set&up…"), {}, &Modules::runPageLayout);
    addAction(file, "printPreview", tr("Print Pre&view…"), {}, &Modules::printPreview);
    addAction(file, "printDocument", tr("&Print…"), QKeySequence::Print, &Modules::printDocument);
    file->addSeparator();
    action = addAction(file, "quit", tr("&Quit"), QKeySequence::Quit, nullptr);
    action->setMenuRole(QAction::QuitRole);
    connect(action, &QAction::triggered, m_manager, [this] { m_manager->quit(); });

    // The four titles the Edit menu's validation recognises.
    QMenu* editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->setObjectName("editMenu");
    m_undo->addActions(editMenu);
    m_cutAction = addAction(editMenu, "cut", tr("Cut"), QKeySequence::Cut, &Modules::cut);
    m_copyAction = addAction(editMenu, "copy", tr("Copy"), QKeySequence::Copy, &Modules::copy);
    m_pasteAction = addAction(editMenu, "paste", tr("Paste"), QKeySequence::Paste, &Modules::paste);
    m_deleteAction =
        addAction(editMenu, "delete", tr("Delete"), QKeySequence::Delete, &Modules::deleteRows);
    addAction(editMenu, "selectAll", tr("Select All"), QKeySequence::SelectAll,
              &Modules::selectAll);
    connect(editMenu, &QMenu::aboutToShow, this, &Modules::validateMenus);

    QMenu* schedule = menuBar()->addMenu(tr("&Schedule"));
    schedule->setObjectName("scheduleMenu");
    addAction(schedule, "newModule", tr("New &Module"), QKeySequence(tr("Ctrl+Shift+M")),
              &Modules::newModule);
    m_newEventAction = addAction(schedule, "newEvent", tr("New &Event"),
                                 QKeySequence(tr("Ctrl+Shift+E")), &Modules::newEvent);
    schedule->addSeparator();
    m_editAction =
        addAction(schedule, "edit", tr("E&dit"), QKeySequence(Qt::Key_F2), &Modules::edit);
    m_endEditAction = addAction(schedule, "endEdit", tr("E&nd Edit"),
                                QKeySequence(tr("Ctrl+Return")), &Modules::endEdit);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName("viewMenu");
    addAction(view, "expandAll", tr("E&xpand All"), QKeySequence(tr("Ctrl+Shift+Right")),
              &Modules::expandAll);
    addAction(view, "collapseAll", tr("&Collapse All"), QKeySequence(tr("Ctrl+Shift+Left")),
              &Modules::collapseAll);
    view->addSeparator();
    m_showHideAction = addAction(view, "showHideEvents", tr("Show &Event Editor"),
                                 QKeySequence(tr("Ctrl+Shift+D")), &Modules::showHideEvents);
    // Shortcuts work while the editor has the focus too.
    for (QAction* each : findChildren<QAction*>())
        each->setShortcutContext(Qt::WindowShortcut);
}

void Modules::windowControllerDidLoadNib(bool isNew)
{
    m_currentModuleIndex = -1;
    m_expandingAll = m_collapsingAll = false;

    QHeaderView* header = modulesOutline->header();
    header->setStretchLastSection(true);
    header->setSectionsMovable(true);
    header->setFirstSectionMovable(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    const QFontMetrics metrics(modulesOutline->font());
    const int padding = 2 * metrics.averageCharWidth() + 16;
    header->resizeSection(ModulesOutlineModel::NameColumn, 320);
    header->resizeSection(ModulesOutlineModel::HouseCodeColumn,
                          metrics.horizontalAdvance(tr("House Code")) + padding);
    header->resizeSection(ModulesOutlineModel::UnitColumn,
                          metrics.horizontalAdvance(QStringLiteral("All Modules")) + padding);
    header->resizeSection(ModulesOutlineModel::TypeColumn,
                          metrics.horizontalAdvance(QStringLiteral("Appliance")) + padding);
    Preferences& preferences = applicationPreferences();
    if (auto state = preferences.dataValue(OutlineColumnsKey))
        header->restoreState(fromData(*state));
    if (header->visualIndex(ModulesOutlineModel::NameColumn) != 0)
        header->moveSection(header->visualIndex(ModulesOutlineModel::NameColumn), 0);

    m_defaultEvent = defaultEventNow();
    m_defaultEvent.Adjust = 0;
    m_defaultEvent.Brightness = NoDimBrightness;
    m_defaultEvent.Repeat = 0;
    m_defaultEvent.Flags = DefaultEventFlags;

    if (isNew) {
        m_currentEventIndex = -1;
        m_document.eventRepeat = {1, 1};
        newModule();
    } else {
        setDrawerRowsExpanded();
    }

    resize(800, 600);
    if (auto frame = preferences.dataValue(ModulesWindowFrameKey)) {
        restoreGeometry(fromData(*frame));
        fitFrameToScreen();
    }
    // The default size too can be larger than a small or scaled screen.
    m_fitFrameOnShow = true;
    applyDrawerPlacement();
    m_windowStateRestored = true;

    clearChangeCount();
    m_undo->reset();
    outlineViewSelectionDidChange();
    scheduleCountUpdate();
}

// ---------------------------------------------------------------- rows

int Modules::moduleIndexForOutlineRow(int row) const
{
    return m_model->rowMap().moduleIndexForOutlineRow(row);
}

int Modules::eventIndexForOutlineRow(int row) const
{
    return m_model->rowMap().eventIndexForOutlineRow(row);
}

// ---------------------------------------------------------------- selection

void Modules::outlineViewSelectionDidChange()
{
    const std::vector<int> rows = selectedRows();
    const CommandButtonState buttons = commandButtonState(rows.size());
    newEventButton->setEnabled(buttons.newEvent);
    deleteButton->setEnabled(buttons.deleteRows);
    editButton->setEnabled(buttons.edit);
    endEditButton->setEnabled(buttons.endEdit);
    m_newEventAction->setEnabled(buttons.newEvent);
    m_editAction->setEnabled(buttons.edit);
    m_endEditAction->setEnabled(buttons.endEdit);

    auto setDirect = [this](const DirectSwitching& direct) {
        onButton->setEnabled(direct.on);
        offButton->setEnabled(direct.off);
        selectedBrightnessSlider->setEnabled(direct.brightness);
        selectedBrightnessLabel->setEnabled(direct.brightness);
    };
    const DrawerPage page = drawerPageFor(m_model->rowMap(), rows);
    if (rows.empty()) {
        setDirect({});
        m_drawerContent->setCurrentWidget(noEventsView);
        m_currentModuleIndex = m_currentEventIndex = -1;
    } else if (rows.size() == 1) {
        saveEventData();
        // Switching the drawer moves the focus out of the editor, which ends
        // an edit there: it must not save into the row just selected.
        forgetCurrentEvent();
        const int row = rows.front();
        m_currentModuleIndex = moduleIndexForOutlineRow(row);
        if (page == DrawerPage::Event) {
            setDirect({});
            m_drawerContent->setCurrentWidget(eventView);
            m_currentEventIndex = eventIndexForOutlineRow(row);
            loadEventData();
            modulesOutline->setFocus();
        } else {
            offButton->setEnabled(true);
            m_drawerContent->setCurrentWidget(noEventsView);
            m_currentEventIndex = -1;
            moduleChanged(); // the switching controls for the module
        }
    } else {
        saveEventData();
        setDirect(directSwitchingForRows(m_model->rowMap(), m_document.modules, rows));
        m_drawerContent->setCurrentWidget(noEventsView);
        m_currentModuleIndex = m_currentEventIndex = -1;
    }
    validateMenusFor(rows);
}

void Modules::validateMenus()
{
    validateMenusFor(selectedRows());
}

void Modules::validateMenusFor(const std::vector<int>& rows)
{
    const std::size_t count = rows.size();
    m_deleteAction->setEnabled(deleteEnabled(count));
    const bool copyable = cutCopyEnabled(count, copyValidFor(rows));
    m_cutAction->setEnabled(copyable);
    m_copyAction->setEnabled(copyable);
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    const bool hasModules =
        clipboard && clipboard->hasFormat(mimeTypeForPasteboardType(ModulesPasteboardType));
    const bool hasEvents =
        clipboard && clipboard->hasFormat(mimeTypeForPasteboardType(EventsPasteboardType));
    m_pasteAction->setEnabled(pasteEnabled(hasModules, hasEvents, count));
}

void Modules::commitEditing()
{
    modulesOutline->endEditing();
    saveEventData();
}

void Modules::beginStructuralChange()
{
    commitEditing();
    forgetCurrentEvent();
}

void Modules::forgetCurrentEvent()
{
    // The indices name places in the list a structural change is about to
    // move: after it the selection change must not save into them.
    m_currentModuleIndex = m_currentEventIndex = -1;
}

// ---------------------------------------------------------------- commands

void Modules::showHideEvents()
{
    if (isDrawerOpen()) {
        eventsButton->setText(tr("Show Event Editor"));
        m_showHideAction->setText(tr("Show &Event Editor"));
        drawer->hide();
    } else {
        eventsButton->setText(tr("Hide Event Editor"));
        m_showHideAction->setText(tr("Hide &Event Editor"));
        drawer->show();
    }
}

// ---------------------------------------------------------------- moved out

// The outline commands, sending and the event editor binding live in their
// own objects; these keep the window's commands where callers find them.
std::vector<int> Modules::selectedRows() const { return m_editing->selectedRows(); }
void Modules::selectRow(int row, bool extend) { m_editing->selectRow(row, extend); }
void Modules::deselectAll() { m_editing->deselectAll(); }
void Modules::selectAll() { m_editing->selectAll(); }
void Modules::fixExpanded() { m_editing->fixExpanded(); }
void Modules::reloadAndFixExpanded() { m_editing->reloadAndFixExpanded(); }
void Modules::setDrawerRowsExpanded() { m_editing->setDrawerRowsExpanded(); }
void Modules::outlineExpanded(const QModelIndex& index) { m_editing->outlineExpanded(index); }
void Modules::outlineCollapsed(const QModelIndex& index) { m_editing->outlineCollapsed(index); }
CopyValidity Modules::copyValid() { return m_editing->copyValid(); }
CopyValidity Modules::copyValidFor(const std::vector<int>& selectedRows) { return m_editing->copyValidFor(selectedRows); }
void Modules::startEditingRow(int row) { m_editing->startEditingRow(row); }
void Modules::newModule() { m_editing->newModule(); }
void Modules::insertModule(Module module) { m_editing->insertModule(std::move(module)); }
void Modules::newEvent() { m_editing->newEvent(); }
void Modules::insertEvent(const EventData& event) { m_editing->insertEvent(event); }
void Modules::deleteRows() { m_editing->deleteRows(); }
void Modules::edit() { m_editing->edit(); }
void Modules::endEdit() { m_editing->endEdit(); }
void Modules::expandAll() { m_editing->expandAll(); }
void Modules::collapseAll() { m_editing->collapseAll(); }
void Modules::copy() { m_editing->copy(); }
void Modules::cut() { m_editing->cut(); }
void Modules::paste() { m_editing->paste(); }
QMimeData* Modules::dragMimeData(const QModelIndexList& indexes) { return m_editing->dragMimeData(indexes); }
void Modules::sendEventsToCP290() { m_sending->sendEventsToCP290(); }
void Modules::tellHowTheSendWent(const DownloadReport& report) { m_sending->tellHowTheSendWent(report); }
void Modules::performEvents() { m_sending->performEvents(); }
void Modules::onOff(int function) { m_sending->onOff(function); }
void Modules::moduleChanged() { m_sending->moduleChanged(); }
void Modules::saveEventData() { m_binding->saveEventData(); }
void Modules::setCurrentEvent(const Event& event) { m_binding->setCurrentEvent(event); }
void Modules::loadEventData() { m_binding->loadEventData(); }
void Modules::resetEvent() { m_binding->resetEvent(); }
void Modules::moduleCellCommitted(std::size_t module, bool needsModuleChanged) { m_binding->moduleCellCommitted(module, needsModuleChanged); }
void Modules::eventTextCommitted(std::size_t module, std::size_t event) { m_binding->eventTextCommitted(module, event); }

} // namespace vantrel
