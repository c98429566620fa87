#include "bookreaders.h"

#include <sqlite3.h>

#include <cstring>

namespace {
// Called every thousand steps of a query: a book's queries are small, so
// this much work means a file built to keep the reader busy.
int tooLong(void *steps)
{
    return ++*static_cast<int *>(steps) > 200000;
}
} // namespace

namespace BookReaders {
SqliteCopy::SqliteCopy(const QByteArray &bytes)
{
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    auto *data = static_cast<unsigned char *>(sqlite3_malloc64(sqlite3_uint64(bytes.size())));
    if (data)
        std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    // SQLite owns the copy from here, and being told so never writes to it.
    if (!data
        || sqlite3_deserialize(m_db, "main", data, bytes.size(), bytes.size(),
               SQLITE_DESERIALIZE_READONLY | SQLITE_DESERIALIZE_FREEONCLOSE)
            != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_progress_handler(m_db, 1000, tooLong, &m_steps);
}

SqliteCopy::~SqliteCopy()
{
    sqlite3_close(m_db);
}

bool SqliteCopy::hasTable(const char *name) const
{
    bool found = false;
    const QByteArray sql
        = "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '" + QByteArray(name) + "'";
    return select(sql, [&](sqlite3_stmt *) { return !(found = true); }) && found;
}

bool SqliteCopy::select(const QByteArray &sql, const std::function<bool(sqlite3_stmt *)> &row) const
{
    if (!m_db)
        return false;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return false;
    }
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(st)) == SQLITE_ROW) {
        if (!row(st)) {
            status = SQLITE_DONE;
            break;
        }
    }
    sqlite3_finalize(st);
    return status == SQLITE_DONE;
}
} // namespace BookReaders
