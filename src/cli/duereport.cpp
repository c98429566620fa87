#include "duereport.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/formats.h"
#include "data/tablefiles.h"

#include <QDir>
#include <QLocale>
#include <QTextStream>

#include <algorithm>

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
    return date.isNull() ? QString() : date.toDate().toString(Qt::ISODate);
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

QString csvLine(const DueItem &item)
{
    const ItemRecord &r = item.record;
    const QStringList fields = { QString::number(item.key), isoDate(r.dueDate),
        csvField(r.description.toString()), plainAmount(r.billAmount), plainAmount(r.payAmount),
        r.warningDays.isNull() ? QString() : QString::number(r.warningDays.toInt()),
        item.daysLeft ? QString::number(*item.daysLeft) : QString(), status(item) };
    return fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

// A JSON string as QJsonDocument writes it, added to out.
void addJsonText(QString &out, QStringView text)
{
    out += QLatin1Char('"');
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != u'"' && u != u'\\') {
            out += c;
            continue;
        }
        out += QLatin1Char('\\');
        switch (u) {
        case u'"':
        case u'\\':
            out += c;
            break;
        case u'\b':
            out += QLatin1Char('b');
            break;
        case u'\f':
            out += QLatin1Char('f');
            break;
        case u'\n':
            out += QLatin1Char('n');
            break;
        case u'\r':
            out += QLatin1Char('r');
            break;
        case u'\t':
            out += QLatin1Char('t');
            break;
        default:
            out += QStringLiteral("u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        }
    }
    out += QLatin1Char('"');
}

// One item as QJsonDocument's indented form writes it inside the list: the
// keys in their sorted order, absent values null.
void addJsonItem(QString &out, const DueItem &item)
{
    const ItemRecord &r = item.record;
    const auto key = [&out](const char *name) {
        out += QLatin1StringView("            \"");
        out += QLatin1StringView(name);
        out += QLatin1StringView("\": ");
    };
    const auto next = [&out] { out += QLatin1StringView(",\n"); };
    const auto number = [&out](const QVariant &v) {
        if (v.isNull())
            out += QLatin1StringView("null");
        else
            out += QLatin1StringView(
                QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest));
    };
    out += QLatin1StringView("        {\n");
    key("daysLeft");
    if (item.daysLeft)
        out += QString::number(*item.daysLeft);
    else
        out += QLatin1StringView("null");
    next();
    key("dueDate");
    if (r.dueDate.isNull())
        out += QLatin1StringView("null");
    else
        addJsonText(out, isoDate(r.dueDate));
    next();
    key("expenseAmount");
    number(r.billAmount);
    next();
    key("incomeAmount");
    number(r.payAmount);
    next();
    key("key");
    out += QString::number(item.key);
    next();
    key("pastDue");
    out += item.pastDue ? QLatin1StringView("true") : QLatin1StringView("false");
    next();
    key("payee");
    addJsonText(out, r.description.toString());
    next();
    if (!item.problems.isEmpty()) {
        key("problems");
        out += QLatin1StringView("[\n");
        for (qsizetype i = 0; i < item.problems.size(); ++i) {
            out += QLatin1StringView("                ");
            addJsonText(out, item.problems[i]);
            out += i + 1 < item.problems.size() ? QLatin1StringView(",\n")
                                                : QLatin1StringView("\n");
        }
        out += QLatin1StringView("            ]");
        next();
    }
    key("status");
    addJsonText(out, status(item));
    next();
    key("warningDays");
    if (r.warningDays.isNull())
        out += QLatin1StringView("null");
    else
        out += QString::number(r.warningDays.toInt());
    out += QLatin1StringView("\n        }");
}

// The listing, written as the schedule is read. The table reads it twice: once
// for the widths of its columns, once to write it.
void write(const CommandLine &cmd, const QDateTime &now, QTextStream &out, bool &pastDue)
{
    qsizetype count = 0;
    switch (cmd.format) {
    case CommandLine::Format::Table: {
        QList<qsizetype> width;
        for (const QString &title : tableHeader())
            width.append(title.size());
        DueList::scan(now, cmd.days, [&](const DueItem &item) {
            const QStringList cells = tableCells(item);
            for (int c = 0; c < cells.size(); ++c)
                width[c] = std::max(width[c], cells[c].size());
            ++count;
        });
        if (count == 0) {
            out << (cmd.days
                    ? QStringLiteral("Nothing is overdue or due within %1 days.\n").arg(*cmd.days)
                    : QStringLiteral("Nothing is overdue or within its warning days.\n"));
            return;
        }
        out << tableLine(tableHeader(), width);
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
    case CommandLine::Format::Json:
        QString text = QStringLiteral("{\n    \"date\": ");
        addJsonText(text, now.date().toString(Qt::ISODate));
        text += QLatin1StringView(",\n    \"items\": [\n");
        DueList::scan(now, cmd.days, [&](const DueItem &item) {
            if (count++ > 0)
                text += QLatin1StringView(",\n");
            addJsonItem(text, item);
            pastDue = pastDue || item.pastDue;
            // Handed on in pieces, so that the output is written as it is read.
            if (text.size() > 16384) {
                out << text;
                text.clear();
            }
        });
        out << text;
        out << (count > 0 ? QStringLiteral("\n    ]\n}\n") : QStringLiteral("    ]\n}\n"));
        return;
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

int DueReport::run(const CommandLine &cmd, const QDateTime &now, QTextStream &out, QTextStream &err)
{
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    if (!Engine::exists(TableFiles::Schedule)) {
        err << schedulelessFolder(folder);
        return ExitCode::BadInput;
    }
    bool pastDue = false;
    try {
        write(cmd, now, out, pastDue);
    } catch (const EngineError &e) {
        err << QStringLiteral("duesmith: %1 (in the folder %2)\n")
                   .arg(oneLineMessage(e.message()), folder);
        return ExitCode::BadInput;
    }
    return pastDue ? ExitCode::PastDue : ExitCode::Ok;
}
