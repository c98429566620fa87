#include "icalendar.h"

#include "data/formats.h"
#include "data/itemfields.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>
#include <iterator>

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

// yyyyMMdd, without a format string to parse for each date.
QString basicDate(const QDate &date)
{
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d);
    char text[9];
    const int digits[]
        = { y / 1000 % 10, y / 100 % 10, y / 10 % 10, y % 10, m / 10, m % 10, d / 10, d % 10 };
    for (int i = 0; i < 8; ++i)
        text[i] = char('0' + digits[i]);
    text[8] = 0;
    return QString::fromLatin1(text, 8);
}

QByteArray uidHash(const ItemRecord &item)
{
    const QString name = QStringList{ item.description.toString(), item.units.toString(),
        item.frequency.toString() }
                             .join(QChar(0x1F));
    return QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(20);
}

QString uidOf(const QDate &date, const QByteArray &hash)
{
    return basicDate(date) + QLatin1Char('-') + QString::fromLatin1(hash)
        + QStringLiteral("@duesmith.example.org");
}

// The labels of the four user fields: the user's titles where given.
std::array<QString, 4> userLabels(const Options &options)
{
    std::array<QString, 4> labels;
    for (int n = 1; n <= 4; ++n) {
        const QString title = options.userTitle(n).trimmed();
        labels[std::size_t(n - 1)] = title.isEmpty() ? ItemFields::userField(n) : title;
    }
    return labels;
}

// The description's lines; dueLine is where the due date's is, or -1.
QStringList descriptionLines(
    const ItemRecord &item, const std::array<QString, 4> &userLabels, int *dueLine = nullptr)
{
    struct Line
    {
        const QString *label;
        const QString field;
        const QVariant ItemRecord::*value;
    };
    static const QString labels[] = { QStringLiteral("Payee"), QStringLiteral("Due Date"),
        QStringLiteral("Expense Amount"), QStringLiteral("Income Amount"),
        QStringLiteral("Repeat Every"), QStringLiteral("End Date"), QStringLiteral("Warning Days"),
        QStringLiteral("Budget Amount"), QStringLiteral("Balance") };
    static const Line lines[]
        = { { &labels[0], QStringLiteral("Description"), &ItemRecord::description },
              { &labels[1], QStringLiteral("Due Date"), &ItemRecord::dueDate },
              { &labels[2], QStringLiteral("Bill Amount"), &ItemRecord::billAmount },
              { &labels[3], QStringLiteral("Pay Amount"), &ItemRecord::payAmount },
              { &labels[4], QStringLiteral("Frequency"), &ItemRecord::frequency },
              { &labels[5], QStringLiteral("End Date"), &ItemRecord::endDate },
              { &labels[6], QStringLiteral("Warning Days"), &ItemRecord::warningDays },
              { &labels[7], QStringLiteral("Budget"), &ItemRecord::budget },
              { &labels[8], QStringLiteral("Balance"), &ItemRecord::balance } };
    static const auto definitions = [] {
        std::array<const FieldDef *, std::size(lines) + 4> defs{};
        for (std::size_t i = 0; i < std::size(lines); ++i)
            defs[i] = ItemFields::definition(lines[i].field);
        for (int n = 1; n <= 4; ++n)
            defs[std::size(lines) + std::size_t(n - 1)]
                = ItemFields::definition(ItemFields::userField(n));
        return defs;
    }();
    const auto shown = [](const FieldDef *def, const QVariant &value) {
        return def ? Formats::display(*def, value) : value.toString();
    };

    QStringList text;
    if (dueLine)
        *dueLine = -1;
    for (std::size_t i = 0; i < std::size(lines) + 4; ++i) {
        const bool user = i >= std::size(lines);
        const QVariant &value
            = user ? item.userField[i - std::size(lines)] : item.*(lines[i].value);
        if (value.isNull())
            continue;
        QString field = shown(definitions[i], value);
        if (!user && lines[i].value == &ItemRecord::frequency) {
            const QString units = item.units.toString();
            field = value.toInt() == 0 ? units : field + QLatin1Char(' ') + units;
        }
        if (field.isEmpty())
            continue;
        if (dueLine && !user && lines[i].value == &ItemRecord::dueDate)
            *dueLine = int(text.size());
        text.append((user ? userLabels[i - std::size(lines)] : *lines[i].label)
            + QStringLiteral(": ") + field);
    }
    return text;
}
} // namespace

