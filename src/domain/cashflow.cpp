#include "cashflow.h"

CashFlow::CashFlow(Money startingBalance, const QDate &today, const QDate &until,
    const std::vector<Occurrence> &occurrences)
{
    Money balance = startingBalance;
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
            m_days.push_back({ day, balance });
        const Money expense = Money::fromDouble(o.expense());
        const Money income = Money::fromDouble(o.income());
        balance += income - expense;
        m_rows.push_back(
            { due, o.key, o.overdue, o.record.description.toString(), expense, income, balance });
    }
    for (; day.isValid() && day <= until; day = day.addDays(1))
        m_days.push_back({ day, balance });
}

CashFlow::Day CashFlow::lowest() const
{
    Day low;
    for (const Day &d : m_days)
        if (!low.date.isValid() || d.balance < low.balance)
            low = d;
    return low;
}
