#include "application.h"

#include "busypointer.h"
#include "messages.h"

#include <QSettings>

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

bool Application::notify(QObject *receiver, QEvent *event)
{
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
