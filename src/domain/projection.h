#pragma once

#include "itemrecord.h"
#include "nextoccurrence.h"

#include <QDate>
#include <QString>

#include <vector>

// A record of the schedule with the key it is stored under.
struct ScheduledItem
{
    qint64 key = -1;
    ItemRecord record;
};

// One occurrence of a scheduled item, as paying every bill on its due date
// through the payment run would create it: the due date, amounts, balance and
// budget that cycle would carry.
struct Occurrence
{
    qint64 key = -1; // the schedule record the occurrence comes from
    int cycle = 0; // 0 for the record as stored, n for the n-th occurrence after it
    bool overdue = false; // due before the projection's today
    ItemRecord record;

    QDate dueDate() const { return record.dueDate.toDate(); }
    // Bill Amount and Pay Amount; 0 when empty.
    double expense() const;
    double income() const;
};

// Every occurrence of every item up to a last date, in due-date order (items
// falling due on the same day in the order they were given, each item's
// occurrences in turn). Each item starts from its stored record and goes on as
// NextOccurrence would, ending where that ends it (no repeat, past the end date).
// Items without a due date give nothing; an item whose next due date cannot
// be formed (past the year 9999) or would not come later ends there, without
// a message. Occurrences due before `today` are marked overdue.
//
// Occurrences are produced one at a time; only the upcoming occurrence of
// each item is held, so the memory needed does not grow with the span.
class Projection
{
public:
    // Without records, only step() may be used: the items' records are let
    // go once read, and each step costs a few arithmetic operations.
    Projection(std::vector<ScheduledItem> items, const QDate &today, const QDate &until,
        bool records = true);

    // The next occurrence in order; false once every item has passed `until`.
    bool next(Occurrence &out);

    // The same without making the record: which item falls due on which day;
    // until the next call its amounts are cycle() and, with records, record()
    // makes its record.
    struct Step
    {
        qint64 day = 0; // Julian day of the due date
        int item = 0; // index into the items given
        int cycle = 0;
        bool overdue = false;
    };
    bool step(Step &out);
    const Recurrence &cycle() const { return m_currentCycle; }
    ItemRecord record() const;
    // Whether an occurrence is still ahead: from today on, and an overdue
    // item once, by the occurrence it is stuck at.
    static bool isAhead(const Step &step) { return !step.overdue || step.cycle == 0; }

    // How far the projection has got, from 0 at its earliest due date to 1 at
    // `until`, for a progress indicator.
    double progress() const;

    const QDate &today() const { return m_today; }
    const QDate &until() const { return m_until; }

    // All occurrences at once, for short spans and tests.
    static std::vector<Occurrence> all(
        std::vector<ScheduledItem> items, const QDate &today, const QDate &until);
    // What is still ahead: the occurrences from `today` on, each overdue item
    // once by the occurrence it is stuck at (its stored record, marked
    // overdue) rather than by every cycle it has missed.
    static std::vector<Occurrence> ahead(
        std::vector<ScheduledItem> items, const QDate &today, const QDate &until);

    // The records of a schedule file in due-date order; read through a handle
    // of its own, so the caller's handles keep their place.
    static std::vector<ScheduledItem> read(const QString &scheduleFile);
    // The same through a read-only connection of their own, which sees only
    // what is committed and holds the file's read lock only while reading:
    // for a worker thread, where the table engine may not be used.
    static std::vector<ScheduledItem> snapshot(const QString &scheduleFile);

private:
    struct Pending
    {
        qint64 day; // Julian day of the due date
        int item; // index into the item vectors
    };
    void push(int item);

    QDate m_today;
    QDate m_until;
    qint64 m_firstDay = 0;
    qint64 m_lastDay = 0;
    qint64 m_currentDay = 0;
    std::vector<qint64> m_keys;
    std::vector<int> m_cycles;
    std::vector<ItemRecord> m_stored; // each item's record as stored, with records
    std::vector<Recurrence> m_states; // each item's next occurrence not yet given out
    Recurrence m_currentCycle; // the occurrence step() gave out last
    Step m_currentStep;
    std::vector<Pending> m_heap;
};
