// The table handle: the row cache (rows read in blocks by key, kept up to a limit).

#include "table.h"
#include "tablesupport.h"

#include "engine.h"
#include "engineerror.h"
#include "filter.h"
#include "recordrules.h"
#include "sqlbind.h"
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

// A value a file changed outside the program may hold in the wrong form
// (text in an amount, an infinite amount, a number beyond a small integer):
// it reads as an empty field, as it shows; nothing sums or prints it.
QVariant TableSupport::columnValue(sqlite3_stmt *stmt, int c, const FieldDef &field)
{
    const int stored = sqlite3_column_type(stmt, c);
    if (stored == SQLITE_NULL)
        return {};
    switch (field.type) {
    case FieldType::Date: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
        const QDate d = isoDate(text, sqlite3_column_bytes(stmt, c));
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case FieldType::Money: {
        // Exact sums too wide for a double are kept as decimal text in a blob.
        if (stored == SQLITE_BLOB)
            return moneyColumn(stmt, c);
        const double v = sqlite3_column_double(stmt, c);
        if ((stored != SQLITE_FLOAT && stored != SQLITE_INTEGER) || !RecordRules::isSound(field, v))
            return {};
        return v;
    }
    case FieldType::SmallInt: {
        const sqlite3_int64 v = sqlite3_column_int64(stmt, c);
        if (stored != SQLITE_INTEGER || v < -32768 || v > 32767)
            return {};
        return int(v);
    }
    case FieldType::Counter:
        return qlonglong(sqlite3_column_int64(stmt, c));
    case FieldType::Text: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
        return QString::fromUtf8(text, sqlite3_column_bytes(stmt, c));
    }
    }
    return {};
}

Table::Row Table::readRow(sqlite3_stmt *stmt, int first) const
{
    Row row;
    row.values.resize(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i)
        row.values[i] = columnValue(stmt, first + i, m_fields[i]);
    return row;
}

void Table::scan(const std::vector<int> &fields,
    const std::function<bool(int row, const std::vector<QVariant> &values)> &visit) const
{
    requireOpen();
    QStringList cols{ QStringLiteral("rowid") };
    for (int f : fields)
        cols.append(Engine::quote(m_fields.at(f).name));
    QString sql = QStringLiteral("SELECT %1 FROM %2.%3")
                      .arg(cols.join(QStringLiteral(", ")), Engine::quote(m_alias),
                          Engine::quote(DataTableName));
    if (!m_where.isEmpty())
        sql += QStringLiteral(" WHERE ") + m_where;
    sql += QStringLiteral(" ORDER BY ") + orderClause();
    const Statement stmt = prepare(sql);
    for (int i = 0; i < m_whereParams.size(); ++i)
        bindValue(stmt.get(), i + 1, m_whereParams[i]);

    std::vector<QVariant> values(fields.size());
    const int rows = int(m_keys.size());
    int row = 0;
    // A record written since the view was read (it is not where the view has
    // it) is read from the view instead, so the pass always follows the view.
    auto fromView = [&](int r) {
        const Row &stored = fetchAt(r);
        for (std::size_t i = 0; i < fields.size(); ++i)
            values[i] = stored.values[fields[i]];
        return visit(r, values);
    };
    while (row < rows && step(stmt.get())) {
        if (sqlite3_column_int64(stmt.get(), 0) != m_keys[row]) {
            if (!fromView(row))
                return;
        } else {
            for (std::size_t i = 0; i < fields.size(); ++i)
                values[i] = columnValue(stmt.get(), int(i) + 1, m_fields[fields[i]]);
            if (!visit(row, values))
                return;
        }
        ++row;
    }
    for (; row < rows; ++row)
        if (!fromView(row))
            return;
}

bool Table::readStored(qint64 key, std::vector<QVariant> &values) const
{
    if (!m_fetch)
        m_fetch
            = prepare(QStringLiteral("SELECT %1 FROM %2.%3 WHERE rowid=?")
                          .arg(columnList(), Engine::quote(m_alias), Engine::quote(DataTableName)));
    sqlite3_stmt *stmt = m_fetch.get();
    sqlite3_reset(stmt);
    check(sqlite3_bind_int64(stmt, 1, key));
    const bool found = step(stmt);
    if (found)
        values = readRow(stmt, 0).values;
    sqlite3_reset(stmt);
    return found;
}

QString Table::columnList() const
{
    QStringList cols;
    for (const FieldDef &f : m_fields)
        cols.append(Engine::quote(f.name));
    return cols.join(QStringLiteral(", "));
}

const Table::Row &Table::fetch(qint64 key) const
{
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    if (m_cache.size() >= CacheLimit)
        m_cache.clear();
    Row row;
    if (!readStored(key, row.values))
        row.values.assign(m_fields.size(), QVariant());
    return *m_cache.insert(key, std::move(row));
}

// Rows are read in blocks along the view: every statement is a read
// transaction of its own, with its locking and file checks, so reading a
// scan or a screen row by row would cost far more than the rows themselves.
const Table::Row &Table::fetchAt(int pos) const
{
    const qint64 key = m_keys[pos];
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    if (m_cache.size() + FetchBlock > CacheLimit)
        m_cache.clear();
    if (!m_fetchBlock) {
        QStringList marks;
        for (int i = 0; i < FetchBlock; ++i)
            marks.append(QStringLiteral("?"));
        m_fetchBlock = prepare(QStringLiteral("SELECT rowid, %1 FROM %2.%3 WHERE rowid IN (%4)")
                                   .arg(columnList(), Engine::quote(m_alias),
                                       Engine::quote(DataTableName), marks.join(QLatin1Char(','))));
    }
    sqlite3_stmt *stmt = m_fetchBlock.get();
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    // A list opens on its first screen: a full block there reads rows no one
    // may scroll to.
    const int block = m_cache.isEmpty() ? FirstFetchBlock : FetchBlock;
    int bound = 0;
    for (int p = pos; p < int(m_keys.size()) && bound < block; ++p)
        if (!m_cache.contains(m_keys[p]))
            check(sqlite3_bind_int64(stmt, ++bound, m_keys[p]));
    while (step(stmt))
        m_cache.insert(sqlite3_column_int64(stmt, 0), readRow(stmt, 1));
    sqlite3_reset(stmt);
    it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    // Gone from the file since the keys were read: an empty record, as before.
    Row row;
    row.values.resize(m_fields.size());
    return *m_cache.insert(key, std::move(row));
}
