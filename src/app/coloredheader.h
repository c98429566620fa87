#pragma once

#include <QColor>
#include <QHash>
#include <QHeaderView>

// A column header whose titles can carry their own colours (the sort column,
// the aging buckets). Titles are bold and centred.
class ColoredHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit ColoredHeader(QWidget *parent = nullptr);
    void setSectionColors(int logicalIndex, const QColor &background, const QColor &text);
    void clearSectionColors();
    // Marks one column as the sort column: grey with white text, the rest plain.
    void markSortSection(int logicalIndex);
    int sortSection() const { return m_sortSection; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    struct Colors
    {
        QColor background;
        QColor text;
    };
    QHash<int, Colors> m_colors;
    int m_sortSection = -1;
};
