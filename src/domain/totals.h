#pragma once

#include <QVariant>

#include <vector>

class Query;
class Table;

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
} // namespace Totals
