#include "editor/DocumentUndo.h"

#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/RkNSOutlineView.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStatusBar>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <chrono>

namespace vantrel {
namespace {

qint64 nowMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr int SameEventMergeId = 1;

} // namespace

// The commands one step pushed in several windows; a command gone (its
// window closed, or its redo history replaced) leaves the others stuck.
struct UndoLink
{
    std::vector<DocumentCommand*> members;
};

class DocumentCommand : public QUndoCommand
{
  public:
    DocumentCommand(DocumentUndo* owner, const QString& name, ScheduleChange change,
                    std::vector<int> rowsBefore, std::vector<int> rowsAfter, UndoMerge merge)
        : QUndoCommand(name), m_owner(owner), m_change(std::move(change)),
          m_rowsBefore(std::move(rowsBefore)), m_rowsAfter(std::move(rowsAfter)), m_merge(merge),
          m_time(nowMilliseconds())
    {}

    ~DocumentCommand() override
    {
        if (m_link)
            std::replace(m_link->members.begin(), m_link->members.end(), this,
                         static_cast<DocumentCommand*>(nullptr));
    }

    int id() const override { return m_merge == UndoMerge::SameEvent ? SameEventMergeId : -1; }

    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const DocumentCommand*>(other);
        if (m_link || next->m_link || next->m_time - m_time > DocumentUndo::MergeMilliseconds ||
            next->m_rowsBefore != m_rowsAfter || m_rowsAfter.size() != 1 ||
            m_change.after.size() != 1 || next->m_change.after.size() != 1)
            return false;
        auto both = composeChanges(m_change, next->m_change);
        if (!both)
            return false;
        m_change = std::move(*both);
        m_rowsAfter = next->m_rowsAfter;
        m_time = next->m_time;
        // Changed and changed back: nothing left to undo.
        setObsolete(m_change.before == m_change.after && m_change.repeatBefore == m_change.repeatAfter);
        return true;
    }

    void undo() override { m_owner->apply(*this, ChangeDirection::Undo); }

    void redo() override
    {
        // Pushing a command finds its change already made.
        if (m_done)
            m_owner->apply(*this, ChangeDirection::Redo);
        m_done = true;
    }

    // The commands undone and redone together, this one included; none
    // when one of them is gone.
    std::vector<const DocumentCommand*> group() const
    {
        if (!m_link)
            return {this};
        std::vector<const DocumentCommand*> members(m_link->members.begin(), m_link->members.end());
        if (std::find(members.begin(), members.end(), nullptr) != members.end())
            return {};
        return members;
    }

    DocumentUndo* m_owner;
    ScheduleChange m_change;
    std::vector<int> m_rowsBefore;
    std::vector<int> m_rowsAfter;
    UndoMerge m_merge;
    qint64 m_time;
    std::shared_ptr<UndoLink> m_link;
    bool m_done = false;
};

struct DocumentUndo::Transaction
{
    QString name;
    UndoMerge merge = UndoMerge::Never;
    int depth = 0;
    std::vector<QPointer<DocumentUndo>> members;
};

DocumentUndo::Transaction* DocumentUndo::s_open = nullptr;
std::vector<DocumentUndo*> DocumentUndo::s_all;

DocumentUndo::DocumentUndo(Modules& window)
    : QObject(&window), m_window(window), m_stack(new QUndoStack(this)),
      m_baseline(window.m_document.modules), m_baselineRepeat(window.m_document.eventRepeat)
{
    setObjectName("documentUndo");
    m_stack->setObjectName("undoStack");
    s_all.push_back(this);
    connect(m_stack, &QUndoStack::indexChanged, this, [this] {
        syncModified();
        updateAllActions();
    });
    connect(m_stack, &QUndoStack::cleanChanged, this, &DocumentUndo::syncModified);

    // Every change to the rows passes the model: the window it happens in
    // joins the open step before its selection moves.
    const auto touched = [this] {
        m_dirty = true;
        if (s_open && !m_applying)
            join();
    };
    ModulesOutlineModel* model = window.m_model;
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, touched);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, touched);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, touched);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, touched);
    connect(model, &QAbstractItemModel::dataChanged, this, touched);

    // A triangle clicked is no command: the baseline follows it, so that the
    // next command does not take it in.
    const auto followExpansion = [this](const QModelIndex& index) {
        if (s_open || m_applying || ModulesOutlineModel::isEventIndex(index))
            return;
        const std::size_t module = ModulesOutlineModel::moduleOf(index);
        const ModuleList& modules = m_window.m_document.modules;
        if (module < modules.size() && module < m_baseline.size())
            m_baseline[module].expanded = modules[module].expanded;
    };
    connect(window.modulesOutline, &QTreeView::expanded, this, followExpansion);
    connect(window.modulesOutline, &QTreeView::collapsed, this, followExpansion);
}

