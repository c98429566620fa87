#include "duereport.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/formats.h"
#include "data/tablefiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

QString DueReport::table(const QList<DueItem> &items, std::optional<int> days)
{
    if (items.isEmpty())
        return days ? QStringLiteral("Nothing is overdue or due within %1 days.\n").arg(*days)
                    : QStringLiteral("Nothing is overdue or within its warning days.\n");
    const QStringList header
        = { QStringLiteral("Due Date"), QStringLiteral("Payee"), QStringLiteral("Expense Amount"),
              QStringLiteral("Income Amount"), QStringLiteral("Status") };
    const bool right[] = { false, false, true, true, false };
    QList<QStringList> rows = { header };
    for (const DueItem &item : items) {
        const ItemRecord &r = item.record;
        rows.append({ isoDate(r.dueDate), oneLine(r.description.toString()),
            r.billAmount.isNull() ? QString() : Formats::money(r.billAmount.toDouble()),
            r.payAmount.isNull() ? QString() : Formats::money(r.payAmount.toDouble()),
            status(item) });
    }
    QList<qsizetype> width(header.size(), 0);
    for (const QStringList &row : std::as_const(rows))
        for (int c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    QString text;
    for (const QStringList &row : std::as_const(rows)) {
        QStringList cells;
        for (int c = 0; c < row.size(); ++c)
            cells.append(
                right[c] ? row[c].rightJustified(width[c]) : row[c].leftJustified(width[c]));
        text += cells.join(QStringLiteral("  ")).trimmed() + QLatin1Char('\n');
    }
    return text;
}

QString DueReport::csv(const QList<DueItem> &items)
{
    // RFC 4180: CRLF after every record, the header first.
    QString text = QStringLiteral("Key,Due Date,Payee,Expense Amount,Income Amount,Warning "
                                  "Days,Days Left,Status\r\n");
    for (const DueItem &item : items) {
        const ItemRecord &r = item.record;
        const QStringList fields = { QString::number(item.key), isoDate(r.dueDate),
            csvField(r.description.toString()), plainAmount(r.billAmount), plainAmount(r.payAmount),
            r.warningDays.isNull() ? QString() : QString::number(r.warningDays.toInt()),
            item.daysLeft ? QString::number(*item.daysLeft) : QString(), status(item) };
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text;
}

QString DueReport::json(const QList<DueItem> &items, const QDate &today)
{
    auto amount
        = [](const QVariant &v) { return v.isNull() ? QJsonValue() : QJsonValue(v.toDouble()); };
    QJsonArray list;
    for (const DueItem &item : items) {
        const ItemRecord &r = item.record;
        QJsonObject o;
        o.insert(QStringLiteral("key"), item.key);
        o.insert(QStringLiteral("dueDate"),
            r.dueDate.isNull() ? QJsonValue() : QJsonValue(isoDate(r.dueDate)));
        o.insert(QStringLiteral("payee"), r.description.toString());
        o.insert(QStringLiteral("expenseAmount"), amount(r.billAmount));
        o.insert(QStringLiteral("incomeAmount"), amount(r.payAmount));
        o.insert(QStringLiteral("warningDays"),
            r.warningDays.isNull() ? QJsonValue() : QJsonValue(r.warningDays.toInt()));
        o.insert(
            QStringLiteral("daysLeft"), item.daysLeft ? QJsonValue(*item.daysLeft) : QJsonValue());
        o.insert(QStringLiteral("pastDue"), item.pastDue);
        o.insert(QStringLiteral("status"), status(item));
        if (!item.problems.isEmpty())
            o.insert(QStringLiteral("problems"), QJsonArray::fromStringList(item.problems));
        list.append(o);
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("date"), today.toString(Qt::ISODate));
    doc.insert(QStringLiteral("items"), list);
    return QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented));
}

std::optional<QList<DueItem>> DueReport::read(
    const QDateTime &now, std::optional<int> days, QTextStream &err)
{
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    if (!Engine::exists(TableFiles::Schedule)) {
        err << QStringLiteral("duesmith: the folder %1 holds no Duesmith tables (%2 is missing)\n")
                   .arg(folder, TableFiles::Schedule);
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
    const std::optional<QList<DueItem>> due = read(now, cmd.days, err);
    if (!due)
        return ExitCode::BadInput;
    const QList<DueItem> &items = *due;
    switch (cmd.format) {
    case CommandLine::Format::Table:
        out << table(items, cmd.days);
        break;
    case CommandLine::Format::Csv:
        out << csv(items);
        break;
    case CommandLine::Format::Json:
        out << json(items, now.date());
        break;
    }
    const bool pastDue
        = std::any_of(items.cbegin(), items.cend(), [](const DueItem &i) { return i.pastDue; });
    return pastDue ? ExitCode::PastDue : ExitCode::Ok;
}
