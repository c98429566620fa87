#include "cashflow.h"

#include <cmath>

namespace {
// Sums are kept in ten-thousandths, as amounts are stored, so that a long
// horizon adds up without drift.
qint64 units(double amount)
{
    return qint64(std::llround(amount * 10000.0));
}

double amount(qint64 units)
{
    return double(units) / 10000.0;
}
} // namespace

CashFlow::CashFlow(double startingBalance, const QDate &today, const QDate &until,
    const std::vector<Occurrence> &occurrences)
{
    qint64 balance = units(startingBalance);
    m_rows.reserve(occurrences.size());
    if (today.isValid() && until >= today)
        m_days.reserve(std::size_t(today.daysTo(until) + 1));
    QDate day = today;
    for (const Occurrence &o : occurrences) {
        const QDate due = o.dueDate();
        if (due > until)
            break;
        // Close the days before this occurrence's day.
        for (; day < due && day <= until; day = day.addDays(1))
            m_days.push_back({ day, amount(balance) });
        balance += units(o.income()) - units(o.expense());
        m_rows.push_back({ due, o.key, o.overdue, o.record.description.toString(), o.expense(),
            o.income(), amount(balance) });
    }
    for (; day.isValid() && day <= until; day = day.addDays(1))
        m_days.push_back({ day, amount(balance) });
}

CashFlow::Day CashFlow::lowest() const
{
    Day low;
    for (const Day &d : m_days)
        if (!low.date.isValid() || d.balance < low.balance)
            low = d;
    return low;
}
