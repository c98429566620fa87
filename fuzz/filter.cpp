// The list filter: any text either compiles into a WHERE clause that SQLite
// accepts over the item table, with one bound value per placeholder, or is
// refused with an EngineError.
#include "fuzzenv.h"

#include "data/engineerror.h"
#include "data/filter.h"
#include "data/layouts.h"

#include <sqlite3.h>

namespace {
sqlite3 *itemTable()
{
    static sqlite3 *db = [] {
        sqlite3 *d = nullptr;
        if (sqlite3_open(":memory:", &d) != SQLITE_OK)
            FuzzEnv::fail("no in-memory database");
        for (const QString &sql : createStatements(QStringLiteral("main"), Layouts::item()))
            if (sqlite3_exec(d, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                FuzzEnv::fail("cannot create the item table", sql);
        return d;
    }();
    return db;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(FuzzEnv::bytes(data, size));
    CompiledFilter compiled;
    try {
        compiled = compileFilter(text, Layouts::item().fields);
    } catch (const EngineError &) {
        return 0;
    }
    if (compiled.where.isEmpty()) {
        if (!text.trimmed().isEmpty())
            FuzzEnv::fail("a filter compiled to nothing", text);
        return 0;
    }
    const QByteArray sql = "SELECT count(*) FROM data WHERE " + compiled.where.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(itemTable(), sql.constData(), int(sql.size()), &stmt, nullptr)
        != SQLITE_OK)
        FuzzEnv::fail("SQLite refuses the compiled filter",
            text + QStringLiteral(" -> ") + QString::fromUtf8(sql) + QStringLiteral(": ")
                + QString::fromUtf8(sqlite3_errmsg(itemTable())));
    if (sqlite3_bind_parameter_count(stmt) != compiled.params.size())
        FuzzEnv::fail("placeholders and values differ in number", QString::fromUtf8(sql));
    sqlite3_finalize(stmt);
    return 0;
}
