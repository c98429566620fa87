#include "itemstatements.h"

#include "attachedfile.h"
#include "engine.h"
#include "engineerror.h"
#include "itemfields.h"
#include "layouts.h"
#include "money.h"
#include "query.h"
#include "recordrules.h"
#include "sqlbind.h"
#include "sqlerror.h"
#include "table.h"

#include <QStringList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace {
QString copySql(const QString &work, const QString &schedule)
{
    QStringList columns = { Engine::quote(QStringLiteral("PayNow")) };
    for (const QString &f : ItemFields::entered())
        columns.append(Engine::quote(f));
    const QString list = columns.join(QStringLiteral(", "));
    const QString due = Engine::quote(QStringLiteral("Due Date"));
    // Dates carry no time of day, so "now + W days >= due" holds up to today + W.
    // The rows go in in the schedule's due-date order, which gives their new keys.
    return QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE %4 IS NULL"
                          " OR julianday(%4) <= julianday(?1) + COALESCE(%5, 0)"
                          " ORDER BY %4, %6, rowid")
        .arg(work, list, schedule, due, Engine::quote(QStringLiteral("Warning Days")),
            Engine::quote(QStringLiteral("Description")));
}
} // namespace

int ItemStatements::copyDue(Table &work, const QString &scheduleFile, const QDate &until)
{
    AttachedFile into(work.path());
    AttachedFile from(scheduleFile);
    int copied = 0;
    inTransaction([&] {
        work.emptyTable();
        translatingErrors([&] {
            SQLite::Statement copy(
                Engine::instance().db(), copySql(into.table(), from.table()).toStdString());
            copy.bind(1, until.toString(Qt::ISODate).toStdString());
            copied = copy.exec();
        });
    });
    return copied;
}

ItemInsert::ItemInsert(const AttachedFile &into, const QStringList &fields)
    : m_fields(fields)
{
    QStringList columns, marks;
    for (const QString &f : fields) {
        columns.append(Engine::quote(f));
        marks.append(QStringLiteral("?"));
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(into.table(), columns.join(QStringLiteral(", ")),
                                marks.join(QStringLiteral(", ")));
    m_statement = std::make_unique<SQLite::Statement>(Engine::instance().db(), sql.toStdString());
    for (const QString &f : fields) {
        const FieldDef *def = Layouts::item().field(f);
        m_defs.append(def ? *def : FieldDef{ f, FieldType::Text });
    }
}

ItemInsert::~ItemInsert() = default;

void ItemInsert::insert(const QVariantList &values)
{
    // A computed record (a balance carried on) keeps the rules an entered one does.
    RecordRules::checkRecord(m_defs, std::vector<QVariant>(values.begin(), values.end()));
    m_statement->reset();
    for (int i = 0; i < values.size(); ++i)
        bindVariant(*m_statement, i + 1, values[i]);
    m_statement->exec();
}

ItemRemove::ItemRemove(const AttachedFile &from)
    : m_statement(std::make_unique<SQLite::Statement>(Engine::instance().db(),
        (QStringLiteral("DELETE FROM ") + from.table() + QStringLiteral(" WHERE rowid=?"))
            .toStdString()))
{ }

ItemRemove::~ItemRemove() = default;

void ItemRemove::remove(qint64 key)
{
    m_statement->reset();
    m_statement->bind(1, static_cast<int64_t>(key));
    m_statement->exec();
}

void ItemStatements::empty(const AttachedFile &file)
{
    Engine::instance().db().exec((QStringLiteral("DELETE FROM ") + file.table()).toStdString());
}

qint64 ItemStatements::countProcessed(const QString &fileName)
{
    AttachedFile file(fileName);
    return translatingErrors([&] {
        SQLite::Statement count(Engine::instance().db(),
            (QStringLiteral("SELECT count(*) FROM ") + file.table()
                + QStringLiteral(" WHERE \"Process Date\" IS NOT NULL"))
                .toStdString());
        return count.executeStep() ? qint64(count.getColumn(0).getInt64()) : qint64(0);
    });
}

// Money is summed exactly (as Money). The counts of amounts and items
// beside the totals let a post or delete update the rows without running the
// statement again.
QString ItemStatements::totals(const QString &groupField, const QString &where)
{
    using namespace TotalsColumn;
    const QString group = Engine::quote(groupField);
    return QStringLiteral(
        "SELECT %1, ds_sum4(\"Bill Amount\") AS %3, ds_sum4(\"Pay Amount\") AS %4,"
        " count(\"Description\") AS %5, count(\"Bill Amount\") AS %6,"
        " count(\"Pay Amount\") AS %7, count(*) AS %8"
        " FROM {schedule.DB}%2 GROUP BY %1 ORDER BY %1")
        .arg(group, where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where, Bill, Pay,
            Count, BillCount, PayCount, ItemCount);
}

QString ItemStatements::markedTotals()
{
    using namespace TotalsColumn;
    return QStringLiteral(
        "SELECT ds_sum4(\"Bill Amount\") AS %1, ds_sum4(\"Pay Amount\") AS %2,"
        " count(\"Description\") AS %3 FROM {schedule.DB} WHERE \"PayNow\" = '%4'")
        .arg(Bill, Pay, Count, PayMark);
}

QStringList ItemStatements::markedTotalsFields()
{
    return { QStringLiteral("Bill Amount"), QStringLiteral("Pay Amount"),
        QStringLiteral("Description") };
}

void ItemStatements::showMarkedTotals(Query &query, const Table &markedList)
{
    const std::vector<Table::FieldTotal> &totals = markedList.fieldTotals();
    if (totals.size() != 3)
        throw EngineError(QStringLiteral("The list does not total the marked items."));
    // ds_sum4() gives its sum as decimal text, which the query reads back.
    const auto sum = [](const std::optional<Money> &s) -> QVariant {
        if (!s)
            return {};
        const QByteArray text = s->text();
        const std::optional<Money> read = Money::fromText(text);
        return read ? read->toVariant() : QVariant(text);
    };
    using namespace TotalsColumn;
    query.setResult(
        { Bill, Pay, Count }, { { sum(totals[0].sum), sum(totals[1].sum), totals[2].count } });
}
