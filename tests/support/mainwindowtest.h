#pragma once

#include "testsupport.h"

#include <QObject>

#include <memory>

class TfrmSched;

// Switches off the start-up prompts that need a user (introduction, reminder).
void switchOffPrompts();
// Creates the main window's contents and waits for its start-up actions.
bool startUp(TfrmSched *window, int timeoutMs = 2000);

// Base of the tests that drive the windows: each test gets fresh tables, a
// pinned clock, scripted messages and every window, and loses them after.
// A test class derives from it and may declare its own init()/cleanup(),
// calling these first and last.
class MainWindowTest : public QObject
{
    Q_OBJECT
public:
    // What init() makes before each test; the rest the test makes itself.
    enum Setup {
        EmptyFolder = 0,
        CreateTables = 1, // the five live tables, empty
        CreateWindows = 2, // every window, not yet started
    };
    explicit MainWindowTest(int setup = CreateTables | CreateWindows)
        : m_setup(setup)
    { }

protected Q_SLOTS:
    void init();
    void cleanup();

protected:
    // Prompts off, then the main window's start-up; false if it did not start.
    bool startMainWindow(int timeoutMs = 2000);

    std::unique_ptr<TestEnv> m_env;

private:
    int m_setup;
};
