#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

// How dates and amounts look to the user: the locale's short date with the
// year widened to four digits, amounts in the locale's currency format.
namespace Formats {
QString shortDateFormat();
QString date(const QDate &date);
// Parses text in the short date format; an invalid QDate when it does not convert.
QDate parseDate(const QString &text);
QString money(double value);
// Edit text of an amount: no grouping, at most two decimals ("##########.##").
QString moneyEdit(double value);
// Parses a decimal number with the locale's decimal separator.
bool parseNumber(const QString &text, double &value);
// "####": 0 shows as an empty cell.
QString wholeNumber(const QVariant &value);
} // namespace Formats
