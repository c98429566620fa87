#include "urgency.h"

#include "colours.h"

#include <QPainter>

using Colours::Blue;
using Colours::Green;
using Colours::Orange;
using Colours::Red;

QColor Urgency::textColor(int band)
{
    switch (band) {
    case 0:
        return Red;
    case 1:
        return Orange;
    case 2:
        return Green;
    case 3:
        return Blue;
    default:
        return QColor(Qt::black);
    }
}

QPixmap Urgency::dueMarker(int band)
{
    QPixmap pm(DueMarkerWidth, 16);
    pm.fill(Qt::transparent);
    if (band < 0 || band > 4)
        return pm;
    QPainter p(&pm);
    const int filled = 4 - band;
    const QColor colour = band == 4 ? QColor(160, 160, 160) : textColor(band);
    // Four segments from the bottom up, the lowest ones filled.
    for (int s = 0; s < 4; ++s) {
        const QRect r(3, 12 - s * 3 - 1, 12, 2);
        if (s < filled) {
            p.fillRect(r, colour);
        } else {
            p.fillRect(r, QColor(225, 225, 225));
        }
    }
    p.setPen(QColor(128, 128, 128));
    p.drawRect(1, 1, 15, 13);
    return pm;
}

QPixmap Urgency::payMarker(int band)
{
    QPixmap pm(PayMarkerWidth, 16);
    pm.fill(Qt::transparent);
    if (band < 0 || band > 4)
        return pm;
    static const QColor balls[] = { Red, QColor(255, 220, 0), Green, Blue, QColor(150, 150, 150) };
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(balls[band]);
    p.setPen(balls[band].darker(140));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(band == 1 ? Qt::black : Qt::white);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::number(band));
    return pm;
}
