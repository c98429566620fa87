#include "testsupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>

bool ScriptedMessages::next()
{
    return m_answers.isEmpty() ? true : m_answers.takeFirst();
}

bool ScriptedMessages::confirmYesNo(const QString &text)
{
    m_shown.append({ QStringLiteral("yesno"), text });
    return next();
}

bool ScriptedMessages::confirmOkCancel(const QString &text)
{
    m_shown.append({ QStringLiteral("okcancel"), text });
    return next();
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const Shown &s : m_shown)
        out.append(s.text);
    return out;
}

TestEnv::TestEnv(const QDateTime &now)
    : clock(now)
{
    Messages::install(&messages);
    Desktop::install(&desktop);
    Clock::install(&clock);
}

TestEnv::~TestEnv()
{
    Messages::install(nullptr);
    Desktop::install(nullptr);
    Clock::install(nullptr);
}

void whenModal(std::function<void(QWidget *)> action, int delayMs)
{
    QTimer::singleShot(delayMs, [action] {
        QWidget *w = QApplication::activeModalWidget();
        action(w);
    });
}

void whenModalOf(const char *className, std::function<void(QWidget *)> action)
{
    // A loaded machine can take seconds to show a window: the wait is long,
    // since a window that comes after it is given up stays open for good.
    // Owned by the application: a wait still running when the test ends goes with it.
    auto *timer = new QTimer(qApp);
    timer->setInterval(5);
    const QDeadlineTimer deadline(30000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, className, action] {
        QWidget *w = QApplication::activeModalWidget();
        if ((w && w->inherits(className)) || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            action(w && w->inherits(className) ? w : nullptr);
        }
    });
    timer->start();
}
