#pragma once

#include "projection.h"

#include "data/money.h"

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The occurrences of a projection in eight bytes each: the day, and the
// amounts it carries, which an item's occurrences share while they stay the
// same (the stored record, then the budget). The forecast's list and chart and
// the calendar read from it, so a year of thousands of daily items stays
// within a few tens of megabytes.
class ProjectionTable
{
public:
    struct Amounts
    {
        int item = 0; // index into the schedule the table was made for
        bool hasExpense = false; // the Bill Amount is filled in
        bool hasIncome = false;
        bool hasBalance = false;
        double bill = 0; // as stored
        double pay = 0;
        double balance = 0; // the item's own Balance; kept only when asked for
        Money expense; // 0 when empty
        Money income;
    };

    // The schedule's keys and payees are kept; the records are not.
    explicit ProjectionTable(const std::vector<ScheduledItem> &items = {});

    // What the table is for. The forecast takes what is still ahead: an
    // overdue item counts once, by the occurrence it is stuck at, as it is
    // still to be paid. The calendar takes every occurrence, with each one's
    // Balance field.
    enum class Use { Forecast, Calendar };

    // Takes the occurrences of a projection (with or without records) due on
    // or after `from` (all of them when invalid). goOn is asked now and then
    // with the progress (0 to 1); when it says no, the table is left empty
    // and false returned.
    bool fill(Projection &projection, const QDate &from, Use use,
        const std::function<bool(double)> &goOn = {});

    // The forecast's table of a schedule, for short spans and tests.
    static ProjectionTable of(
        const std::vector<ScheduledItem> &items, const QDate &today, const QDate &until);

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    qint64 day(std::size_t row) const { return rowAt(row).day; }
    QDate date(std::size_t row) const { return QDate::fromJulianDay(day(row)); }
    bool overdue(std::size_t row) const { return day(row) < m_today; }
    const Amounts &amounts(std::size_t row) const
    {
        return m_amounts[std::size_t(rowAt(row).amounts)];
    }
    qint64 key(std::size_t row) const { return m_keys[std::size_t(amounts(row).item)]; }
    const QString &payee(std::size_t row) const { return m_payees[std::size_t(amounts(row).item)]; }
    // Incomes less expenses of the rows up to and including this one.
    Money sumThrough(std::size_t row) const;
    // The rows due on a day, as [first, last).
    std::pair<std::size_t, std::size_t> rowsOn(const QDate &day) const;

private:
    struct Row
    {
        qint32 day;
        qint32 amounts;
    };
    // Rows live in chunks: no copy of the whole table as it grows.
    static constexpr int ChunkBits = 16;
    static constexpr std::size_t ChunkRows = std::size_t(1) << ChunkBits;
    // A running sum is kept for each block; a row's sum adds up its block.
    static constexpr std::size_t Block = 256;

    const Row &rowAt(std::size_t row) const
    {
        return m_chunks[row >> ChunkBits][row & (ChunkRows - 1)];
    }
    void append(Row row);
    int amountsOf(int item, const Recurrence &cycle, bool keepBalance);
    void clear();
    std::size_t firstOnOrAfter(qint64 day) const;

    qint64 m_today = 0;
    std::vector<qint64> m_keys;
    std::vector<QString> m_payees;
    std::vector<Amounts> m_amounts;
    std::vector<int> m_latest; // per item: the Amounts its last occurrence carried, or -1
    std::vector<std::unique_ptr<Row[]>> m_chunks;
    std::size_t m_size = 0;
    std::vector<Money> m_blockStart; // the sum before each block
};
