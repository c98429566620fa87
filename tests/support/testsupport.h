#pragma once

#include "dataenv.h"

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

// Answers questions from a script and remembers what was shown.
class ScriptedMessages : public Messages
{
public:
    struct Shown
    {
        QString kind; // inform, announce, warn, error, yesno, okcancel
        QString text;
    };
    void inform(const QString &text) override
    {
        m_shown.append({ QStringLiteral("inform"), text });
    }
    void warn(const QString &text) override { m_shown.append({ QStringLiteral("warn"), text }); }
    void error(const QString &text) override { m_shown.append({ QStringLiteral("error"), text }); }
    void announce(const QString &text) override
    {
        m_shown.append({ QStringLiteral("announce"), text });
    }
    bool confirmYesNo(const QString &text) override;
    bool confirmOkCancel(const QString &text) override;

    // Answers for the next questions, in order; when none is left the answer is yes.
    void answer(std::initializer_list<bool> answers) { m_answers.append(answers); }
    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    bool next();
    QList<bool> m_answers;
    QList<Shown> m_shown;
};

class RecordingDesktop : public Desktop
{
public:
    void openHelpFile(const QString &path) override { helpFiles.append(path); }
    void openUrl(const QUrl &url) override { urls.append(url); }
    void beep() override { ++beeps; }
    QStringList helpFiles;
    QList<QUrl> urls;
    int beeps = 0;
};

// Everything a test needs around it: its own working directory with fresh
// tables, its own settings file, en_US, a pinned clock and scripted messages.
class TestEnv : public DataEnv
{
public:
    explicit TestEnv(const QDateTime &now = QDateTime(QDate(2024, 3, 15), QTime(10, 0)));
    ~TestEnv();

    ScriptedMessages messages;
    RecordingDesktop desktop;
    PinnedClock clock;
};

// Runs an action on the modal window that will be open once the event loop
// turns (for answering dialogs shown with exec()).
void whenModal(std::function<void(QWidget *)> action, int delayMs = 0);
// Same, for the modal dialog of a given class; waits until it is up.
void whenModalOf(const char *className, std::function<void(QWidget *)> action);
