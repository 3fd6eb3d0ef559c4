#include "editor/Modules.h"

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "cp290/Recovery.h"
#include "cp290/Verification.h"
#include "editor/ApplicationPreferences.h"
#include "editor/Dialogs.h"
#include "editor/DiskWatch.h"
#include "editor/DocumentHost.h"
#include "editor/HelperStatusWatcher.h"
#include "editor/DocumentManager.h"
#include "editor/EventEditor.h"
#include "editor/FileNames.h"
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

constexpr int DrawerContentWidth = 500 + 16;
constexpr int DrawerHeight = 190;
constexpr int ModulesOutlineEventIndent = 20;
constexpr int ReloadedMessageMilliseconds = 10000;
constexpr int BusyRetryMilliseconds = 500;

PropertyData toData(const QByteArray& bytes)
{
    return PropertyData(bytes.begin(), bytes.end());
}

QByteArray fromData(const PropertyData& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()),
                      static_cast<qsizetype>(data.size()));
}

// A drag's references, in the order given: module indices, or event and
// module index pairs.
PropertyArray dragReferences(const std::vector<OutlineRow>& rows)
{
    PropertyArray list;
    list.reserve(rows.size());
    for (const OutlineRow& row : rows) {
        if (row.isModuleRow()) {
            list.emplace_back(static_cast<std::int64_t>(row.module));
            continue;
        }
        PropertyDictionary reference;
        reference.set("Event Index", static_cast<std::int64_t>(row.event));
        reference.set("Module Index", static_cast<std::int64_t>(row.module));
        list.emplace_back(std::move(reference));
    }
    return list;
}

// Selection changes that a command makes and reports itself.
class QuietSelection
{
  public:
    explicit QuietSelection(int& counter) : m_counter(counter) { ++m_counter; }
    ~QuietSelection() { --m_counter; }
    QuietSelection(const QuietSelection&) = delete;
    QuietSelection& operator=(const QuietSelection&) = delete;

  private:
    int& m_counter;
};

} // namespace

Modules::Modules(DocumentManager* manager, ModulesDocument document, QString path,
                 QString untitledName)
    : m_manager(manager), m_document(std::move(document)), m_filePath(std::move(path)),
      m_untitledName(std::move(untitledName))
{
    setObjectName("Modules");
    static quint64 nextDragId = 0;
    m_dragId = ++nextDragId;
    setAttribute(Qt::WA_DeleteOnClose);
    const bool isNew = m_filePath.isEmpty();
    if (isNew)
        m_document = ModulesDocument{};
    buildWindow();
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
    connect(onButton, &QPushButton::clicked, this, [this] { onOff(2); });
    connect(offButton, &QPushButton::clicked, this, [this] { onOff(3); });
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
    drawer->hide();
    layout->addWidget(drawer);

    setCentralWidget(central);

    connect(m_model, &ModulesOutlineModel::moduleCellCommitted, this,
            [this](std::size_t module, ModuleCellChange change) {
                moduleCellCommitted(module, change.needsModuleChanged);
            });
    connect(m_model, &ModulesOutlineModel::eventTextCommitted, this, &Modules::eventTextCommitted);
    m_model->dragData = [this](const QModelIndexList& indexes) { return dragMimeData(indexes); };
    m_model->dropHandler = [this](const QMimeData* data, int row, const QModelIndex& parent,
                                  bool drop) { return handleDrop(data, row, parent, drop); };
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
        m_fitFrameOnShow = true;
    }
    applyDrawerPlacement();
    m_windowStateRestored = true;

    clearChangeCount();
    outlineViewSelectionDidChange();
    scheduleCountUpdate();
}

