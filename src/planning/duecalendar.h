#pragma once

#include "domain/projectiontable.h"

#include <QDate>
#include <QDialog>
#include <QHash>

#include <vector>

class FormStorage;
class ProjectionJob;
class QLabel;
class QProgressBar;
class QTableView;
class QTableWidget;
class MonthModel;

// A month of the schedule: each day with the items falling due on it, in the
// colours of the lists, and the day's expense and income totals. A click on a
// day lists its items below; a double-click on one of them closes the window
// with that item the current record of the main list. The schedule is read
// each time the window is shown.
class DueCalendar : public QDialog
{
    Q_OBJECT
public:
    // What the month's model gives for a day besides its text.
    enum Role {
        DateRole = Qt::UserRole + 1, // the day
        ExpenseRole, // the day's expense total
        IncomeRole, // the day's income total
        LinesRole, // the items' lines as drawn
        BandsRole, // their urgency bands
    };

    explicit DueCalendar(QWidget *parent = nullptr);
    ~DueCalendar() override;

    QDate month() const { return m_month; }
    QDate selectedDay() const { return m_selected; }
    // Shows the month of a day and lists the day's items.
    void showDay(const QDate &day);
    void previousMonth();
    void nextMonth();
    void showToday();

    // The occurrences of the month shown; those of a day are table().rowsOn(day).
    const ProjectionTable &table() const { return m_table; }
    // Whether the month shown is still being projected.
    bool busy() const;

    QTableView *monthView() const { return m_monthView; }
    QTableWidget *dayList() const { return m_dayList; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildMonthView();
    void buildDayList();
    void project();
    void projected();
    void fillDayList();
    void openItem(int row);

    QDate m_month; // its first day
    QDate m_selected;
    std::vector<ScheduledItem> m_schedule;
    ProjectionTable m_table;
    std::vector<qint64> m_listed; // keys of the day list's rows
    MonthModel *m_model;
    ProjectionJob *m_job;
    QLabel *m_title;
    QTableView *m_monthView;
    QProgressBar *m_progress;
    QLabel *m_dayTitle;
    QTableWidget *m_dayList;
    FormStorage *m_storage;
};
