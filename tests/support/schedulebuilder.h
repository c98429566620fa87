#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// Fills an item table (the schedule unless told otherwise) in one transaction:
//   ScheduleBuilder().item("Rent").due(d).expense(850).every(1, "Months").write();
// Each record holds only the fields it was given; the rest stay empty.
class ScheduleBuilder
{
public:
    ScheduleBuilder();
    explicit ScheduleBuilder(const QString &table);

    // Starts the next record, with this description when one is given.
    ScheduleBuilder &item();
    ScheduleBuilder &item(const QVariant &description);

    ScheduleBuilder &due(const QVariant &date) { return set(QStringLiteral("Due Date"), date); }
    ScheduleBuilder &expense(const QVariant &amount)
    {
        return set(QStringLiteral("Bill Amount"), amount);
    }
    ScheduleBuilder &income(const QVariant &amount)
    {
        return set(QStringLiteral("Pay Amount"), amount);
    }
    ScheduleBuilder &every(const QVariant &frequency, const QVariant &units);
    ScheduleBuilder &warning(const QVariant &days)
    {
        return set(QStringLiteral("Warning Days"), days);
    }
    ScheduleBuilder &ends(const QVariant &date) { return set(QStringLiteral("End Date"), date); }
    ScheduleBuilder &mark(const QVariant &mark) { return set(QStringLiteral("PayNow"), mark); }
    ScheduleBuilder &payee(const QVariant &payee) { return set(QStringLiteral("Payee"), payee); }
    ScheduleBuilder &set(const QString &field, const QVariant &value);
    ScheduleBuilder &set(const QVariantHash &fields);

    int count() const { return int(m_records.size()); }
    // Appends the records to the table, all or none; returns their keys in order.
    QList<qint64> write();

private:
    using Record = QList<QPair<QString, QVariant>>;
    QString m_table;
    QList<Record> m_records;
};
