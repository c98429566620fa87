// GnuCash's rules for a scheduled transaction: its recurrences' dates and
// the amount of its template transaction.
#include "gnucashbook.h"

namespace GnuCash {
namespace {
// ---- GnuCash's recurrence arithmetic --------------------------------------

bool lastOfMonth(const QDate &d)
{
    return d.day() == d.daysInMonth();
}

void weekendAdjust(int period, int adjust, QDate &date)
{
    if (period != YearP && period != MonthP && period != EndOfMonthP)
        return;
    const int day = date.dayOfWeek();
    if (day < Qt::Saturday)
        return;
    if (adjust == Back)
        date = date.addDays(day == Qt::Saturday ? -1 : -2);
    else if (adjust == Forward)
        date = date.addDays(day == Qt::Saturday ? 2 : 1);
}

// Days from `next` to the n-th (or last) weekday of `start`, in next's month.
int nthWeekdayOffset(const QDate &start, const QDate &next, int period)
{
    const int sd = start.day();
    const int nd = next.day();
    int week = sd / 7 > 3 ? 3 : sd / 7;
    if (week > 0 && sd % 7 == 0 && sd != 28)
        --week;
    // GnuCash counts weekdays Monday 1 .. Sunday 7, as Qt does.
    int matchday = 7 * week + (nd - next.dayOfWeek() + start.dayOfWeek() + 7) % 7;
    const int dim = next.daysInMonth();
    if (dim - matchday >= 7 && period == LastWeekdayP)
        matchday += 7;
    if (period == NthWeekdayP && matchday % 7 == 0)
        matchday += 7;
    return matchday - nd;
}

// The first date of the recurrence after `ref`: one period on from ref, then
// back to the start date's phase.
QDate nextInstance(const Recurrence &r, const QDate &ref)
{
    const int pt = r.period;
    QDate adjustedStart = r.start;
    weekendAdjust(pt, r.adjust, adjustedStart);
    if (ref < adjustedStart)
        return adjustedStart;
    QDate next = ref;
    int mult = r.mult;
    const bool monthly = pt == YearP || pt == MonthP || pt == EndOfMonthP;
    switch (pt) {
    case YearP:
    case MonthP:
    case NthWeekdayP:
    case LastWeekdayP:
    case EndOfMonthP: {
        if (pt == YearP)
            mult *= 12;
        if (r.adjust == Back && monthly && next.dayOfWeek() >= Qt::Saturday)
            next = next.addDays(next.dayOfWeek() == Qt::Saturday ? -1 : -2);
        if (r.adjust == Back && monthly && next.dayOfWeek() == Qt::Friday) {
            const QDate sat = next.addDays(1), sun = next.addDays(2);
            if (pt == EndOfMonthP) {
                next = next.addMonths(
                    lastOfMonth(next) || lastOfMonth(sat) || lastOfMonth(sun) ? mult : mult - 1);
            } else if (sat.day() == r.start.day()) {
                next = next.addDays(1).addMonths(mult);
            } else if (sun.day() == r.start.day()) {
                next = next.addDays(2).addMonths(mult);
            } else if (next.day() >= r.start.day() || lastOfMonth(next)) {
                next = next.addMonths(mult);
            } else if (lastOfMonth(sat)) {
                next = next.addDays(1).addMonths(mult);
            } else if (lastOfMonth(sun)) {
                next = next.addDays(2).addMonths(mult);
            } else {
                next = next.addMonths(mult - 1);
            }
        } else if (lastOfMonth(next)
            || ((pt == MonthP || pt == YearP) && next.day() >= r.start.day())
            || ((pt == NthWeekdayP || pt == LastWeekdayP)
                && nthWeekdayOffset(r.start, next, pt) <= 0)) {
            next = next.addMonths(mult);
        } else {
            next = next.addMonths(mult - 1);
        }
        // Back to the start's phase: whole periods of months from the start.
        const int months = 12 * (next.year() - r.start.year()) + (next.month() - r.start.month());
        next = next.addMonths(-(((months % mult) + mult) % mult));
        const int dim = next.daysInMonth();
        if (pt == LastWeekdayP || pt == NthWeekdayP)
            next = next.addDays(nthWeekdayOffset(r.start, next, pt));
        else if (pt == EndOfMonthP || r.start.day() >= dim)
            next = QDate(next.year(), next.month(), dim);
        else
            next = QDate(next.year(), next.month(), r.start.day());
        weekendAdjust(pt, r.adjust, next);
        return next;
    }
    case WeekP:
    case DayP: {
        const qint64 step = pt == WeekP ? 7 * qint64(mult) : mult;
        next = next.addDays(step);
        return next.addDays(-(r.start.daysTo(next) % step));
    }
    default:
        return {};
    }
}

QDate nextOfAll(const QList<Recurrence> &schedule, const QDate &ref)
{
    QDate next;
    for (const Recurrence &r : schedule) {
        const QDate one = nextInstance(r, ref);
        if (one.isValid() && (!next.isValid() || one < next))
            next = one;
    }
    return next;
}

// A credit or debit: the number GnuCash worked out, else a formula that is a
// plain number. Empty text is nothing; unreadable gives false.
bool side(const QString &numeric, const QString &formula, Money &value)
{
    if (!formula.trimmed().isEmpty()) {
        QString plain = formula.trimmed();
        plain.remove(u' ');
        if (const auto m = Money::fromText(plain.toUtf8())) {
            value = *m;
            return true;
        }
        // A formula with variables or operators: the stored number is only
        // what it came to when it was last saved.
        return false;
    }
    if (numeric.isEmpty())
        return true;
    const auto m = BookReaders::fraction(numeric);
    if (m)
        value = *m;
    return bool(m);
}

bool isMoneyAccount(const QString &type)
{
    static const QStringList types = { QStringLiteral("BANK"), QStringLiteral("CASH"),
        QStringLiteral("CREDIT"), QStringLiteral("ASSET"), QStringLiteral("LIABILITY"),
        QStringLiteral("CHECKING"), QStringLiteral("SAVINGS"), QStringLiteral("MONEYMRKT"),
        QStringLiteral("CREDITLINE"), QStringLiteral("RECEIVABLE"), QStringLiteral("PAYABLE") };
    return types.contains(type);
}

// Into a payment account is money coming in; without one, money into an
// income or expense account is money going out.
void takeAmount(SourceSchedule &s, const Template *t, const QHash<QString, Account> &accounts)
{
    if (!t) {
        s.problem = BookReaders::tr("Its template transaction is missing.");
        return;
    }
    std::optional<Money> payment;
    Money categories;
    QStringList categoryNames, paymentNames;
    for (const TemplateSplit &split : t->splits) {
        Money credit, debit;
        if (!side(split.credit, split.creditFormula, credit)
            || !side(split.debit, split.debitFormula, debit)) {
            s.problem
                = BookReaders::tr("Its amount is a formula (%1) that only GnuCash can work out.")
                      .arg(split.creditFormula + split.debitFormula);
            return;
        }
        const Account account = accounts.value(split.account);
        if (isMoneyAccount(account.type)) {
            if (!payment)
                payment = debit - credit;
            paymentNames << account.name;
        } else {
            categories -= debit - credit;
            categoryNames << account.name;
        }
    }
    s.amount = payment ? *payment : categories;
    QStringList note;
    if (!categoryNames.isEmpty())
        note << BookReaders::tr("Category: %1").arg(categoryNames.join(QLatin1String(", ")));
    if (!paymentNames.isEmpty())
        note << BookReaders::tr("Account: %1").arg(paymentNames.join(QLatin1String(", ")));
    s.note = note.join(QLatin1String("; "));
}

QString ruleText(const QList<Recurrence> &schedule)
{
    static const char *const once[] = { "once", "every day", "every week", "every month",
        "every month on its last day", "every month on the same weekday of the same week",
        "every month on its last such weekday", "every year" };
    static const char *const many[] = { "once", "every %1 days", "every %1 weeks",
        "every %1 months", "every %1 months on the last day",
        "every %1 months on the same weekday of the same week",
        "every %1 months on the last such weekday", "every %1 years" };
    QStringList parts;
    for (const Recurrence &r : schedule) {
        QString text = r.mult == 1 || r.period == OnceP
            ? BookReaders::tr(once[r.period])
            : BookReaders::tr(many[r.period]).arg(r.mult);
        text += (r.period == OnceP ? BookReaders::tr(" on %1") : BookReaders::tr(" from %1"))
                    .arg(r.start.toString(Qt::ISODate));
        if (r.adjust == Back)
            text += BookReaders::tr(", weekend dates moved back to the Friday");
        else if (r.adjust == Forward)
            text += BookReaders::tr(", weekend dates moved on to the Monday");
        parts << text;
    }
    return parts.join(QLatin1String("; "));
}

void takeDates(SourceSchedule &s, const Sx &sx)
{
    s.recurrenceText = ruleText(sx.schedule);
    if (sx.schedule.size() == 1 && sx.schedule.first().adjust == NoAdjust) {
        const Recurrence &r = sx.schedule.first();
        static const QHash<int, QString> units = { { OnceP, QStringLiteral("One Time") },
            { DayP, QStringLiteral("Days") }, { WeekP, QStringLiteral("Weeks") },
            { MonthP, QStringLiteral("Months") }, { YearP, QStringLiteral("Years") } };
        s.units = units.value(r.period);
        s.frequency = s.units.isEmpty() || r.period == OnceP ? 0 : r.mult;
    }
    // Before the first date, GnuCash counts from the day before the start.
    QDate previous = sx.last.isValid() ? sx.last : sx.start.addDays(-1);
    if (!previous.isValid() || sx.schedule.isEmpty()) {
        s.problem = BookReaders::tr("Its dates cannot be read.");
        return;
    }
    BookReaders::walkDates(
        s,
        [&] {
            const QDate next = nextOfAll(sx.schedule, previous);
            if (next.isValid())
                previous = next;
            return next;
        },
        sx.remaining, sx.end);
    if (s.occurrences.isEmpty())
        s.problem = BookReaders::tr("It has no more dates due.");
}
} // namespace

int periodOf(const QString &name)
{
    static const QHash<QString, int> names = { { QStringLiteral("once"), OnceP },
        { QStringLiteral("day"), DayP }, { QStringLiteral("week"), WeekP },
        { QStringLiteral("month"), MonthP }, { QStringLiteral("end of month"), EndOfMonthP },
        { QStringLiteral("nth weekday"), NthWeekdayP },
        { QStringLiteral("last weekday"), LastWeekdayP }, { QStringLiteral("year"), YearP } };
    return names.value(name.trimmed(), -1);
}

int adjustOf(const QString &name)
{
    const QString n = name.trimmed();
    return n == u"back" ? Back : n == u"forward" ? Forward : NoAdjust;
}

void addRecurrence(Sx &sx, Recurrence r)
{
    if (r.period == OnceP)
        r.mult = 1;
    // The n-th weekday of a fifth week is the last one.
    if (r.period == NthWeekdayP && r.start.isValid() && (r.start.day() - 1) / 7 == 4)
        r.period = LastWeekdayP;
    if (r.period < 0 || r.mult < 1 || r.mult > 9999 || !r.start.isValid())
        sx.problem = BookReaders::tr("Its recurrence cannot be read.");
    // GnuCash's editor makes at most one recurrence a weekday or a day.
    else if (sx.schedule.size() == 31)
        sx.problem = BookReaders::tr("It has more recurrences than GnuCash makes.");
    else
        sx.schedule.append(r);
}

SourceBook schedules(const Book &book, const QString &name)
{
    SourceBook out;
    out.format = QStringLiteral("GnuCash");
    for (const Sx &sx : book.schedules) {
        SourceSchedule s;
        s.record = sx.record;
        const auto it = book.templates.constFind(sx.templateAccount);
        const Template *t = it == book.templates.constEnd() ? nullptr : &*it;
        s.description = t && !t->description.isEmpty() ? t->description : sx.name;
        takeAmount(s, t, book.accounts);
        if (!sx.name.isEmpty() && sx.name != s.description)
            s.note = s.note.isEmpty() ? sx.name : sx.name + QLatin1String("; ") + s.note;
        if (!sx.enabled)
            s.note += (s.note.isEmpty() ? QString() : QStringLiteral("; "))
                + BookReaders::tr("turned off in GnuCash");
        const QString amountProblem = s.problem;
        if (!sx.problem.isEmpty())
            s.problem = sx.problem;
        else
            takeDates(s, sx);
        if (!amountProblem.isEmpty())
            s.problem = amountProblem;
        out.schedules.append(s);
    }
    if (out.schedules.isEmpty())
        out.error = BookReaders::noSchedules(name);
    return out;
}
} // namespace GnuCash
