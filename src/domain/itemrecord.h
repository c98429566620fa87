#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>

class Table;

// One record of the item layout shared by the schedule, history and
// rescheduling tables. A null QVariant is an empty field; dates are QDate,
// amounts double, small integers int and text QString. PrimaryKey is left
// out: every table assigns its own.
struct ItemRecord
{
    QVariant payDate;
    QVariant dueDate;
    QVariant description;
    QVariant billAmount;
    QVariant payAmount;
    QVariant frequency;
    QVariant units;
    QVariant warningDays;
    QVariant endDate;
    std::array<QVariant, 4> userField;
    QVariant processDate;
    QVariant payNow;
    QVariant budget;
    QVariant balance;

    // The names of the fields above, as the tables spell them.
    static const QStringList &fieldNames();

    // The current record of an open table.
    static ItemRecord read(const Table &table);
    // Sets the named fields on a table in edit or insert state.
    void write(Table &table, const QStringList &fields) const;

    // A field by its table name, without regard to case; throws EngineError
    // for a name that is not an item field.
    const QVariant &value(const QString &name) const;
    QVariant &value(const QString &name);
};
