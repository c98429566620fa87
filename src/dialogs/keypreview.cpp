#include "keypreview.h"

#include "platform/desktop.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

KeyPreview::KeyPreview(QWidget *window, Handler handler)
    : QObject(window)
    , m_handler(std::move(handler))
{
    window->installEventFilter(this);
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *child : children)
        child->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && m_handler(static_cast<QKeyEvent *>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

void KeyPreview::bindHelpKey(QWidget *window, const QString &page)
{
    new KeyPreview(window, [page](QKeyEvent *event) {
        if (event->key() != Qt::Key_F1)
            return false;
        if (Help::isHelpKey(event))
            Help::open(page);
        return true;
    });
}
