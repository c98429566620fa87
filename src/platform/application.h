#pragma once

#include <QApplication>

// The application object: any EngineError or std::exception that escapes an
// event handler ends up in one message box instead of crossing the event loop.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
    // Settings that hold for the whole program.
    static void setUp();

    // Shows an exception's text the way the application's default handler does.
    static void showException(const std::exception &error);
};
