#include "urgency.h"

namespace {
int bandOfDay(const QDate &d, int interval, const QDateTime &now)
{
    // Stored dates have no time of day and now has one: d counts as reached
    // once its midnight has passed, and now plus k days reaches d when its
    // date does. Whole days, so no time-zone arithmetic per cell drawn.
    const qint64 days = now.date().daysTo(d);
    const qint64 n = interval;
    if (days <= 0)
        return 0;
    if (days <= n)
        return 1;
    if (days <= 2 * n)
        return 2;
    if (days <= 3 * n)
        return 3;
    return 4;
}
} // namespace

int Urgency::band(const QVariant &date, int interval, const QDateTime &now)
{
    if (date.isNull() || !date.toDate().isValid())
        return NoBand;
    return bandOfDay(date.toDate(), interval, now);
}

int Urgency::bucket(const QVariant &date, int interval, const QDateTime &now)
{
    const int b = band(date, interval, now);
    return b == NoBand ? 0 : b;
}
