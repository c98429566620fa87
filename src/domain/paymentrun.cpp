#include "paymentrun.h"

#include "itemrecord.h"
#include "nextoccurrence.h"

#include "data/attachedfile.h"
#include "data/engine.h"
#include "data/itemfields.h"
#include "data/itemstatements.h"
#include "data/layouts.h"
#include "data/table.h"
#include "data/tablefiles.h"

#include <QStringList>

#include <optional>

namespace {
// Pages a run may keep in memory per file, in KiB: a run touches the pages of
// every index of the history and the schedule, far more than the default
// cache of 2 MiB holds.
constexpr int RunCacheKiB = 64 * 1024;

// What a paid item leaves in the history: everything entered, and when it was paid.
const QStringList &historyFields()
{
    static const QStringList fields
        = ItemFields::entered() + QStringList{ QStringLiteral("Process Date") };
    return fields;
}

// The next occurrence waiting for the reschedule screen: no pay date yet, and
// the process date as the mark of a run not yet written back.
const QStringList &occurrenceFields()
{
    static const QStringList fields = [] {
        QStringList f = historyFields();
        f.removeAll(QStringLiteral("Pay Date"));
        return f;
    }();
    return fields;
}

QVariantList valuesOf(const ItemRecord &record, const QStringList &fields)
{
    QVariantList values;
    values.reserve(fields.size());
    for (const QString &f : fields)
        values.append(record.value(f));
    return values;
}
} // namespace

PaymentRun::Outcome PaymentRun::pay(Table &list, const QDate &processDate)
{
    Outcome outcome;
    AttachedFile schedule(list.path(), RunCacheKiB);
    AttachedFile history(TableFiles::History, RunCacheKiB);
    AttachedFile resched(TableFiles::Resched, RunCacheKiB);

    inTransaction([&] {
        ItemStatements::empty(resched);
        ItemInsert toHistory(history, historyFields());
        ItemInsert toResched(resched, occurrenceFields());
        ItemRemove remove(schedule);

        for (int row = 0; row < list.recordCount(); ++row) {
            list.goToRow(row);
            if (list.value(QStringLiteral("PayNow")).toString() != PayMark)
                continue;
            const qint64 key = list.currentKey();
            ItemRecord paid = ItemRecord::read(list);
            paid.processDate = processDate;
            toHistory.insert(valuesOf(paid, toHistory.fields()));

            if (paid.frequency.toInt() != 0) {
                if (std::optional<ItemRecord> next = NextOccurrence(paid)) {
                    next->processDate = processDate;
                    toResched.insert(valuesOf(*next, toResched.fields()));
                    ++outcome.continuing;
                }
            }
            remove.remove(key);
            ++outcome.paid;
        }
    });
    return outcome;
}

int PaymentRun::writeBack(Table &resched)
{
    int written = 0;
    AttachedFile schedule(TableFiles::Schedule, RunCacheKiB);
    AttachedFile work(resched.path(), RunCacheKiB);
    inTransaction([&] {
        // Everything entered goes back, without payment mark or process date.
        ItemInsert toSchedule(schedule, ItemFields::entered());
        for (int row = 0; row < resched.recordCount(); ++row) {
            resched.goToRow(row);
            toSchedule.insert(valuesOf(ItemRecord::read(resched), toSchedule.fields()));
            ++written;
        }
        ItemStatements::empty(work);
    });
    return written;
}

bool PaymentRun::hasPendingOccurrences()
{
    if (!Engine::exists(TableFiles::Resched))
        return false;
    return ItemStatements::countProcessed(TableFiles::Resched) > 0;
}
