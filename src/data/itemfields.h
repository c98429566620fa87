#pragma once

#include "layouts.h"

#include <QString>
#include <QStringList>

// The fields of the item layout that schedule, history and the work table
// share, as lists the program copies and shows.
namespace ItemFields {
// The fields a user fills in, in the order of the lists: Pay Date, Due Date,
// Description, the two amounts, Frequency, Units, End Date, Warning Days,
// Budget, Balance and the four user fields.
const QStringList &entered();
// Every field of a stored item but the key: entered() plus Process Date and PayNow.
const QStringList &stored();
// "User Field n" for n in 1..4.
QString userField(int n);

// The field's definition in the item layout; nullptr for other names.
const FieldDef *definition(const QString &field);
// By the field's declared type in the item layout.
bool isDate(const QString &field);
bool isMoney(const QString &field);
// The two amounts typed into the lists: Bill Amount and Pay Amount.
bool isEntryAmount(const QString &field);
// The dates coloured by their urgency: Due Date and Pay Date.
bool isBanded(const QString &field);
} // namespace ItemFields
