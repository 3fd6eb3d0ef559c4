#pragma once

// Editors of the outline's cells: module cells through their formatter's
// typing check, an event row's text as plain text (its commit is parsed).

#include <QStyledItemDelegate>

namespace vantrel {

class OutlineDelegate : public QStyledItemDelegate
{
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // An event row's text is drawn by the view across the whole row.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace vantrel
