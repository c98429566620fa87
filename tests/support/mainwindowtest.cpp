#include "mainwindowtest.h"

#include "app/frmsched.h"
#include "app/windows.h"
#include "domain/options.h"
#include "main/windowset.h"

#include <QTest>

void switchOffPrompts()
{
    OptionsStore::instance().update([](Options &o) {
        o.intro = false;
        o.displayReminder = false;
    });
}

bool startUp(TfrmSched *window, int timeoutMs)
{
    switchOffPrompts();
    if (!window->FormCreate())
        return false;
    return QTest::qWaitFor([window] { return window->startupDone(); }, timeoutMs);
}

void MainWindowTest::init()
{
    m_env = std::make_unique<TestEnv>();
    if (m_setup & CreateTables)
        m_env->createTables();
    if (m_setup & CreateWindows)
        createAllWindows();
}

void MainWindowTest::cleanup()
{
    destroyAllWindows();
    m_env.reset();
}

bool MainWindowTest::startMainWindow(int timeoutMs)
{
    if (!Windows::frmSched)
        createAllWindows();
    return startUp(Windows::frmSched, timeoutMs);
}
