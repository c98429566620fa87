#include "application.h"

#include "busypointer.h"
#include "messages.h"

#include <exception>

Application::Application(int &argc, char **argv) : QApplication(argc, argv) { }

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
