#include "duereport.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/formats.h"
#include "data/tablefiles.h"

#include <QDir>
#include <QLocale>
#include <QTextStream>

#include <algorithm>
#include <charconv>
#include <limits>

namespace {
QString dueStatus(const DueItem &item)
{
    if (!item.daysLeft)
        return QStringLiteral("no due date");
    const qint64 d = *item.daysLeft;
    if (d < 0)
        return d == -1 ? QStringLiteral("overdue 1 day")
                       : QStringLiteral("overdue %1 days").arg(-d);
    if (d == 0)
        return QStringLiteral("due today");
    return d == 1 ? QStringLiteral("due tomorrow") : QStringLiteral("due in %1 days").arg(d);
}

// The due status, then what is wrong with the record's stored values.
QString status(const DueItem &item)
{
    return QStringList(QStringList{ dueStatus(item) } + item.problems).join(QStringLiteral("; "));
}

QString isoDate(const QVariant &date)
{
    if (date.isNull())
        return {};
    // Written out here for the common years: QDate::toString() goes through
    // a formatter of its own for every row.
    const QDate d = date.toDate();
    const int y = d.year(), m = d.month(), day = d.day();
    if (!d.isValid() || y < 1 || y > 9999)
        return d.toString(Qt::ISODate);
    const char text[] = { char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10),
        char('0' + y % 10), '-', char('0' + m / 10), char('0' + m % 10), '-', char('0' + day / 10),
        char('0' + day % 10) };
    return QString::fromLatin1(text, sizeof text);
}

QString plainAmount(const QVariant &amount)
{
    return amount.isNull() ? QString() : QString::number(amount.toDouble(), 'f', 2);
}

// One line per item in a table: tabs and line breaks of a payee become blanks.
QString oneLine(QString text)
{
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString oneLineMessage(const QString &text)
{
    return text.simplified();
}
} // namespace

namespace {
const QStringList &tableHeader()
{
    static const QStringList header
        = { QStringLiteral("Due Date"), QStringLiteral("Payee"), QStringLiteral("Expense Amount"),
              QStringLiteral("Income Amount"), QStringLiteral("Status") };
    return header;
}

QStringList tableCells(const DueItem &item)
{
    const ItemRecord &r = item.record;
    return { isoDate(r.dueDate), oneLine(r.description.toString()),
        r.billAmount.isNull() ? QString() : Formats::money(r.billAmount.toDouble()),
        r.payAmount.isNull() ? QString() : Formats::money(r.payAmount.toDouble()), status(item) };
}

QString tableLine(const QStringList &row, const QList<qsizetype> &width)
{
    static const bool right[] = { false, false, true, true, false };
    QStringList cells;
    for (int c = 0; c < row.size(); ++c)
        cells.append(right[c] ? row[c].rightJustified(width[c]) : row[c].leftJustified(width[c]));
    return cells.join(QStringLiteral("  ")).trimmed() + QLatin1Char('\n');
}

// Output is handed on in pieces of about this size, as it is made.
constexpr qsizetype OutputPiece = 64 * 1024;

// The table's cells in UTF-8, one after the other, with where each ends:
// the rows as they will be printed, kept while the column widths are found.
class KeptCells
{
public:
    explicit KeptCells(qsizetype bound)
        : m_bound(bound)
    { }

    void add(const QStringList &cells)
    {
        if (!m_complete)
            return;
        for (const QString &cell : cells) {
            appendUtf8(m_text, cell);
            m_ends.append(quint32(m_text.size()));
        }
        if (m_text.size() + m_ends.size() * qsizetype(sizeof(quint32)) > m_bound
            || m_text.size() > std::numeric_limits<quint32>::max() / 2) {
            m_complete = false;
            m_text = QByteArray();
            m_ends = QList<quint32>();
        }
    }
    // Whether every row is kept.
    bool complete() const { return m_complete; }