QString ICalendar::uid(const ItemRecord &item, const QDate &date)
{
    return uidOf(date, uidHash(item));
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
    return descriptionLines(item, userLabels(options)).join(QLatin1Char('\n'));
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

namespace {
// Folded at 75 octets, never inside a UTF-8 sequence; each line ends in CRLF.
void fold(QByteArray &out, const QByteArray &utf8)
{
    qsizetype start = 0;
    qsizetype room = 75; // the first line; continuations lose one octet to the leading blank
    while (utf8.size() - start > room) {
        qsizetype cut = start + room;
        // Back up to the first octet of a UTF-8 sequence.
        while (cut > start && (uchar(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(utf8.constData() + start, cut - start);
        out += "\r\n ";
        start = cut;
        room = 74;
    }
    out.append(utf8.constData() + start, utf8.size() - start);
    out += "\r\n";
}
} // namespace

QByteArray ICalendar::foldLine(const QString &line)
{
    QByteArray out;
    fold(out, line.toUtf8());
    return out;
}

ICalendar::Writer::Writer(QIODevice &out, const Options &options, const QDateTime &stamp)
    : m_out(out)
    , m_stamp(stamp)
    , m_dtstamp(
          "DTSTAMP:" + stamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1())
    , m_userLabels(userLabels(options))
{
    m_buffer.reserve(65536 + 4096);
    for (const char *text : { "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Duesmith//Duesmith//EN",
             "CALSCALE:GREGORIAN", "METHOD:PUBLISH", "X-WR-CALNAME:Duesmith" })
        put(text);
}

void ICalendar::Writer::line(const QString &text)
{
    put(text.toUtf8());
}

void ICalendar::Writer::put(const QByteArray &utf8)
{
    fold(m_buffer, utf8);
    if (m_buffer.size() >= 65536)
        flush();
}

void ICalendar::Writer::flush()
{
    if (!m_failed && m_out.write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.truncate(0);
}

ICalendar::Writer::Text ICalendar::Writer::textOf(const ItemRecord &record, bool overdue) const
{
    Text text;
    text.hash = uidHash(record);
    text.title = escapeText(summary(record, overdue)).toUtf8();
    int at = -1;
    const QStringList lines = descriptionLines(record, m_userLabels, &at);
    const QString head = lines.mid(0, at < 0 ? lines.size() : at).join(QLatin1Char('\n'));
    if (at >= 0)
        text.dueLine = lines[at];
    const QString tail = at < 0 ? QString() : lines.mid(at + 1).join(QLatin1Char('\n'));
    // CR before the line break that joins the pieces would be read as one break.
    text.inPieces = !head.endsWith(QLatin1Char('\r'));
    if (text.inPieces) {
        text.head = escapeText(head).toUtf8();
        text.tail = escapeText(tail).toUtf8();
    } else {
        text.description = lines.join(QLatin1Char('\n'));
    }
    text.warn = overdue ? 0 : std::max(0, record.warningDays.toInt());
    return text;
}

void ICalendar::Writer::add(const ItemRecord &record, const QDate &due, bool overdue)
{
    if (!due.isValid())
        return;
    const Text text = textOf(record, overdue);
    event(text, due, overdue, escapeText(text.dueLine).toUtf8());
}

void ICalendar::Writer::add(const Projection &projection, const Projection::Step &step)
{
    const QDate due = QDate::fromJulianDay(step.day);
    if (step.overdue) {
        // Once per item at most: not worth keeping.
        add(projection.record(), due, true);
        return;
    }
    if (m_items.size() <= std::size_t(step.item))
        m_items.resize(std::size_t(step.item) + 1);
    ItemText &item = m_items[std::size_t(step.item)];
    const Recurrence &cycle = projection.cycle();
    if (!item.made || item.bill != cycle.bill || item.pay != cycle.pay
        || item.balance != cycle.balance) {
        item.text = textOf(projection.record(), false);
        item.made = true;
        item.bill = cycle.bill;
        item.pay = cycle.pay;
        item.balance = cycle.balance;
    }
    if (due != m_day || m_dayLine.isEmpty()) {
        static const FieldDef *const dueDate = ItemFields::definition(QStringLiteral("Due Date"));
        m_dayLine
            = escapeText(QStringLiteral("Due Date: ") + Formats::display(*dueDate, due)).toUtf8();
    }
    if (!item.text.inPieces) {
        add(projection.record(), due, false);
        return;
    }
    event(item.text, due, false, item.text.dueLine.isEmpty() ? QByteArray() : m_dayLine);
}

namespace {
void appendDate(QByteArray &out, const QDate &date)
{
    out += basicDate(date).toLatin1();
}
} // namespace

void ICalendar::Writer::event(
    const Text &text, const QDate &due, bool overdue, const QByteArray &dueLine)
{
    m_day = due;
    const QDate day = overdue ? m_stamp.date() : due;
    auto &[takenOn, taken] = m_taken[text.hash];
    if (takenOn != due.toJulianDay()) {
        takenOn = due.toJulianDay();
        taken = 0;
    }
    put("BEGIN:VEVENT");
    m_line = "UID:";
    appendDate(m_line, due);
    m_line += '-' + text.hash;
    if (++taken > 1)
        m_line += '-' + QByteArray::number(taken);
    m_line += "@duesmith.example.org";
    put(m_line);
    put(m_dtstamp);
    m_line = "DTSTART;VALUE=DATE:";
    appendDate(m_line, day);
    put(m_line);
    // The day after 9999-12-31 has no eight-digit date; without DTEND an
    // all-day event lasts its one day all the same.
    if (day.addDays(1).year() <= 9999) {
        m_line = "DTEND;VALUE=DATE:";
        appendDate(m_line, day.addDays(1));
        put(m_line);
    }
    put("SUMMARY:" + text.title);
    if (text.inPieces) {
        m_line = "DESCRIPTION:" + text.head;
        for (const QByteArray *part : { &dueLine, &text.tail }) {
            if (part->isEmpty())
                continue;
            if (m_line.size() > 12)
                m_line += "\\n";
            m_line += *part;
        }
        put(m_line);
    } else {
        line(QStringLiteral("DESCRIPTION:") + escapeText(text.description));
    }
    put("TRANSP:TRANSPARENT");
    // The alarm comes the item's warning days before the day it falls due.
    put("BEGIN:VALARM");
    put("ACTION:DISPLAY");
    put("DESCRIPTION:" + text.title);
    put(text.warn == 0 ? QByteArray("TRIGGER:PT0S")
                       : "TRIGGER:-P" + QByteArray::number(text.warn) + 'D');
    put("END:VALARM");
    put("END:VEVENT");
    ++m_events;
}

void ICalendar::Writer::finish()
{
    put("END:VCALENDAR");
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
            writer.add(projection, step);
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
