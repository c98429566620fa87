#include "schedulebuilder.h"

#include "data/engine.h"
#include "data/table.h"
#include "data/tablefiles.h"

ScheduleBuilder::ScheduleBuilder()
    : m_table(TableFiles::Schedule)
{ }

ScheduleBuilder::ScheduleBuilder(const QString &table)
    : m_table(table)
{ }

ScheduleBuilder &ScheduleBuilder::item()
{
    m_records.append(Record());
    return *this;
}

ScheduleBuilder &ScheduleBuilder::item(const QVariant &description)
{
    item();
    return set(QStringLiteral("Description"), description);
}

ScheduleBuilder &ScheduleBuilder::every(const QVariant &frequency, const QVariant &units)
{
    set(QStringLiteral("Frequency"), frequency);
    return units.isValid() ? set(QStringLiteral("Units"), units) : *this;
}

ScheduleBuilder &ScheduleBuilder::set(const QString &field, const QVariant &value)
{
    if (m_records.isEmpty())
        item();
    m_records.last().append({ field, value });
    return *this;
}

ScheduleBuilder &ScheduleBuilder::set(const QVariantHash &fields)
{
    for (auto it = fields.begin(); it != fields.end(); ++it)
        set(it.key(), it.value());
    return *this;
}

QList<qint64> ScheduleBuilder::write()
{
    Table t(m_table);
    t.open();
    QList<qint64> keys;
    inTransaction([&] {
        for (const Record &record : std::as_const(m_records)) {
            t.append();
            for (const auto &[field, value] : record)
                t.setValue(field, value);
            t.post();
            keys.append(t.currentKey());
        }
    });
    m_records.clear();
    return keys;
}
