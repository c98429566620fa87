#pragma once

#include "layouts.h"
#include "money.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <optional>

// How dates and amounts look to the user: the locale's short date with the
// year widened to four digits, amounts in the locale's currency format.
namespace Formats {
QString shortDateFormat();
QString date(const QDate &date);
// Parses text in the short date format; an invalid QDate when it does not convert.
QDate parseDate(const QString &text);
QString money(double value);
// An exact amount or sum in the same format, every digit of it.
QString money(const Money &value);
// A money field's value or a sum, whichever the variant holds; empty for empty.
QString amount(const QVariant &value);
// Reads an amount as the user types it or as money() shows it: "1234.5",
// "1,234.56", "$1,234.56", "-$1,234.56", "($1,234.56)". Empty when it is none.
std::optional<Money> parseMoney(const QString &text);
// Edit text of an amount: no grouping, at most two decimals ("##########.##").
QString moneyEdit(double value);
// Parses a decimal number with the locale's decimal separator.
bool parseNumber(const QString &text, double &value);
// "####": 0 shows as an empty cell.
QString wholeNumber(const QVariant &value);

// A field's text by its declared type: dates and amounts as above, small
// integers as whole numbers, the rest as stored. Empty for an empty field.
QString display(const FieldDef &field, const QVariant &value);
// The same for a cell editor: amounts without grouping.
QString editText(const FieldDef &field, const QVariant &value);
// Whether the type lines up at the right of a column (amounts and numbers).
bool alignsRight(FieldType type);
} // namespace Formats
