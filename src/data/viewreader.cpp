#include "viewreader.h"

#include "engine.h"
#include "engineerror.h"
#include "filter.h"
#include "recordrules.h"
#include "tablesupport.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sqlite3.h>

#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
// Not the engine's translation: that one looks up the engine's attached
// files, which belong to the program's thread.
EngineError readError(sqlite3 *db, const QString &path)
{
    return EngineError(QStringLiteral("%1: %2").arg(
        QFileInfo(path).fileName(), QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory")));
}

struct Finalize
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement prepared(sqlite3 *db, const QString &sql, const QString &path)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw readError(db, path);
    }
    return Statement(stmt);
}

bool stepped(sqlite3 *db, sqlite3_stmt *stmt, const QString &path)
{
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw readError(db, path);
}

// A pass's connection: its cache goes back to the system with it.
struct CloseGivingBack
{
    void operator()(sqlite3 *db) const
    {
        sqlite3_close(db);
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
    }
};

// The current row of a pass's statement; column 0 is the key.
class StatementRow final : public ScannedRow
{
public:
    StatementRow(sqlite3_stmt *stmt, const QList<FieldDef> &fields, const std::vector<int> &read)
        : m_stmt(stmt)
        , m_fields(fields)
        , m_read(read)
    { }
    QVariant value(int i) const override
    {
        return TableSupport::columnValue(m_stmt, i + 1, field(i));
    }
    std::optional<QByteArrayView> utf8(int i) const override
    {
        if (field(i).type != FieldType::Text || sqlite3_column_type(m_stmt, i + 1) != SQLITE_TEXT)
            return std::nullopt;
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i + 1));
        return QByteArrayView(text, sqlite3_column_bytes(m_stmt, i + 1));
    }
    std::optional<double> number(int i) const override
    {
        // As columnValue() reads an amount, less the cases it boxes otherwise.
        const FieldDef &f = field(i);
        const int stored = sqlite3_column_type(m_stmt, i + 1);
        if (f.type != FieldType::Money || (stored != SQLITE_FLOAT && stored != SQLITE_INTEGER))
            return std::nullopt;
        const double v = sqlite3_column_double(m_stmt, i + 1);
        return RecordRules::isSound(f, v) ? std::optional<double>(v) : std::nullopt;
    }

private:
    const FieldDef &field(int i) const { return m_fields[m_read[std::size_t(i)]]; }

    sqlite3_stmt *m_stmt;
    const QList<FieldDef> &m_fields;
    const std::vector<int> &m_read;
};
} // namespace

ViewReader::ViewReader(const QString &fileName, const QString &indexName, const QString &filter)
    : m_path(Engine::resolve(fileName))
{
    if (!QFileInfo::exists(m_path))
        throw EngineError(
            QStringLiteral("Table does not exist: %1").arg(QFileInfo(m_path).fileName()));
    m_db = connect();
    try {
        describe(indexName, filter);
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

void ViewReader::describe(const QString &indexName, const QString &filter)
{
    const Statement info = prepared(m_db,
        QStringLiteral("PRAGMA main.table_info(%1)").arg(Engine::quote(DataTableName)), m_path);
    const Layout *layout = Layouts::forFile(m_path);
    while (stepped(m_db, info.get(), m_path)) {
        FieldDef f;
        f.name
            = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1)));
        if (!parseDeclaredType(QString::fromUtf8(reinterpret_cast<const char *>(
                                   sqlite3_column_text(info.get(), 2))),
                f))
            f.type = FieldType::Text;
        f = RecordRules::withLayoutRules(f, layout);
        m_fields.append(f);
    }
    if (m_fields.isEmpty())
        throw EngineError(QStringLiteral("%1: not a Duesmith table (it holds no table of records).")
                              .arg(QFileInfo(m_path).fileName()));
    QStringList order;
    for (const QString &column : indexColumns(indexName))
        order.append(Engine::quote(column));
    order.append(QStringLiteral("rowid"));
    QString where;
    if (!filter.trimmed().isEmpty()) {
        const CompiledFilter compiled = compileFilter(filter, m_fields);
        where = QStringLiteral(" WHERE ") + compiled.where;
        m_params = compiled.params;
    }
    m_from = QStringLiteral(" FROM main.") + Engine::quote(DataTableName) + where
        + QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
}

