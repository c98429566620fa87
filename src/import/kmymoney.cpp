// KMyMoney (.kmy): the SCHEDULES section. A schedule's transaction carries
// the next due date; the split of its payment account gives amount and sign.
#include "bookreaders.h"

#include <QHash>

namespace {
// KMyMoney's occurrence codes; compound ones stand for a base and a multiplier.
enum Occurrence {
    Once = 1,
    Daily = 2,
    Weekly = 4,
    Fortnightly = 8,
    EveryOtherWeek = 16,
    EveryHalfMonth = 18,
    EveryThreeWeeks = 20,
    EveryThirtyDays = 30,
    Monthly = 32,
    EveryFourWeeks = 64,
    EveryEightWeeks = 126,
    EveryOtherMonth = 128,
    EveryThreeMonths = 256,
    TwiceYearly = 1024,
    EveryOtherYear = 2048,
    Quarterly = 4096,
    EveryFourMonths = 8192,
    Yearly = 16384
};
enum WeekendOption { MoveBefore = 0, MoveAfter = 1, MoveNothing = 2 };
// Account types that are no payment account.
constexpr int incomeType = 12, expenseType = 13, equityType = 16;

struct Split
{
    QString payee, account;
    QString value;
};

struct Scheduled
{
    int record = 0;
    QXmlStreamAttributes attributes;
    QDate postDate;
    QList<Split> splits;
};

struct Account
{
    QString name;
    int type = 0;
};

// The base occurrence and its multiplier for an occurrence code.
bool baseOf(int code, int &base, int &multiplier)
{
    static const QHash<int, std::pair<int, int>> compound = {
        { Fortnightly, { Weekly, 2 } },
        { EveryOtherWeek, { Weekly, 2 } },
        { EveryThreeWeeks, { Weekly, 3 } },
        { EveryFourWeeks, { Weekly, 4 } },
        { EveryThirtyDays, { Daily, 30 } },
        { EveryEightWeeks, { Weekly, 8 } },
        { EveryOtherMonth, { Monthly, 2 } },
        { EveryThreeMonths, { Monthly, 3 } },
        { Quarterly, { Monthly, 3 } },
        { EveryFourMonths, { Monthly, 4 } },
        { TwiceYearly, { Monthly, 6 } },
        { EveryOtherYear, { Yearly, 2 } },
    };
    if (const auto it = compound.constFind(code); it != compound.constEnd()) {
        base = it->first;
        multiplier *= it->second;
        return true;
    }
    base = code;
    return code == Once || code == Daily || code == Weekly || code == EveryHalfMonth
        || code == Monthly || code == Yearly;
}

// KMyMoney's half month: the 1st..12th go to the 16th..27th and back, later
// days alternate between the middle and the end of the month.
QDate addHalfMonths(QDate date, int mult)
{
    int d = date.day();
    if (d <= 12)
        return mult % 2 == 0 ? date.addMonths(mult >> 1) : date.addMonths(mult >> 1).addDays(15);
    for (int i = 0; i < mult; ++i) {
        const int dm = date.daysInMonth();
        if (d <= 13)
            date = date.addDays(15);
        else if (d == 14)
            date = date.addDays(dm < 30 ? dm - d : 15);
        else if (d == 15)
            date = date.addDays(dm - d);
        else if (d == dm)
            date = date.addDays(15 - d).addMonths(1);
        else
            date = date.addDays(-15).addMonths(1);
        d = date.day();
    }
    return date;
}

// Off a weekend to the processing day before or after.
QDate adjusted(QDate date, int option)
{
    if (!date.isValid() || option == MoveNothing)
        return date;
    while (date.dayOfWeek() >= Qt::Saturday)
        date = date.addDays(option == MoveBefore ? -1 : 1);
    return date;
}

QString ruleText(int base, int mult, int option, bool lastDay)
{
    QString text;
    switch (base) {
    case Once:
        text = BookReaders::tr("once");
        break;
    case Daily:
        text = BookReaders::tr("every %1 day(s)").arg(mult);
        break;
    case Weekly:
        text = BookReaders::tr("every %1 week(s)").arg(mult);
        break;
    case EveryHalfMonth:
        text = BookReaders::tr("every %1 half month(s)").arg(mult);
        break;
    case Monthly:
        text = BookReaders::tr("every %1 month(s)").arg(mult);
        break;
    default:
        text = BookReaders::tr("every %1 year(s)").arg(mult);
        break;
    }
    if (lastDay)
        text += BookReaders::tr(", on the last day of the month");
    if (option == MoveBefore)
        text += BookReaders::tr(", weekend dates moved to the working day before");
    else if (option == MoveAfter)
        text += BookReaders::tr(", weekend dates moved to the working day after");
    return text;
}

void takeAmount(SourceSchedule &s, const Scheduled &sx, const QHash<QString, Account> &accounts)
{
    QStringList categories;
    const Split *payment = nullptr;
    for (const Split &split : sx.splits) {
        const Account account = accounts.value(split.account);
        if (account.type == incomeType || account.type == expenseType)
            categories << account.name;
        else if (!payment && account.type != equityType)
            payment = &split;
    }
    QStringList note;
    if (!categories.isEmpty())
        note << BookReaders::tr("Category: %1").arg(categories.join(QLatin1String(", ")));
    if (payment)
        note << BookReaders::tr("Account: %1").arg(accounts.value(payment->account).name);
    s.note = note.join(QLatin1String("; "));
    if (!payment) {
        s.problem = BookReaders::tr("It has no payment account to take the amount from.");
        return;
    }
    s.amount = BookReaders::fraction(payment->value);
    if (!s.amount)
        s.problem = BookReaders::tr("The amount \"%1\" cannot be read.").arg(payment->value);
}

void takeDates(SourceSchedule &s, const Scheduled &sx)
{
    const auto &a = sx.attributes;
    int multiplier = qBound(1, a.value(QLatin1String("occurenceMultiplier")).toInt(), 999);
    int base = 0;
    if (!baseOf(a.value(QLatin1String("occurence")).toInt(), base, multiplier)) {
        s.problem = BookReaders::tr("Its occurrence (%1) is not one KMyMoney offers.")
                        .arg(a.value(QLatin1String("occurence")).toString());
        return;
    }
    const int option = a.hasAttribute(QLatin1String("weekendOption"))
        ? a.value(QLatin1String("weekendOption")).toInt()
        : int(MoveNothing);
    const bool lastDay = a.value(QLatin1String("lastDayInMonth")).toInt() != 0
        && (base == Monthly || base == Yearly);
    const QDate start
        = QDate::fromString(a.value(QLatin1String("startDate")).toString(), Qt::ISODate);
    const QDate end = QDate::fromString(a.value(QLatin1String("endDate")).toString(), Qt::ISODate);
    const QDate lastPayment
        = QDate::fromString(a.value(QLatin1String("lastPayment")).toString(), Qt::ISODate);
    s.recurrenceText = ruleText(base, multiplier, option, lastDay);
    if (option == MoveNothing && !lastDay) {
        static const QHash<int, QString> units = { { Once, QStringLiteral("One Time") },
            { Daily, QStringLiteral("Days") }, { Weekly, QStringLiteral("Weeks") },
            { EveryHalfMonth, QStringLiteral("Half Months") },
            { Monthly, QStringLiteral("Months") }, { Yearly, QStringLiteral("Years") } };
        s.units = units.value(base);
        s.frequency = base == Once ? 0 : multiplier;
    }
    const bool finished = lastPayment.isValid()
        && (base == Once
            || (end.isValid()
                && (lastPayment >= end || !sx.postDate.isValid() || sx.postDate > end)));
    s.nextDue = sx.postDate;
    if (!sx.postDate.isValid() || finished) {
        s.problem = BookReaders::tr("It has no more dates due.");
        return;
    }
    // A month or year step keeps the start date's day where the month has it.
    const auto fixDay = [&](QDate date) {
        if (start.isValid() && date.day() != start.day()
            && QDate::isValid(date.year(), date.month(), start.day()))
            date = QDate(date.year(), date.month(), start.day());
        return date;
    };
    QDate due;
    BookReaders::walkDates(
        s,
        [&]() -> QDate {
            if (!due.isValid())
                due = sx.postDate;
            else if (base == Once)
                return {};
            else if (base == Daily)
                due = due.addDays(multiplier);
            else if (base == Weekly)
                due = due.addDays(7 * qint64(multiplier));
            else if (base == EveryHalfMonth)
                due = addHalfMonths(due, multiplier);
            else if (base == Monthly)
                due = fixDay(due.addMonths(multiplier));
            else
                due = fixDay(due.addYears(multiplier));
            const QDate shown = lastDay ? QDate(due.year(), due.month(), due.daysInMonth()) : due;
            return adjusted(shown, option);
        },
        -1, adjusted(end, option));
    s.endDate = end;
    if (s.occurrences.isEmpty())
        s.problem = BookReaders::tr("It has no more dates due.");
}

Scheduled readScheduled(QXmlStreamReader &xml, int record)
{
    Scheduled sx;
    sx.record = record;
    sx.attributes = xml.attributes();
    while (xml.readNextStartElement()) {
        if (xml.name() != u"TRANSACTION") {
            xml.skipCurrentElement();
            continue;
        }
        sx.postDate = QDate::fromString(
            xml.attributes().value(QLatin1String("postdate")).toString(), Qt::ISODate);
        while (xml.readNextStartElement()) {
            if (xml.name() != u"SPLITS") {
                xml.skipCurrentElement();
                continue;
            }
            while (xml.readNextStartElement()) {
                if (xml.name() == u"SPLIT") {
                    const auto a = xml.attributes();
                    sx.splits.append({ a.value(QLatin1String("payee")).toString(),
                        a.value(QLatin1String("account")).toString(),
                        a.value(QLatin1String("value")).toString() });
                }
                xml.skipCurrentElement();
            }
        }
    }
    return sx;
}
} // namespace

