#include "sqlbind.h"

#include <QDate>

#include "engineerror.h"
#include "recordrules.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <cmath>

namespace {
void fixedFunction(sqlite3_context *context, int, sqlite3_value **args)
{
    // Only amounts as the program stores them are summed: text, infinite or
    // out-of-bound values left by a file changed elsewhere count as empty.
    const int type = sqlite3_value_type(args[0]);
    const double amount = sqlite3_value_double(args[0]);
    if ((type != SQLITE_FLOAT && type != SQLITE_INTEGER) || !RecordRules::isSoundAmount(amount)) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_int64(context, fixedMoney(amount));
}
} // namespace

void bindVariant(SQLite::Statement &stmt, int index, const QVariant &value)
{
    if (value.isNull()) {
        stmt.bind(index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QDate: {
        // A date without an ISO text (a year outside 1 to 9999) is no date: empty is NULL.
        const QString iso = value.toDate().toString(Qt::ISODate);
        if (iso.isEmpty() || value.toDate().year() < 1)
            stmt.bind(index);
        else
            stmt.bind(index, iso.toStdString());
        break;
    }
    case QMetaType::Double:
        stmt.bind(index, value.toDouble());
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Bool:
        stmt.bind(index, static_cast<int64_t>(value.toLongLong()));
        break;
    default:
        stmt.bind(index, value.toString().toStdString());
        break;
    }
}

qint64 fixedMoney(double amount)
{
    return std::llround(amount * 10000.0);
}

std::unique_ptr<SQLite::Statement> prepareWithMoney(SQLite::Database &db, const std::string &sql)
{
    try {
        return std::make_unique<SQLite::Statement>(db, sql);
    } catch (const SQLite::Exception &) {
        // Most likely the function is not known yet; any other fault shows again below.
    }
    const int rc = sqlite3_create_function_v2(db.getHandle(), "ds_fixed4", 1,
        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, fixedFunction, nullptr,
        nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw EngineError(QString::fromUtf8(sqlite3_errmsg(db.getHandle())));
    return std::make_unique<SQLite::Statement>(db, sql);
}
