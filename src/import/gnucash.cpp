// GnuCash XML books: scheduled transactions ("gnc:schedxaction") with their
// recurrences, and the template transactions whose splits carry the amounts
// in "sched-xaction" slots (a credit and a debit, as a formula and a number).
#include "bookreaders.h"

#include <QHash>

namespace {
enum Period { OnceP, DayP, WeekP, MonthP, EndOfMonthP, NthWeekdayP, LastWeekdayP, YearP };
enum Adjust { NoAdjust, Back, Forward };

struct Recurrence
{
    int mult = 1;
    int period = MonthP;
    QDate start;
    int adjust = NoAdjust;
};

struct Sx
{
    int record = 0;
    QString name, templateAccount;
    bool enabled = true;
    QDate start, last, end;
    qint64 remaining = -1;
    QList<Recurrence> schedule;
    QString problem;
};

struct TemplateSplit
{
    QString templateAccount, account;
    QString credit, debit, creditFormula, debitFormula;
};

struct Template
{
    QString description;
    QList<TemplateSplit> splits;
};

struct Account
{
    QString name, type;
};

QDate gdate(QXmlStreamReader &xml)
{
    QDate date;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"gdate")
            date = QDate::fromString(xml.readElementText().trimmed(), Qt::ISODate);
        else
            xml.skipCurrentElement();
    }
    return date;
}

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

// ---- reading --------------------------------------------------------------

const QHash<QString, int> &periods()
{
    static const QHash<QString, int> names = { { QStringLiteral("once"), OnceP },
        { QStringLiteral("day"), DayP }, { QStringLiteral("week"), WeekP },
        { QStringLiteral("month"), MonthP }, { QStringLiteral("end of month"), EndOfMonthP },
        { QStringLiteral("nth weekday"), NthWeekdayP },
        { QStringLiteral("last weekday"), LastWeekdayP }, { QStringLiteral("year"), YearP } };
    return names;
}

bool readRecurrence(QXmlStreamReader &xml, Recurrence &r)
{
    QString period;
    while (xml.readNextStartElement()) {
        const auto n = xml.name();
        if (n == u"mult")
            r.mult = xml.readElementText().trimmed().toInt();
        else if (n == u"period_type")
            period = xml.readElementText().trimmed();
        else if (n == u"start")
            r.start = gdate(xml);
        else if (n == u"weekend_adj") {
            const QString adj = xml.readElementText().trimmed();
            r.adjust = adj == u"back" ? Back : adj == u"forward" ? Forward : NoAdjust;
        } else
            xml.skipCurrentElement();
    }
    r.period = periods().value(period, -1);
    if (r.period == OnceP)
        r.mult = 1;
    // The n-th weekday of a fifth week is the last one.
    if (r.period == NthWeekdayP && r.start.isValid() && (r.start.day() - 1) / 7 == 4)
        r.period = LastWeekdayP;
    return r.period >= 0 && r.mult >= 1 && r.mult <= 9999 && r.start.isValid();
}

Sx readSx(QXmlStreamReader &xml, int record)
{
    Sx sx;
    sx.record = record;
    while (xml.readNextStartElement()) {
        const auto n = xml.name();
        if (n == u"name")
            sx.name = xml.readElementText();
        else if (n == u"enabled")
            sx.enabled = xml.readElementText().trimmed() != u"n";
        else if (n == u"start")
            sx.start = gdate(xml);
        else if (n == u"last")
            sx.last = gdate(xml);
        else if (n == u"end")
            sx.end = gdate(xml);
        else if (n == u"rem-occur")
            sx.remaining = qMax(0, xml.readElementText().trimmed().toInt());
        else if (n == u"templ-acct")
            sx.templateAccount = xml.readElementText().trimmed();
        else if (n == u"schedule") {
            while (xml.readNextStartElement()) {
                Recurrence r;
                if (xml.name() != u"recurrence")
                    xml.skipCurrentElement();
                else if (!readRecurrence(xml, r))
                    sx.problem = BookReaders::tr("Its recurrence cannot be read.");
                // GnuCash's editor makes at most one recurrence a weekday or a day.
                else if (sx.schedule.size() == 31)
                    sx.problem = BookReaders::tr("It has more recurrences than GnuCash makes.");
                else
                    sx.schedule.append(r);
            }
        } else
            xml.skipCurrentElement();
    }
    return sx;
}

