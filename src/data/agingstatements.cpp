#include "agingstatements.h"

#include "attachedfile.h"
#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "sqlbind.h"
#include "sqlerror.h"

#include <QStringList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <memory>

namespace {
QString agingSql(const QString &table)
{
    // The unary plus takes the column's numeric affinity away, so the stored
    // text is compared with the cut-off text as it is, not converted row by row.
    const QString d = QLatin1Char('+') + Engine::quote(QStringLiteral("Due Date"));
    const QString inBucket[5] = {
        QStringLiteral("%1 IS NULL OR %1 <= ?1").arg(d),
        QStringLiteral("%1 > ?1 AND %1 <= ?2").arg(d),
        QStringLiteral("%1 > ?2 AND %1 <= ?3").arg(d),
        QStringLiteral("%1 > ?3 AND %1 <= ?4").arg(d),
        QStringLiteral("%1 > ?4").arg(d),
    };
    QStringList sums;
    for (const char *field : { "Bill Amount", "Pay Amount" }) {
        const QString amount = Engine::quote(QString::fromLatin1(field));
        for (const QString &condition : inBucket)
            sums.append(QStringLiteral("ds_sum4(CASE WHEN %1 THEN %2 END)").arg(condition, amount));
    }
    return QStringLiteral("SELECT ") + sums.join(QStringLiteral(", ")) + QStringLiteral(" FROM ")
        + table;
}

// Sets the amounts of the three aging rows by one statement: atomic by itself,
// and a commit of the aging file alone. Placeholder 3k + order + 1 is the
// amount k of row order.
QString updateAmountsSql(const QString &table)
{
    QStringList sets;
    for (int k = 0; k < 6; ++k)
        sets.append(
            QStringLiteral("%1 = CASE \"Order\" WHEN 0 THEN ?%2 WHEN 1 THEN ?%3 ELSE ?%4 END")
                .arg(Engine::quote(QStringLiteral("Amount%1").arg(k)))
                .arg(3 * k + 1)
                .arg(3 * k + 2)
                .arg(3 * k + 3));
    return QStringLiteral("UPDATE %1 SET %2 WHERE \"Order\" IN (0, 1, 2)")
        .arg(table, sets.join(QStringLiteral(", ")));
}
} // namespace

std::array<Money, 10> AgingStatements::bucketSums(
    const QString &scheduleFile, const std::string (&ends)[4])
{
    if (!Engine::exists(scheduleFile))
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(scheduleFile));
    AttachedFile schedule(scheduleFile);
    return translatingErrors([&] {
        std::array<Money, 10> sums{};
        const std::unique_ptr<SQLite::Statement> stmt
            = prepareWithMoney(Engine::instance().db(), agingSql(schedule.table()).toStdString());
        for (int k = 0; k < 4; ++k)
            stmt->bind(k + 1, ends[k]);
        if (stmt->executeStep()) {
            for (int k = 0; k < 10; ++k) {
                const SQLite::Column c = stmt->getColumn(k);
                if (!c.isNull())
                    sums[std::size_t(k)] = Money::fromText(
                        QByteArrayView(static_cast<const char *>(c.getBlob()), c.getBytes()))
                                               .value_or(Money());
            }
        }
        return sums;
    });
}

void AgingStatements::setAmounts(const QString &ageFile, const Amounts &amounts)
{
    AttachedFile age(ageFile);
    translatingErrors([&] {
        SQLite::Statement update(
            Engine::instance().db(), updateAmountsSql(age.table()).toStdString());
        for (int i = 0; i < 18; ++i)
            bindVariant(update, i + 1, amounts[std::size_t(i)].toVariant());
        update.exec();
    });
}

AgingStatements::OwnConnection::~OwnConnection()
{
    sqlite3_close(m_db);
}

bool AgingStatements::OwnConnection::setAmounts(
    const std::string &path, const std::string &pragmas, const Amounts &amounts)
{
    bool ok = true;
    if (m_path != path) {
        sqlite3_close(m_db);
        m_db = nullptr;
        ok = sqlite3_open_v2(
                 path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
                == SQLITE_OK
            && sqlite3_busy_timeout(m_db, 5000) == SQLITE_OK
            && sqlite3_exec(m_db, pragmas.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        m_path = ok ? path : std::string();
    }
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql
        = updateAmountsSql(QStringLiteral("main.") + Engine::quote(DataTableName)).toUtf8();
    ok = ok && sqlite3_prepare_v2(m_db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK;
    for (int i = 0; ok && i < 18; ++i)
        ok = bindMoney(stmt, i + 1, amounts[std::size_t(i)]) == SQLITE_OK;
    ok = ok && sqlite3_step(stmt) == SQLITE_DONE && sqlite3_changes(m_db) == 3;
    sqlite3_finalize(stmt);
    return ok;
}
