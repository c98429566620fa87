#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "layouts.h"

#include <memory>

namespace SQLite {
class Statement;
}

class AttachedFile;
class Query;
class Table;

// One INSERT of the named fields into an attached file, prepared once and run
// for each record. Use it inside a transaction (inTransaction).
class ItemInsert
{
public:
    ItemInsert(const AttachedFile &into, const QStringList &fields);
    ~ItemInsert();
    const QStringList &fields() const { return m_fields; }
    // The record's values in the order of fields().
    void insert(const QVariantList &values);

private:
    QStringList m_fields;
    QList<FieldDef> m_defs;
    std::unique_ptr<SQLite::Statement> m_statement;
};

// One DELETE by key from an attached file, prepared once.
class ItemRemove
{
public:
    explicit ItemRemove(const AttachedFile &from);
    ~ItemRemove();
    void remove(qint64 key);

private:
    std::unique_ptr<SQLite::Statement> m_statement;
};

// Statements over whole item tables, each in one transaction.
// The columns of the totals statements, by name.
namespace TotalsColumn {
inline const QString Bill = QStringLiteral("TotalBillAmount"); // exact sum, Money
inline const QString Pay = QStringLiteral("TotalPayAmount"); // exact sum, Money
inline const QString Count = QStringLiteral("totalcount"); // items with a description
inline const QString BillCount = QStringLiteral("billcount");
inline const QString PayCount = QStringLiteral("paycount");
inline const QString ItemCount = QStringLiteral("itemcount");
// Bill less pay: no statement returns it, the readers work it out row by row.
inline const QString Remainder = QStringLiteral("totalremainder");
} // namespace TotalsColumn

namespace ItemStatements {
// Empties the work table (through its open handle) and copies into it, in
// due-date order, every item of the schedule file whose due date is no later
// than `until` plus its warning days; an empty due date is always copied.
// Returns the number copied.
int copyDue(Table &work, const QString &scheduleFile, const QDate &until);
// Deletes every record of an attached file (inside the caller's transaction).
void empty(const AttachedFile &file);
// The records of a table file that carry a process date.
qint64 countProcessed(const QString &fileName);
// The totals of the schedule grouped by one field, in its order: the group,
// Bill, Pay, Count and the counts of bill amounts, pay amounts and items.
// `where` restricts the items (a compiled filter; its params are bound by the query).
QString totals(const QString &groupField, const QString &where = {});
// Bill, Pay and Count of the items marked for payment.
QString markedTotals();
// The fields a list of the marked items totals (Table::setTotalledFields) so
// that its totals give the row of markedTotals() without running it.
QStringList markedTotalsFields();
// Opens `query` (of markedTotals()) on that row, as the statement reads it.
void showMarkedTotals(Query &query, const Table &markedList);
} // namespace ItemStatements
