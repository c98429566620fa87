#pragma once

#include <QDate>
#include <QObject>

class DesktopNotifier;
class LiveCalendar;
class QTimer;
class QWidget;

// Keeps an open main window in step with the calendar: when a day passes,
// items that have come into their warning days (or fall due) since are told
// by a desktop notification, as duesmith --notify tells them, and the
// kept-up-to-date calendar file moves on to the new day.
class DayWatch : public QObject
{
    Q_OBJECT
public:
    explicit DayWatch(QWidget *window);

    // Looks whether the date has changed since the last look.
    void check();

private:
    void arm();

    QWidget *m_window;
    QTimer *m_timer;
    QDate m_day;
    LiveCalendar *m_calendar;
    DesktopNotifier *m_notifier = nullptr; // made when first needed: no bus until then
};
