#pragma once

#include "aging.h"
#include "agingwriter.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QVariant>

#include <functional>
#include <string>
#include <vector>

class Query;
class Table;

// The schedule's kept-up summaries: the two totals queries and the aging sums
// (the rows of age.db, written on a thread of their own). A changed record
// moves them by its own amounts; a new day, another interval, or rows that do
// not agree with the record make them counted again over the whole schedule.
// Views follow the signals.
class SummaryService : public QObject
{
    Q_OBJECT
public:
    SummaryService(Table *schedule, Query *totals, Query *dueDateTotals, Table *ageTable,
        std::function<QDateTime()> now, QObject *parent = nullptr);

    // Both totals queries run again over the whole schedule.
    void reopenTotals();
    // The aging counted again over the whole schedule, written, and titled
    // for the current interval.
    void recount();
    // One record changed, as stored before and after (empty when it joined or left).
    void recordChanged(const std::vector<QVariant> &before, const std::vector<QVariant> &after);
    // Waits until the aging rows on file are the ones shown (they follow a
    // change on the writer's thread); writes them again when that failed.
    void flush();

Q_SIGNALS:
    // The rows of a totals query were read anew (also when that failed).
    void totalsReset(Query *query);
    // Rows from..to of a totals query changed in place.
    void totalsRowsChanged(Query *query, int from, int to);
    // The aging rows as they are now; the file follows.
    void agingChanged(const QList<QVariantList> &rows);
    void agingTitlesChanged();

private:
    void reopen(Query *query);

    Table *m_schedule;
    Query *m_totals;
    Query *m_dueDateTotals;
    Table *m_ageTable;
    std::function<QDateTime()> m_now;

    // The aging sums last computed, with the interval and day they hold for.
    bool m_known = false;
    int m_interval = 0;
    QDate m_day;
    Aging::Cutoffs m_cutoffs; // of m_interval and m_day
    Aging::Sums m_sums;
    Aging::Writer m_writer;
    std::string m_pragmas; // the engine's journal and sync settings for age.db
};
