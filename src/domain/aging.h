#pragma once

#include "data/money.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Query;
class Table;

namespace Aging {
// The fields of age.db a row shows: its type and the six amounts.
QStringList fieldNames();
// Exact sums per bucket 0..4 and their total (index 5).
struct Sums
{
    std::array<Money, 6> income{};
    std::array<Money, 6> expense{};
};

// The last date of buckets 0 to 3 as stored text, for one interval and day.
struct Cutoffs
{
    std::string ends[4];
};
Cutoffs cutoffs(int interval, const QDate &today);
// The bucket of a due date, found by the same text comparison the aggregate makes.
int bucket(const QVariant &due, const Cutoffs &cutoffs);
// Adds (sign 1) or takes away (sign -1) one record's amounts, totals included.
void add(Sums &sums, const Cutoffs &cutoffs, const QVariant &due, const QVariant &bill,
    const QVariant &pay, int sign);

// Sums the schedule's amounts into the urgency buckets of their due dates
// (an empty due date counts as past due) with one aggregate statement.
Sums compute(const QString &scheduleFile, int interval, const QDateTime &now);

// Replaces the rows of the aging table by Income, Expense and Total.
void write(Table *ageTable, const Sums &sums);
// The three rows as the aging table holds them: Type, Amount0 .. Amount5 (Money).
QList<QVariantList> rows(const Sums &sums);

// Writes the amounts of the aging rows on a thread of its own, so the durable
// commit of a second file does not hold up the window after every save. The
// rows must be in place (as write() leaves them); the latest sums win.
class Writer
{
public:
    Writer();
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Queues the sums for the aging table file; pragmas give its journal and sync settings.
    void post(const QString &path, const std::string &pragmas, const Sums &sums);
    // Waits until everything queued is on file; false when a write failed
    // (the rows on file are then not the sums: write them again).
    bool flush();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_pending = false;
    bool m_busy = false;
    bool m_stop = false;
    bool m_failed = false;
    std::string m_path;
    std::string m_pragmas;
    Sums m_sums;
    std::thread m_thread; // last: it starts once everything above is in place
};

// Titles of Type, Amount0 .. Amount5 for an interval.
QStringList titles(int interval);
void setTitles(Table *ageTable, int interval);
} // namespace Aging

namespace Totals {
// A group's income minus its expense (Money), a missing sum counting as zero;
// empty when both are empty.
QVariant remainder(const QVariant &bill, const QVariant &pay);

// Keeps the rows of a totals query over the schedule (grouped by its first
// column, with the counts of bill amounts, pay amounts and items beside the
// sums) up to date as one record leaves (sign -1) or joins (sign 1) it.
// Returns false when the rows do not agree with the record; the query must be
// run again then. `row`, when given, receives the row the record's group has
// (or had) in the query.
bool apply(Query &query, const Table &schedule, const std::vector<QVariant> &record, int sign,
    int *row = nullptr);
}