// Slots nest in frames; their values are kept under "frame/key" paths.
void readSlots(
    QXmlStreamReader &xml, const QString &prefix, QHash<QString, QString> &values, int depth)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != u"slot" || depth > 16) {
            xml.skipCurrentElement();
            continue;
        }
        QString key;
        while (xml.readNextStartElement()) {
            if (xml.name() == u"key") {
                key = prefix + xml.readElementText().trimmed();
            } else if (xml.name() == u"value"
                && xml.attributes().value(QLatin1String("type")) == u"frame") {
                readSlots(xml, key + u'/', values, depth + 1);
            } else if (xml.name() == u"value") {
                values.insert(
                    key, xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
            } else {
                xml.skipCurrentElement();
            }
        }
    }
}

TemplateSplit readSplit(QXmlStreamReader &xml)
{
    TemplateSplit split;
    QHash<QString, QString> slots;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"account")
            split.templateAccount = xml.readElementText().trimmed();
        else if (xml.name() == u"slots")
            readSlots(xml, QString(), slots, 0);
        else
            xml.skipCurrentElement();
    }
    split.account = slots.value(QStringLiteral("sched-xaction/account"));
    split.credit = slots.value(QStringLiteral("sched-xaction/credit-numeric"));
    split.debit = slots.value(QStringLiteral("sched-xaction/debit-numeric"));
    split.creditFormula = slots.value(QStringLiteral("sched-xaction/credit-formula"));
    split.debitFormula = slots.value(QStringLiteral("sched-xaction/debit-formula"));
    return split;
}

Template readTransaction(QXmlStreamReader &xml)
{
    Template t;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"description") {
            t.description = xml.readElementText();
        } else if (xml.name() == u"splits") {
            while (xml.readNextStartElement()) {
                if (xml.name() == u"split")
                    t.splits.append(readSplit(xml));
                else
                    xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    return t;
}

Account readAccount(QXmlStreamReader &xml, QString &id)
{
    Account account;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"name")
            account.name = xml.readElementText();
        else if (xml.name() == u"id")
            id = xml.readElementText().trimmed();
        else if (xml.name() == u"type")
            account.type = xml.readElementText().trimmed();
        else
            xml.skipCurrentElement();
    }
    return account;
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

namespace BookReaders {
SourceBook readGnuCash(const QByteArray &bytes, const QString &name, const ReadProgress &progress)
{
    SourceBook book;
    book.format = QStringLiteral("GnuCash");
    QXmlStreamReader xml(bytes);
    QHash<QString, Account> accounts;
    QHash<QString, Template> templates;
    QList<Sx> schedules;
    int templateDepth = -1;
    int depth = 0;
    qint64 elements = 0;
    bool cancelled = false;
    while (!xml.atEnd() && !cancelled) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (--depth < templateDepth)
                templateDepth = -1;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto element = xml.qualifiedName();
        if (element == u"gnc:account") {
            QString id;
            const Account account = readAccount(xml, id);
            accounts.insert(id, account);
        } else if (element == u"gnc:schedxaction") {
            schedules.append(readSx(xml, int(schedules.size()) + 1));
        } else if (element == u"gnc:transaction" && templateDepth >= 0) {
            Template t = readTransaction(xml);
            if (!t.splits.isEmpty())
                templates.insert(t.splits.first().templateAccount, t);
        } else if (element == u"gnc:transaction") {
            xml.skipCurrentElement();
        } else {
            if (element == u"gnc:template-transactions")
                templateDepth = depth + 1;
            ++depth;
        }
        if (++elements % 512 == 0)
            cancelled = !keepGoing(xml, bytes.size(), progress);
    }
    book.error = xmlError(xml, name, cancelled);
    if (!book.error.isEmpty())
        return book;
    for (const Sx &sx : schedules) {
        SourceSchedule s;
        s.record = sx.record;
        const auto it = templates.constFind(sx.templateAccount);
        const Template *t = it == templates.constEnd() ? nullptr : &*it;
        s.description = t && !t->description.isEmpty() ? t->description : sx.name;
        takeAmount(s, t, accounts);
        if (!sx.name.isEmpty() && sx.name != s.description)
            s.note = s.note.isEmpty() ? sx.name : sx.name + QLatin1String("; ") + s.note;
        if (!sx.enabled)
            s.note += (s.note.isEmpty() ? QString() : QStringLiteral("; "))
                + tr("turned off in GnuCash");
        const QString amountProblem = s.problem;
        if (!sx.problem.isEmpty())
            s.problem = sx.problem;
        else
            takeDates(s, sx);
        if (!amountProblem.isEmpty())
            s.problem = amountProblem;
        book.schedules.append(s);
    }
    if (book.schedules.isEmpty())
        book.error = noSchedules(name);
    return book;
}
} // namespace BookReaders
