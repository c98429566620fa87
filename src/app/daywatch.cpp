#include "daywatch.h"

#include "calendarexport.h"

#include "data/engineerror.h"
#include "domain/duelist.h"
#include "notify/desktopnotifier.h"
#include "notify/duenotice.h"
#include "platform/clock.h"

#include <QDBusConnection>
#include <QTimer>
#include <QWidget>

#include <algorithm>

DayWatch::DayWatch(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_timer(new QTimer(this))
    , m_day(Clock::current().today())
    , m_calendar(new LiveCalendar(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &DayWatch::check);
    arm();
}

void DayWatch::arm()
{
    // Shortly after midnight; at most a quarter of an hour, since a timer
    // does not count the time the machine sleeps.
    const QDateTime now = Clock::current().now();
    const qint64 toMidnight = now.msecsTo(QDateTime(now.date().addDays(1), QTime(0, 0))) + 1000;
    m_timer->start(int(std::clamp<qint64>(toMidnight, 1000, 15 * 60 * 1000)));
}

void DayWatch::check()
{
    arm();
    const QDate today = Clock::current().today();
    if (today == m_day)
        return;
    const QDate before = m_day;
    m_day = today;
    m_calendar->schedule();

    QList<DueItem> items;
    try {
        items = DueList::read(Clock::current().now(), std::nullopt);
    } catch (const EngineError &) {
        return; // the window reports a table it cannot read when it uses it
    }
    // Told once: on the day an item comes into its warning days.
    const bool arrived = std::any_of(items.cbegin(), items.cend(), [&](const DueItem &item) {
        const QDate due = item.record.dueDate.toDate();
        const QDate from = due.addDays(-item.record.warningDays.toInt());
        return due.isValid() && from > before && from <= today;
    });
    if (!arrived)
        return;
    if (!m_notifier) {
        m_notifier = new DesktopNotifier(QDBusConnection::sessionBus(), this);
        connect(m_notifier, &DesktopNotifier::openChosen, this, [this] {
            m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
            m_window->show();
            m_window->raise();
            m_window->activateWindow();
            m_notifier->close();
        });
    }
    m_notifier->send(DueNotice::of(items));
}
