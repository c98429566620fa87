#pragma once

#include "projectiontable.h"

#include "data/money.h"

#include <QDate>

#include <vector>

// The money on hand day by day: a starting balance, then every projected
// occurrence's income added and expense taken away. Occurrences already
// overdue are still to be paid, so they count on the first day.
class CashFlow
{
public:
    struct Day
    {
        QDate date;
        Money balance; // at the end of the day, exact however long the horizon
    };

    CashFlow(Money startingBalance, const QDate &today, const QDate &until, ProjectionTable table);

    // Every occurrence in order; the balance after each is balance().
    const ProjectionTable &table() const { return m_table; }
    Money balance(std::size_t row) const { return m_start + m_table.sumThrough(row); }
    Money startingBalance() const { return m_start; }
    // One entry per day from today to the last date.
    const std::vector<Day> &days() const { return m_days; }
    // The first day with the lowest balance.
    Day lowest() const;

private:
    Money m_start;
    ProjectionTable m_table;
    std::vector<Day> m_days;
};
