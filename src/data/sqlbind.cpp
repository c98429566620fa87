#include "sqlbind.h"

#include <QDate>

#include "engineerror.h"
#include "money.h"
#include "recordrules.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <cstring>

namespace {
// ds_sum4(x): the exact sum of the amounts, NULL when there are none. SQLite
// aligns its aggregate memory to 8 bytes only, so the 16-byte sum is copied in
// and out.
struct SumState
{
    unsigned char units[sizeof(Money::Units)];
    bool any;
};

void sumStep(sqlite3_context *context, int, sqlite3_value **args)
{
    const std::optional<Money> amount = summedAmount(args[0]);
    if (!amount)
        return;
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, sizeof(SumState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    Money::Units units;
    std::memcpy(&units, state->units, sizeof units);
    units += amount->units();
    std::memcpy(state->units, &units, sizeof units);
    state->any = true;
}

void sumFinal(sqlite3_context *context)
{
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, 0));
    if (!state || !state->any) {
        sqlite3_result_null(context);
        return;
    }
    Money::Units units;
    std::memcpy(&units, state->units, sizeof units);
    const QByteArray text = Money::fromUnits(units).text();
    sqlite3_result_blob(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}
} // namespace

std::optional<Money> summedAmount(sqlite3_value *value)
{
    // Only amounts as the program stores them are summed: text, infinite or
    // out-of-bound values left by a file changed elsewhere count as empty.
    const int type = sqlite3_value_type(value);
    if ((type != SQLITE_FLOAT && type != SQLITE_INTEGER)
        || !RecordRules::isSoundAmount(sqlite3_value_double(value)))
        return std::nullopt;
    return Money::fromSql(value);
}

void bindVariant(SQLite::Statement &stmt, int index, const QVariant &value)
{
    if (value.isNull()) {
        stmt.bind(index);
        return;
    }
    if (value.metaType() == QMetaType::fromType<Money>()) {
        const Money amount = value.value<Money>();
        if (const std::optional<double> exact = amount.exactDouble()) {
            stmt.bind(index, *exact);
        } else {
            const QByteArray text = amount.text();
            stmt.bind(index, static_cast<const void *>(text.constData()), int(text.size()));
        }
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

int bindMoney(sqlite3_stmt *stmt, int index, const Money &amount)
{
    if (const std::optional<double> exact = amount.exactDouble())
        return sqlite3_bind_double(stmt, index, *exact);
    const QByteArray text = amount.text();
    return sqlite3_bind_blob(stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

QVariant moneyColumn(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, column);
    default:
        if (const std::optional<Money> m = Money::fromSql(sqlite3_column_value(stmt, column)))
            return m->toVariant();
        return sqlite3_column_double(stmt, column);
    }
}

std::unique_ptr<SQLite::Statement> prepareWithMoney(SQLite::Database &db, const std::string &sql)
{
    try {
        return std::make_unique<SQLite::Statement>(db, sql);
    } catch (const SQLite::Exception &) {
        // Most likely the function is not known yet; any other fault shows again below.
    }
    const int rc = sqlite3_create_function_v2(db.getHandle(), "ds_sum4", 1,
        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, nullptr, sumStep, sumFinal,
        nullptr);
    if (rc != SQLITE_OK)
        throw EngineError(QString::fromUtf8(sqlite3_errmsg(db.getHandle())));
    return std::make_unique<SQLite::Statement>(db, sql);
}
