#include "paymentrun.h"

#include "domain/itemrecord.h"
#include "domain/nextoccurrence.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/sqlbind.h"
#include "data/table.h"

#include <QStringList>

#include <optional>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

namespace {
// Pages a run may keep in memory per file, in KiB: a run touches the pages of
// every index of the history and the schedule, far more than the default
// cache of 2 MiB holds, and would otherwise read the same pages again and again.
constexpr int RunCacheKiB = 64 * 1024;

// Keeps a table file attached for the length of a write, with a page cache
// large enough for the run; the connection's own size is restored afterwards.
class Attached
{
public:
    explicit Attached(const QString &fileName)
        : m_path(Engine::resolve(fileName)), m_alias(Engine::instance().attach(m_path))
    {
        try {
            SQLite::Database &db = Engine::instance().db();
            SQLite::Statement size(db, pragma("cache_size").toStdString());
            if (size.executeStep())
                m_cacheSize = size.getColumn(0).getInt();
            db.exec(pragma(QStringLiteral("cache_size=-%1").arg(RunCacheKiB)).toStdString());
        } catch (const SQLite::Exception &) {
            m_cacheSize.reset(); // the run goes ahead with the cache it has
        }
    }
    ~Attached()
    {
        try {
            if (m_cacheSize)
                Engine::instance().db().exec(
                    pragma(QStringLiteral("cache_size=%1").arg(*m_cacheSize)).toStdString());
        } catch (const SQLite::Exception &) { }
        Engine::instance().detach(m_path);
    }
    Attached(const Attached &) = delete;
    Attached &operator=(const Attached &) = delete;
    QString table() const { return Engine::quote(m_alias) + QLatin1Char('.') + Engine::quote(DataTableName); }

private:
    QString pragma(const QString &setting) const
    {
        return QStringLiteral("PRAGMA ") + Engine::quote(m_alias) + QLatin1Char('.') + setting;
    }

    QString m_path;
    QString m_alias;
    std::optional<int> m_cacheSize;
};

std::string insertSql(const Attached &into, const QStringList &fields)
{
    QStringList cols, marks;
    for (const QString &f : fields) {
        cols.append(Engine::quote(f));
        marks.append(QStringLiteral("?"));
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(into.table(), cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))
        .toStdString();
}

void insert(SQLite::Statement &stmt, const ItemRecord &record, const QStringList &fields)
{
    stmt.reset();
    for (int i = 0; i < fields.size(); ++i)
        bindVariant(stmt, i + 1, record.value(fields[i]));
    stmt.exec();
}

const QStringList &historyFields()
{
    static const QStringList fields = {
        QStringLiteral("Pay Date"),     QStringLiteral("Due Date"),     QStringLiteral("Process Date"),
        QStringLiteral("Description"),  QStringLiteral("Bill Amount"),  QStringLiteral("Pay Amount"),
        QStringLiteral("Frequency"),    QStringLiteral("Units"),        QStringLiteral("End Date"),
        QStringLiteral("Warning Days"), QStringLiteral("Budget"),       QStringLiteral("Balance"),
        QStringLiteral("User Field 1"), QStringLiteral("User Field 2"), QStringLiteral("User Field 3"),
        QStringLiteral("User Field 4")};
    return fields;
}

const QStringList &occurrenceFields()
{
    static const QStringList fields = {
        QStringLiteral("Due Date"),     QStringLiteral("Description"),  QStringLiteral("Bill Amount"),
        QStringLiteral("Pay Amount"),   QStringLiteral("Frequency"),    QStringLiteral("Units"),
        QStringLiteral("End Date"),     QStringLiteral("Warning Days"), QStringLiteral("Budget"),
        QStringLiteral("Balance"),      QStringLiteral("User Field 1"), QStringLiteral("User Field 2"),
        QStringLiteral("User Field 3"), QStringLiteral("User Field 4"), QStringLiteral("Process Date")};
    return fields;
}

const QStringList &writeBackFields()
{
    static const QStringList fields = {
        QStringLiteral("Due Date"),     QStringLiteral("Description"),  QStringLiteral("Bill Amount"),
        QStringLiteral("Pay Amount"),   QStringLiteral("Frequency"),    QStringLiteral("Units"),
        QStringLiteral("End Date"),     QStringLiteral("Budget"),       QStringLiteral("Balance"),
        QStringLiteral("Warning Days"), QStringLiteral("Pay Date"),     QStringLiteral("User Field 1"),
        QStringLiteral("User Field 2"), QStringLiteral("User Field 3"), QStringLiteral("User Field 4")};
    return fields;
}

template<typename Work>
void atomically(Work work)
{
    Engine &engine = Engine::instance();
    engine.begin();
    try {
        work();
        engine.commit();
    } catch (const SQLite::Exception &e) {
        engine.rollback();
        throw Engine::writeError(e, {});
    } catch (...) {
        engine.rollback();
        throw;
    }
}
} // namespace

PaymentRun::Outcome PaymentRun::pay(Table &list, const QDate &processDate)
{
    Outcome outcome;
    Attached schedule(list.path());
    Attached history(QStringLiteral("history.DB"));
    Attached resched(QStringLiteral("resched.DB"));
    SQLite::Database &db = Engine::instance().db();

    atomically([&] {
        db.exec(("DELETE FROM " + resched.table()).toStdString());
        SQLite::Statement toHistory(db, insertSql(history, historyFields()));
        SQLite::Statement toResched(db, insertSql(resched, occurrenceFields()));
        SQLite::Statement remove(db, ("DELETE FROM " + schedule.table() + " WHERE rowid=?").toStdString());

        for (int row = 0; row < list.recordCount(); ++row) {
            list.goToRow(row);
            if (list.value(QStringLiteral("PayNow")).toString() != PayMark)
                continue;
            const qint64 key = list.currentKey();
            ItemRecord paid = ItemRecord::read(list);
            paid.processDate = processDate;
            insert(toHistory, paid, historyFields());

            if (paid.frequency.toInt() != 0) {
                if (std::optional<ItemRecord> next = NextOccurrence(paid)) {
                    next->processDate = processDate;
                    insert(toResched, *next, occurrenceFields());
                    ++outcome.continuing;
                }
            }
            remove.reset();
            remove.bind(1, static_cast<int64_t>(key));
            remove.exec();
            ++outcome.paid;
        }
    });
    return outcome;
}

int PaymentRun::writeBack(Table &resched)
{
    int written = 0;
    Attached schedule(QStringLiteral("schedule.DB"));
    Attached work(resched.path());
    SQLite::Database &db = Engine::instance().db();
    atomically([&] {
        SQLite::Statement toSchedule(db, insertSql(schedule, writeBackFields()));
        for (int row = 0; row < resched.recordCount(); ++row) {
            resched.goToRow(row);
            insert(toSchedule, ItemRecord::read(resched), writeBackFields());
            ++written;
        }
        db.exec(("DELETE FROM " + work.table()).toStdString());
    });
    return written;
}

bool PaymentRun::hasPendingOccurrences()
{
    if (!Engine::exists(QStringLiteral("resched.DB")))
        return false;
    Attached work(QStringLiteral("resched.DB"));
    try {
        SQLite::Statement count(Engine::instance().db(),
                                ("SELECT count(*) FROM " + work.table() + " WHERE \"Process Date\" IS NOT NULL")
                                    .toStdString());
        return count.executeStep() && count.getColumn(0).getInt64() > 0;
    } catch (const SQLite::Exception &e) {
        throw EngineError(Engine::instance().plainText(QString::fromUtf8(e.what())));
    }
}
