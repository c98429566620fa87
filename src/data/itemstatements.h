#pragma once

#include <QDate>
#include <QString>

class Table;

// Statements over whole item tables, each in one transaction.
namespace ItemStatements {
// Empties the work table (through its open handle) and copies into it, in
// due-date order, every item of the schedule file whose due date is no later
// than `until` plus its warning days; an empty due date is always copied.
// Returns the number copied.
int copyDue(Table &work, const QString &scheduleFile, const QDate &until);
} // namespace ItemStatements
