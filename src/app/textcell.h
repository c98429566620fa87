#pragma once

#include <QStyledItemDelegate>

// Draws cells that hold only text, as the style's item element does, but
// without the parts of it these lists never use: the style first works out
// where a check box and an icon would go and lays the text out anew for
// every cell, which was most of what a list spent on drawing.
class TextCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

    // The panel (background, selection, and the focus frame through the
    // style's own element), then the text on one line, elided at the right.
    // A margin below zero is the style's own text margin. `opt` has been
    // through initStyleOption.
    static void paintCell(QPainter *painter, QStyleOptionViewItem opt, int margin = -1);
};
