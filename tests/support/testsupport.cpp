#include "testsupport.h"

#include <QApplication>
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
    auto *timer = new QTimer;
    timer->setInterval(5);
    int *tries = new int(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, className, action] {
        QWidget *w = QApplication::activeModalWidget();
        if ((w && w->inherits(className)) || ++*tries > 400) {
            timer->stop();
            timer->deleteLater();
            delete tries;
            action(w && w->inherits(className) ? w : nullptr);
        }
    });
    timer->start();
}