    // Adds each row to text as tableLine() lays it out, calling full() when
    // text has grown past a piece to hand on.
    template <typename Full>
    void write(const QList<qsizetype> &width, QByteArray &text, Full full) const
    {
        static const bool right[] = { false, false, true, true, false };
        const int columns = int(width.size());
        QByteArray line;
        quint32 from = 0;
        for (qsizetype i = 0; i < m_ends.size(); i += columns) {
            line.resize(0);
            for (int c = 0; c < columns; ++c) {
                const quint32 to = m_ends[i + c];
                const char *cell = m_text.constData() + from;
                const qsizetype pad = width[c] - utf16Length(cell, to - from);
                if (c > 0)
                    line += "  ";
                if (right[c])
                    line.append(pad, ' ');
                line.append(cell, to - from);
                if (!right[c])
                    line.append(pad, ' ');
                from = to;
            }
            text += trimmed(line);
            text += '\n';
            if (text.size() > OutputPiece)
                full();
        }
    }

private:
    // UTF-16 units of UTF-8 text, as QString::size() counts them.
    static qsizetype utf16Length(const char *text, qsizetype bytes)
    {
        qsizetype units = 0;
        for (qsizetype i = 0; i < bytes; ++i) {
            const uchar b = uchar(text[i]);
            units += (b & 0xC0) != 0x80;
            units += b >= 0xF0;
        }
        return units;
    }
    // QString::trimmed() of the line; the blanks it removes are ASCII but for
    // a few outside it, which the QString itself then removes.
    static QByteArray trimmed(const QByteArray &line)
    {
        const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        qsizetype from = 0, to = line.size();
        while (from < to && blank(line[from]))
            ++from;
        while (to > from && blank(line[to - 1]))
            --to;
        if ((from < to && uchar(line[from]) >= 0x80) || (to > from && uchar(line[to - 1]) >= 0x80))
            return QString::fromUtf8(line).trimmed().toUtf8();
        return QByteArray::fromRawData(line.constData() + from, to - from);
    }
    // text in UTF-8; ASCII as it is, without a converted copy.
    static void appendUtf8(QByteArray &out, const QString &text)
    {
        for (const QChar c : text)
            if (c.unicode() >= 0x80) {
                out += text.toUtf8();
                return;
            }
        const qsizetype at = out.size();
        out.resize(at + text.size());
        char *p = out.data() + at;
        for (const QChar c : text)
            *p++ = char(c.unicode());
    }

    qsizetype m_bound;
    bool m_complete = true;
    QByteArray m_text;
    QList<quint32> m_ends;
};

QString csvLine(const DueItem &item)
{
    const ItemRecord &r = item.record;
    const QStringList fields = { QString::number(item.key), isoDate(r.dueDate),
        csvField(r.description.toString()), plainAmount(r.billAmount), plainAmount(r.payAmount),
        r.warningDays.isNull() ? QString() : QString::number(r.warningDays.toInt()),
        item.daysLeft ? QString::number(*item.daysLeft) : QString(), status(item) };
    return fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

// The JSON listing is made in UTF-8 as it is written, without a QString or
// a text stream between the values and the bytes.
void addNumber(QByteArray &out, qint64 n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end - digits);
}

// One ASCII character inside a JSON string, escaped as QJsonDocument does.
void addJsonChar(QByteArray &out, char c)
{
    if (uchar(c) >= 0x20 && c != '"' && c != '\\') {
        out += c;
        return;
    }
    out += '\\';
    switch (c) {
    case '"':
    case '\\':
        out += c;
        break;
    case '\b':
        out += 'b';
        break;
    case '\f':
        out += 'f';
        break;
    case '\n':
        out += 'n';
        break;
    case '\r':
        out += 'r';
        break;
    case '\t':
        out += 't';
        break;
    default: {
        static const char hex[] = "0123456789abcdef";
        const char code[] = { 'u', '0', '0', hex[(uchar(c) >> 4) & 0xf], hex[uchar(c) & 0xf] };
        out.append(code, sizeof code);
    }
    }
}

// The inside of a JSON string. Only ASCII is ever escaped and no byte of a
// multi-byte UTF-8 sequence is ASCII, so the rest is escaped byte by byte.
void addJsonBody(QByteArray &out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x80) {
            for (const char c : text.sliced(i).toUtf8())
                addJsonChar(out, c);
            return;
        }
        addJsonChar(out, char(u));
    }
}

