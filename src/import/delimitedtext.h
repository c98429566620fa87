#pragma once

#include "sourceschedule.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Delimited text as spreadsheets and banks export it (RFC 4180 quoting, a
// comma, semicolon or tab between fields), read into schedules by a mapping
// of its columns to item fields. Works on bytes, so a file is read once and
// never written.
namespace DelimitedText {
enum class Encoding { Utf8, Windows1252 };
enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// What a column is taken as.
enum class Column {
    Ignore,
    Description,
    DueDate,
    Expense,
    Income,
    Amount, // signed: below zero an expense
    Frequency,
    Units,
    EndDate,
    WarningDays,
    UserField1,
    UserField2,
    UserField3,
    UserField4,
    Budget,
    Balance,
};
inline constexpr int ColumnKinds = int(Column::Balance) + 1;
// The name shown in the mapping ("Payee", "Expense Amount", "(not imported)").
QString columnTitle(Column column);

struct Options
{
    QChar delimiter = u',';
    Encoding encoding = Encoding::Utf8;
    bool header = true;
    DateOrder dateOrder = DateOrder::MonthDayYear;
    QChar decimal = u'.';
    // One entry per column of the file; columns beyond the list are ignored.
    QList<Column> columns;
};

// The cells of every record (the header row too, when there is one), or why
// the text cannot be read and the records before the fault.
struct Cells
{
    QList<QStringList> records;
    QString error;
};
Cells split(const QByteArray &bytes, const Options &options, qsizetype maxRecords = -1);

// Delimiter, encoding, header, date order, decimal separator and a mapping,
// as the bytes suggest them.
Options detect(const QByteArray &bytes);
// The mapping the header names (or, without a header, the cells) suggest.
QList<Column> proposeColumns(
    const QStringList &header, const QList<QStringList> &rows, bool hasHeader);

// Every data record as a schedule (the first maxRows of them, when not -1);
// an unreadable file gives the error and no schedules.
SourceBook read(const QByteArray &bytes, const Options &options, const ReadProgress &progress = {},
    qsizetype maxRows = -1);

// A unit as the six names or a common word gives it: "biweekly" is every 2
// Weeks, "quarterly" every 3 Months, "once" One Time (frequency 0).
struct Repeat
{
    int frequency = 0;
    QString units;
};
std::optional<Repeat> repeatFromText(const QString &text);
std::optional<QDate> parseDate(const QString &text, DateOrder order);
std::optional<Money> parseAmount(const QString &text, QChar decimal);
} // namespace DelimitedText
