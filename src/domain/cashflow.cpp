#include "cashflow.h"

#include <utility>

CashFlow::CashFlow(
    Money startingBalance, const QDate &today, const QDate &until, ProjectionTable table)
    : m_start(startingBalance)
    , m_table(std::move(table))
{
    if (today.isValid() && until >= today)
        m_days.reserve(std::size_t(today.daysTo(until) + 1));
    Money balance = startingBalance;
    const qint64 last = until.toJulianDay();
    // Without a today there are no days to close.
    qint64 day = today.isValid() ? today.toJulianDay() : last + 1;
    for (std::size_t r = 0; r < m_table.size(); ++r) {
        const qint64 due = m_table.day(r);
        if (due > last)
            break;
        // Close the days before this occurrence's day.
        for (; day < due && day <= last; ++day)
            m_days.push_back({ QDate::fromJulianDay(day), balance });
        const ProjectionTable::Amounts &a = m_table.amounts(r);
        balance += a.income - a.expense;
    }
    for (; day <= last; ++day)
        m_days.push_back({ QDate::fromJulianDay(day), balance });
}

CashFlow::Day CashFlow::lowest() const
{
    Day low;
    for (const Day &d : m_days)
        if (!low.date.isValid() || d.balance < low.balance)
            low = d;
    return low;
}
