#include "duelist.h"

#include "urgency.h"

#include "data/itemsnapshot.h"
#include "data/tablefiles.h"

bool DueList::lists(const QVariant &dueDate, int warningDays, const QDate &today)
{
    if (dueDate.isNull() || !dueDate.toDate().isValid())
        return true;
    return dueDate.toDate() <= today.addDays(warningDays);
}

void DueList::scan(
    const QDateTime &now, std::optional<int> days, const std::function<void(const DueItem &)> &take)
{
    // Every field is read for its problems; only the listed items' shown
    // fields are made into values.
    const QStringList &names = ItemRecord::fieldNames();
    const auto at
        = [&names](const char *name) { return int(names.indexOf(QLatin1StringView(name))); };
    const int dueAt = at("Due Date"), warnAt = at("Warning Days");
    const int shown[] = { at("Description"), at("Bill Amount"), at("Pay Amount") };
    const QDate today = now.date();
    DueItem item;
    ItemSnapshot::scan(TableFiles::Schedule, names, [&](const ItemSnapshot::Cursor &row) {
        const QVariant due = row.value(dueAt);
        const QVariant warnDays = row.value(warnAt);
        const int warn = days.value_or(warnDays.toInt());
        if (!lists(due, warn, today) && row.problems().isEmpty())
            return;
        // Every field set below; the rest of the record stays empty.
        item.daysLeft.reset();
        item.key = row.key();
        item.record.dueDate = due;
        item.record.warningDays = warnDays;
        for (int i : shown)
            item.record.value(names[i]) = row.value(i);
        item.problems = row.problems();
        if (!due.isNull())
            item.daysLeft = today.daysTo(due.toDate());
        item.pastDue = Urgency::bucket(due, 0, now) == 0;
        take(item);
    });
}

QList<DueItem> DueList::read(const QDateTime &now, std::optional<int> days)
{
    QList<DueItem> items;
    scan(now, days, [&items](const DueItem &item) { items.append(item); });
    return items;
}
