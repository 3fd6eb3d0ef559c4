#include "editor/OutlineDelegate.h"

#include "editor/FormattedLineEdit.h"
#include "editor/ModulesOutlineModel.h"

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
    editor->setFrame(false);
    return editor;
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
