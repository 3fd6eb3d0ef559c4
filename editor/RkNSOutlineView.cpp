#include "editor/RkNSOutlineView.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
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

void RkNSOutlineView::setModel(QAbstractItemModel* model)
{
    if (QAbstractItemModel* old = this->model())
        disconnect(old, nullptr, this, nullptr);
    QTreeView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsInserted, this, &RkNSOutlineView::spanEventRows);
    auto spanAll = [this, model] {
        for (int module = 0; module < model->rowCount(); ++module) {
            const QModelIndex parent = model->index(module, 0);
            spanEventRows(parent, 0, model->rowCount(parent) - 1);
        }
    };
    connect(model, &QAbstractItemModel::modelReset, this, spanAll);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this, model](const QModelIndex& parent, int first, int last) {
                if (parent.isValid())
                    return;
                for (int module = first; module <= last; ++module) {
                    const QModelIndex index = model->index(module, 0);
                    spanEventRows(index, 0, model->rowCount(index) - 1);
                }
            });
    spanAll();
}

void RkNSOutlineView::spanEventRows(const QModelIndex& parent, int first, int last)
{
    if (!parent.isValid())
        return;
    for (int row = first; row <= last; ++row)
        setFirstColumnSpanned(row, parent, true);
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
    QTreeView::closeEditor(editor, isEventRow(edited) ? QAbstractItemDelegate::NoHint : hint);
    if (restart) {
        // After the commit has been read, take the same row up again.
        QTimer::singleShot(0, this, [this, edited] {
            if (edited.isValid() && state() != EditingState)
                editCell(edited);
        });
    }
}

void RkNSOutlineView::mousePressEvent(QMouseEvent* event)
{
    m_userModifiers = event->modifiers();
    QTreeView::mousePressEvent(event);
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
