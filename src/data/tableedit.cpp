// The table handle: edit states (insert, edit, cancel, post, delete, empty)
// and the conversion of values into their fields.

#include "table.h"
#include "tablesupport.h"

#include "engine.h"
#include "engineerror.h"
#include "filter.h"
#include "recordrules.h"
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

QVariant Table::converted(int field, const QVariant &value) const
{
    const FieldDef &f = m_fields[field];
    return RecordRules::converted(f, value, displayLabel(f.name));
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
        Q_EMIT rowChanged(m_cur, field);
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
    // A new record nobody has typed into is dropped, not posted, as a data grid does.
    if (m_state == State::Insert && !m_modified)
        cancel();
    else if (isEditing())
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
        RecordRules::checkRecord(m_fields, m_buffer);
        const bool inserting = m_state == State::Insert;
        const int oldPos = inserting ? -1 : m_cur;
        std::vector<QVariant> before;
        const qint64 key = inserting ? insertBuffer() : updateFromBuffer(before);
        m_changedBefore = std::move(before);
        m_changedAfter = m_buffer;
        Row row;
        row.values = m_buffer;
        m_cache.insert(key, std::move(row));
        m_insertRow = -1;
        m_modified = false;
        m_state = State::Browse;
        placePosted(key, inserting, oldPos);
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

QString Table::qualifiedTable() const
{
    return Engine::quote(m_alias) + QLatin1Char('.') + Engine::quote(DataTableName);
}

qint64 Table::insertBuffer()
{
    if (!m_insert) {
        QStringList cols, marks;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (i == m_counterField)
                continue;
            cols.append(Engine::quote(m_fields[i].name));
            marks.append(QStringLiteral("?"));
        }
        m_insert = prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(qualifiedTable(), cols.join(QStringLiteral(", ")),
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
    const qint64 key = sqlite3_last_insert_rowid(connection());
    if (m_counterField >= 0)
        m_buffer[m_counterField] = qlonglong(key);
    return key;
}

qint64 Table::updateFromBuffer(std::vector<QVariant> &before)
{
    const qint64 key = m_keys[m_cur];
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
    if (changed != 0)
        writeChanged(key, changed);
    return key;
}

void Table::writeChanged(qint64 key, quint64 changed)
{
    const auto isChanged = [this, changed](int i) {
        return i != m_counterField && (changed & (quint64(1) << std::min(i, 63)));
    };
    Statement &update = m_updates[changed];
    if (!update) {
        QStringList sets;
        for (int i = 0; i < m_fields.size(); ++i)
            if (isChanged(i))
                sets.append(Engine::quote(m_fields[i].name) + QStringLiteral("=?"));
        update = prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                             .arg(qualifiedTable(), sets.join(QStringLiteral(", "))));
    }
    sqlite3_stmt *stmt = update.get();
    sqlite3_reset(stmt);
    int n = 0;
    for (int i = 0; i < m_fields.size(); ++i)
        if (isChanged(i))
            bindValue(stmt, ++n, m_buffer[i]);
    check(sqlite3_bind_int64(stmt, n + 1, key));
    step(stmt, m_path);
    sqlite3_reset(stmt);
    if (sqlite3_changes(connection()) == 0)
        throw EngineError(QStringLiteral("Record/Key deleted."));
}

void Table::placePosted(qint64 key, bool inserted, int oldPos)
{
    // A record whose order fields kept their values keeps its place.
    const bool samePlace = !inserted && !m_changedBefore.empty() && m_where.isEmpty()
        && std::all_of(m_orderIdx.begin(), m_orderIdx.end(),
            [this](int f) { return m_changedBefore[f] == m_buffer[f]; });
    if (!samePlace) {
        placeKey(key, !inserted, oldPos);
        return;
    }
    // What the list shows of the record changed where the stored
    // record differs from the one the edit began with: the fields
    // given new values, and any another handle changed meanwhile.
    int shown = m_original.size() == m_buffer.size() ? -2 : -1;
    for (int i = 0; shown != -1 && i < int(m_buffer.size()); ++i)
        if (m_original[i] != m_buffer[i])
            shown = shown == -2 ? i : -1;
    setCurrent(oldPos);
    if (!controlsDisabled() && shown != -2)
        Q_EMIT rowChanged(oldPos, shown);
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
        Engine::instance().exec(QStringLiteral("DELETE FROM %1.%2")
                                    .arg(Engine::quote(m_alias), Engine::quote(DataTableName)));
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
