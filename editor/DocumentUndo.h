#pragma once

// Undo and Redo for one document window. Each command of the window runs
// inside an UndoStep; when the outermost step ends, every window whose
// schedule changed in it gets one command on its stack holding only the
// stretch of modules that changed, with the selection before and after. A
// step that changed two windows (a drag between them) is undone and redone
// in both, or in neither.
//
// What is compared against is the schedule as the last command left it (the
// baseline), so a command costs one pass of comparisons, not a copy of the
// document.

#include "editor/core/ScheduleChange.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QUndoStack;

namespace vantrel {

class Modules;
class DocumentCommand;

// How consecutive commands of one kind join into one.
enum class UndoMerge
{
    Never,
    // Within a moment, on the same event: a slider dragged is one change.
    SameEvent
};

class DocumentUndo : public QObject
{
    Q_OBJECT

  public:
    explicit DocumentUndo(Modules& window);
    ~DocumentUndo() override;

    QUndoStack* stack() const { return m_stack; }
    // Edit > Undo and Redo, at the menu's end.
    void addActions(QMenu* menu);

    // The window counted a change (updateChangeCount). Outside a step it is
    // a command of its own; one that shows no difference still leaves the
    // document changed.
    void changeCounted();
    // The document was saved as it stands.
    void markClean();
    // The document was put in the window anew (opened, reverted, reloaded):
    // nothing from before can be undone.
    void reset();

    // The window's Undo and Redo; each does nothing when it cannot.
    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;

    // How long consecutive UndoMerge::SameEvent commands keep joining.
    static constexpr qint64 MergeMilliseconds = 1000;

  private:
    friend class UndoStep;
    friend class DocumentCommand;
    struct Transaction;

    static void begin(DocumentUndo* opener, const QString& name, UndoMerge merge);
    static void end();
    void join();
    // Records what the open transaction changed here; the command pushed, if any.
    DocumentCommand* record(const QString& name, UndoMerge merge);
    // Puts the command's schedule and selection into the window.
    void apply(const DocumentCommand& command, ChangeDirection direction);
    // The stack no longer fits the document: forgets it.
    void discardHistory();
    const DocumentCommand* commandToUndo() const;
    const DocumentCommand* commandToRedo() const;
    void syncModified();
    void updateActions();
    static void updateAllActions();

    Modules& m_window;
    QUndoStack* m_stack = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    ModuleList m_baseline;
    ClassicEventRepeat m_baselineRepeat;
    // The schedule may differ from the baseline.
    bool m_dirty = false;
    bool m_applying = false;
    // The last record() pushed a command.
    bool m_recorded = false;
    // Joined to the open transaction, with the selection from before it.
    bool m_joined = false;
    std::vector<int> m_rowsBefore;

    static Transaction* s_open;
    static std::vector<DocumentUndo*> s_all;
};

// One command of the window, from construction to destruction; nested steps
// (Cut runs Delete) and steps in other windows join the outermost.
class UndoStep
{
  public:
    UndoStep(Modules& window, const QString& name, UndoMerge merge = UndoMerge::Never);
    ~UndoStep();
    UndoStep(const UndoStep&) = delete;
    UndoStep& operator=(const UndoStep&) = delete;
};

} // namespace vantrel