DocumentUndo::~DocumentUndo()
{
    // The commands go first, so that windows sharing steps with this one
    // see them gone. The window is being destroyed: the stack's last
    // signals must not reach it.
    disconnect(m_stack, nullptr, this, nullptr);
    delete m_stack;
    m_stack = nullptr;
    s_all.erase(std::remove(s_all.begin(), s_all.end(), this), s_all.end());
    updateAllActions();
}

void DocumentUndo::addActions(QMenu* menu)
{
    m_undoAction = new QAction(tr("Undo"), &m_window);
    m_undoAction->setObjectName("undo");
    m_undoAction->setShortcut(QKeySequence::Undo);
    connect(m_undoAction, &QAction::triggered, this, &DocumentUndo::undo);
    m_redoAction = new QAction(tr("Redo"), &m_window);
    m_redoAction->setObjectName("redo");
    m_redoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(m_redoAction, &QAction::triggered, this, &DocumentUndo::redo);
    for (QAction* action : {m_undoAction, m_redoAction}) {
        action->setShortcutContext(Qt::WindowShortcut);
        menu->addAction(action);
    }
    menu->addSeparator();
    updateActions();
}

// ---------------------------------------------------------------- steps

UndoStep::UndoStep(Modules& window, const QString& name, UndoMerge merge)
{
    DocumentUndo::begin(window.undoHistory(), name, merge);
}

UndoStep::~UndoStep()
{
    DocumentUndo::end();
}

void DocumentUndo::begin(DocumentUndo* opener, const QString& name, UndoMerge merge)
{
    if (!s_open)
        s_open = new Transaction{name, merge, 0, {}};
    ++s_open->depth;
    if (opener && !opener->m_applying)
        opener->join();
}

void DocumentUndo::end()
{
    if (!s_open || --s_open->depth > 0)
        return;
    const std::unique_ptr<Transaction> done(s_open);
    s_open = nullptr;
    // Commands in several windows go together and never join others.
    const UndoMerge merge = done->members.size() == 1 ? done->merge : UndoMerge::Never;
    std::vector<DocumentCommand*> pushed;
    for (const QPointer<DocumentUndo>& member : done->members)
        if (member)
            if (DocumentCommand* command = member->record(done->name, merge))
                pushed.push_back(command);
    if (pushed.size() > 1) {
        auto link = std::make_shared<UndoLink>();
        link->members = pushed;
        for (DocumentCommand* command : pushed)
            command->m_link = link;
    }
    for (const QPointer<DocumentUndo>& member : done->members)
        if (member)
            member->syncModified();
    updateAllActions();
}

void DocumentUndo::join()
{
    if (m_joined || !s_open)
        return;
    m_joined = true;
    m_rowsBefore = m_window.selectedRows();
    s_open->members.emplace_back(this);
}

DocumentCommand* DocumentUndo::record(const QString& name, UndoMerge merge)
{
    m_joined = false;
    m_recorded = false;
    if (!m_dirty)
        return nullptr;
    m_dirty = false;
    const ModulesDocument& document = m_window.m_document;
    auto change =
        scheduleChange(m_baseline, m_baselineRepeat, document.modules, document.eventRepeat);
    if (!change)
        return nullptr;
    applyChange(m_baseline, m_baselineRepeat, *change, ChangeDirection::Redo);
    auto* command = new DocumentCommand(this, name, std::move(*change), std::move(m_rowsBefore),
                                        m_window.selectedRows(), merge);
    m_rowsBefore.clear();
    m_recorded = true;
    // A merge deletes the command pushed; only a step in one window merges.
    m_stack->push(command);
    return merge == UndoMerge::Never ? command : nullptr;
}

void DocumentUndo::changeCounted()
{
    m_dirty = true;
    if (m_applying)
        return;
    if (s_open) {
        join();
        return;
    }
    begin(this, tr("Change"), UndoMerge::Never);
    end();
    if (!m_recorded) {
        // Changed in a way the schedule does not show (descriptions cut when
        // the file was read): no state on the stack is the saved one.
        m_stack->resetClean();
        syncModified();
    }
}

void DocumentUndo::markClean()
{
    m_stack->setClean();
}

void DocumentUndo::reset()
{
    m_stack->clear();
    m_baseline = m_window.m_document.modules;
    m_baselineRepeat = m_window.m_document.eventRepeat;
    m_dirty = false;
    syncModified();
    updateAllActions();
}

void DocumentUndo::discardHistory()
{
    m_stack->clear();
    m_baseline = m_window.m_document.modules;
    m_baselineRepeat = m_window.m_document.eventRepeat;
    m_dirty = false;
    // Whether the document is the saved one is no longer known.
    m_stack->resetClean();
    syncModified();
    updateAllActions();
}

// ---------------------------------------------------------------- undo and redo

