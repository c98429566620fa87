#pragma once

#include "sourceschedule.h"

#include <QXmlStreamReader>

#include <functional>

// The readers behind Books::readBytes, one per program, and what they share.
// Each reader is given the file's unpacked bytes and fills a SourceBook; none
// of them writes anything.
namespace BookReaders {
SourceBook readHomeBank(const QByteArray &xml, const QString &name, const ReadProgress &progress);
SourceBook readKMyMoney(const QByteArray &xml, const QString &name, const ReadProgress &progress);
SourceBook readGnuCash(const QByteArray &xml, const QString &name, const ReadProgress &progress);
SourceBook readMmex(const QByteArray &bytes, const QString &name, const ReadProgress &progress);

QString tr(const char *text);

// Walks a schedule's dates as its program would: next() gives each date in
// turn (invalid once the rule runs out). Keeps the first twelve in
// occurrences, stops after `end` when valid, and after `remaining` dates when
// not negative; then sets endDate to `end`, or to the last date a count
// allows. nextDue becomes the first date.
void walkDates(SourceSchedule &schedule, const std::function<QDate()> &next, qint64 remaining = -1,
    const QDate &end = {});

// "1234/100" as KMyMoney and GnuCash keep amounts; empty when it is no such
// fraction or has more decimals than an amount keeps.
std::optional<Money> fraction(QStringView text);

// Reports how far the reader is through the XML; false when the user cancelled.
bool keepGoing(const QXmlStreamReader &xml, qint64 size, const ReadProgress &progress);

// The book's error for a reader that stopped: damaged XML, a cancel, or none.
QString xmlError(const QXmlStreamReader &xml, const QString &name, bool cancelled);

// What every reader says about a book with nothing to take.
QString noSchedules(const QString &name);
} // namespace BookReaders
