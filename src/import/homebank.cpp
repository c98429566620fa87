// HomeBank (.xhb): the scheduled transactions are the templates ("fav")
// flagged as scheduled, with a next date, a period and how the weekend moves
// the date the transaction is written on.
#include "bookreaders.h"

#include <QHash>

namespace {
// How HomeBank marks a template as scheduled and limited: in its flags up to
// 5.8, in "recflg" since (where a relative rule, "the 2nd Tuesday", came too).
constexpr int scheduledFlag = 1 << 2;
constexpr int limitFlag = 1 << 7;
constexpr int recurring = 1 << 0, limited = 1 << 1, relative = 1 << 2;

int recurrenceFlags(const QXmlStreamAttributes &a)
{
    if (a.hasAttribute(QLatin1String("recflg")))
        return a.value(QLatin1String("recflg")).toInt();
    const int flags = a.value(QLatin1String("flags")).toInt();
    return ((flags & scheduledFlag) ? recurring : 0) | ((flags & limitFlag) ? limited : 0);
}

enum Unit { Day, Week, Month, Year };
enum Weekend { Possible, Before, After, Skip };

// HomeBank counts days from 1 January of the year 1 (that day is 1).
QDate fromJulian(qint64 day)
{
    if (day <= 0 || day > 10000000)
        return {};
    return QDate::fromJulianDay(day + 1721425);
}

struct Template
{
    int record = 0;
    QXmlStreamAttributes attributes;
};

struct Names
{
    QHash<QString, QString> payees, accounts, categories;
    QHash<QString, QString> parents;

