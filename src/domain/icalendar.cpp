#include "icalendar.h"

#include "data/formats.h"
#include "data/itemfields.h"

#include <QBuffer>
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

ICalendar::Writer::Writer(QIODevice &out, const Options &options, const QDateTime &stamp)
    : m_out(out)
    , m_options(options)
    , m_stamp(stamp)
    , m_dtstamp(stamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")))
{
    line(QStringLiteral("BEGIN:VCALENDAR"));
    line(QStringLiteral("VERSION:2.0"));
    line(QStringLiteral("PRODID:-//Duesmith//Duesmith//EN"));
    line(QStringLiteral("CALSCALE:GREGORIAN"));
    line(QStringLiteral("METHOD:PUBLISH"));
    line(QStringLiteral("X-WR-CALNAME:Duesmith"));
}

void ICalendar::Writer::line(const QString &text)
{
    m_buffer += foldLine(text);
    if (m_buffer.size() >= 65536)
        flush();
}

void ICalendar::Writer::flush()
{
    if (!m_failed && m_out.write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
}

void ICalendar::Writer::add(const ItemRecord &record, const QDate &due, bool overdue)
{
    if (!due.isValid())
        return;
    if (due != m_day) {
        m_day = due;
        m_taken.clear();
    }
    const QDate day = overdue ? m_stamp.date() : due;
    QString id = uid(record, due);
    if (const int n = m_taken[id]++; n > 0)
        id.replace(QLatin1Char('@'), QStringLiteral("-%1@").arg(n + 1));
    const QString title = escapeText(summary(record, overdue));
    line(QStringLiteral("BEGIN:VEVENT"));
    line(QStringLiteral("UID:") + id);
    line(QStringLiteral("DTSTAMP:") + m_dtstamp);
    line(QStringLiteral("DTSTART;VALUE=DATE:") + basicDate(day));
    // The day after 9999-12-31 has no eight-digit date; without DTEND an
    // all-day event lasts its one day all the same.
    if (day.addDays(1).year() <= 9999)
        line(QStringLiteral("DTEND;VALUE=DATE:") + basicDate(day.addDays(1)));
    line(QStringLiteral("SUMMARY:") + title);
    line(QStringLiteral("DESCRIPTION:") + escapeText(description(record, m_options)));
    line(QStringLiteral("TRANSP:TRANSPARENT"));
    // The alarm comes the item's warning days before the day it falls due.
    const int warn = overdue ? 0 : std::max(0, record.warningDays.toInt());
    line(QStringLiteral("BEGIN:VALARM"));
    line(QStringLiteral("ACTION:DISPLAY"));
    line(QStringLiteral("DESCRIPTION:") + title);
    line(warn == 0 ? QStringLiteral("TRIGGER:PT0S") : QStringLiteral("TRIGGER:-P%1D").arg(warn));
    line(QStringLiteral("END:VALARM"));
    line(QStringLiteral("END:VEVENT"));
    ++m_events;
}

void ICalendar::Writer::finish()
{
    line(QStringLiteral("END:VCALENDAR"));
    flush();
}

qint64 ICalendar::write(QIODevice &out, Projection &projection, const Options &options,
    const QDateTime &stamp, const std::function<bool(double)> &goOn)
{
    Writer writer(out, options, stamp);
    Projection::Step step;
    for (qint64 n = 1; projection.step(step) && !writer.failed(); ++n) {
        if (n % 1024 == 0 && goOn && !goOn(projection.progress()))
            return -1;
        if (Projection::isAhead(step))
            writer.add(projection.record(), QDate::fromJulianDay(step.day), step.overdue);
    }
    writer.finish();
    return writer.events();
}

QByteArray ICalendar::calendar(
    const std::vector<Occurrence> &occurrences, const Options &options, const QDateTime &stamp)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    Writer writer(buffer, options, stamp);
    for (const Occurrence &o : occurrences)
        writer.add(o.record, o.dueDate(), o.overdue);
    writer.finish();
    return out;
}