void addJsonText(QByteArray &out, QStringView text)
{
    out += '"';
    addJsonBody(out, text);
    out += '"';
}

void addJsonDate(QByteArray &out, const QDate &date)
{
    const int y = date.year(), m = date.month(), d = date.day();
    if (!date.isValid() || y < 1 || y > 9999) {
        addJsonText(out, date.toString(Qt::ISODate));
        return;
    }
    const char text[] = { '"', char('0' + y / 1000), char('0' + y / 100 % 10),
        char('0' + y / 10 % 10), char('0' + y % 10), '-', char('0' + m / 10), char('0' + m % 10),
        '-', char('0' + d / 10), char('0' + d % 10), '"' };
    out.append(text, sizeof text);
}

// The status as status() words it, as a JSON string.
void addJsonStatus(QByteArray &out, const DueItem &item)
{
    out += '"';
    if (!item.daysLeft) {
        out += "no due date";
    } else if (const qint64 d = *item.daysLeft; d < 0) {
        out += "overdue ";
        addNumber(out, -d);
        out += d == -1 ? " day" : " days";
    } else if (d == 0) {
        out += "due today";
    } else if (d == 1) {
        out += "due tomorrow";
    } else {
        out += "due in ";
        addNumber(out, d);
        out += " days";
    }
    for (const QString &problem : item.problems) {
        out += "; ";
        addJsonBody(out, problem);
    }
    out += '"';
}

// One item as QJsonDocument's indented form writes it inside the list: the
// keys in their sorted order, absent values null.
void addJsonItem(QByteArray &out, const DueItem &item)
{
    const ItemRecord &r = item.record;
    const auto key = [&out](const char *name) {
        out += "            \"";
        out += name;
        out += "\": ";
    };
    const auto next = [&out] { out += ",\n"; };
    const auto number = [&out](const QVariant &v) {
        if (v.isNull())
            out += "null";
        else
            out += QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    };
    out += "        {\n";
    key("daysLeft");
    if (item.daysLeft)
        addNumber(out, *item.daysLeft);
    else
        out += "null";
    next();
    key("dueDate");
    if (r.dueDate.isNull())
        out += "null";
    else
        addJsonDate(out, r.dueDate.toDate());
    next();
    key("expenseAmount");
    number(r.billAmount);
    next();
    key("incomeAmount");
    number(r.payAmount);
    next();
    key("key");
    addNumber(out, item.key);
    next();
    key("pastDue");
    out += item.pastDue ? "true" : "false";
    next();
    key("payee");
    addJsonText(out, r.description.toString());
    next();
    if (!item.problems.isEmpty()) {
        key("problems");
        out += "[\n";
        for (qsizetype i = 0; i < item.problems.size(); ++i) {
            out += "                ";
            addJsonText(out, item.problems[i]);
            out += i + 1 < item.problems.size() ? ",\n" : "\n";
        }
        out += "            ]";
        next();
    }
    key("status");
    addJsonStatus(out, item);
    next();
    key("warningDays");
    if (r.warningDays.isNull())
        out += "null";
    else
        addNumber(out, r.warningDays.toInt());
    out += "\n        }";
}

// Hands bytes made in UTF-8 on to the stream's device, after what the stream
// itself holds.
void writeBytes(QTextStream &out, const QByteArray &bytes)
{
    if (QIODevice *device = out.device()) {
        out.flush();
        device->write(bytes);
    } else {
        out << QString::fromUtf8(bytes);
    }
}