ViewReader::~ViewReader()
{
    sqlite3_close(m_db);
}

sqlite3 *ViewReader::connect() const
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &db,
            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK
        || sqlite3_busy_timeout(db, 1000) != SQLITE_OK) {
        const EngineError error = readError(db, m_path);
        sqlite3_close(db);
        throw error;
    }
    return db;
}

QStringList ViewReader::indexColumns(const QString &indexName) const
{
    // Index names are looked up without regard to case, as field names are.
    const Statement list = prepared(m_db,
        QStringLiteral("SELECT name FROM main.sqlite_master WHERE type='index' AND tbl_name=")
            + QLatin1Char('\'') + DataTableName + QLatin1Char('\''),
        m_path);
    QString found;
    while (stepped(m_db, list.get(), m_path)) {
        const QString name
            = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(list.get(), 0)));
        if (name.compare(indexName, Qt::CaseInsensitive) == 0)
            found = name;
    }
    if (found.isEmpty())
        throw EngineError(QStringLiteral("Index does not exist. Index: %1").arg(indexName));
    const Statement info = prepared(
        m_db, QStringLiteral("PRAGMA main.index_info(%1)").arg(Engine::quote(found)), m_path);
    QStringList columns;
    while (stepped(m_db, info.get(), m_path))
        columns.append(
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 2))));
    return columns;
}

void ViewReader::scan(const std::vector<int> &fields, const Visit &visit) const
{
    const std::unique_ptr<sqlite3, CloseGivingBack> db(connect());
    // In the index's order the pass comes back to each page of the records
    // many times: a larger cache, bounded and gone with the pass, keeps most
    // of those reads out of the file.
    if (sqlite3_exec(db.get(), "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr)
        != SQLITE_OK)
        throw readError(db.get(), m_path);
    QStringList columns;
    for (int f : fields)
        columns.append(Engine::quote(m_fields.at(f).name));
    // Without fields the pass reads the index alone.
    const QString list = columns.isEmpty() ? QStringLiteral("rowid") : columns.join(u", ");
    const Statement stmt
        = prepared(db.get(), QStringLiteral("SELECT rowid, ") + list + m_from, m_path);
    for (int i = 0; i < m_params.size(); ++i)
        TableSupport::bindValue(stmt.get(), i + 1, m_params[i]);
    const StatementRow row(stmt.get(), m_fields, fields);
    while (stepped(db.get(), stmt.get(), m_path))
        if (!visit(sqlite3_column_int64(stmt.get(), 0), row))
            return;
}

std::vector<std::vector<QVariant>> ViewReader::read(const std::vector<qint64> &keys) const
{
    std::vector<std::vector<QVariant>> rows(keys.size(), std::vector<QVariant>(m_fields.size()));
    if (keys.empty())
        return rows;
    QStringList columns, marks;
    for (const FieldDef &f : m_fields)
        columns.append(Engine::quote(f.name));
    for (std::size_t i = 0; i < keys.size(); ++i)
        marks.append(QStringLiteral("?"));
    const Statement stmt = prepared(m_db,
        QStringLiteral("SELECT rowid, %1 FROM main.%2 WHERE rowid IN (%3)")
            .arg(columns.join(u", "), Engine::quote(DataTableName), marks.join(u',')),
        m_path);
    for (std::size_t i = 0; i < keys.size(); ++i)
        sqlite3_bind_int64(stmt.get(), int(i) + 1, keys[i]);
    QHash<qint64, std::size_t> at;
    for (std::size_t i = 0; i < keys.size(); ++i)
        at.insert(keys[i], i);
    while (stepped(m_db, stmt.get(), m_path)) {
        std::vector<QVariant> &row = rows[at.value(sqlite3_column_int64(stmt.get(), 0))];
        for (int f = 0; f < m_fields.size(); ++f)
            row[std::size_t(f)] = TableSupport::columnValue(stmt.get(), f + 1, m_fields[f]);
    }
    return rows;
}
