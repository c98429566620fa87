#include "icalendar.h"

#include "data/destination.h"
#include "data/engineerror.h"
#include "data/formats.h"
#include "data/itemfields.h"

#include <QCryptographicHash>
#include <QHash>
#include <QStringList>

#include <algorithm>

namespace {
// Control characters other than tab may not appear in a TEXT value.
QString withoutControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n')
            || c.category() != QChar::Other_Control)
            out.append(c);
    return out;
}

QString display(const QString &field, const QVariant &value)
{
    const FieldDef *def = ItemFields::definition(field);
    return def ? Formats::display(*def, value) : value.toString();
}

QString basicDate(const QDate &date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}
} // namespace

QString ICalendar::uid(const ItemRecord &item, const QDate &date)
{
    const QString name = QStringList{ item.description.toString(), item.units.toString(),
        item.frequency.toString() }
                             .join(QChar(0x1F));
    const QByteArray hash
        = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(20);
    return QStringLiteral("%1-%2@duesmith.example.org")
        .arg(basicDate(date), QString::fromLatin1(hash));
}

QString ICalendar::summary(const ItemRecord &item, bool overdue)
{
    QString payee = item.description.toString().simplified();
    if (payee.isEmpty())
        payee = QStringLiteral("(no payee)");
    if (overdue)
        payee.prepend(QStringLiteral("Overdue: "));
    const QVariant &amount = item.billAmount.isNull() ? item.payAmount : item.billAmount;
    if (amount.isNull())
        return payee;
    return payee + QStringLiteral(" — ") + Formats::money(amount.toDouble());
}

QString ICalendar::description(const ItemRecord &item, const Options &options)
{
    struct Line
    {
        QString label;
        QString field;
    };
    QList<Line> lines = { { QStringLiteral("Payee"), QStringLiteral("Description") },
        { QStringLiteral("Due Date"), QStringLiteral("Due Date") },
        { QStringLiteral("Expense Amount"), QStringLiteral("Bill Amount") },
        { QStringLiteral("Income Amount"), QStringLiteral("Pay Amount") },
        { QStringLiteral("Repeat Every"), QStringLiteral("Frequency") },
        { QStringLiteral("End Date"), QStringLiteral("End Date") },
        { QStringLiteral("Warning Days"), QStringLiteral("Warning Days") },
        { QStringLiteral("Budget Amount"), QStringLiteral("Budget") },
        { QStringLiteral("Balance"), QStringLiteral("Balance") } };
    for (int n = 1; n <= 4; ++n) {
        const QString title = options.userTitle(n).trimmed();
        lines.append(
            { title.isEmpty() ? ItemFields::userField(n) : title, ItemFields::userField(n) });
    }

    QStringList text;
    for (const Line &line : std::as_const(lines)) {
        const QVariant &value = item.value(line.field);
        if (value.isNull())
            continue;
        QString shown = display(line.field, value);
        if (line.field == QLatin1String("Frequency")) {
            const QString units = item.units.toString();
            shown = value.toInt() == 0 ? units : shown + QLatin1Char(' ') + units;
        }
        if (shown.isEmpty())
            continue;
        text.append(line.label + QStringLiteral(": ") + shown);
    }
    return text.join(QLatin1Char('\n'));
}

QString ICalendar::escapeText(const QString &text)
{
    QString in = text;
    in.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    in.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    in = withoutControls(in);
    QString out;
    out.reserve(in.size() + 8);
    for (QChar c : std::as_const(in)) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case ';':
            out += QStringLiteral("\\;");
            break;
        case ',':
            out += QStringLiteral("\\,");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray ICalendar::foldLine(const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + utf8.size() / 70 * 3 + 2);
    qsizetype start = 0;
    qsizetype room = 75; // the first line; continuations lose one octet to the leading blank
    while (utf8.size() - start > room) {
        qsizetype cut = start + room;
        // Back up to the first octet of a UTF-8 sequence.
        while (cut > start && (uchar(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        out += utf8.mid(start, cut - start);
        out += "\r\n ";
        start = cut;
        room = 74;
    }
    out += utf8.mid(start);
    out += "\r\n";
    return out;
}

QByteArray ICalendar::calendar(
    const std::vector<Occurrence> &occurrences, const Options &options, const QDateTime &stamp)
{
    const QString dtstamp = stamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QByteArray out;
    auto line = [&out](const QString &text) { out += foldLine(text); };
    line(QStringLiteral("BEGIN:VCALENDAR"));
    line(QStringLiteral("VERSION:2.0"));
    line(QStringLiteral("PRODID:-//Duesmith//Duesmith//EN"));
    line(QStringLiteral("CALSCALE:GREGORIAN"));
    line(QStringLiteral("METHOD:PUBLISH"));
    line(QStringLiteral("X-WR-CALNAME:Duesmith"));
    // Two items alike in payee and repeat fall due on the same day as two
    // events, not one.
    QHash<QString, int> taken;
    for (const Occurrence &o : occurrences) {
        const QDate due = o.dueDate();
        if (!due.isValid())
            continue;
        const QDate day = o.overdue ? stamp.date() : due;
        QString id = uid(o.record, due);
        if (const int n = taken[id]++; n > 0)
            id.replace(QLatin1Char('@'), QStringLiteral("-%1@").arg(n + 1));
        const QString title = escapeText(summary(o.record, o.overdue));
        line(QStringLiteral("BEGIN:VEVENT"));
        line(QStringLiteral("UID:") + id);
        line(QStringLiteral("DTSTAMP:") + dtstamp);
        line(QStringLiteral("DTSTART;VALUE=DATE:") + basicDate(day));
        // The day after 9999-12-31 has no eight-digit date; without DTEND an
        // all-day event lasts its one day all the same.
        if (day.addDays(1).year() <= 9999)
            line(QStringLiteral("DTEND;VALUE=DATE:") + basicDate(day.addDays(1)));
        line(QStringLiteral("SUMMARY:") + title);
        line(QStringLiteral("DESCRIPTION:") + escapeText(description(o.record, options)));
        line(QStringLiteral("TRANSP:TRANSPARENT"));
        // The alarm comes the item's warning days before the day it falls due.
        const int warn = o.overdue ? 0 : std::max(0, o.record.warningDays.toInt());
        line(QStringLiteral("BEGIN:VALARM"));
        line(QStringLiteral("ACTION:DISPLAY"));
        line(QStringLiteral("DESCRIPTION:") + title);
        line(
            warn == 0 ? QStringLiteral("TRIGGER:PT0S") : QStringLiteral("TRIGGER:-P%1D").arg(warn));
        line(QStringLiteral("END:VALARM"));
        line(QStringLiteral("END:VEVENT"));
    }
    line(QStringLiteral("END:VCALENDAR"));
    return out;
}

bool ICalendar::save(const QString &path, const QByteArray &data, QString *error)
{
    try {
        Destination::write(path, [&data](QIODevice &file) { file.write(data); });
    } catch (const EngineError &e) {
        if (error)
            *error = e.message();
        return false;
    }
    return true;
}
