#pragma once

#include <QDateTime>
#include <QVariant>

// How soon a date falls due, against now and the aging interval N:
// 0 due (today or earlier), 1 within N days, 2 within 2N, 3 within 3N, 4 later.
// The same bands colour the lists and fill the aging buckets.
namespace Urgency {
constexpr int NoBand = -1;

// The band of a date; NoBand for an empty date.
int band(const QVariant &date, int interval, const QDateTime &now);
// The bucket of a due date for the aging sums: an empty date counts as past due.
int bucket(const QVariant &date, int interval, const QDateTime &now);
} // namespace Urgency
