#pragma once

#include "tablefiles.h"

#include <QString>
#include <QStringList>

// The memorized payees beside the descriptions the schedule uses.
namespace PayeeList {
// Every distinct Description of the schedule that no memorized payee equals,
// in ascending order. Text compares as the files compare it, without regard
// to case: "ACME" and "Acme" are one name.
QStringList unmemorized(const QString &scheduleFile = TableFiles::Schedule,
    const QString &payeeFile = TableFiles::Payee);

// Stores the names in one transaction: all of them or, on an error, none.
// Returns the names left out because they are memorized already (or came
// earlier in the list); blank names are never stored and are returned too.
QStringList memorize(const QStringList &names, const QString &payeeFile = TableFiles::Payee);
} // namespace PayeeList
