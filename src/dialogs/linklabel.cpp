#include "linklabel.h"

#include "platform/desktop.h"

#include <QEnterEvent>
#include <QMouseEvent>

LinkLabel::LinkLabel(const QString &text, const QUrl &url, int pixelSize, QWidget *parent)
    : QLabel(text, parent)
    , m_url(url)
{
    setTextFormat(Qt::PlainText);
    setToolTip(url.toDisplayString(QUrl::PreferLocalFile));
    setCursor(Qt::PointingHandCursor);
    QFont linkFont = font();
    linkFont.setPixelSize(pixelSize);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    setFont(linkFont);
    setHot(false);
    connect(this, &LinkLabel::clicked, this, [this] { Help::openWeb(m_url); });
}

void LinkLabel::enterEvent(QEnterEvent *event)
{
    setHot(true);
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent *event)
{
    setHot(false);
    QLabel::leaveEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::setHot(bool hot)
{
    m_hot = hot;
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, hot ? QColor(Qt::blue) : QColor(0, 0, 128));
    setPalette(linkPalette);
}
