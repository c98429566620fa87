#pragma once

#include "tablefiles.h"

#include <QString>
#include <QStringList>

// The memorized payees beside the descriptions the schedule uses.
namespace PayeeList {
// Names are one payee when they differ only in case, of any letter:
// "Café Müller" and "CAFÉ MÜLLER" are one. This is the key they share.
QString sameNameKey(const QString &name);
// Names in the user's language order, regardless of case.
void sort(QStringList &names);

// Every distinct Description of the schedule that no memorized payee equals,
// in the user's language order.
QStringList unmemorized(const QString &scheduleFile = TableFiles::Schedule,
    const QString &payeeFile = TableFiles::Payee);

// The memorized name that is the same payee as name, other than the record
// with the key except; empty when there is none.
QString memorizedAs(
    const QString &name, qint64 except = -1, const QString &payeeFile = TableFiles::Payee);

// Stores the names in one transaction: all of them or, on an error, none.
// Returns the names left out because they are memorized already (or came
// earlier in the list); blank names are never stored and are returned too.
QStringList memorize(const QStringList &names, const QString &payeeFile = TableFiles::Payee);
} // namespace PayeeList
