#pragma once

#include <QDate>
#include <QDialog>

#include <optional>

class QCalendarWidget;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

// The hand-off between a date cell and the date picker: the cell stores its
// date here, the picker writes the confirmed date back and sets `chosen`.
struct CalendarSelection
{
    int year = 0;
    int month = 0;
    int day = 0;
    bool chosen = false;

    void setDate(const QDate &date);
    // Invalid when the three numbers do not make a date.
    QDate date() const;

    static CalendarSelection &shared();
};

class TFrmcalendar : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmcalendar(QWidget *parent = nullptr);

    // The whole protocol of a date cell: presets the selection with `current`
    // (today when it is not a date), clears the chosen flag, shows the picker
    // and returns the confirmed date, or nothing when the user cancelled.
    static std::optional<QDate> pick(const QDate &current);

    // The picker every caller uses; created on first use unless the program
    // has set its own.
    static TFrmcalendar *instance();
    static void setInstance(TFrmcalendar *picker);

    QDate calendarDate() const;
    QString heading() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeHeading();
    QFrame *makeMonthView();
    QHBoxLayout *makeButtons();
    void connectControls();
    void loadSelection();
    void confirm();
    void moveMonths(int months);
    void moveYears(int years);
    void showHeading();

    QLabel *m_heading;
    QToolButton *m_yearBack;
    QToolButton *m_monthBack;
    QToolButton *m_monthForward;
    QToolButton *m_yearForward;
    QCalendarWidget *m_calendar;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