namespace BookReaders {
SourceBook readKMyMoney(const QByteArray &bytes, const QString &name, const ReadProgress &progress)
{
    SourceBook book;
    book.format = QStringLiteral("KMyMoney");
    QXmlStreamReader xml(bytes);
    QHash<QString, QString> payees;
    QHash<QString, Account> accounts;
    QList<Scheduled> schedules;
    qint64 elements = 0;
    bool cancelled = false;
    while (!xml.atEnd() && !cancelled) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto element = xml.name();
        const auto a = xml.attributes();
        if (element == u"PAYEE") {
            payees.insert(
                a.value(QLatin1String("id")).toString(), a.value(QLatin1String("name")).toString());
        } else if (element == u"ACCOUNT") {
            accounts.insert(a.value(QLatin1String("id")).toString(),
                { a.value(QLatin1String("name")).toString(),
                    a.value(QLatin1String("type")).toInt() });
        } else if (element == u"SCHEDULED_TX") {
            schedules.append(readScheduled(xml, int(schedules.size()) + 1));
        } else if (element == u"TRANSACTIONS") {
            // The ledger is no concern of the import; skipping it keeps the
            // reader quick.
            xml.skipCurrentElement();
        }
        if (++elements % 512 == 0)
            cancelled = !keepGoing(xml, bytes.size(), progress);
    }
    book.error = xmlError(xml, name, cancelled);
    if (!book.error.isEmpty())
        return book;
    for (const Scheduled &sx : schedules) {
        SourceSchedule s;
        s.record = sx.record;
        const QString scheduleName = sx.attributes.value(QLatin1String("name")).toString();
        for (const Split &split : sx.splits) {
            if (!split.payee.isEmpty() && s.description.isEmpty())
                s.description = payees.value(split.payee);
        }
        if (s.description.isEmpty())
            s.description = scheduleName;
        takeAmount(s, sx, accounts);
        if (!scheduleName.isEmpty() && scheduleName != s.description)
            s.note = s.note.isEmpty() ? scheduleName : scheduleName + QLatin1String("; ") + s.note;
        const QString amountProblem = s.problem;
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
