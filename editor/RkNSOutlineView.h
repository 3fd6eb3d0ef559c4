#pragma once

// The outline of modules and events. An event row's text stays in editing
// after each commit (each committed line is parsed on its own) until End
// Edit; the view also reports which modifier keys came with the user's own
// click or key press, so an expansion can tell an Option-click (Alt or Ctrl
// here).

#include <QPointer>
#include <QTreeView>

namespace vantrel {

class RkNSOutlineView : public QTreeView
{
    Q_OBJECT

  public:
    explicit RkNSOutlineView(QWidget* parent = nullptr);

    // The open editor's end really ends it, also on an event row. With no
    // editor open there is nothing to end, and no later edit may inherit it.
    void reallyEndEditing() { m_reallyEndEditing = state() == EditingState && m_editor; }
    bool reallyEndEditingSet() const { return m_reallyEndEditing; }

    // The index being edited, or an invalid one.
    QModelIndex editedIndex() const { return m_editedIndex; }
    QWidget* activeEditor() const { return m_editor; }
    // Starts editing the cell with its whole text selected.
    bool editCell(const QModelIndex& index);
    // Commits and closes the open editor, if any (endEditingFor:).
    void endEditing();

    // Modifiers of the user's click or key press being handled, else none.
    Qt::KeyboardModifiers userInputModifiers() const { return m_userModifiers; }

  signals:
    // The user pressed Return on a row that is not being edited.
    void editRequested();
    // A drag that started here has ended, with a drop or without.
    void dragFinished();

  protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    // Tab and Shift+Tab walk along a module's row, then on to the next
    // (or previous) module's row, never into event rows.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void keyPressEvent(QKeyEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

  private:
    bool isEventRow(const QModelIndex& index) const;

    bool m_reallyEndEditing = false;
    QPersistentModelIndex m_editedIndex;
    // The cell whose editor is closing, for Tab to move on from.
    QPersistentModelIndex m_closingIndex;
    QPointer<QWidget> m_editor;
    Qt::KeyboardModifiers m_userModifiers = Qt::NoModifier;
};

} // namespace vantrel
