#include "nextoccurrence.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int FirstYear = 1;
constexpr int LastYear = 9999;

// Any frequency this large already leaves the calendar in every unit; the
// bound keeps the day and month arithmetic clear of overflow.
constexpr std::int64_t FrequencyLimit = 1'000'000'000;

struct YearMonthDay
{
    std::int64_t year;
    std::int64_t month;
    int day;
};

bool inCalendar(const QDate &date)
{
    return date.isValid() && date.year() >= FirstYear && date.year() <= LastYear;
}

// Months past December carry into the following years, months before
// January into the years before.
void wrapMonth(YearMonthDay &ymd)
{
    std::int64_t years = (ymd.month - 1) / 12;
    std::int64_t month = (ymd.month - 1) % 12;
    if (month < 0) {
        month += 12;
        --years;
    }
    ymd.year += years;
    ymd.month = month + 1;
}

// Forms the date, cutting the day back (at most three times) to the end of a
// shorter month. The cut-back day is kept: later steps count from it.
QDate buildDate(YearMonthDay &ymd)
{
    if (ymd.year < FirstYear || ymd.year > LastYear)
        return {};
    const int year = int(ymd.year);
    const int month = int(ymd.month);
    for (int day = ymd.day; day > ymd.day - 4; --day) {
        if (QDate::isValid(year, month, day)) {
            ymd.day = day;
            return QDate(year, month, day);
        }
    }
    return {};
}

// A half month moves between a day in the first half of a month (1 to 15)
// and the day fifteen later; whole months in the frequency move the month.
QDate addHalfMonths(YearMonthDay ymd, std::int64_t frequency)
{
    const bool odd = frequency % 2 != 0;
    ymd.month += frequency / 2;
    if (odd && frequency > 0 && ymd.day >= 16)
        ++ymd.month;
    else if (odd && frequency < 0 && ymd.day < 16)
        --ymd.month;
    wrapMonth(ymd);
    QDate due = buildDate(ymd);
    if (odd) {
        ymd.day = ymd.day >= 16 ? ymd.day - 15 : ymd.day + 15;
        due = buildDate(ymd);
    }
    return due;
}

using Unit = Recurrence::Unit;

Unit unitOf(const QString &units)
{
    if (units == QLatin1StringView("Days"))
        return Unit::Days;
    if (units == QLatin1StringView("Weeks"))
        return Unit::Weeks;
    if (units == QLatin1StringView("Half Months"))
        return Unit::HalfMonths;
    if (units == QLatin1StringView("Months"))
        return Unit::Months;
    if (units == QLatin1StringView("Years"))
        return Unit::Years;
    return Unit::Other;
}

QDate nextDueDate(const QDate &due, Unit unit, std::int64_t frequency)
{
    YearMonthDay ymd{ due.year(), due.month(), due.day() };
    switch (unit) {
    case Unit::Days:
    case Unit::Weeks: {
        const QDate next = due.addDays(unit == Unit::Days ? frequency : 7 * frequency);
        return inCalendar(next) ? next : QDate();
    }
    case Unit::HalfMonths:
        return addHalfMonths(ymd, frequency);
    case Unit::Months:
        ymd.month += frequency;
        wrapMonth(ymd);
        return buildDate(ymd);
    case Unit::Years:
        ymd.year += frequency;
        return buildDate(ymd);
    case Unit::Other:
        break;
    }
    // Not a unit that repeats: a date no one would schedule, for the user to
    // correct on the reschedule screen.
    return QDate(1966, 11, 11);
}

std::optional<double> amount(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const double v = value.toDouble(&ok);
    return ok ? std::optional(v) : std::nullopt;
}

bool isPositive(const std::optional<double> &value)
{
    return value && *value > 0;
}

// Amounts are kept to a hundredth of a cent, so that a balance paid off in
// several steps reaches exactly zero instead of a remainder that a later
// payment would reduce again.
double roundedAmount(double value)
{
    return std::round(value * 10000.0) / 10000.0;
}

} // namespace

namespace {
// What paying a cycle changes besides its due date.
struct Changes
{
    bool balance = false; // reduced by the amount paid
    bool pay = false; // the Pay Amount starts again from the budget
    bool bill = false; // the Bill Amount does
};

Changes changesOf(const Recurrence &paid)
{
    Changes c;
    c.balance = isPositive(paid.balance) && (isPositive(paid.pay) || isPositive(paid.bill));
    // The amount starts again after the balance, which is reduced by the amount actually paid.
    if (isPositive(paid.budget)) {
        c.pay = isPositive(paid.pay);
        c.bill = !c.pay;
    }
    return c;
}
} // namespace

Recurrence Recurrence::of(const ItemRecord &record)
{
    Recurrence r;
    bool isNumber = false;
    r.frequency = std::clamp<std::int64_t>(
        record.frequency.toLongLong(&isNumber), -FrequencyLimit, FrequencyLimit);
    if (!isNumber)
        r.frequency = 0;
    r.unit = unitOf(record.units.toString());
    r.due = record.dueDate.toDate();
    r.end = record.endDate.toDate();
    r.bill = amount(record.billAmount);
    r.pay = amount(record.payAmount);
    r.balance = amount(record.balance);
    r.budget = amount(record.budget);
    return r;
}

std::optional<Recurrence> Recurrence::next() const
{
    if (frequency == 0)
        return std::nullopt;
    Recurrence next = *this;
    next.due = due.isValid() ? nextDueDate(due, unit, frequency) : QDate();
    const Changes c = changesOf(*this);
    if (c.balance)
        next.balance = roundedAmount(*balance - (isPositive(pay) ? *pay : *bill));
    if (c.pay)
        next.pay = budget;
    if (c.bill)
        next.bill = budget;
    if (next.due.isValid() && end.isValid() && next.due > end)
        return std::nullopt;
    return next;
}

ItemRecord Recurrence::laterCycleOf(const ItemRecord &stored) const
{
    ItemRecord r = stored;
    r.payDate = QVariant();
    r.processDate = QVariant();
    r.payNow = QVariant();
    r.dueDate = due.isValid() ? QVariant(due) : QVariant();
    // An amount the cycles changed is written; one they left keeps its stored value.
    const auto set = [](QVariant &field, const std::optional<double> &value) {
        if (value != amount(field))
            field = value ? QVariant(*value) : QVariant();
    };
    set(r.billAmount, bill);
    set(r.payAmount, pay);
    set(r.balance, balance);
    return r;
}

std::optional<ItemRecord> NextOccurrence(const ItemRecord &paid)
{
    const Recurrence cycle = Recurrence::of(paid);
    const std::optional<Recurrence> following = cycle.next();
    if (!following)
        return std::nullopt;

    ItemRecord next;
    next.description = paid.description;
    next.billAmount = paid.billAmount;
    next.payAmount = paid.payAmount;
    next.frequency = paid.frequency;
    next.units = paid.units;
    next.endDate = paid.endDate;
    next.warningDays = paid.warningDays;
    next.budget = paid.budget;
    next.balance = paid.balance;
    next.userField = paid.userField;
    if (following->due.isValid())
        next.dueDate = following->due;
    const Changes c = changesOf(cycle);
    if (c.balance)
        next.balance = *following->balance;
    if (c.pay)
        next.payAmount = *following->pay;
    if (c.bill)
        next.billAmount = *following->bill;
    return next;
}
