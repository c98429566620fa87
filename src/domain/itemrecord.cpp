#include "itemrecord.h"

#include "data/engineerror.h"
#include "data/table.h"

#include <array>
#include <cstddef>

namespace {

template <typename Record> auto *slot(Record &record, const QString &name)
{
    // In the order of ItemRecord::fieldNames().
    const std::array slots = { &record.payDate, &record.dueDate, &record.description,
        &record.billAmount, &record.payAmount, &record.frequency, &record.units,
        &record.warningDays, &record.endDate, &record.userField[0], &record.userField[1],
        &record.userField[2], &record.userField[3], &record.processDate, &record.payNow,
        &record.budget, &record.balance };
    const QStringList &names = ItemRecord::fieldNames();
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (name.compare(names[qsizetype(i)], Qt::CaseInsensitive) == 0)
            return slots[i];
    }
    throw EngineError(QStringLiteral("Field '%1' not found").arg(name));
}

} // namespace

const QStringList &ItemRecord::fieldNames()
{
    static const QStringList names = { QStringLiteral("Pay Date"), QStringLiteral("Due Date"),
        QStringLiteral("Description"), QStringLiteral("Bill Amount"), QStringLiteral("Pay Amount"),
        QStringLiteral("Frequency"), QStringLiteral("Units"), QStringLiteral("Warning Days"),
        QStringLiteral("End Date"), QStringLiteral("User Field 1"), QStringLiteral("User Field 2"),
        QStringLiteral("User Field 3"), QStringLiteral("User Field 4"),
        QStringLiteral("Process Date"), QStringLiteral("PayNow"), QStringLiteral("Budget"),
        QStringLiteral("Balance") };
    return names;
}

const QVariant &ItemRecord::value(const QString &name) const
{
    return *slot(*this, name);
}

QVariant &ItemRecord::value(const QString &name)
{
    return *slot(*this, name);
}

ItemRecord ItemRecord::read(const Table &table)
{
    ItemRecord record;
    for (const QString &name : fieldNames())
        record.value(name) = table.value(name);
    return record;
}

void ItemRecord::write(Table &table, const QStringList &fields) const
{
    for (const QString &name : fields)
        table.setValue(name, value(name));
}
