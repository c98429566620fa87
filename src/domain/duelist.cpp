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

QList<DueItem> DueList::read(const QDateTime &now, std::optional<int> days)
{
    const QStringList &names = ItemRecord::fieldNames();
    const QDate today = now.date();
    QList<DueItem> items;
    for (const ItemSnapshot::Row &row : ItemSnapshot::read(TableFiles::Schedule, names)) {
        DueItem item;
        item.key = row.key;
        for (int i = 0; i < names.size(); ++i)
            item.record.value(names[i]) = row.values[i];
        const QVariant &due = item.record.dueDate;
        const int warn = days.value_or(item.record.warningDays.toInt());
        item.problems = row.problems;
        if (!lists(due, warn, today) && item.problems.isEmpty())
            continue;
        if (!due.isNull())
            item.daysLeft = today.daysTo(due.toDate());
        item.pastDue = Urgency::bucket(due, 0, now) == 0;
        items.append(std::move(item));
    }
    return items;
}
