#pragma once

// Timing and memory readings shared by the benchmarks.

#include "data/engine.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QSettings>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <sqlite3.h>

#include <chrono>
#include <string>
#include <vector>

namespace BenchSupport {
using Clock = std::chrono::steady_clock;

// Windows are shown on the offscreen platform unless the caller chose one;
// called before the application is made.
inline void drawOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The program's tables in `data`, its settings in `settings`: nothing of the
// user's is read or touched.
inline void workIn(const QString &data, const QString &settings)
{
    QDir::setCurrent(data);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
}

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Resident set size of this process in megabytes.
inline double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}
// The journal mode and synchronous setting the engine gives a table file, as
// pragmas for a bare connection, so both sides write with the same durability.
inline std::string engineDurability(const QString &fileName)
{
    Engine &engine = Engine::instance();
    const QString path = Engine::resolve(fileName);
    const std::string alias = Engine::quote(engine.attach(path)).toStdString();
    std::string pragmas;
    for (const char *setting : { "journal_mode", "synchronous" }) {
        SQLite::Statement read(engine.db(), "PRAGMA " + alias + "." + setting);
        if (read.executeStep())
            pragmas += std::string("PRAGMA ") + setting + "=" + read.getColumn(0).getString() + ";";
    }
    engine.detach(path);
    return pragmas;
}

// The bare baseline of an open: the keys of a table file in an order, read
// through SQLite's C interface on a connection opened for the purpose, into a
// vector sized once.
inline std::vector<long long> keysInOrder(const std::string &path, const char *orderBy)
{
    sqlite3 *db = nullptr;
    std::vector<long long> keys;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        const std::string sql = std::string("SELECT \"PrimaryKey\" FROM data ORDER BY ") + orderBy
            + ", \"PrimaryKey\"";
        sqlite3_stmt *count = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT max(rowid) FROM data", -1, &count, nullptr) == SQLITE_OK
            && sqlite3_step(count) == SQLITE_ROW)
            keys.reserve(std::size_t(sqlite3_column_int64(count, 0)));
        sqlite3_finalize(count);
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW)
                keys.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return keys;
}

// Writes a large table file in one statement. The indexes are dropped first and
// built after the rows, which is much faster than keeping them up to date.
inline void fillWithoutIndexes(SQLite::Database &db, const std::string &insert)
{
    db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-200000");
    std::vector<std::string> names, indexes;
    {
        SQLite::Statement list(db,
            "SELECT name, sql FROM sqlite_master WHERE type='index' AND tbl_name='data' AND sql IS "
            "NOT NULL");
        while (list.executeStep()) {
            names.push_back(list.getColumn(0).getString());
            indexes.push_back(list.getColumn(1).getString());
        }
    }
    for (const std::string &name : names)
        db.exec("DROP INDEX \"" + name + "\"");
    db.exec("BEGIN");
    db.exec(insert);
    db.exec("COMMIT");
    for (const std::string &sql : indexes)
        db.exec(sql);
}

// Fills a history.DB with `records` paid items of mixed kinds in one statement.
inline void fillHistory(const std::string &path, int records)
{
    SQLite::Database db(path, SQLite::OPEN_READWRITE);
    fillWithoutIndexes(db,
        "INSERT INTO data (\"Process Date\", \"Due Date\", \"Description\", \"Bill Amount\","
        " \"Pay Amount\", \"Frequency\", \"Units\", \"Warning Days\", \"Budget\", \"Balance\","
        " \"User Field 1\")"
        " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
            + std::to_string(records)
            + ")"
              " SELECT date('2000-01-01', '+' || (i % 9000) || ' days'),"
              " date('2000-01-01', '+' || ((i * 7919) % 9000) || ' days'),"
              " (CASE i % 2 WHEN 0 THEN 'payee ' ELSE 'Payee ' END) || ((i * 2654435761) % "
              "1000003),"
              " CASE WHEN i % 4 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
              " CASE WHEN i % 4 = 0 THEN (i % 90000) / 100.0 ELSE NULL END,"
              " i % 13, CASE i % 3 WHEN 0 THEN 'Months' WHEN 1 THEN 'Weeks' ELSE 'Days' END,"
              " i % 10, 100.0, (i % 1000) * 1.5, 'account ' || (i % 97)"
              " FROM n");
}
} // namespace BenchSupport
