#include "urgency.h"

namespace {
int bandOfDay(const QDate &d, int interval, const QDateTime &now)
{
    // Stored dates have no time of day and now has one: d counts as reached
    // once its midnight has passed.
    const QDateTime at(d, QTime(0, 0));
    const qint64 n = interval;
    if (now >= at)
        return 0;
    if (now.addDays(n) >= at)
        return 1;
    if (now.addDays(2 * n) >= at)
        return 2;
    if (now.addDays(3 * n) >= at)
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
