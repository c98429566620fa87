#include "artwork.h"

#include "platform/palette.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>

QPixmap Artwork::tipBulb()
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // Rays
    p.setPen(QPen(QColor(240, 180, 0), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 1), QPointF(16, 3.5));
    p.drawLine(QPointF(4, 12), QPointF(6.5, 12));
    p.drawLine(QPointF(25.5, 12), QPointF(28, 12));
    p.drawLine(QPointF(7, 3.5), QPointF(8.8, 5.3));
    p.drawLine(QPointF(25, 3.5), QPointF(23.2, 5.3));

    // Glass
    QRadialGradient glow(QPointF(14, 10), 10);
    glow.setColorAt(0, QColor(255, 255, 210));
    glow.setColorAt(1, QColor(255, 215, 40));
    QPainterPath glass;
    glass.addEllipse(QPointF(16, 13), 8, 8);
    glass.addRect(QRectF(12, 17, 8, 5));
    p.setPen(QPen(QColor(150, 110, 0), 1));
    p.setBrush(glow);
    p.drawPath(glass.simplified());

    // Base
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 120, 130));
    p.drawRoundedRect(QRectF(12, 22, 8, 6), 1.5, 1.5);
    p.setPen(QPen(QColor(200, 200, 210), 1));
    p.drawLine(QPointF(12.5, 24), QPointF(19.5, 24));
    p.drawLine(QPointF(12.5, 26), QPointF(19.5, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 80));
    p.drawEllipse(QPointF(16, 29.5), 2, 1.5);
    return picture;
}

QPixmap Artwork::questionBalloon()
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath balloon;
    balloon.addRoundedRect(QRectF(1.5, 1.5, 29, 22), 6, 6);
    QPainterPath tail;
    tail.moveTo(8, 22);
    tail.lineTo(6, 30.5);
    tail.lineTo(15, 22);
    tail.closeSubpath();
    QLinearGradient fill(0, 0, 0, 24);
    fill.setColorAt(0, QColor(255, 255, 255));
    fill.setColorAt(1, QColor(255, 245, 190));
    p.setPen(QPen(QColor(0, 0, 128), 1.2));
    p.setBrush(fill);
    p.drawPath(balloon.united(tail));

    QFont mark;
    mark.setPixelSize(18);
    mark.setBold(true);
    p.setFont(mark);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRectF(1.5, 1.5, 29, 22), Qt::AlignCenter, QStringLiteral("?"));
    return picture;
}

QPixmap Artwork::mainWindowMiniature(const QSize &size)
{
    QPixmap picture(size);
    picture.fill(QColor(0, 64, 128));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();
    const QRectF frame(6, 6, w - 12, h - 12);

    // Window frame, title bar, menu and toolbar
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(212, 208, 200));
    p.drawRect(frame);
    QLinearGradient title(frame.topLeft(), frame.topRight());
    title.setColorAt(0, QColor(10, 36, 106));
    title.setColorAt(1, QColor(166, 202, 240));
    p.fillRect(QRectF(frame.left() + 1, frame.top() + 1, frame.width() - 2, 9), title);
    p.setPen(QColor(90, 90, 90));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(frame.left() + 6 + i * 20, frame.top() + 14),
            QPointF(frame.left() + 18 + i * 20, frame.top() + 14));
    for (int i = 0; i < 8; ++i) {
        p.setBrush(QColor(235, 232, 225));
        p.drawRect(QRectF(frame.left() + 4 + i * 15, frame.top() + 19, 12, 11));
    }

    // The item list: title row, then rows in the urgency colours
    const QRectF grid(frame.left() + 4, frame.top() + 34, frame.width() - 8, frame.height() * 0.5);
    p.setPen(QColor(128, 128, 128));
    p.setBrush(Qt::white);
    p.drawRect(grid);
    p.fillRect(QRectF(grid.left() + 1, grid.top() + 1, grid.width() - 1, 6), QColor(212, 208, 200));
    const QColor rowColours[] = { Colours::Red, Colours::Maroon, Colours::Green, Colours::Blue,
        Qt::black, Qt::black, Colours::Green };
    qreal y = grid.top() + 10;
    for (const QColor &colour : rowColours) {
        if (y > grid.bottom() - 3)
            break;
        p.setPen(QPen(colour, 1.5));
        p.drawLine(QPointF(grid.left() + 4, y), QPointF(grid.left() + 24, y));
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.drawLine(QPointF(grid.left() + 30, y), QPointF(grid.left() + 80, y));
        p.drawLine(QPointF(grid.left() + 90, y), QPointF(grid.right() - 8, y));
        y += 6;
    }

    // The summaries below it
    const qreal lowerTop = grid.bottom() + 4;
    const qreal lowerHeight = frame.bottom() - lowerTop - 3;
    p.setPen(QColor(128, 128, 128));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(grid.left(), lowerTop, grid.width() / 2 - 2, lowerHeight));
    p.drawRect(
        QRectF(grid.left() + grid.width() / 2 + 2, lowerTop, grid.width() / 2 - 2, lowerHeight));

    // The name over it all
    QFont nameFont(QStringLiteral("Liberation Serif"));
    nameFont.setPixelSize(int(h / 4.5));
    nameFont.setBold(true);
    nameFont.setItalic(true);
    QPainterPath name;
    const QString text = QStringLiteral("Duesmith");
    name.addText(0, 0, nameFont, text);
    const QRectF bounds = name.boundingRect();
    name.translate(w / 2 - bounds.center().x(), h / 2 - bounds.center().y());
    p.setPen(QPen(QColor(0, 0, 0, 160), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(name.translated(2, 2));
    QLinearGradient gold(0, h / 2 - bounds.height() / 2, 0, h / 2 + bounds.height() / 2);
    gold.setColorAt(0, QColor(255, 240, 150));
    gold.setColorAt(1, QColor(220, 150, 0));
    p.setPen(QPen(QColor(90, 50, 0), 1));
    p.setBrush(gold);
    p.drawPath(name);
    return picture;
}
