// The table handle: the SQL it builds and prepares (statements, index columns,
// the order clause, the key list).

#include "table.h"
#include "tablesupport.h"

#include "engine.h"
#include "engineerror.h"
#include "filter.h"
#include "sqlerror.h"

#include <QDate>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace TableSupport;

void Table::StatementDeleter::operator()(sqlite3_stmt *stmt) const
{
    sqlite3_finalize(stmt);
}

Table::Statement Table::prepare(const QString &sql) const
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(connection(), text.constData(), int(text.size()),
        SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw engineError(connection(), rc);
    }
    return Statement(stmt);
}

void Table::finalizeStatements()
{
    m_fetch.reset();
    m_fetchBlock.reset();
    m_insert.reset();
    m_delete.reset();
    m_filterCheck.reset();
    m_updates.clear();
}

QStringList Table::indexColumns(const QString &indexName) const
{
    QStringList columns;
    try {
        SQLite::Database &db = Engine::instance().db();
        // Index names are looked up without regard to case, as field names are.
        SQLite::Statement list(db,
            "SELECT name FROM " + Engine::quote(m_alias).toStdString()
                + ".sqlite_master WHERE type='index' AND tbl_name=?");
        list.bind(1, DataTableName.toStdString());
        QString found;
        while (list.executeStep()) {
            const QString name = QString::fromStdString(list.getColumn(0).getString());
            if (name.compare(indexName, Qt::CaseInsensitive) == 0)
                found = name;
        }
        if (found.isEmpty())
            throw EngineError(QStringLiteral("Index does not exist. Index: %1").arg(indexName));
        SQLite::Statement info(db,
            "PRAGMA " + Engine::quote(m_alias).toStdString() + ".index_info("
                + Engine::quote(found).toStdString() + ")");
        while (info.executeStep())
            columns.append(QString::fromStdString(info.getColumn(2).getString()));
    } catch (const SQLite::Exception &e) {
        throw engineError(e);
    }
    return columns;
}

QStringList Table::primaryColumns() const
{
    for (const FieldDef &f : m_fields)
        if (f.type == FieldType::Counter)
            return { f.name };
    // A unique text key (the payee table) orders the table by itself.
    try {
        SQLite::Database &db = Engine::instance().db();
        SQLite::Statement list(db,
            "PRAGMA " + Engine::quote(m_alias).toStdString() + ".index_list("
                + Engine::quote(DataTableName).toStdString() + ")");
        while (list.executeStep()) {
            if (list.getColumn(3).getString() == "u" && list.getColumn(2).getInt() == 1) {
                SQLite::Statement info(db,
                    "PRAGMA " + Engine::quote(m_alias).toStdString() + ".index_info("
                        + Engine::quote(QString::fromStdString(list.getColumn(1).getString()))
                              .toStdString()
                        + ")");
                QStringList cols;
                while (info.executeStep())
                    cols.append(QString::fromStdString(info.getColumn(2).getString()));
                return cols;
            }
        }
    } catch (const SQLite::Exception &e) {
        throw engineError(e);
    }
    return {};
}

QString Table::orderClause() const
{
    QStringList parts;
    for (const QString &f : m_orderFields) {
        const FieldDef &field = m_fields[fieldIndexOrThrow(f)];
        parts.append(Engine::quote(field.name)
            + (m_localeOrder && field.type == FieldType::Text
                    ? QStringLiteral(" COLLATE ") + Engine::LocaleCollation
                    : QString()));
    }
    parts.append(QStringLiteral("rowid"));
    return parts.join(QStringLiteral(", "));
}

void Table::loadKeys()
{
    m_orderIdx.clear();
    for (const QString &f : std::as_const(m_orderFields))
        m_orderIdx.push_back(fieldIndexOrThrow(f));
    m_where.clear();
    m_whereParams.clear();
    if (m_filtered && !m_filter.trimmed().isEmpty()) {
        const CompiledFilter compiled = compileFilter(m_filter, m_fields);
        m_where = compiled.where;
        m_whereParams = compiled.params;
    }
    m_filterCheck.reset();
    const QString table = Engine::quote(m_alias) + QLatin1Char('.') + Engine::quote(DataTableName);
    QString sql = QStringLiteral("SELECT rowid");
    for (const QString &f : std::as_const(m_totalled))
        sql += QStringLiteral(", ") + Engine::quote(m_fields[fieldIndexOrThrow(f)].name);
    sql += QStringLiteral(" FROM ") + table;
    if (!m_where.isEmpty())
        sql += QStringLiteral(" WHERE ") + m_where;
    sql += QStringLiteral(" ORDER BY ") + orderClause();
    // Room for every key at once: growing a vector of a million keys step by
    // step copies it again and again.
    std::size_t expected = std::max(m_keysHint, m_keys.size());
    if (m_where.isEmpty()) {
        const Statement last = prepare(QStringLiteral("SELECT max(rowid) FROM ") + table);
        if (step(last.get()))
            expected = std::size_t(std::clamp<sqlite3_int64>(
                sqlite3_column_int64(last.get(), 0), 0, 16 * 1024 * 1024));
    }
    std::vector<qint64> keys;
    keys.reserve(expected);
    const Statement stmt = prepare(sql);
    for (int i = 0; i < m_whereParams.size(); ++i)
        bindValue(stmt.get(), i + 1, m_whereParams[i]);
    std::vector<FieldTotal> totals(m_totalled.size());
    while (step(stmt.get())) {
        keys.push_back(sqlite3_column_int64(stmt.get(), 0));
        for (std::size_t i = 0; i < totals.size(); ++i) {
            sqlite3_value *value = sqlite3_column_value(stmt.get(), int(i) + 1);
            if (sqlite3_value_type(value) == SQLITE_NULL)
                continue;
            ++totals[i].count;
            if (const std::optional<Money> amount = summedAmount(value))
                totals[i].sum = totals[i].sum.value_or(Money()) + *amount;
        }
    }
    m_keys.swap(keys);
    m_totals.swap(totals);
}
