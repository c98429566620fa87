#pragma once

// Timing and memory readings shared by the benchmarks.

#include "data/engine.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <chrono>
#include <string>

namespace BenchSupport {
using Clock = std::chrono::steady_clock;

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
} // namespace BenchSupport
