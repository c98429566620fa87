// GnuCash books saved in SQLite: the same scheduled transactions as in XML,
// in the schedxactions and recurrences tables, with the template splits'
// amounts in slots frames.
#include "gnucashbook.h"

#include <sqlite3.h>

using namespace GnuCash;

namespace {
QString text(sqlite3_stmt *row, int column)
{
    const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    return chars ? QString::fromUtf8(chars, sqlite3_column_bytes(row, column)) : QString();
}

// GnuCash writes dates as "20270131"; older versions as ISO dates.
QDate date(sqlite3_stmt *row, int column)
{
    const QString value = text(row, column).trimmed();
    return value.contains(u'-') ? QDate::fromString(value.left(10), Qt::ISODate)
                                : QDate::fromString(value, QStringLiteral("yyyyMMdd"));
}

bool readSchedules(const BookReaders::SqliteCopy &copy, Book &book)
{
    QHash<QString, int> byGuid;
    const bool sxOk = copy.select("SELECT guid, name, enabled, start_date, end_date, last_occur, "
                                  "num_occur, rem_occur, template_act_guid FROM schedxactions "
                                  "ORDER BY rowid",
        [&](sqlite3_stmt *row) {
            Sx sx;
            sx.record = int(book.schedules.size()) + 1;
            sx.name = text(row, 1);
            sx.enabled = sqlite3_column_int(row, 2) != 0;
            sx.start = date(row, 3);
            sx.end = date(row, 4);
            sx.last = date(row, 5);
            if (sqlite3_column_int64(row, 6) > 0)
                sx.remaining = qMax<qint64>(0, sqlite3_column_int64(row, 7));
            sx.templateAccount = text(row, 8);
            byGuid.insert(text(row, 0), int(book.schedules.size()));
            book.schedules.append(sx);
            return true;
        });
    return sxOk
        && copy.select("SELECT obj_guid, recurrence_mult, recurrence_period_type, "
                       "recurrence_period_start, recurrence_weekend_adjust FROM recurrences "
                       "ORDER BY id",
            [&](sqlite3_stmt *row) {
                const int index = byGuid.value(text(row, 0), -1);
                if (index < 0)
                    return true;
                Recurrence r;
                r.mult = sqlite3_column_int(row, 1);
                r.period = periodOf(text(row, 2));
                r.start = date(row, 3);
                r.adjust = adjustOf(text(row, 4));
                addRecurrence(book.schedules[index], r);
                return true;
            });
}

bool readTemplates(const BookReaders::SqliteCopy &copy, Book &book)
{
    QHash<QString, Template> byTransaction;
    QHash<QString, std::pair<QString, int>> splitAt; // split: its transaction and place
    const QByteArray templateSplits = "SELECT s.guid FROM splits s WHERE s.account_guid IN "
                                      "(SELECT template_act_guid FROM schedxactions)";
    bool ok = copy.select("SELECT s.guid, s.tx_guid, s.account_guid, t.description FROM splits s "
                          "JOIN transactions t ON t.guid = s.tx_guid WHERE s.guid IN ("
            + templateSplits + ") ORDER BY s.rowid",
        [&](sqlite3_stmt *row) {
            Template &t = byTransaction[text(row, 1)];
            t.description = text(row, 3);
            TemplateSplit split;
            split.templateAccount = text(row, 2);
            splitAt.insert(text(row, 0), { text(row, 1), int(t.splits.size()) });
            t.splits.append(split);
            return true;
        });
    ok = ok
        && copy.select("SELECT f.obj_guid, v.name, v.string_val, v.guid_val, v.numeric_val_num, "
                       "v.numeric_val_denom FROM slots f JOIN slots v ON v.obj_guid = f.guid_val "
                       "WHERE f.name = 'sched-xaction' AND f.obj_guid IN ("
                + templateSplits + ")",
            [&](sqlite3_stmt *row) {
                const auto at = splitAt.value(text(row, 0), { QString(), -1 });
                if (at.second < 0)
                    return true;
                TemplateSplit &split = byTransaction[at.first].splits[at.second];
                const QString key = text(row, 1).section(u'/', -1);
                const QString numeric = QStringLiteral("%1/%2")
                                            .arg(sqlite3_column_int64(row, 4))
                                            .arg(sqlite3_column_int64(row, 5));
                if (key == u"account")
                    split.account = text(row, 3);
                else if (key == u"credit-formula")
                    split.creditFormula = text(row, 2);
                else if (key == u"debit-formula")
                    split.debitFormula = text(row, 2);
                else if (key == u"credit-numeric")
                    split.credit = numeric;
                else if (key == u"debit-numeric")
                    split.debit = numeric;
                return true;
            });
    for (const Template &t : std::as_const(byTransaction))
        book.templates.insert(t.splits.first().templateAccount, t);
    return ok;
}
} // namespace

namespace BookReaders {
SourceBook readGnuCashSql(const SqliteCopy &copy, const QString &name)
{
    Book book;
    const bool ok = copy.select("SELECT guid, name, account_type FROM accounts",
                        [&](sqlite3_stmt *row) {
                            book.accounts.insert(text(row, 0), { text(row, 1), text(row, 2) });
                            return true;
                        })
        && readSchedules(copy, book) && readTemplates(copy, book);
    if (!ok)
        return { QStringLiteral("GnuCash"), {},
            tr("%1 is not a GnuCash database, or it is damaged.").arg(name) };
    return GnuCash::schedules(book, name);
}
} // namespace BookReaders