    QString category(const QString &key) const
    {
        const QString name = categories.value(key);
        const QString parent = categories.value(parents.value(key));
        return parent.isEmpty() ? name : parent + u':' + name;
    }
};

// The date after `date`: the period added, a Saturday or Sunday moved to the
// Monday when weekends are skipped, and the days a short month took given
// back on the next month (so the 31st comes back after February).
QDate advance(const QDate &date, int every, int unit, int weekend, int &dayGap)
{
    int lastDay = date.day();
    QDate next = date;
    switch (unit) {
    case Day:
        next = date.addDays(every);
        break;
    case Week:
        next = date.addDays(7 * qint64(every));
        break;
    case Month:
        next = date.addMonths(every);
        break;
    default:
        next = date.addYears(every);
        break;
    }
    if (weekend == Skip && next.dayOfWeek() >= Qt::Saturday)
        next = next.addDays(next.dayOfWeek() == Qt::Saturday ? 2 : 1);
    if (unit == Month || unit == Year) {
        if (lastDay >= 28) {
            if (dayGap > 0) {
                next = next.addDays(dayGap);
                lastDay += dayGap;
            }
            dayGap = qBound(0, lastDay - next.day(), 3);
        } else {
            dayGap = 0;
        }
    }
    return next;
}

// The date the transaction is written on: moved off a weekend before or after.
QDate postDate(const QDate &date, int weekend)
{
    const int day = date.dayOfWeek();
    if (day < Qt::Saturday)
        return date;
    if (weekend == Before)
        return date.addDays(-(day - Qt::Friday));
    if (weekend == After)
        return date.addDays(8 - day);
    return date;
}

QString ruleText(int every, int unit, int weekend)
{
    static const char *const units[] = { "day", "week", "month", "year" };
    QString text = every == 1
        ? BookReaders::tr("every %1").arg(QLatin1String(units[unit]))
        : BookReaders::tr("every %1 %2s").arg(every).arg(QLatin1String(units[unit]));
    if (weekend == Before)
        text += BookReaders::tr(", weekend dates moved to the Friday before");
    else if (weekend == After)
        text += BookReaders::tr(", weekend dates moved to the Monday after");
    else if (weekend == Skip)
        text += BookReaders::tr(", skipping weekends");
    return text;
}

SourceSchedule schedule(const Template &fav, const Names &names)
{
    const auto &a = fav.attributes;
    SourceSchedule s;
    s.record = fav.record;
    const QString memo = a.hasAttribute(QLatin1String("wording"))
        ? a.value(QLatin1String("wording")).toString()
        : a.value(QLatin1String("memo")).toString();
    s.description = names.payees.value(a.value(QLatin1String("payee")).toString());
    if (s.description.isEmpty())
        s.description = memo;
    QStringList note;
    const QString category = names.category(a.value(QLatin1String("category")).toString());
    if (!category.isEmpty())
        note << BookReaders::tr("Category: %1").arg(category);
    const QString account = names.accounts.value(a.value(QLatin1String("account")).toString());
    if (!account.isEmpty())
        note << BookReaders::tr("Account: %1").arg(account);
    if (!memo.isEmpty() && memo != s.description)
        note << memo;
    s.note = note.join(QLatin1String("; "));

    s.amount = Money::fromText(a.value(QLatin1String("amount")).toUtf8());
    if (!s.amount)
        s.problem = BookReaders::tr("The amount \"%1\" is not a number.")
                        .arg(a.value(QLatin1String("amount")).toString());

    const int every = a.value(QLatin1String("every")).toInt();
    const int unit = a.value(QLatin1String("unit")).toInt();
    const int weekend = a.value(QLatin1String("weekend")).toInt();
    const QDate next = fromJulian(a.value(QLatin1String("nextdate")).toLongLong());
    if (!next.isValid() || every < 1 || every > 9999 || unit < Day || unit > Year) {
        s.problem = BookReaders::tr("Its next date or period cannot be read.");
        return s;
    }
    s.recurrenceText = ruleText(every, unit, weekend);
    if (weekend == Possible) {
        static const char *const units[] = { "Days", "Weeks", "Months", "Years" };
        s.frequency = every;
        s.units = QLatin1String(units[unit]);
    }
    const int flags = recurrenceFlags(a);
    if (flags & relative) {
        s.units.clear();
        s.frequency = 0;
        s.nextDue = next;
        s.problem = BookReaders::tr("Its rule (a weekday of the month) is not one Duesmith can "
                                    "follow.");
        return s;
    }
    const qint64 remaining
        = (flags & limited) ? qMax(0, a.value(QLatin1String("limit")).toInt()) : -1;
    int dayGap
        = a.value(QLatin1String(a.hasAttribute(QLatin1String("gap")) ? "gap" : "daygap")).toInt();
    QDate date;
    BookReaders::walkDates(
        s,
        [&] {
            date = date.isValid() ? advance(date, every, unit, weekend, dayGap) : next;
            return postDate(date, weekend);
        },
        remaining);
    if (s.occurrences.isEmpty()) {
        s.nextDue = next;
        s.problem = BookReaders::tr("It has no more dates due.");
    }
    return s;
}
} // namespace

namespace BookReaders {
SourceBook readHomeBank(const QByteArray &bytes, const QString &name, const ReadProgress &progress)
{
    SourceBook book;
    book.format = QStringLiteral("HomeBank");
    QXmlStreamReader xml(bytes);
    Names names;
    QList<Template> templates;
    int record = 0;
    qint64 elements = 0;
    bool cancelled = false;
    while (!xml.atEnd() && !cancelled) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto element = xml.name();
        const auto a = xml.attributes();
        const QString key = a.value(QLatin1String("key")).toString();
        if (element == u"pay") {
            names.payees.insert(key, a.value(QLatin1String("name")).toString());
        } else if (element == u"account") {
            names.accounts.insert(key, a.value(QLatin1String("name")).toString());
        } else if (element == u"cat") {
            names.categories.insert(key, a.value(QLatin1String("name")).toString());
            names.parents.insert(key, a.value(QLatin1String("parent")).toString());
        } else if (element == u"fav") {
            ++record;
            if (recurrenceFlags(a) & recurring)
                templates.append({ record, a });
        }
        if (++elements % 512 == 0)
            cancelled = !keepGoing(xml, bytes.size(), progress);
    }
    book.error = xmlError(xml, name, cancelled);
    if (!book.error.isEmpty())
        return book;
    for (const Template &fav : templates)
        book.schedules.append(schedule(fav, names));
    if (book.schedules.isEmpty())
        book.error = noSchedules(name);
    return book;
}
} // namespace BookReaders
