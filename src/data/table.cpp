#include "table.h"

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

namespace {
constexpr int CacheLimit = 4096;
constexpr int FetchBlock = 64;
constexpr double MaxAmount = 999999999999.99;

int characters(const QString &text)
{
    return int(
        std::count_if(text.begin(), text.end(), [](QChar c) { return !c.isLowSurrogate(); }));
}

// The hot paths talk to SQLite directly: the wrapper's column objects cost a
// shared-pointer round trip and a check per value read.
EngineError engineError(sqlite3 *db, int rc, const QString &path = {})
{
    return Engine::writeError(SQLite::Exception(db, rc), path);
}

sqlite3 *connection()
{
    return Engine::instance().db().getHandle();
}

void check(int rc)
{
    if (rc != SQLITE_OK)
        throw engineError(connection(), rc);
}

// Steps a statement; true while it gives rows.
bool step(sqlite3_stmt *stmt, const QString &path = {})
{
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const EngineError error = engineError(connection(), rc, path);
    sqlite3_reset(stmt);
    throw error;
}

void bindValue(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::QDate: {
            const QByteArray text = value.toDate().toString(Qt::ISODate).toUtf8();
            rc = sqlite3_bind_text(
                stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, index, value.toDouble());
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            break;
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(
                stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    check(rc);
}

// Stored dates are "YYYY-MM-DD"; reading them is on the path of every scan.
QDate isoDate(const char *text, int size)
{
    if (size != 10 || text[4] != '-' || text[7] != '-')
        return QDate::fromString(QString::fromUtf8(text, size), Qt::ISODate);
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (int i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return {};
            parts[p] = parts[p] * 10 + (text[i] - '0');
        }
    return QDate(parts[0], parts[1], parts[2]);
}

// SQLite's NOCASE: ASCII letters folded, then byte order of the UTF-8 text.
int compareNoCase(const QString &a, const QString &b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    const int n = std::min(x.size(), y.size());
    for (int i = 0; i < n; ++i) {
        unsigned char cx = static_cast<unsigned char>(x[i]);
        unsigned char cy = static_cast<unsigned char>(y[i]);
        if (cx >= 'A' && cx <= 'Z')
            cx += 32;
        if (cy >= 'A' && cy <= 'Z')
            cy += 32;
        if (cx != cy)
            return cx < cy ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

// Order of stored values as SQLite sorts them: empty first, then numbers, then text.
int compareValues(const QVariant &a, const QVariant &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    auto isText = [](const QVariant &v) {
        return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QDate;
    };
    const bool at = isText(a), bt = isText(b);
    if (at != bt)
        return at ? 1 : -1;
    if (at) {
        const QString sa = a.typeId() == QMetaType::QDate ? a.toDate().toString(Qt::ISODate) : a.toString();
        const QString sb = b.typeId() == QMetaType::QDate ? b.toDate().toString(Qt::ISODate) : b.toString();
        return compareNoCase(sa, sb);
    }
    const double da = a.toDouble(), db = b.toDouble();
    return da < db ? -1 : (da > db ? 1 : 0);
}
} // namespace

Table::Table(const QString &fileName, QObject *parent) : QObject(parent), m_fileName(fileName) { }

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

Table::~Table()
{
    if (isOpen()) {
        finalizeStatements();
        Engine::instance().unregisterHandle(this, m_path);
        Engine::instance().detach(m_path);
    }
}

void Table::setFileName(const QString &fileName)
{
    if (isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_fileName = fileName;
}

void Table::setIndexName(const QString &indexName)
{
    QStringList columns;
    if (isOpen()) {
        checkBrowseMode();
        columns = indexName.isEmpty() ? primaryColumns() : indexColumns(indexName);
    }
    m_indexName = indexName;
    m_orderFields.clear();
    if (isOpen()) {
        m_orderFields = columns;
        refresh();
    }
}

void Table::setIndexFieldNames(const QString &fields)
{
    if (isOpen())
        checkBrowseMode();
    m_indexName.clear();
    m_orderFields = fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString &f : m_orderFields)
        f = f.trimmed();
    if (isOpen()) {
        for (const QString &f : std::as_const(m_orderFields))
            fieldIndexOrThrow(f);
        refresh();
    }
}

void Table::setExclusive(bool exclusive)
{
    if (isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_exclusive = exclusive;
}

void Table::setFilter(const QString &filter)
{
    if (isOpen() && m_filtered) {
        checkBrowseMode();
        // A filter that does not compile leaves the previous one in place.
        if (!filter.trimmed().isEmpty())
            compileFilter(filter, m_fields);
        m_filter = filter;
        refresh();
        return;
    }
    m_filter = filter;
}

void Table::setFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    if (isOpen()) {
        checkBrowseMode();
        if (filtered && !m_filter.trimmed().isEmpty())
            compileFilter(m_filter, m_fields);
        m_filtered = filtered;
        refresh();
        return;
    }
    m_filtered = filtered;
}

void Table::open()
{
    if (isOpen())
        return;
    Engine &engine = Engine::instance();
    const QString path = Engine::resolve(m_fileName);
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(name));
    engine.registerHandle(this, path, m_exclusive);
    try {
        m_alias = engine.attach(path);
    } catch (...) {
        engine.unregisterHandle(this, path);
        throw;
    }
    m_path = path;
    try {
        m_fields = engine.fieldsOf(m_alias);
        if (m_fields.isEmpty())
            throw EngineError(
                QStringLiteral("%1: not a Duesmith table (it holds no table of records).").arg(name));
        m_fieldByName.clear();
        m_counterField = -1;
        for (int i = 0; i < m_fields.size(); ++i) {
            m_fieldByName.insert(m_fields[i].name.toLower(), i);
            if (m_fields[i].type == FieldType::Counter)
                m_counterField = i;
        }
        if (m_orderFields.isEmpty())
            m_orderFields = m_indexName.isEmpty() ? primaryColumns() : indexColumns(m_indexName);
        m_state = State::Browse;
        m_cache.clear();
        loadKeys();
    } catch (...) {
        m_state = State::Inactive;
        finalizeStatements();
        m_fields.clear();
        engine.unregisterHandle(this, path);
        engine.detach(path);
        m_path.clear();
        throw;
    }
    m_insertRow = -1;
    m_modified = false;
    connect(&engine, &Engine::rolledBack, this, &Table::reloadAfterRollback);
    setCurrent(m_keys.empty() ? -1 : 0, m_keys.empty(), true);
    notifyReset();
    Q_EMIT stateChanged();
}

void Table::close()
{
    if (!isOpen())
        return;
    finalizeStatements();
    m_keysHint = m_keys.size();
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_cache.clear();
    m_buffer.clear();
    m_insertRow = -1;
    m_cur = -1;
    m_eof = m_bof = true;
    m_state = State::Inactive;
    if (!m_indexName.isEmpty())
        m_orderFields.clear();
    disconnect(&Engine::instance(), &Engine::rolledBack, this, &Table::reloadAfterRollback);
    Engine::instance().unregisterHandle(this, m_path);
    Engine::instance().detach(m_path);
    m_path.clear();
    notifyReset();
    Q_EMIT stateChanged();
}

void Table::requireOpen() const
{
    if (!isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Table::requireWritable() const
{
    requireOpen();
    if (m_readOnly)
        throw EngineError(QStringLiteral("Cannot modify a read-only dataset"));
}

QStringList Table::indexColumns(const QString &indexName) const
{
    QStringList columns;
    try {
        SQLite::Database &db = Engine::instance().db();
        // Index names are looked up without regard to case, as field names are.
        SQLite::Statement list(db, "SELECT name FROM " + Engine::quote(m_alias).toStdString()
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
        SQLite::Statement info(db, "PRAGMA " + Engine::quote(m_alias).toStdString() + ".index_info("
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
            return {f.name};
    // A unique text key (the payee table) orders the table by itself.
    try {
        SQLite::Database &db = Engine::instance().db();
        SQLite::Statement list(db, "PRAGMA " + Engine::quote(m_alias).toStdString() + ".index_list("
                                       + Engine::quote(DataTableName).toStdString() + ")");
        while (list.executeStep()) {
            if (list.getColumn(3).getString() == "u" && list.getColumn(2).getInt() == 1) {
                SQLite::Statement info(db, "PRAGMA " + Engine::quote(m_alias).toStdString()
                                               + ".index_info(" + Engine::quote(QString::fromStdString(list.getColumn(1).getString())).toStdString() + ")");
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
    for (const QString &f : m_orderFields)
        parts.append(Engine::quote(m_fields[fieldIndexOrThrow(f)].name));
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
    QString sql = QStringLiteral("SELECT rowid FROM ") + table;
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
    while (step(stmt.get()))
        keys.push_back(sqlite3_column_int64(stmt.get(), 0));
    m_keys.swap(keys);
}

void Table::refresh()
{
    requireOpen();
    const qint64 key = m_state == State::Insert ? -1 : currentKey();
    const int oldRow = m_cur;
    m_cache.clear();
    loadKeys();
    if (m_state == State::Insert) {
        m_insertRow = std::min<int>(m_insertRow, int(m_keys.size()));
        m_cur = m_insertRow;
    } else {
        auto it = key >= 0 ? std::find(m_keys.begin(), m_keys.end(), key) : m_keys.end();
        if (it != m_keys.end())
            m_cur = int(it - m_keys.begin());
        else
            m_cur = m_keys.empty() ? -1 : std::clamp(oldRow, 0, int(m_keys.size()) - 1);
        m_eof = m_keys.empty();
        m_bof = m_keys.empty();
        if (m_state == State::Browse)
            bufferCurrent();
    }
    notifyReset();
    if (!controlsDisabled())
        Q_EMIT currentChanged();
}

void Table::reloadAfterRollback()
{
    if (!isOpen())
        return;
    if (isEditing()) {
        m_insertRow = -1;
        m_modified = false;
        m_state = State::Browse;
        Q_EMIT stateChanged();
    }
    refresh();
}

int Table::fieldIndex(const QString &name) const
{
    return m_fieldByName.value(name.toLower(), -1);
}

int Table::fieldIndexOrThrow(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw EngineError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

Table::Row Table::readRow(sqlite3_stmt *stmt, int first) const
{
    Row row;
    row.values.resize(m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i) {
        const int c = first + i;
        if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
            continue;
        switch (m_fields[i].type) {
        case FieldType::Date: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
            const QDate d = isoDate(text, sqlite3_column_bytes(stmt, c));
            if (d.isValid())
                row.values[i] = d;
            break;
        }
        case FieldType::Money:
            row.values[i] = sqlite3_column_double(stmt, c);
            break;
        case FieldType::SmallInt:
            row.values[i] = int(sqlite3_column_int64(stmt, c));
            break;
        case FieldType::Counter:
            row.values[i] = qlonglong(sqlite3_column_int64(stmt, c));
            break;
        case FieldType::Text: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
            row.values[i] = QString::fromUtf8(text, sqlite3_column_bytes(stmt, c));
            break;
        }
        }
    }
    return row;
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
    int bound = 0;
    for (int p = pos; p < int(m_keys.size()) && bound < FetchBlock; ++p)
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

qint64 Table::currentKey() const
{
    if (!isOpen() || m_cur < 0 || m_state == State::Insert)
        return -1;
    if (m_cur >= int(m_keys.size()))
        return -1;
    return m_keys[m_cur];
}

void Table::bufferCurrent()
{
    const qint64 key = currentKey();
    if (key < 0) {
        m_buffer.assign(m_fields.size(), QVariant());
        return;
    }
    m_buffer = fetchAt(m_cur).values;
}

void Table::setCurrent(int row, bool eof, bool bof)
{
    const bool changed = row != m_cur;
    m_cur = row;
    m_eof = eof || m_keys.empty();
    m_bof = bof || m_keys.empty();
    if (m_state == State::Browse)
        bufferCurrent();
    if (changed && !controlsDisabled())
        Q_EMIT currentChanged();
}

int Table::recNo() const
{
    if (!isOpen() || m_cur < 0)
        return 0;
    return m_cur + 1;
}

void Table::first()
{
    requireOpen();
    checkBrowseMode();
    setCurrent(m_keys.empty() ? -1 : 0, false, true);
}

void Table::last()
{
    requireOpen();
    checkBrowseMode();
    setCurrent(int(m_keys.size()) - 1, true, false);
}

void Table::next()
{
    moveBy(1);
}

void Table::prior()
{
    moveBy(-1);
}

void Table::moveBy(int distance)
{
    requireOpen();
    checkBrowseMode();
    if (m_keys.empty()) {
        setCurrent(-1, true, true);
        return;
    }
    const int target = m_cur + distance;
    if (target >= int(m_keys.size()))
        setCurrent(int(m_keys.size()) - 1, true, false);
    else if (target < 0)
        setCurrent(0, false, true);
    else
        setCurrent(target, false, false);
}

void Table::goToRow(int row)
{
    requireOpen();
    if (row == m_cur)
        return;
    checkBrowseMode();
    if (m_keys.empty())
        return;
    setCurrent(std::clamp(row, 0, int(m_keys.size()) - 1));
}

bool Table::locate(qint64 key)
{
    requireOpen();
    checkBrowseMode();
    const int n = int(m_keys.size());
    // A cursor move asks for the key of a row it has just read, or one near
    // the current record: look there before walking outwards from it.
    int found = -1;
    if (m_keyRowHint >= 0 && m_keyRowHint < n && m_keys[m_keyRowHint] == key)
        found = m_keyRowHint;
    const int from = std::clamp(m_cur, 0, std::max(n - 1, 0));
    for (int d = 0; found < 0 && (from - d >= 0 || from + d < n); ++d) {
        if (from + d < n && m_keys[from + d] == key)
            found = from + d;
        else if (from - d >= 0 && m_keys[from - d] == key)
            found = from - d;
    }
    if (found < 0)
        return false;
    setCurrent(found);
    return true;
}

QVariant Table::value(int field) const
{
    requireOpen();
    if (field < 0 || field >= m_fields.size())
        throw EngineError(QStringLiteral("Field index out of range"));
    if (m_buffer.size() != size_t(m_fields.size()))
        return {};
    return m_buffer[field];
}

QVariant Table::rowValue(int row, int field) const
{
    if (!isOpen() || field < 0 || field >= m_fields.size())
        return {};
    if (m_insertRow >= 0) {
        if (row == m_insertRow)
            return m_buffer[field];
        if (row > m_insertRow)
            --row;
    } else if (row == m_cur && m_state == State::Edit) {
        return m_buffer[field];
    }
    if (row < 0 || row >= int(m_keys.size()))
        return {};
    return fetchAt(row).values[field];
}

qint64 Table::keyAtRow(int row) const
{
    if (m_insertRow >= 0) {
        if (row == m_insertRow)
            return -1;
        if (row > m_insertRow)
            --row;
    }
    if (row < 0 || row >= int(m_keys.size()))
        return -1;
    m_keyRowHint = row;
    return m_keys[row];
}

int Table::rowCount() const
{
    return int(m_keys.size()) + (m_insertRow >= 0 ? 1 : 0);
}

QVariant Table::converted(int field, const QVariant &value) const
{
    const FieldDef &f = m_fields[field];
    if (value.isNull())
        return {};
    const bool isString = value.typeId() == QMetaType::QString;
    if (isString && value.toString().isEmpty())
        return {};
    switch (f.type) {
    case FieldType::Text: {
        const QString text = value.toString();
        // Characters, not UTF-16 units: an emoji is one character.
        if (f.size > 0 && characters(text) > f.size)
            throw EngineError(QStringLiteral("Value is too long for field '%1': at most %2 characters.")
                                  .arg(f.name)
                                  .arg(f.size));
        return text;
    }
    case FieldType::Date: {
        if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime) {
            const QDate d = value.toDate();
            if (!d.isValid())
                throw EngineError(QStringLiteral("Invalid date for field '%1'").arg(f.name));
            return d;
        }
        const QDate d = QDate::fromString(value.toString().trimmed(), Qt::ISODate);
        if (!d.isValid())
            throw EngineError(QStringLiteral("'%1' is not a valid date for field '%2'").arg(value.toString(), f.name));
        return d;
    }
    case FieldType::Money: {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok)
            throw EngineError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                                  .arg(value.toString(), displayLabel(f.name)));
        // The sums add amounts as whole ten-thousandths in 64 bits: beyond this
        // bound they would no longer be exact, and could overflow.
        if (!std::isfinite(v) || std::fabs(v) > MaxAmount)
            throw EngineError(
                QStringLiteral("%1 is not a valid amount for field '%2'. Amounts lie between "
                               "-999,999,999,999.99 and 999,999,999,999.99")
                    .arg(value.toString(), displayLabel(f.name)));
        return v;
    }
    case FieldType::SmallInt: {
        bool ok = false;
        const qlonglong v = isString ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok)
            throw EngineError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                  .arg(value.toString(), displayLabel(f.name)));
        if (v < -32768 || v > 32767)
            throw EngineError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is -32768 to 32767")
                                  .arg(v)
                                  .arg(displayLabel(f.name)));
        return int(v);
    }
    case FieldType::Counter:
        throw EngineError(QStringLiteral("Field '%1' cannot be modified").arg(f.name));
    }
    return value;
}

void Table::setValue(const QString &name, const QVariant &value)
{
    setValue(fieldIndexOrThrow(name), value);
}

void Table::setValue(int field, const QVariant &value)
{
    requireWritable();
    if (!isEditing())
        throw EngineError(QStringLiteral("Dataset not in edit or insert mode"));
    if (field < 0 || field >= m_fields.size())
        throw EngineError(QStringLiteral("Field index out of range"));
    m_buffer[field] = converted(field, value);
    m_modified = true;
    if (!controlsDisabled())
        Q_EMIT rowChanged(m_cur);
}

QString Table::displayLabel(const QString &name) const
{
    auto it = m_labels.constFind(name.toLower());
    if (it != m_labels.constEnd())
        return *it;
    const int i = fieldIndex(name);
    return i >= 0 ? m_fields[i].name : name;
}

void Table::setDisplayLabel(const QString &name, const QString &label)
{
    m_labels.insert(name.toLower(), label);
}

void Table::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void Table::beginInsert(int row)
{
    requireWritable();
    checkBrowseMode();
    Q_EMIT beforeInsert();
    m_insertRow = row;
    m_buffer.assign(m_fields.size(), QVariant());
    m_modified = false;
    m_cur = row;
    m_eof = m_bof = false;
    setState(State::Insert);
    notifyReset();
    if (!controlsDisabled())
        Q_EMIT currentChanged();
    Q_EMIT afterInsert();
}

void Table::append()
{
    requireWritable();
    checkBrowseMode();
    beginInsert(int(m_keys.size()));
}

void Table::insert()
{
    requireWritable();
    checkBrowseMode();
    beginInsert(std::max(m_cur, 0));
}

void Table::edit()
{
    requireWritable();
    if (isEditing())
        return;
    if (m_keys.empty() || m_cur < 0) {
        // Editing an empty table starts a new record, as the grids expect.
        append();
        return;
    }
    bufferCurrent();
    m_original = m_buffer;
    m_modified = false;
    setState(State::Edit);
}

void Table::cancel()
{
    if (!isEditing())
        return;
    const bool wasInsert = m_state == State::Insert;
    const int insertedAt = m_insertRow;
    m_insertRow = -1;
    m_modified = false;
    m_state = State::Browse;
    if (wasInsert) {
        const int row = m_keys.empty() ? -1 : std::min(insertedAt, int(m_keys.size()) - 1);
        m_cur = -2; // force the change notification
        notifyReset();
        setCurrent(row);
    } else {
        bufferCurrent();
        if (!controlsDisabled())
            Q_EMIT rowChanged(m_cur);
    }
    Q_EMIT stateChanged();
}

void Table::checkBrowseMode()
{
    if (isEditing())
        post();
}

void Table::post()
{
    requireOpen();
    if (!isEditing())
        return;
    Q_EMIT updateData();
    Q_EMIT beforePost();
    try {
        for (int i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].required && m_buffer[i].isNull())
                throw EngineError(QStringLiteral("Field '%1' must have a value").arg(m_fields[i].name));

        const QString table = Engine::quote(m_alias) + QLatin1Char('.') + Engine::quote(DataTableName);
        qint64 key = -1;
        const bool inserting = m_state == State::Insert;
        const int oldPos = inserting ? -1 : m_cur;
        std::vector<QVariant> before;
        if (inserting) {
            if (!m_insert) {
                QStringList cols, marks;
                for (int i = 0; i < m_fields.size(); ++i) {
                    if (i == m_counterField)
                        continue;
                    cols.append(Engine::quote(m_fields[i].name));
                    marks.append(QStringLiteral("?"));
                }
                m_insert = prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(table, cols.join(QStringLiteral(", ")),
                                           marks.join(QStringLiteral(", "))));
            }
            sqlite3_stmt *stmt = m_insert.get();
            sqlite3_reset(stmt);
            int n = 0;
            for (int i = 0; i < m_fields.size(); ++i)
                if (i != m_counterField)
                    bindValue(stmt, ++n, m_buffer[i]);
            step(stmt, m_path);
            sqlite3_reset(stmt);
            key = sqlite3_last_insert_rowid(connection());
            if (m_counterField >= 0)
                m_buffer[m_counterField] = qlonglong(key);
        } else {
            key = m_keys[m_cur];
            // Only the fields given new values since the edit began are written,
            // so a field changed meanwhile by another handle keeps that change;
            // a record gone from the file is written whole, so the engine reports it.
            quint64 changed = 0;
            const bool stored = readStored(key, before);
            if (!stored)
                before.clear();
            const bool known = m_original.size() == m_buffer.size();
            for (int i = 0; i < m_fields.size(); ++i) {
                if (i == m_counterField)
                    continue;
                if (!stored || !known || i >= 64 || m_original[i] != m_buffer[i])
                    changed |= quint64(1) << std::min(i, 63);
            }
            // The record is now the stored one with those fields replaced.
            if (stored)
                for (int i = 0; i < m_fields.size(); ++i)
                    if (i != m_counterField && !(changed & (quint64(1) << std::min(i, 63))))
                        m_buffer[i] = before[i];
            if (changed != 0) {
                Statement &update = m_updates[changed];
                if (!update) {
                    QStringList sets;
                    for (int i = 0; i < m_fields.size(); ++i)
                        if (i != m_counterField && (changed & (quint64(1) << std::min(i, 63))))
                            sets.append(Engine::quote(m_fields[i].name) + QStringLiteral("=?"));
                    update = prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                                         .arg(table, sets.join(QStringLiteral(", "))));
                }
                sqlite3_stmt *stmt = update.get();
                sqlite3_reset(stmt);
                int n = 0;
                for (int i = 0; i < m_fields.size(); ++i)
                    if (i != m_counterField && (changed & (quint64(1) << std::min(i, 63))))
                        bindValue(stmt, ++n, m_buffer[i]);
                check(sqlite3_bind_int64(stmt, n + 1, key));
                step(stmt, m_path);
                sqlite3_reset(stmt);
                if (sqlite3_changes(connection()) == 0)
                    throw EngineError(QStringLiteral("Record/Key deleted."));
            }
        }
        m_changedBefore = std::move(before);
        m_changedAfter = m_buffer;
        Row row;
        row.values = m_buffer;
        m_cache.insert(key, std::move(row));
        m_insertRow = -1;
        m_modified = false;
        m_state = State::Browse;
        // A record whose order fields kept their values keeps its place.
        const bool samePlace = !inserting && !m_changedBefore.empty() && m_where.isEmpty()
            && std::all_of(m_orderIdx.begin(), m_orderIdx.end(),
                [this](int f) { return m_changedBefore[f] == m_buffer[f]; });
        if (samePlace) {
            setCurrent(oldPos);
            if (!controlsDisabled())
                Q_EMIT rowChanged(oldPos);
        } else {
            placeKey(key, !inserting, oldPos);
        }
    } catch (const SQLite::Exception &e) {
        const EngineError error = Engine::writeError(e, m_path);
        Q_EMIT postError(error.message());
        throw error;
    } catch (const EngineError &e) {
        Q_EMIT postError(e.message());
        throw;
    }
    Q_EMIT stateChanged();
    Q_EMIT afterPost();
}

int Table::compareRecords(const std::vector<QVariant> &a, qint64 ka, const std::vector<QVariant> &b,
                          qint64 kb) const
{
    for (int idx : m_orderIdx) {
        const int c = compareValues(a[idx], b[idx]);
        if (c != 0)
            return c;
    }
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

bool Table::matchesFilter(qint64 key) const
{
    if (m_where.isEmpty())
        return true;
    if (!m_filterCheck)
        m_filterCheck
            = prepare(QStringLiteral("SELECT 1 FROM %1.%2 WHERE rowid=? AND (%3)")
                          .arg(Engine::quote(m_alias), Engine::quote(DataTableName), m_where));
    sqlite3_stmt *stmt = m_filterCheck.get();
    sqlite3_reset(stmt);
    check(sqlite3_bind_int64(stmt, 1, key));
    for (int i = 0; i < m_whereParams.size(); ++i)
        bindValue(stmt, i + 2, m_whereParams[i]);
    const bool matches = step(stmt);
    sqlite3_reset(stmt);
    return matches;
}

// Puts a posted record at its place in the order without re-reading every key.
void Table::placeKey(qint64 key, bool wasInView, int oldPos)
{
    if (wasInView && oldPos >= 0 && oldPos < int(m_keys.size()))
        m_keys.erase(m_keys.begin() + oldPos);
    if (!matchesFilter(key)) {
        const int row = m_keys.empty() ? -1 : std::clamp(oldPos, 0, int(m_keys.size()) - 1);
        m_cur = -2;
        notifyReset();
        setCurrent(row);
        return;
    }
    const std::vector<QVariant> values = fetch(key).values;
    size_t lo = 0, hi = m_keys.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (compareRecords(fetch(m_keys[mid]).values, m_keys[mid], values, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    m_keys.insert(m_keys.begin() + lo, key);
    m_cur = -2;
    notifyReset();
    setCurrent(int(lo));
}

void Table::remove()
{
    requireWritable();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_keys.empty() || m_cur < 0)
        throw EngineError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const qint64 key = m_keys[m_cur];
    std::vector<QVariant> before;
    if (!readStored(key, before))
        before.clear();
    if (!m_delete)
        m_delete = prepare(QStringLiteral("DELETE FROM %1.%2 WHERE rowid=?")
                               .arg(Engine::quote(m_alias), Engine::quote(DataTableName)));
    sqlite3_stmt *stmt = m_delete.get();
    sqlite3_reset(stmt);
    check(sqlite3_bind_int64(stmt, 1, key));
    step(stmt, m_path);
    sqlite3_reset(stmt);
    m_changedBefore = std::move(before);
    m_changedAfter.clear();
    m_state = State::Browse;
    m_modified = false;
    m_cache.remove(key);
    const int pos = m_cur;
    m_keys.erase(m_keys.begin() + pos);
    const bool wasLast = pos >= int(m_keys.size());
    m_cur = -2;
    notifyReset();
    setCurrent(m_keys.empty() ? -1 : std::min(pos, int(m_keys.size()) - 1), wasLast, false);
    Q_EMIT stateChanged();
    Q_EMIT afterDelete();
}

void Table::emptyTable()
{
    requireWritable();
    if (isEditing())
        cancel();
    try {
        Engine::instance().exec(QStringLiteral("DELETE FROM %1.%2").arg(Engine::quote(m_alias), Engine::quote(DataTableName)));
    } catch (...) {
        refresh();
        throw;
    }
    m_keys.clear();
    m_cache.clear();
    m_cur = -2;
    notifyReset();
    setCurrent(-1, true, true);
}

void Table::disableControls()
{
    ++m_controlsDisabled;
}

void Table::enableControls()
{
    if (m_controlsDisabled > 0 && --m_controlsDisabled == 0) {
        notifyReset();
        Q_EMIT currentChanged();
    }
}

void Table::notifyReset()
{
    if (!controlsDisabled())
        Q_EMIT rowsReset();
}