void Modules::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Only a shown window knows its frame: fit a restored one again, frame included.
    if (m_fitFrameOnShow) {
        m_fitFrameOnShow = false;
        fitFrameToScreen();
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
    preferences.synchronize();
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

namespace {

// Whole-row ranges for outline rows in ascending order, as few as the rows
// allow: module rows that follow each other in the list form one range
// however many event rows the outline shows between them, and the events of
// a module one more. Module ranges come first: the header asks whether each
// column is selected by walking the ranges for every module row, and the
// view finds each range's rows from where it found the last one's.
QItemSelection selectionForRows(const ModulesOutlineModel& model, const std::vector<int>& rows)
{
    // A run of rows under one parent, made a range when it ends.
    struct Run
    {
        QModelIndex top;
        QModelIndex bottom;
        QItemSelection ranges;

        void add(const QModelIndex& index)
        {
            if (bottom.isValid() && index.row() == bottom.row() + 1 &&
                index.parent() == bottom.parent()) {
                bottom = index;
                return;
            }
            close();
            top = bottom = index;
        }
        void close()
        {
            if (top.isValid())
                ranges.append(QItemSelectionRange(
                    top, bottom.siblingAtColumn(ModulesOutlineModel::ColumnCount - 1)));
            top = bottom = {};
        }
    };
    Run modules;
    Run events;
    for (int row : rows) {
        const QModelIndex index = model.indexForRow(row);
        if (index.isValid())
            (ModulesOutlineModel::isEventIndex(index) ? events : modules).add(index);
    }
    modules.close();
    events.close();
    modules.ranges.append(events.ranges);
    return modules.ranges;
}

} // namespace

std::vector<int> Modules::selectedRows() const
{
    // Read off the selection's ranges: the selection model's own
    // selectedRows() asks isRowSelected() for every row, and that walks every
    // range each time, which after Select All is one or two per module.
    const QItemSelectionModel* selection = modulesOutline->selectionModel();
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selection->selection()) {
        const QModelIndex parent = range.parent();
        const bool wholeRows =
            range.left() == 0 && range.right() == ModulesOutlineModel::ColumnCount - 1;
        for (int at = range.top(); at <= range.bottom(); ++at) {
            // A row selected cell by cell across ranges: rare, so asked for.
            if (!wholeRows && !selection->isRowSelected(at, parent))
                continue;
            const int row = m_model->rowForIndex(m_model->index(at, 0, parent));
            if (row >= 0)
                rows.push_back(row);
        }
    }
    return selectedRowsForStoring(std::move(rows));
}

