#pragma once

#include "data/money.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// One scheduled transaction as another program (or a spreadsheet) keeps it,
// before it becomes an item. Readers fill it from their own files; the import
// turns it into an item record and checks it like the list's editor does.
struct SourceSchedule
{
    // Where it sits in the source, counted from 1, for messages ("record 7").
    int record = 0;
    // The payee, or the schedule's own name where the source has no payee.
    QString description;
    // The next date it falls due; invalid when the source gives none.
    QDate nextDue;
    // Signed as the source's books see it: below zero is money going out (an
    // expense), above zero money coming in (an income). Empty: no amount.
    std::optional<Money> amount;
    // The rule as an item states it, when the source says so outright
    // (frequency 0 with "One Time"); empty units when only the dates are known.
    int frequency = 0;
    QString units;
    // The dates it falls due by the source's own rule, from nextDue on: up to
    // twelve, fewer when it ends first. A rule is kept only when it yields
    // these same dates.
    QList<QDate> occurrences;
    // The last date it may fall due; invalid when it runs on. A source that
    // counts remaining occurrences gives the date of the last one here.
    QDate endDate;
    // The source's rule in its own words ("every 2nd Tuesday"), for messages.
    QString recurrenceText;
    // Free text worth keeping (category, account, memo); empty when none.
    QString note;
    // What the reader could not take from this schedule; empty when nothing.
    QString problem;
    // Further item fields the source gives outright (Warning Days, Budget,
    // Balance, the user fields), by the item's field name, as text with a
    // point for decimals.
    QMap<QString, QString> itemFields;
};

// What a reader gives back: every schedule of the file, or why the file
// cannot be read at all (then nothing is imported).
struct SourceBook
{
    QString format;
    QList<SourceSchedule> schedules;
    QString error;
};

// Called now and then while a file is read, with how far the reader is
// (0..1000); returning false cancels the read.
using ReadProgress = std::function<bool(int permille)>;

namespace SourceFile {
// The whole file, unpacked when it is gzip-compressed (as KMyMoney and GnuCash
// save by default). Files over maxBytes, unpacked or not, are refused. On
// failure returns empty and sets *error to a message naming the file.
QByteArray read(const QString &path, QString *error, qint64 maxBytes = qint64(512) << 20);
// The same for bytes already in memory (used by the fuzz targets).
QByteArray unpacked(const QByteArray &bytes, QString *error, qint64 maxBytes = qint64(512) << 20);
} // namespace SourceFile
