#pragma once

#include "data/money.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <string>

class Table;

// The aging buckets: the schedule's amounts by how soon they fall due.
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

// The three rows as the aging table holds them: Type, Amount0 .. Amount5 (Money).
QList<QVariantList> rows(const Sums &sums);

// Titles of Type, Amount0 .. Amount5 for an interval.
QStringList titles(int interval);
void setTitles(Table *ageTable, int interval);
} // namespace Aging
