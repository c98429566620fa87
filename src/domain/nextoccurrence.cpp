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

QDate nextDueDate(const QDate &due, const QString &units, std::int64_t frequency)
{
    YearMonthDay ymd{ due.year(), due.month(), due.day() };
    if (units == QLatin1StringView("Days") || units == QLatin1StringView("Weeks")) {
        const QDate next
            = due.addDays(units == QLatin1StringView("Days") ? frequency : 7 * frequency);
        return inCalendar(next) ? next : QDate();
    }
    if (units == QLatin1StringView("Half Months"))
        return addHalfMonths(ymd, frequency);
    if (units == QLatin1StringView("Months")) {
        ymd.month += frequency;
        wrapMonth(ymd);
        return buildDate(ymd);
    }
    if (units == QLatin1StringView("Years")) {
        ymd.year += frequency;
        return buildDate(ymd);
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

std::optional<ItemRecord> NextOccurrence(const ItemRecord &paid)
{
    bool isNumber = false;
    const std::int64_t frequency = std::clamp<std::int64_t>(
        paid.frequency.toLongLong(&isNumber), -FrequencyLimit, FrequencyLimit);
    if (!isNumber || frequency == 0)
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

    const QDate due = paid.dueDate.toDate();
    QDate nextDue;
    if (due.isValid())
        nextDue = nextDueDate(due, paid.units.toString(), frequency);
    if (nextDue.isValid())
        next.dueDate = nextDue;

    const std::optional<double> payAmount = amount(paid.payAmount);
    const std::optional<double> billAmount = amount(paid.billAmount);
    const std::optional<double> balance = amount(paid.balance);
    if (isPositive(balance)) {
        if (isPositive(payAmount))
            next.balance = roundedAmount(*balance - *payAmount);
        else if (isPositive(billAmount))
            next.balance = roundedAmount(*balance - *billAmount);
    }

    // After the balance, which is reduced by the amount actually paid.
    const std::optional<double> budget = amount(paid.budget);
    if (isPositive(budget)) {
        if (isPositive(payAmount))
            next.payAmount = *budget;
        else
            next.billAmount = *budget;
    }

    const QDate endDate = paid.endDate.toDate();
    if (nextDue.isValid() && endDate.isValid() && nextDue > endDate)
        return std::nullopt;
    return next;
}
