#include "textcell.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

void TextCellDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    paintCell(painter, opt);
}

void TextCellDelegate::paintCell(QPainter *painter, QStyleOptionViewItem opt, int margin)
{
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const QString text = opt.text;
    opt.text.clear();
    if ((opt.state & QStyle::State_HasFocus)
        || (opt.features
            & (QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration)))
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    else
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    if (text.isEmpty())
        return;
    QPalette::ColorGroup group = QPalette::Disabled;
    if (opt.state & QStyle::State_Enabled)
        group = opt.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
    if (margin < 0)
        margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
    painter->save();
    painter->setPen(opt.palette.color(group,
        opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    painter->drawText(area, int(opt.displayAlignment) | Qt::TextSingleLine,
        opt.fontMetrics.elidedText(text, Qt::ElideRight, area.width()));
    painter->restore();
}