// The listing, written as the schedule is read. The table keeps its rows' text
// while it finds the widths of its columns, up to tableMemory bytes; a longer
// table reads the schedule a second time to write it.
void write(const CommandLine &cmd, const QDateTime &now, QTextStream &out, bool &pastDue,
    qsizetype tableMemory)
{
    qsizetype count = 0;
    switch (cmd.format) {
    case CommandLine::Format::Table: {
        QList<qsizetype> width;
        for (const QString &title : tableHeader())
            width.append(title.size());
        // The rows' cells are kept while the widths are found, up to a bound;
        // beyond it they are let go and the schedule is read a second time.
        KeptCells kept(tableMemory);
        DueList::scan(now, cmd.days, [&](const DueItem &item) {
            const QStringList cells = tableCells(item);
            for (int c = 0; c < cells.size(); ++c)
                width[c] = std::max(width[c], cells[c].size());
            kept.add(cells);
            pastDue = pastDue || item.pastDue;
            ++count;
        });
        if (count == 0) {
            out << (cmd.days
                    ? QStringLiteral("Nothing is overdue or due within %1 days.\n").arg(*cmd.days)
                    : QStringLiteral("Nothing is overdue or within its warning days.\n"));
            return;
        }
        if (kept.complete()) {
            QByteArray text = tableLine(tableHeader(), width).toUtf8();
            const auto handOn = [&] {
                writeBytes(out, text);
                text.resize(0);
            };
            kept.write(width, text, handOn);
            handOn();
            return;
        }
        out << tableLine(tableHeader(), width);
        pastDue = false;
        DueList::scan(now, cmd.days, [&](const DueItem &item) {
            out << tableLine(tableCells(item), width);
            pastDue = pastDue || item.pastDue;
        });
        return;
    }
    case CommandLine::Format::Csv:
        // RFC 4180: CRLF after every record, the header first.
        out << QStringLiteral("Key,Due Date,Payee,Expense Amount,Income Amount,Warning "
                              "Days,Days Left,Status\r\n");
        DueList::scan(now, cmd.days, [&](const DueItem &item) {
            out << csvLine(item);
            pastDue = pastDue || item.pastDue;
        });
        return;
    case CommandLine::Format::Json: {
        QByteArray text;
        text.reserve(OutputPiece + 4096);
        text += "{\n    \"date\": ";
        addJsonDate(text, now.date());
        text += ",\n    \"items\": [\n";
        DueList::scan(now, cmd.days, [&](const DueItem &item) {
            if (count++ > 0)
                text += ",\n";
            addJsonItem(text, item);
            pastDue = pastDue || item.pastDue;
            // Handed on in pieces, so that the output is written as it is read.
            if (text.size() > OutputPiece) {
                writeBytes(out, text);
                text.resize(0);
            }
        });
        text += count > 0 ? "\n    ]\n}\n" : "    ]\n}\n";
        writeBytes(out, text);
        return;
    }
    }
}

QString schedulelessFolder(const QString &folder)
{
    return QStringLiteral("duesmith: the folder %1 holds no Duesmith tables (%2 is missing)\n")
        .arg(folder, TableFiles::Schedule);
}
} // namespace

std::optional<QList<DueItem>> DueReport::read(
    const QDateTime &now, std::optional<int> days, QTextStream &err)
{
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    if (!Engine::exists(TableFiles::Schedule)) {
        err << schedulelessFolder(folder);
        return std::nullopt;
    }
    try {
        return DueList::read(now, days);
    } catch (const EngineError &e) {
        err << QStringLiteral("duesmith: %1 (in the folder %2)\n")
                   .arg(oneLineMessage(e.message()), folder);
        return std::nullopt;
    }
}

int DueReport::run(const CommandLine &cmd, const QDateTime &now, QTextStream &out, QTextStream &err,
    qsizetype tableMemory)
{
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    if (!Engine::exists(TableFiles::Schedule)) {
        err << schedulelessFolder(folder);
        return ExitCode::BadInput;
    }
    bool pastDue = false;
    try {
        write(cmd, now, out, pastDue, tableMemory);
    } catch (const EngineError &e) {
        err << QStringLiteral("duesmith: %1 (in the folder %2)\n")
                   .arg(oneLineMessage(e.message()), folder);
        return ExitCode::BadInput;
    }
    return pastDue ? ExitCode::PastDue : ExitCode::Ok;
}
