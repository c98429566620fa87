#include "application.h"

#include "busypointer.h"
#include "messages.h"

#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <exception>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setUp();
}

void Application::setUp()
{
    // No display name is set: the desktop would add it to every window's caption.
    QSettings::setDefaultFormat(QSettings::IniFormat);
}

namespace {
// Without a window manager nobody gives the keyboard back when a modal window
// closes: the window below it, a modal one or the window that opened it, takes it again.
void keyboardToWindowBelow(QWidget *closed)
{
    QWidget *opener = closed->parentWidget();
    QPointer<QWidget> below = opener ? opener->window() : nullptr;
    QTimer::singleShot(0, [below] {
        QWidget *target = QApplication::activeModalWidget();
        if (!target)
            target = below;
        if (!target || !target->isVisible() || QApplication::activeWindow() == target)
            return;
        target->activateWindow();
        if (QWidget *had = target->focusWidget(); had && had->isVisible())
            had->setFocus(Qt::ActiveWindowFocusReason);
    });
}
} // namespace

bool Application::notify(QObject *receiver, QEvent *event)
{
    if (event->type() == QEvent::Hide && receiver->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(receiver);
        if (widget->isWindow() && widget->isModal())
            keyboardToWindowBelow(widget);
    }
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showException(error);
    } catch (...) {
        Messages::current().error(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

void Application::showException(const std::exception &error)
{
    Messages::current().error(QString::fromUtf8(error.what()));
}