const DocumentCommand* DocumentUndo::commandToUndo() const
{
    const int index = m_stack ? m_stack->index() : 0;
    return index > 0 ? static_cast<const DocumentCommand*>(m_stack->command(index - 1)) : nullptr;
}

const DocumentCommand* DocumentUndo::commandToRedo() const
{
    if (!m_stack)
        return nullptr;
    const int index = m_stack->index();
    return index < m_stack->count() ? static_cast<const DocumentCommand*>(m_stack->command(index))
                                    : nullptr;
}

bool DocumentUndo::canUndo() const
{
    const DocumentCommand* command = commandToUndo();
    if (!command)
        return false;
    const auto group = command->group();
    return !group.empty() && std::all_of(group.begin(), group.end(), [](const DocumentCommand* c) {
        return c->m_owner->commandToUndo() == c;
    });
}

bool DocumentUndo::canRedo() const
{
    const DocumentCommand* command = commandToRedo();
    if (!command)
        return false;
    const auto group = command->group();
    return !group.empty() && std::all_of(group.begin(), group.end(), [](const DocumentCommand* c) {
        return c->m_owner->commandToRedo() == c;
    });
}

void DocumentUndo::undo()
{
    // Never in the middle of a command (a nested event loop).
    if (s_open)
        return;
    // What is still being typed is the last change.
    m_window.commitEditing();
    if (!canUndo())
        return;
    const auto group = commandToUndo()->group();
    for (const DocumentCommand* command : group)
        if (command->m_owner != this)
            command->m_owner->m_window.commitEditing();
    // Committing in another window may have pushed a command there.
    if (!canUndo())
        return;
    for (const DocumentCommand* command : group) {
        if (!changeFits(command->m_owner->m_window.m_document.modules, command->m_change,
                        ChangeDirection::Undo)) {
            command->m_owner->discardHistory();
            return;
        }
    }
    for (const DocumentCommand* command : group)
        command->m_owner->m_stack->undo();
}

void DocumentUndo::redo()
{
    if (s_open)
        return;
    m_window.commitEditing();
    if (!canRedo())
        return;
    const auto group = commandToRedo()->group();
    for (const DocumentCommand* command : group)
        if (command->m_owner != this)
            command->m_owner->m_window.commitEditing();
    if (!canRedo())
        return;
    for (const DocumentCommand* command : group) {
        if (!changeFits(command->m_owner->m_window.m_document.modules, command->m_change,
                        ChangeDirection::Redo)) {
            command->m_owner->discardHistory();
            return;
        }
    }
    for (const DocumentCommand* command : group)
        command->m_owner->m_stack->redo();
}

void DocumentUndo::apply(const DocumentCommand& command, ChangeDirection direction)
{
    Modules& window = m_window;
    ModuleList modules = window.m_document.modules;
    ClassicEventRepeat repeat = window.m_document.eventRepeat;
    if (!applyChange(modules, repeat, command.m_change, direction))
        return; // checked before the stack moved
    m_applying = true;
    applyChange(m_baseline, m_baselineRepeat, command.m_change, direction);
    copyExpansion(m_baseline, modules);
    // The way a reverted file comes in: rows, expansion, selection, and the
    // event editor on the selected event.
    window.forgetCurrentEvent();
    ++window.m_quietSelection;
    window.m_document.eventRepeat = repeat;
    window.m_model->replaceAll(std::move(modules));
    --window.m_quietSelection;
    const std::vector<int>& rows =
        direction == ChangeDirection::Undo ? command.m_rowsBefore : command.m_rowsAfter;
    window.m_document.selectedRows.assign(rows.begin(), rows.end());
    window.m_document.drawerOpen = false;
    window.setDrawerRowsExpanded();
    const QModelIndex current = window.modulesOutline->selectionModel()->currentIndex();
    if (current.isValid())
        window.modulesOutline->scrollTo(current);
    window.statusBar()->clearMessage();
    window.scheduleCountUpdate();
    m_dirty = false;
    m_applying = false;
}

// ---------------------------------------------------------------- state

void DocumentUndo::syncModified()
{
    if (!m_stack)
        return;
    m_window.setWindowModified(!m_stack->isClean());
    m_window.updateTitle();
}

void DocumentUndo::updateActions()
{
    if (!m_undoAction || !m_stack)
        return;
    const DocumentCommand* undo = commandToUndo();
    m_undoAction->setText(undo ? tr("Undo %1").arg(undo->text()) : tr("Undo"));
    m_undoAction->setEnabled(canUndo());
    const DocumentCommand* redo = commandToRedo();
    m_redoAction->setText(redo ? tr("Redo %1").arg(redo->text()) : tr("Redo"));
    m_redoAction->setEnabled(canRedo());
}

void DocumentUndo::updateAllActions()
{
    for (DocumentUndo* each : s_all)
        each->updateActions();
}

} // namespace vantrel
