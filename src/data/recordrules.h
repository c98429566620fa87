#pragma once

#include "layouts.h"

#include <QString>
#include <QVariant>

#include <vector>

// The rules every stored record keeps, written once for every layout: text
// no longer than its field (in characters), dates in the years 1 to 9999,
// finite amounts within MaxAmount and with at most four decimals, small
// integers in their range, a field with a list of choices holding one of
// them, and required fields filled. Every path that writes records (the
// lists, restore, memorized payees, the payment run, an import) checks here,
// so what one refuses no other can store.
namespace RecordRules {
inline constexpr double MaxAmount = 999999999999.99;

// The stored form of a value given for a field (text from an editor, a date,
// a number). Empty text is an empty field. Throws EngineError naming the
// field by label (its name when label is empty) and the value.
QVariant converted(const FieldDef &field, const QVariant &value, const QString &label = {});

// Throws EngineError when a required field is empty.
void checkRequired(const FieldDef &field, const QVariant &value);

// Checks a value as a file holds it: null, qlonglong, double, QString or
// QByteArray, after the storage class SQLite gives it. Text in an amount or
// a number field, or a date not written "yyyy-MM-dd", is refused here even
// where an editor would convert it. Empty when the value is sound.
QString storedProblem(const FieldDef &field, const QVariant &stored);

// Checks a whole record about to be stored; values in the order of fields,
// counters not checked. Throws EngineError with the first problem.
void checkRecord(const QList<FieldDef> &fields, const std::vector<QVariant> &values);

// For a writer bringing records from outside (an import): the stored form of
// each value given by field name, as a record of the layout in its field
// order (fields not given are empty), with the whole record checked. Throws
// EngineError naming the field and the value.
std::vector<QVariant> convertedRecord(
    const Layout &layout, const QStringList &fields, const QVariantList &values);

// The layout's own rules for a field a file declares: the file's definition
// with the layout's choices and sums, so a table opened from any file keeps them.
FieldDef withLayoutRules(const FieldDef &declared, const Layout *layout);

// Whether an amount read from a file can be shown and summed (finite, within
// the bound); a reader shows any other as empty.
bool isSoundAmount(double amount);
// The same for a field: a field holding a sum takes any finite value.
bool isSound(const FieldDef &field, double amount);
} // namespace RecordRules
