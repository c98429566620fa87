#pragma once

#include "projection.h"

#include "data/money.h"

#include <QDate>
#include <QString>

#include <vector>

// The money on hand day by day: a starting balance, then every projected
// occurrence's income added and expense taken away. Occurrences already
// overdue are still to be paid, so they count on the first day.
class CashFlow
{
public:
    struct Row
    {
        QDate dueDate;
        qint64 key = -1;
        bool overdue = false;
        QString description;
        Money expense;
        Money income;
        Money balance; // after this occurrence, exact however long the horizon
    };
    struct Day
    {
        QDate date;
        Money balance; // at the end of the day
    };

    CashFlow(Money startingBalance, const QDate &today, const QDate &until,
        const std::vector<Occurrence> &occurrences);

    // Every occurrence in order, with the running balance.
    const std::vector<Row> &rows() const { return m_rows; }
    // One entry per day from today to the last date.
    const std::vector<Day> &days() const { return m_days; }
    // The first day with the lowest balance.
    Day lowest() const;

private:
    std::vector<Row> m_rows;
    std::vector<Day> m_days;
};
