// Money Manager Ex (.mmb, SQLite): the BILLSDEPOSITS_V1 table with payee,
// account and category names. The database is opened from memory, read-only:
// the file on disk is never touched.
#include "bookreaders.h"

#include <sqlite3.h>

#include <QHash>

namespace {
// REPEATS is a mode (hundreds: manual, suggested, automated) and a frequency.
enum Freq {
    Once = 0,
    Weekly = 1,
    Fortnightly = 2,
    Monthly = 3,
    TwoMonths = 4,
    Quarterly = 5,
    HalfYearly = 6,
    Yearly = 7,
    FourMonths = 8,
    FourWeeks = 9,
    Daily = 10,
    InXDays = 11,
    InXMonths = 12,
    EveryXDays = 13,
    EveryXMonths = 14,
    LastDay = 15,
    LastBusinessDay = 16
};

QString text(sqlite3_stmt *row, int column)
{
    const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    return chars ? QString::fromUtf8(chars, sqlite3_column_bytes(row, column)) : QString();
}

// The rule as months and days, the way MMEX steps a date (a month step keeps
// the day where the month has it, else the month's last day).
struct Rule
{
    int freq = Once;
    int months = 0;
    int days = 0;
    qint64 remaining = -1;
    QString words;
};

Rule ruleOf(int repeats, qint64 count)
{
    static const QHash<int, std::pair<int, int>> steps
        = { { Weekly, { 0, 7 } }, { Fortnightly, { 0, 14 } }, { Monthly, { 1, 0 } },
              { TwoMonths, { 2, 0 } }, { Quarterly, { 3, 0 } }, { HalfYearly, { 6, 0 } },
              { Yearly, { 12, 0 } }, { FourMonths, { 4, 0 } }, { FourWeeks, { 0, 28 } },
              { Daily, { 0, 1 } }, { LastDay, { 1, 0 } }, { LastBusinessDay, { 1, 0 } } };
    static const char *const words[] = { "once", "weekly", "fortnightly", "monthly",
        "every 2 months", "quarterly", "half-yearly", "yearly", "every 4 months", "every 4 weeks",
        "daily", "in %1 days", "in %1 months", "every %1 days", "every %1 months",
        "monthly on the last day", "monthly on the last business day" };
    Rule rule;
    const int freq = repeats % 100;
    const int mode = repeats / 100;
    const bool hasX = freq >= InXDays && freq <= EveryXMonths;
    if (repeats < 0 || freq > LastBusinessDay || freq == Once)
        rule.freq = Once;
    else if (!hasX && (count > 0 || count == -1)) {
        rule.freq = freq;
        rule.remaining = count;
    } else if (hasX && count > 0 && count <= 100000) {
        rule.freq = freq;
    }
    // Anything else MMEX itself takes as a single date.
    if (rule.freq == InXDays || rule.freq == EveryXDays)
        rule.days = int(count);
    else if (rule.freq == InXMonths || rule.freq == EveryXMonths)
        rule.months = int(count);
    else if (const auto it = steps.constFind(rule.freq); it != steps.constEnd()) {
        rule.months = it->first;
        rule.days = it->second;
    }
    // "In x days" is the date and one more x days on.
    if (rule.freq == InXDays || rule.freq == InXMonths)
        rule.remaining = 2;
    if (rule.freq == Once)
        rule.remaining = 1;
    rule.words = BookReaders::tr(words[rule.freq]);
    if (rule.freq >= InXDays && rule.freq <= EveryXMonths)
        rule.words = rule.words.arg(count);
    if (mode == 1)
        rule.words += BookReaders::tr(", suggested");
    else if (mode == 2)
        rule.words += BookReaders::tr(", entered automatically");
    return rule;
}

QDate step(const QDate &date, const Rule &rule)
{
    QDate next = date.addMonths(rule.months).addDays(rule.days);
    if (rule.freq == LastDay || rule.freq == LastBusinessDay)
        next = QDate(next.year(), next.month(), next.daysInMonth());
    if (rule.freq == LastBusinessDay && next.dayOfWeek() >= Qt::Saturday)
        next = next.addDays(Qt::Friday - next.dayOfWeek());
    return next;
}

void takeRule(SourceSchedule &s, const Rule &rule, const QDate &due)
{
    s.recurrenceText = rule.words;
    const QHash<int, std::pair<int, QString>> plain = { { Once, { 0, QStringLiteral("One Time") } },
        { Weekly, { 1, QStringLiteral("Weeks") } }, { Fortnightly, { 2, QStringLiteral("Weeks") } },
        { Monthly, { 1, QStringLiteral("Months") } },
        { TwoMonths, { 2, QStringLiteral("Months") } },
        { Quarterly, { 3, QStringLiteral("Months") } },
        { HalfYearly, { 6, QStringLiteral("Months") } }, { Yearly, { 1, QStringLiteral("Years") } },
        { FourMonths, { 4, QStringLiteral("Months") } },
        { FourWeeks, { 4, QStringLiteral("Weeks") } }, { Daily, { 1, QStringLiteral("Days") } },
        { EveryXDays, { rule.days, QStringLiteral("Days") } },
        { EveryXMonths, { rule.months, QStringLiteral("Months") } } };
    if (const auto it = plain.constFind(rule.freq); it != plain.constEnd()) {
        s.frequency = it->first;
        s.units = it->second;
    }
    QDate date;
    BookReaders::walkDates(
        s,
        [&] {
            date = date.isValid() ? step(date, rule) : due;
            return date;
        },
        rule.remaining);
}

QByteArray query(const BookReaders::SqliteCopy &book)
{
    const bool accounts = book.hasTable("ACCOUNTLIST_V1");
    const bool categories = book.hasTable("CATEGORY_V1");
    QByteArray sql = "SELECT b.BDID, b.TRANSCODE, b.TRANSAMOUNT, b.NEXTOCCURRENCEDATE, b.REPEATS, "
                     "b.NUMOCCURRENCES, b.NOTES, p.PAYEENAME, ";
    sql += accounts ? "a.ACCOUNTNAME, t.ACCOUNTNAME, " : "NULL, NULL, ";
    sql += categories ? "c.CATEGNAME " : "NULL ";
    sql += "FROM BILLSDEPOSITS_V1 b LEFT JOIN PAYEE_V1 p ON p.PAYEEID = b.PAYEEID ";
    if (accounts)
        sql += "LEFT JOIN ACCOUNTLIST_V1 a ON a.ACCOUNTID = b.ACCOUNTID "
               "LEFT JOIN ACCOUNTLIST_V1 t ON t.ACCOUNTID = b.TOACCOUNTID ";
    if (categories)
        sql += "LEFT JOIN CATEGORY_V1 c ON c.CATEGID = b.CATEGID ";
    return sql + "ORDER BY b.BDID";
}

SourceSchedule rowSchedule(sqlite3_stmt *row, int record)
{
    SourceSchedule s;
    s.record = record;
    const QString code = text(row, 1);
    const QString payee = text(row, 7), account = text(row, 8), toAccount = text(row, 9);
    const QString category = text(row, 10), notes = text(row, 6);
    const bool transfer = code == u"Transfer";
    s.description = !payee.isEmpty() ? payee
        : transfer                   ? BookReaders::tr("Transfer to %1").arg(toAccount)
                                     : notes.section(u'\n', 0, 0);
    QStringList note;
    if (!category.isEmpty())
        note << BookReaders::tr("Category: %1").arg(category);
    if (!account.isEmpty())
        note << BookReaders::tr("Account: %1").arg(account);
    if (!notes.isEmpty() && notes != s.description)
        note << notes;
    s.note = note.join(QLatin1String("; "));

    const auto amount = Money::fromSql(sqlite3_column_value(row, 2));
    if (!amount)
        s.problem = BookReaders::tr("Its amount cannot be read.");
    else if (code == u"Deposit")
        s.amount = *amount;
    else if (code == u"Withdrawal" || transfer)
        s.amount = -*amount;
    else
        s.problem = BookReaders::tr("Its kind \"%1\" is neither a withdrawal, a deposit nor a "
                                    "transfer.")
                        .arg(code);

    const QDate due = QDate::fromString(text(row, 3).left(10), Qt::ISODate);
    const qint64 count
        = sqlite3_column_type(row, 5) == SQLITE_NULL ? -1 : sqlite3_column_int64(row, 5);
    if (!due.isValid()) {
        s.problem = BookReaders::tr("Its next date \"%1\" cannot be read.").arg(text(row, 3));
        return s;
    }
    takeRule(s, ruleOf(sqlite3_column_int(row, 4), count), due);
    return s;
}

} // namespace

namespace BookReaders {
SourceBook readMmex(const SqliteCopy &copy, const QString &name, const ReadProgress &progress)
{
    SourceBook book;
    book.format = QStringLiteral("Money Manager Ex");
    const auto damaged = [&] {
        book.schedules.clear();
        book.error = tr("%1 is not a Money Manager Ex database, or it is damaged.").arg(name);
        return book;
    };
    if (!copy.hasTable("PAYEE_V1"))
        return damaged();
    bool cancelled = false;
    const bool done = copy.select(query(copy), [&](sqlite3_stmt *row) {
        book.schedules.append(rowSchedule(row, int(book.schedules.size()) + 1));
        cancelled = progress && book.schedules.size() % 256 == 0 && !progress(500);
        return !cancelled;
    });
    if (cancelled) {
        book.schedules.clear();
        book.error = tr("Reading %1 was cancelled.").arg(name);
        return book;
    }
    if (!done)
        return damaged();
    if (book.schedules.isEmpty())
        book.error = noSchedules(name);
    return book;
}
} // namespace BookReaders
