#include "editor/OutlineDelegate.h"

#include "editor/FormattedLineEdit.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/PasteboardTypes.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>

namespace vantrel {

QWidget* OutlineDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const
{
    TypingCheckFunction check;
    if (!ModulesOutlineModel::isEventIndex(index)) {
        switch (index.column()) {
        case ModulesOutlineModel::HouseCodeColumn:
            check = checkHouseCodeTyping;
            break;
        case ModulesOutlineModel::UnitColumn:
            check = checkModuleNumberTyping;
            break;
        case ModulesOutlineModel::TypeColumn:
            check = checkModuleTypeTyping;
            break;
        default:
            break;
        }
    }
    QLineEdit* editor =
        check ? new FormattedLineEdit(std::move(check), parent) : new QLineEdit(parent);
    editor->setObjectName(check ? "formattedCellEditor" : "textCellEditor");
    if (!ModulesOutlineModel::isEventIndex(index) &&
        index.column() == ModulesOutlineModel::NameColumn)
        editor->setMaxLength(MaxModuleNameCharacters);
    editor->setFrame(false);
    editor->installEventFilter(const_cast<OutlineDelegate*>(this));
    return editor;
}

bool OutlineDelegate::eventFilter(QObject* watched, QEvent* event)
{
    // Paste, Copy and Cut in a cell being edited are the window's commands
    // when the cell has nothing of its own to take: modules or events on the
    // clipboard and no text; no text selected in the cell.
    auto* editor = qobject_cast<QLineEdit*>(watched);
    if (editor && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool toWindow = false;
        if (key->matches(QKeySequence::Paste)) {
            const QMimeData* clipboard = QApplication::clipboard()->mimeData();
            toWindow = clipboard && !clipboard->hasText() &&
                       (clipboard->hasFormat(mimeTypeForPasteboardType(ModulesPasteboardType)) ||
                        clipboard->hasFormat(mimeTypeForPasteboardType(EventsPasteboardType)));
        } else if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut)) {
            toWindow = !editor->hasSelectedText();
        }
        if (toWindow) {
            event->ignore();
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

void OutlineDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (ModulesOutlineModel::isEventIndex(index))
        option->text.clear();
}

void OutlineDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* formatted = qobject_cast<FormattedLineEdit*>(editor))
        formatted->setCheckedText(text);
    else if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setText(text);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->selectAll();
}

void OutlineDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const
{
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        model->setData(index, line->text(), Qt::EditRole);
}

} // namespace vantrel
