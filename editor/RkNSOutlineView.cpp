#include "editor/RkNSOutlineView.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace vantrel {

RkNSOutlineView::RkNSOutlineView(QWidget* parent) : QTreeView(parent)
{
    setObjectName("modulesOutline");
    setUniformRowHeights(true);
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(DoubleClicked | EditKeyPressed | SelectedClicked);
    setAllColumnsShowFocus(true);
    setAlternatingRowColors(true);
    setExpandsOnDoubleClick(false);
}

void RkNSOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QTreeView::drawRow(painter, option, index);
    if (!isEventRow(index))
        return;
    // The delegate leaves an event row's text out of its first cell; it is
    // drawn here across every column, so that it is never cut short. (The
    // view's own column spanning costs a persistent index per event row,
    // which makes every change of a large outline slow.)
    const QModelIndex cell = index.siblingAtColumn(0);
    const QRect first = visualRect(cell);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    QRect text(first.left() + margin, option.rect.top(), 0, option.rect.height());
    text.setRight(option.rect.right() - margin);
    const bool selected = selectionModel() && selectionModel()->isSelected(cell);
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    painter->save();
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    const QString summary = cell.data(Qt::DisplayRole).toString();
    painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(summary, Qt::ElideRight, text.width()));
    painter->restore();
}

bool RkNSOutlineView::isEventRow(const QModelIndex& index) const
{
    return index.isValid() && index.parent().isValid();
}

bool RkNSOutlineView::editCell(const QModelIndex& index)
{
    if (!index.isValid())
        return false;
    // Move the current cell without touching the selection (which held
    // modifier keys would otherwise toggle).
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
    return edit(index, AllEditTriggers, nullptr);
}

bool RkNSOutlineView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (!QTreeView::edit(index, trigger, event))
        return false;
    if (state() == EditingState) {
        m_editedIndex = index;
        m_editor = indexWidget(index);
        if (!m_editor)
            m_editor = qobject_cast<QWidget*>(focusWidget());
        if (auto* line = qobject_cast<QLineEdit*>(m_editor.data()))
            line->selectAll();
    }
    return true;
}

void RkNSOutlineView::endEditing()
{
    if (!m_editor || state() != EditingState)
        return;
    QWidget* editor = m_editor;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void RkNSOutlineView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const QPersistentModelIndex edited = m_editedIndex;
    const bool restart = isEventRow(edited) && !m_reallyEndEditing &&
                         (hint == QAbstractItemDelegate::SubmitModelCache ||
                          hint == QAbstractItemDelegate::EditNextItem ||
                          hint == QAbstractItemDelegate::EditPreviousItem);
    m_editedIndex = QPersistentModelIndex();
    m_editor = nullptr;
    m_reallyEndEditing = false;
    // From an event row neither Tab nor Return moves to another cell.
    m_closingIndex = edited;
    QTreeView::closeEditor(editor, isEventRow(edited) ? QAbstractItemDelegate::NoHint : hint);
    m_closingIndex = QPersistentModelIndex();
    if (restart) {
        // After the commit has been read, take the same row up again.
        QTimer::singleShot(0, this, [this, edited] {
            if (edited.isValid() && state() != EditingState)
                editCell(edited);
        });
    }
}

QModelIndex RkNSOutlineView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    if (cursorAction != MoveNext && cursorAction != MovePrevious)
        return QTreeView::moveCursor(cursorAction, modifiers);
    // The current index may name another column of the row (a click
    // anywhere in it); the edited cell is where Tab moves on from.
    const QModelIndex from =
        m_closingIndex.isValid() ? QModelIndex(m_closingIndex) : currentIndex();
    if (!from.isValid() || isEventRow(from) || !model())
        return {};
    const int columns = model()->columnCount(from.parent());
    if (cursorAction == MoveNext) {
        if (from.column() + 1 < columns)
            return from.siblingAtColumn(from.column() + 1);
        return model()->index(from.row() + 1, 0, from.parent());
    }
    if (from.column() > 0)
        return from.siblingAtColumn(from.column() - 1);
    if (from.row() == 0)
        return {};
    return model()->index(from.row() - 1, columns - 1, from.parent());
}

void RkNSOutlineView::startDrag(Qt::DropActions supportedActions)
{
    QTreeView::startDrag(supportedActions);
    emit dragFinished();
}

void RkNSOutlineView::mousePressEvent(QMouseEvent* event)
{
    m_userModifiers = event->modifiers();
    QTreeView::mousePressEvent(event);
    m_userModifiers = Qt::NoModifier;
}

void RkNSOutlineView::mouseReleaseEvent(QMouseEvent* event)
{
    // Some styles open a triangle on release rather than on press.
    m_userModifiers = event->modifiers();
    QTreeView::mouseReleaseEvent(event);
    m_userModifiers = Qt::NoModifier;
}

void RkNSOutlineView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        state() != EditingState && event->modifiers() == Qt::NoModifier) {
        emit editRequested();
        return;
    }
    m_userModifiers = event->modifiers();
    QTreeView::keyPressEvent(event);
    m_userModifiers = Qt::NoModifier;
}

} // namespace vantrel
