#pragma once

#include "sourceschedule.h"

#include <QXmlStreamReader>

#include <functional>

struct sqlite3;
struct sqlite3_stmt;

// The readers behind Books::readBytes, one per program, and what they share.
// Each reader is given the file's unpacked bytes and fills a SourceBook; none
// of them writes anything.
namespace BookReaders {
SourceBook readHomeBank(const QByteArray &xml, const QString &name, const ReadProgress &progress);
SourceBook readKMyMoney(const QByteArray &xml, const QString &name, const ReadProgress &progress);
SourceBook readGnuCash(const QByteArray &xml, const QString &name, const ReadProgress &progress);

// An SQLite book opened from a private copy in memory, read-only: the file
// on disk is never touched. A query that works too long is stopped, so a
// hostile file cannot keep the reader busy.
class SqliteCopy
{
public:
    explicit SqliteCopy(const QByteArray &bytes);
    ~SqliteCopy();
    SqliteCopy(const SqliteCopy &) = delete;
    SqliteCopy &operator=(const SqliteCopy &) = delete;
    bool isOpen() const { return m_db != nullptr; }
    bool hasTable(const char *name) const;
    // Hands each row of the query to row(), which returns false to stop;
    // false when the query fails (a damaged file, or too much work).
    bool select(const QByteArray &sql, const std::function<bool(sqlite3_stmt *)> &row) const;

private:
    sqlite3 *m_db = nullptr;
    mutable int m_steps = 0;
};

SourceBook readMmex(const SqliteCopy &book, const QString &name, const ReadProgress &progress);
SourceBook readGnuCashSql(const SqliteCopy &book, const QString &name);

QString tr(const char *text);

// Walks a schedule's dates as its program would: next() gives each date in
// turn (invalid once the rule runs out). Keeps the first twelve in
// occurrences, stops after `end` when valid, and after `remaining` dates when
// not negative; then sets endDate to `end`, or to the last date a count
// allows. nextDue becomes the first date.
void walkDates(SourceSchedule &schedule, const std::function<QDate()> &next, qint64 remaining = -1,
    const QDate &end = {});

// "1234/100" as KMyMoney and GnuCash keep amounts; empty when it is no such
// fraction or has more decimals than an amount keeps.
std::optional<Money> fraction(QStringView text);

// Reports how far the reader is through the XML; false when the user cancelled.
bool keepGoing(const QXmlStreamReader &xml, qint64 size, const ReadProgress &progress);

// The book's error for a reader that stopped: damaged XML, a cancel, or none.
QString xmlError(const QXmlStreamReader &xml, const QString &name, bool cancelled);

// What every reader says about a book with nothing to take.
QString noSchedules(const QString &name);
} // namespace BookReaders
