#include "coloredheader.h"

#include <QPainter>

ColoredHeader::ColoredHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::Alignment(Qt::AlignCenter | Qt::TextWordWrap));
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void ColoredHeader::setSectionColors(int logicalIndex, const QColor &background, const QColor &text)
{
    m_colors.insert(logicalIndex, { background, text });
    viewport()->update();
}

void ColoredHeader::clearSectionColors()
{
    m_colors.clear();
    m_sortSection = -1;
    viewport()->update();
}

void ColoredHeader::markSortSection(int logicalIndex)
{
    m_colors.remove(m_sortSection);
    m_sortSection = logicalIndex;
    if (logicalIndex >= 0)
        m_colors.insert(logicalIndex, { QColor(128, 128, 128), Qt::white });
    viewport()->update();
}

void ColoredHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    auto it = m_colors.constFind(logicalIndex);
    if (it == m_colors.constEnd()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    painter->save();
    painter->fillRect(rect, it->background);
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->setPen(it->text);
    QFont f = font();
    f.setBold(true);
    painter->setFont(f);
    const QString title
        = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    painter->drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignCenter | Qt::TextWordWrap, title);
    painter->restore();
}
