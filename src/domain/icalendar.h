#pragma once

#include "options.h"
#include "projection.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// The schedule as an iCalendar file: one all-day event per occurrence, with
// the dates the payment cycle would give them, so a calendar shows each bill
// where the program expects it (a repeat rule could not express the month-end
// back-off or the half months).
namespace ICalendar {
// The event's UID, from what names the occurrence rather than the record it is
// stored in: payee, repeat and date. A payment stores the next occurrence
// under a new key and an edit of the amount keeps the occurrence, so both keep
// their UIDs and a calendar importing a newer export updates its events.
QString uid(const ItemRecord &item, const QDate &date);
// "Payee — $amount": the expense, or the income when there is no expense;
// "Overdue: " before it when the occurrence is overdue.
QString summary(const ItemRecord &item, bool overdue = false);
// The item's filled-in fields, one "Label: value" line each, under the labels
// the lists show (the user fields under the user's titles).
QString description(const ItemRecord &item, const Options &options);

// A TEXT value with backslash, semicolon, comma and line breaks escaped.
QString escapeText(const QString &text);
// One content line folded at 75 octets (never inside a UTF-8 sequence), each
// physical line ending in CRLF.
QByteArray foldLine(const QString &line);

// Writes a calendar to a device as it goes: what is held does not grow with
// the number of events. stamp is the DTSTAMP of every event; an overdue
// occurrence is shown on the day of the stamp, where it still waits.
class Writer
{
public:
    Writer(QIODevice &out, const Options &options, const QDateTime &stamp);
    // Occurrences come in due-date order.
    void add(const ItemRecord &record, const QDate &due, bool overdue);
    // The occurrence a projection made with records has just stepped to. What
    // an item's events share (the UID's hash, the title, the description but
    // for the due date) is made once for the cycles with the same amounts.
    void add(const Projection &projection, const Projection::Step &step);
    void finish();
    qint64 events() const { return m_events; }
    // Whether a write to the device failed; later ones are not tried.
    bool failed() const { return m_failed; }

private:
    // What an occurrence's event shares with its item's other cycles, as the
    // file's octets.
    struct Text
    {
        QByteArray hash; // of what names the item, for the UID
        QByteArray title; // escaped
        // The escaped description around the due date's line; whole when
        // escaping the pieces apart could differ (a line ending in CR).
        QByteArray head;
        QByteArray tail;
        QString description; // whole, with dueLine, when not in pieces
        QString dueLine; // the record's, when it has a due date
        bool inPieces = true;
        int warn = 0;
    };
    // An item's Text, with the amounts it was made for.
    struct ItemText
    {
        Text text;
        bool made = false;
        std::optional<double> bill, pay, balance;
    };
    Text textOf(const ItemRecord &record, bool overdue) const;
    void event(const Text &text, const QDate &due, bool overdue, const QByteArray &dueLine);
    void line(const QString &text);
    void put(const QByteArray &utf8);
    void flush();

    QIODevice &m_out;
    QDateTime m_stamp;
    QByteArray m_dtstamp;
    QByteArray m_buffer;
    QByteArray m_line;
    qint64 m_events = 0;
    bool m_failed = false;
    // The UIDs given on the day being written, by hash: two items alike in
    // payee and repeat fall due on the same day as two events, not one.
    QDate m_day;
    QHash<QByteArray, std::pair<qint64, int>> m_taken; // day and count
    QByteArray m_dayLine; // the description's line of m_day, escaped
    std::array<QString, 4> m_userLabels;
    std::vector<ItemText> m_items; // by the projection's item
};

// Writes what is ahead of a projection made with records, as it goes: each
// occurrence from today on, an overdue item once (the cycles it has missed
// are stepped over, not written). goOn is asked now and then with the
// progress (0 to 1); returns the number of events, or -1 when goOn said stop.
qint64 write(QIODevice &out, Projection &projection, const Options &options, const QDateTime &stamp,
    const std::function<bool(double)> &goOn = {});

// The whole calendar at once, for short spans and tests.
QByteArray calendar(
    const std::vector<Occurrence> &occurrences, const Options &options, const QDateTime &stamp);
} // namespace ICalendar