void Modules::selectRow(int row, bool extend)
{
    const QModelIndex index = m_model->indexForRow(row);
    if (!index.isValid())
        return;
    auto* selection = modulesOutline->selectionModel();
    const auto flags =
        (extend ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
        QItemSelectionModel::Rows;
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    selection->select(index, flags);
}

void Modules::deselectAll()
{
    modulesOutline->selectionModel()->clearSelection();
}

void Modules::selectAll()
{
    std::vector<int> rows(static_cast<std::size_t>(m_model->rowMap().rowCount()));
    std::iota(rows.begin(), rows.end(), 0);
    {
        QuietSelection quiet(m_quietSelection);
        modulesOutline->selectionModel()->select(selectionForRows(*m_model, rows),
                                                 QItemSelectionModel::ClearAndSelect);
    }
    outlineViewSelectionDidChange();
}

void Modules::fixExpanded()
{
    for (std::size_t module = m_document.modules.size(); module-- > 0;) {
        const QModelIndex index = m_model->moduleIndex(module);
        const bool expanded = m_document.modules[module].expanded;
        if (modulesOutline->isExpanded(index) != expanded)
            modulesOutline->setExpanded(index, expanded);
    }
}

void Modules::reloadAndFixExpanded()
{
    // The model has already told the view what changed; what is left of a
    // reload is to repaint and to bring every row's expansion in line.
    fixExpanded();
    modulesOutline->viewport()->update();
}

void Modules::setDrawerRowsExpanded()
{
    if (m_document.drawerOpen) {
        m_document.drawerOpen = false;
        QTimer::singleShot(0, this, [this] {
            if (!isDrawerOpen())
                showHideEvents();
        });
    }
    reloadAndFixExpanded();
    const std::vector<std::int64_t> rows = std::move(m_document.selectedRows);
    m_document.selectedRows.clear();
    if (rows.empty()) {
        deselectAll();
        outlineViewSelectionDidChange();
        return;
    }
    // The current row is the last one stored, as when the rows were
    // selected one by one.
    std::vector<int> valid;
    valid.reserve(rows.size());
    int current = -1;
    for (std::int64_t row : rows) {
        if (row < 0 || row >= m_model->rowMap().rowCount())
            continue;
        valid.push_back(static_cast<int>(row));
        current = valid.back();
    }
    if (valid.empty()) {
        outlineViewSelectionDidChange();
        return;
    }
    std::sort(valid.begin(), valid.end());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    {
        QuietSelection quiet(m_quietSelection);
        auto* selection = modulesOutline->selectionModel();
        selection->setCurrentIndex(m_model->indexForRow(current), QItemSelectionModel::NoUpdate);
        selection->select(selectionForRows(*m_model, valid), QItemSelectionModel::ClearAndSelect);
    }
    outlineViewSelectionDidChange();
}

// Alt with a triangle or an arrow key expands or collapses every module.
// Window managers often keep Alt+click for moving windows, so Ctrl does too.
static bool expandsEveryModule(Qt::KeyboardModifiers modifiers)
{
    return modifiers.testAnyFlags(Qt::AltModifier | Qt::ControlModifier);
}

void Modules::outlineExpanded(const QModelIndex& index)
{
    if (ModulesOutlineModel::isEventIndex(index))
        return;
    const std::size_t module = ModulesOutlineModel::moduleOf(index);
    if (m_draggingModules) {
        modulesOutline->setExpanded(index, false);
        return;
    }
    m_model->setExpanded(module, true);
    if (!m_expandingAll && expandsEveryModule(modulesOutline->userInputModifiers()))
        expandAll();
}

void Modules::outlineCollapsed(const QModelIndex& index)
{
    if (ModulesOutlineModel::isEventIndex(index))
        return;
    const std::size_t module = ModulesOutlineModel::moduleOf(index);
    m_model->setExpanded(module, false);
    // Hidden event rows do not stay selected.
    auto* selection = modulesOutline->selectionModel();
    const int events = m_model->rowCount(index);
    if (events > 0 && selection->hasSelection()) {
        const QItemSelection hidden(
            m_model->index(0, 0, index),
            m_model->index(events - 1, ModulesOutlineModel::ColumnCount - 1, index));
        selection->select(hidden, QItemSelectionModel::Deselect);
    }
    if (!m_collapsingAll && expandsEveryModule(modulesOutline->userInputModifiers()))
        collapseAll();
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

    auto setDirect = [this](bool on, bool off, bool slider) {
        onButton->setEnabled(on);
        offButton->setEnabled(off);
        selectedBrightnessSlider->setEnabled(slider);
        selectedBrightnessLabel->setEnabled(slider);
    };
    if (rows.empty()) {
        setDirect(false, false, false);
        m_drawerContent->setCurrentWidget(noEventsView);
        m_currentModuleIndex = m_currentEventIndex = -1;
    } else if (rows.size() == 1) {
        saveEventData();
        // Switching the drawer moves the focus out of the editor, which ends
        // an edit there: it must not save into the row just selected.
        forgetCurrentEvent();
        const int row = rows.front();
        m_currentModuleIndex = moduleIndexForOutlineRow(row);
        if (m_model->rowMap().levelForRow(row) == 1) {
            setDirect(false, false, false);
            m_drawerContent->setCurrentWidget(eventView);
            m_currentEventIndex = eventIndexForOutlineRow(row);
            loadEventData();
            modulesOutline->setFocus();
        } else {
            offButton->setEnabled(true);
            m_drawerContent->setCurrentWidget(noEventsView);
            m_currentEventIndex = -1;
            moduleChanged();
        }
    } else {
        saveEventData();
        bool anyLight = false;
        bool anyAll = false;
        for (int row : rows) {
            if (m_model->rowMap().levelForRow(row) != 0)
                continue;
            const Module& module =
                m_document.modules[static_cast<std::size_t>(moduleIndexForOutlineRow(row))];
            if (module.type == LightType)
                anyLight = true;
            else if (module.unit >= AllLightsUnit)
                anyAll = true;
        }
        if (anyAll)
            setDirect(false, false, false);
        else
            setDirect(true, true, anyLight);
        m_drawerContent->setCurrentWidget(noEventsView);
        m_currentModuleIndex = m_currentEventIndex = -1;
    }
    validateMenusFor(rows);
}

CopyValidity Modules::copyValid()
{
    return copyValidFor(selectedRows());
}

CopyValidity Modules::copyValidFor(const std::vector<int>& selectedRows)
{
    const OutlineRowMap& rows = m_model->rowMap();
    std::vector<bool> selected(static_cast<std::size_t>(rows.rowCount()), false);
    for (int row : selectedRows)
        selected[static_cast<std::size_t>(row)] = true;
    const CopyValidity validity = vantrel::copyValid(rows, selected);
    m_dragCutCopyModules = validity.modules;
    m_dragCutCopyEvents = validity.events;
    return validity;
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

void Modules::saveEventData()
{
    // Only while the editor shows the current event.
    if (m_currentModuleIndex < 0 || m_currentEventIndex < 0 ||
        m_drawerContent->currentWidget() != eventView)
        return;
    const Event edited = m_eventEditor->read();
    const auto module = static_cast<std::size_t>(m_currentModuleIndex);
    const auto event = static_cast<std::size_t>(m_currentEventIndex);
    if (module >= m_document.modules.size() || event >= m_document.modules[module].events.size())
        return;
    // The editor reads back the stored record until the user changes something.
    if (eventFromData(m_document.modules[module].events[event]) == edited)
        return;
    setCurrentEvent(edited);
    updateChangeCount();
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

void Modules::setCurrentEvent(const Event& event)
{
    const auto module = static_cast<std::size_t>(m_currentModuleIndex);
    const auto index = static_cast<std::size_t>(m_currentEventIndex);
    m_model->replaceEvent(module, index, eventToData(event));
    // The editor fills a day rule's panel from the event as last saved.
    m_eventEditor->setSavedEvent(event);
    m_eventEditor->checkDaysWarning(event);
}

void Modules::loadEventData()
{
    if (m_currentModuleIndex < 0 || m_currentEventIndex < 0)
        return;
    const auto module = static_cast<std::size_t>(m_currentModuleIndex);
    const auto index = static_cast<std::size_t>(m_currentEventIndex);
    if (module >= m_document.modules.size() || index >= m_document.modules[module].events.size())
        return;
    if (const auto event = eventFromData(m_document.modules[module].events[index]))
        m_eventEditor->load(*event, m_document.modules[module]);
}

void Modules::resetEvent()
{
    if (m_currentModuleIndex < 0 || m_currentEventIndex < 0)
        return;
    const auto module = static_cast<std::size_t>(m_currentModuleIndex);
    const auto index = static_cast<std::size_t>(m_currentEventIndex);
    if (module >= m_document.modules.size() || index >= m_document.modules[module].events.size())
        return;
    // Resetting the default event is no change.
    const bool changes = m_document.modules[module].events[index] != eventToData(m_defaultEvent);
    setCurrentEvent(m_defaultEvent);
    loadEventData();
    if (changes)
        updateChangeCount();
}

void Modules::onOff(int function)
{
    const AskingWindowScope asking(this);
    DocumentHost* host = documentHost();
    if (!host || !host->serialDeviceIsWritable())
        return;
    const std::vector<int> rows = selectedRows(); // last row first
    host->statusStartWithMessage(function == 2 ? tr("Switching on...") : tr("Switching off..."));
    gProgressBudget = 130.0 / std::max<std::size_t>(1, rows.size());
    for (int row : rows) {
        const Module& module =
            m_document.modules[static_cast<std::size_t>(moduleIndexForOutlineRow(row))];
        std::uint8_t levelFunction = function == 2 ? 2 : 3;
        if (function == 2 && module.type == LightType)
            levelFunction = brightnessByte(selectedBrightnessSlider->value());
        CP290DoOnOffDim(static_cast<int>(module.houseCode), static_cast<int>(module.unit),
                        levelFunction);
    }
    host->statusEnd();
}

void Modules::moduleChanged()
{
    if (m_currentModuleIndex < 0)
        return;
    const auto index = static_cast<std::size_t>(m_currentModuleIndex);
    if (applyModuleChangedToData(m_document.modules, index))
        m_model->moduleDataChanged(index);
    const Module& module = m_document.modules[index];
    const bool all = module.unit >= AllLightsUnit;
    onButton->setEnabled(!all);
    if (all)
        offButton->setEnabled(false);
    const bool dims = !all && module.type == LightType;
    selectedBrightnessSlider->setEnabled(dims);
    selectedBrightnessLabel->setEnabled(dims);
    m_eventEditor->moduleChanged(module);
}

void Modules::moduleCellCommitted(std::size_t module, bool needsModuleChanged)
{
    if (needsModuleChanged) {
        // The cell committed is the one the module's data follows, whichever
        // row the selection shows.
        if (applyModuleChangedToData(m_document.modules, module))
            m_model->moduleDataChanged(module);
        moduleChanged();
    }
    updateChangeCount();
}

void Modules::eventTextCommitted(std::size_t, std::size_t)
{
    loadEventData();
    updateChangeCount();
}

// ---------------------------------------------------------------- commands

void Modules::startEditingRow(int row)
{
    if (!isVisible()) {
        m_editOnShow = true;
        return;
    }
    modulesOutline->setFocus();
    modulesOutline->editCell(m_model->indexForRow(row, ModulesOutlineModel::NameColumn));
}

void Modules::newModule()
{
    insertModule(Module{});
    const auto rows = selectedRows();
    if (rows.size() == 1)
        startEditingRow(rows.front());
}

void Modules::insertModule(Module module)
{
    const std::vector<int> rows = selectedRows();
    const bool editing = modulesOutline->editedIndex().isValid();
    const ModuleInsertion insertion = moduleInsertionFor(m_model->rowMap(), rows, editing);

    beginStructuralChange();
    {
        QuietSelection quiet(m_quietSelection);
        m_model->insertModule(insertion.position, std::move(module));
        reloadAndFixExpanded();
        if (insertion.placement == ModulePlacement::BeforeSelectedModule)
            selectRow(rows.front(), false); // the row now shows the new module
    }
    switch (insertion.placement) {
    case ModulePlacement::AtEnd:
        selectRow(m_model->rowMap().rowForModule(m_document.modules.size() - 1), false);
        break;
    case ModulePlacement::AfterEditedModule:
        selectRow(m_model->rowMap().rowForModule(insertion.position), false);
        break;
    case ModulePlacement::BeforeSelectedModule:
        // The quiet re-selection left the switching controls on the old module.
        outlineViewSelectionDidChange();
        break;
    }
    updateChangeCount();
}

void Modules::newEvent()
{
    if (selectedRows().size() != 1)
        return;
    insertEvent(eventToData(m_defaultEvent));
    modulesOutline->setFocus();
}

void Modules::insertEvent(const EventData& event)
{
    const std::vector<int> rows = selectedRows();
    if (rows.size() != 1)
        return;
    beginStructuralChange();
    const EventInsertion insertion =
        eventInsertionFor(m_model->rowMap(), m_document.modules, rows.front());
    {
        QuietSelection quiet(m_quietSelection);
        m_model->insertEvent(insertion.module, insertion.position, event);
        reloadAndFixExpanded();
        modulesOutline->setExpanded(m_model->moduleIndex(insertion.module), true);
    }
    selectRow(insertion.newRow(), false);
    modulesOutline->scrollTo(m_model->indexForRow(insertion.newRow()));
    m_currentModuleIndex = static_cast<int>(insertion.module);
    m_currentEventIndex = static_cast<int>(insertion.position);
    loadEventData();
    updateChangeCount();
}

void Modules::deleteRows()
{
    modulesOutline->endEditing();
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    const std::vector<OutlineRow> order = deletionOrder(m_model->rowMap(), rows);
    saveEventData();
    forgetCurrentEvent();
    {
        QuietSelection quiet(m_quietSelection);
        for (const OutlineRow& row : order) {
            if (row.isModuleRow()) {
                m_model->removeModule(row.module);
            } else {
                m_model->removeEvent(row.module, static_cast<std::size_t>(row.event));
                m_currentEventIndex = -1;
            }
        }
        reloadAndFixExpanded();
        deselectAll();
        // The row that took the first deleted row's place, so that Delete can
        // be pressed again.
        const int next = std::min(rows.back(), m_model->rowMap().rowCount() - 1);
        if (next >= 0)
            selectRow(next, false);
    }
    outlineViewSelectionDidChange();
    updateChangeCount();
}

void Modules::edit()
{
    const auto rows = selectedRows();
    if (rows.size() != 1)
        return;
    startEditingRow(rows.front());
}

void Modules::endEdit()
{
    modulesOutline->reallyEndEditing();
    modulesOutline->endEditing();
    modulesOutline->setFocus();
}

void Modules::expandAll()
{
    m_model->setAllExpanded(true);
    m_expandingAll = true;
    modulesOutline->expandAll();
    reloadAndFixExpanded();
    m_expandingAll = false;
    updateChangeCount();
}

void Modules::collapseAll()
{
    m_model->setAllExpanded(false);
    m_collapsingAll = true;
    {
        QuietSelection quiet(m_quietSelection);
        // Event rows go out of sight; so does their selection.
        QItemSelection keep;
        for (const QModelIndex& index : modulesOutline->selectionModel()->selectedRows())
            if (!ModulesOutlineModel::isEventIndex(index))
                keep.select(index, index.siblingAtColumn(ModulesOutlineModel::ColumnCount - 1));
        modulesOutline->collapseAll();
        reloadAndFixExpanded();
        modulesOutline->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
    }
    m_collapsingAll = false;
    outlineViewSelectionDidChange();
    updateChangeCount();
}

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

// ---------------------------------------------------------------- clipboard

void Modules::copy()
{
    const std::vector<int> rows = selectedRows(); // last row first
    const CopyValidity validity = copyValidFor(rows);
    if (rows.empty() || !validity.valid)
        return;
    const OutlineRowMap& map = m_model->rowMap();
    if (validity.modules) {
        ModuleList modules;
        for (int row : rows)
            if (auto found = map.rowAt(row); found && found->isModuleRow())
                modules.push_back(m_document.modules[found->module]);
        QApplication::clipboard()->setMimeData(modulesMimeData(modules));
    } else {
        std::vector<EventData> events;
        for (int row : rows)
            if (auto found = map.rowAt(row); found && !found->isModuleRow())
                events.push_back(m_document.modules[found->module]
                                     .events[static_cast<std::size_t>(found->event)]);
        QApplication::clipboard()->setMimeData(eventsMimeData(events));
    }
}

void Modules::cut()
{
    const std::vector<int> rows = selectedRows();
    if (rows.empty() || !copyValidFor(rows).valid)
        return;
    copy();
    deleteRows();
}

void Modules::paste()
{
    const auto items = readPastedItems(QApplication::clipboard()->mimeData());
    const std::vector<int> rows = selectedRows();
    if (!items || !pasteEnabled(items->isModules, !items->isModules, rows.size()))
        return;
    if (!items->isModules) {
        {
            // Each insertion selects its event; the controls follow the last.
            QuietSelection quiet(m_quietSelection);
            for (const EventData& event : items->events)
                insertEvent(event);
        }
        outlineViewSelectionDidChange();
        if (const auto now = selectedRows(); !now.empty())
            modulesOutline->scrollTo(m_model->indexForRow(now.front()));
        return;
    }
    const ModuleInsertion insertion =
        moduleInsertionFor(m_model->rowMap(), rows, modulesOutline->editedIndex().isValid());
    beginStructuralChange();
    {
        QuietSelection quiet(m_quietSelection);
        // The list runs bottom to top, as copy() makes it.
        const std::size_t count = items->modules.size();
        m_model->insertModules(insertion.position,
                               ModuleList(items->modules.rbegin(), items->modules.rend()));
        reloadAndFixExpanded();
        deselectAll();
        const OutlineRowMap& map = m_model->rowMap();
        const std::size_t last = insertion.position + count - 1;
        const int first = map.rowForModule(insertion.position);
        const int end =
            map.rowForModule(last) + (m_document.modules[last].expanded
                                          ? static_cast<int>(m_document.modules[last].events.size())
                                          : 0);
        std::vector<int> pasted(static_cast<std::size_t>(end - first + 1));
        std::iota(pasted.begin(), pasted.end(), first);
        auto* selection = modulesOutline->selectionModel();
        selection->setCurrentIndex(m_model->indexForRow(end), QItemSelectionModel::NoUpdate);
        selection->select(selectionForRows(*m_model, pasted), QItemSelectionModel::ClearAndSelect);
        modulesOutline->scrollTo(m_model->indexForRow(end));
    }
    outlineViewSelectionDidChange();
    updateChangeCount();
}

// ---------------------------------------------------------------- dragging

QMimeData* Modules::dragMimeData(const QModelIndexList& indexes)
{
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.column() == 0)
            rows.push_back(m_model->rowForIndex(index));
    rows = selectedRowsForStoring(std::move(rows)); // last row first
    m_dragCutCopyModules = m_dragCutCopyEvents = false;
    std::vector<OutlineRow> dragged;
    const OutlineRowMap& map = m_model->rowMap();
    for (int row : rows) {
        const auto found = map.rowAt(row);
        if (!found)
            continue;
        // Modules and events are never dragged together.
        if (found->isModuleRow() ? m_dragCutCopyEvents : m_dragCutCopyModules)
            return nullptr;
        (found->isModuleRow() ? m_dragCutCopyModules : m_dragCutCopyEvents) = true;
        dragged.push_back(*found);
    }
    if (dragged.empty())
        return nullptr;
    PropertyArray list = dragReferences(dragged);
    auto* data = new QMimeData;
    const std::string xml = propertyListToXml(PropertyValue(std::move(list)));
    data->setData(m_dragCutCopyModules ? ModulesDragMimeType : EventsDragMimeType,
                  QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    data->setData(DragSourceMimeType, QByteArray::number(static_cast<qint64>(getpid())) + ":" +
                                          QByteArray::number(m_dragId));
    m_draggingModules = m_dragCutCopyModules;
    return data;
}

namespace {

// Drag data no window of ours made: each row is dragged once, and removing a
// row twice would take an undragged one with it.
template <typename T> bool namesARowTwice(std::vector<T> rows)
{
    std::sort(rows.begin(), rows.end());
    return std::adjacent_find(rows.begin(), rows.end()) != rows.end();
}

} // namespace

bool Modules::handleDrop(const QMimeData* data, int row, const QModelIndex& parent, bool drop)
{
    if (!data || !m_manager)
        return false;
    // Only from a window of this running program that is still open.
    const QList<QByteArray> source = data->data(DragSourceMimeType).split(':');
    if (source.size() != 2 || source[0].toLongLong() != getpid())
        return false;
    Modules* from = m_manager->documentWithDragId(source[1].toULongLong());
    if (!from)
        return false;
    const bool modules = data->hasFormat(ModulesDragMimeType);
    if (!modules && !data->hasFormat(EventsDragMimeType))
        return false;
    const QByteArray bytes = data->data(modules ? ModulesDragMimeType : EventsDragMimeType);
    PropertyValue plist;
    if (!propertyListFromXml(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), &plist) ||
        !plist.asArray() || plist.asArray()->empty())
        return false;
    const PropertyArray& list = *plist.asArray();

    ProposedDrop proposed;
    proposed.childIndex = row;
    if (parent.isValid()) {
        proposed.module = ModulesOutlineModel::moduleOf(parent);
        proposed.onEventRow = ModulesOutlineModel::isEventIndex(parent);
        proposed.moduleExpanded =
            modulesOutline->isExpanded(m_model->moduleIndex(*proposed.module));
    }
    const ModuleList& sourceModules = from->document().modules;

    if (modules) {
        std::vector<std::size_t> dragged;
        for (const PropertyValue& item : list) {
            const std::int64_t* index = item.asInteger();
            if (!index || *index < 0 || static_cast<std::size_t>(*index) >= sourceModules.size())
                return false; // the references no longer name its modules
            dragged.push_back(static_cast<std::size_t>(*index));
        }
        if (namesARowTwice(dragged))
            return false;
        if (!drop)
            return true;
        beginStructuralChange();
        const std::size_t dropIndex = moduleDropIndex(proposed, m_document.modules.size());
        std::size_t position = 0;
        {
            QuietSelection quiet(m_quietSelection);
            if (from == this) {
                ModuleList moved = m_document.modules;
                position = moveBlock(moved, dragged, dropIndex);
                m_model->replaceAll(std::move(moved));
            } else {
                from->saveEventData();
                from->forgetCurrentEvent();
                std::sort(dragged.begin(), dragged.end());
                ModuleList block;
                for (std::size_t index : dragged)
                    block.push_back(sourceModules[index]);
                for (auto index = dragged.rbegin(); index != dragged.rend(); ++index)
                    from->m_model->removeModule(*index);
                from->reloadAndFixExpanded();
                from->updateChangeCount();
                position = dropIndex;
                for (std::size_t i = 0; i < block.size(); ++i)
                    m_model->insertModule(position + i, block[i]);
            }
            m_draggingModules = false;
            reloadAndFixExpanded();
            deselectAll();
            const int first = m_model->rowMap().rowForModule(position);
            for (std::size_t i = 0; i < dragged.size(); ++i)
                selectRow(first + static_cast<int>(i), i > 0);
        }
        outlineViewSelectionDidChange();
        updateChangeCount();
        return true;
    }

    const auto dropIndex = eventDropIndex(proposed);
    if (!dropIndex)
        return false;
    struct Reference
    {
        std::size_t module;
        std::size_t event;
    };
    std::vector<Reference> references; // bottom to top, as the list runs
    for (const PropertyValue& item : list) {
        const PropertyDictionary* record = item.asDictionary();
        const PropertyValue* eventValue = record ? record->find("Event Index") : nullptr;
        const PropertyValue* moduleValue = record ? record->find("Module Index") : nullptr;
        const std::int64_t* event = eventValue ? eventValue->asInteger() : nullptr;
        const std::int64_t* module = moduleValue ? moduleValue->asInteger() : nullptr;
        if (!event || !module || *module < 0 ||
            static_cast<std::size_t>(*module) >= sourceModules.size() || *event < 0 ||
            static_cast<std::size_t>(*event) >=
                sourceModules[static_cast<std::size_t>(*module)].events.size())
            return false;
        references.push_back({static_cast<std::size_t>(*module), static_cast<std::size_t>(*event)});
    }
    std::vector<std::pair<std::size_t, std::size_t>> named;
    for (const Reference& reference : references)
        named.emplace_back(reference.module, reference.event);
    if (namesARowTwice(std::move(named)))
        return false;
    if (!drop)
        return true;
    beginStructuralChange();
    if (from != this) {
        from->saveEventData();
        from->forgetCurrentEvent();
    }
    const std::size_t k = *proposed.module;
    std::vector<EventData> block;
    for (auto reference = references.rbegin(); reference != references.rend(); ++reference)
        block.push_back(sourceModules[reference->module].events[reference->event]);
    std::vector<std::size_t> ownAbove;
    {
        QuietSelection quiet(m_quietSelection);
        // Removed from the highest indices down, so the others stay valid.
        std::vector<Reference> removal = references;
        std::sort(removal.begin(), removal.end(), [](const Reference& a, const Reference& b) {
            return a.module != b.module ? a.module > b.module : a.event > b.event;
        });
        for (const Reference& reference : removal) {
            if (from == this && reference.module == k)
                ownAbove.push_back(reference.event);
            from->m_model->removeEvent(reference.module, reference.event);
        }
        const std::size_t position =
            std::min(blockPosition(*dropIndex, ownAbove), m_document.modules[k].events.size());
        for (std::size_t i = 0; i < block.size(); ++i)
            m_model->insertEvent(k, position + i, block[i]);
        if (from != this) {
            from->reloadAndFixExpanded();
            from->updateChangeCount();
        }
        m_draggingModules = false;
        reloadAndFixExpanded();
        deselectAll();
        const int first = m_model->rowMap().rowForModule(k) + static_cast<int>(position) + 1;
        for (std::size_t i = 0; i < block.size(); ++i)
            selectRow(first + static_cast<int>(i), i > 0);
    }
    outlineViewSelectionDidChange();
    updateChangeCount();
    return true;
}

// ---------------------------------------------------------------- sending

void Modules::sendEventsToCP290()
{
    commitEditing();
    const AskingWindowScope asking(this);
    DocumentHost* host = documentHost();
    if (!host || !host->serialDeviceIsWritable())
        return;
    bool hadEvents = false;
    if (!prepareDownload(m_document.modules, m_document.eventRepeat, &hadEvents))
        return; // too many events or a damaged module: already told
    if (hadEvents) {
        host->statusStartWithMessage(tr("Sending events to CP290..."));
        gProgressBudget = 130;
        const bool check = applicationPreferences().boolValue(CheckAfterSendKey).value_or(false);
        const DownloadReport report = finishDownload(rememberedBaseHouseCode(), check, [host] {
            host->statusStartWithMessage(tr("Checking the events in the CP290..."));
        });
        host->statusEnd();
        if (!report.sent) {
            dialogs().alert(this, tr("Sending events failed."), QString());
            return;
        }
        tellHowTheSendWent(report);
    } else {
        dialogs().alert(this, tr("There are no events to send."), QString());
    }
    std::string error;
    if (!storeHelperCopy(applicationPreferences(), m_document.modules, m_document.eventRepeat,
                         &error))
        dialogs().alert(this,
                        tr("The schedule was sent, but the helper's copy could not be stored."),
                        QString::fromStdString(error));
    scheduleCountUpdate();
}

void Modules::tellHowTheSendWent(const DownloadReport& report)
{
    if (report.reprogrammed)
        dialogs().alert(this, tr("The CP290 had lost its memory."),
                        tr("It had forgotten its clock, its events and its base house code, as "
                           "it does in a power cut when its battery is flat.  Its base house "
                           "code was set again and the schedule was sent again."));
    if (!report.checkAsked)
        return;
    if (!report.differences)
        dialogs().alert(this, tr("The events were sent, but could not be read back."),
                        tr("Whether the CP290 holds them was not checked."));
    else if (!report.verified())
        dialogs().alert(this, tr("The CP290 does not hold what was sent."),
                        // A wrapped line reads better as a list item than indented.
                        QString::fromStdString(verificationText(*report.differences, report.count))
                            .replace(QStringLiteral("\n  "), QStringLiteral("\n\u2022 ")));
    else
        statusBar()->showMessage(tr("Sent and verified"), SentMessageMilliseconds);
}

void Modules::performEvents()
{
    QDialog sheet(this);
    sheet.setObjectName("performEventsSheet");
    sheet.setWindowTitle(tr("Repeat Counts"));
    sheet.setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(&sheet);
    auto* note = new QLabel(tr("X10 commands can be missed on noisy wiring. Each switching command "
                               "of a download can be sent more than once; repeats take CP290 "
                               "events of their own."),
                            &sheet);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    auto makePopup = [&sheet](const char* name, int count) {
        auto* popup = new QComboBox(&sheet);
        popup->setObjectName(name);
        for (int times = 1; times <= 5; ++times)
            popup->addItem(times == 1 ? tr("once") : tr("%1 times").arg(times));
        popup->setCurrentIndex(std::clamp(count - 1, 0, popup->count() - 1));
        return popup;
    };
    QComboBox* on = makePopup("eventRepeatOnPopup", m_document.eventRepeat.OnRepeat);
    QComboBox* off = makePopup("eventRepeatOffPopup", m_document.eventRepeat.OffRepeat);
    form->addRow(tr("Send each On command:"), on);
    form->addRow(tr("Send each Off command:"), off);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &sheet);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("performEventsOK");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("performEventsCancel");
    connect(buttons, &QDialogButtonBox::accepted, &sheet, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &sheet, &QDialog::reject);
    layout->addWidget(buttons);
    if (sheet.exec() != QDialog::Accepted)
        return;
    const ClassicEventRepeat chosen{static_cast<std::uint8_t>(on->currentIndex() + 1),
                                    static_cast<std::uint8_t>(off->currentIndex() + 1)};
    if (chosen == m_document.eventRepeat)
        return;
    m_document.eventRepeat = chosen;
    updateChangeCount();
}

// ---------------------------------------------------------------- files

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
        QTimer::singleShot(BusyRetryMilliseconds, this, [this] {
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
    preferences.synchronize();
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
    if (dialogs().runPrintDialog(this, &printer))
        printOutline(printer);
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
