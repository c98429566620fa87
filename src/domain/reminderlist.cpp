#include "reminderlist.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/table.h"

#include <QStringList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

namespace {
QString copySql(const QString &work, const QString &schedule)
{
    static const char *fields[] = { "PayNow", "Due Date", "Pay Date", "Description", "Bill Amount",
        "Pay Amount", "Frequency", "Units", "End Date", "Warning Days", "Budget", "Balance",
        "User Field 1", "User Field 2", "User Field 3", "User Field 4" };
    QStringList columns;
    for (const char *f : fields)
        columns.append(Engine::quote(QString::fromLatin1(f)));
    const QString list = columns.join(QStringLiteral(", "));
    const QString due = Engine::quote(QStringLiteral("Due Date"));
    // Dates carry no time of day, so "now + W days >= due" holds up to today + W.
    // The rows go in in the schedule's due-date order, which gives their new keys.
    return QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE %4 IS NULL"
                          " OR julianday(%4) <= julianday(?1) + COALESCE(%5, 0)"
                          " ORDER BY %4, %6, rowid")
        .arg(work, list, schedule, due, Engine::quote(QStringLiteral("Warning Days")),
            Engine::quote(QStringLiteral("Description")));
}
} // namespace

int ReminderList::build(Table *work, Table *schedule, const QDateTime &now)
{
    Engine &engine = Engine::instance();
    work->close();
    schedule->close();
    work->open();
    const QString schedulePath = Engine::resolve(schedule->fileName());
    if (!Engine::exists(schedulePath)) {
        work->close();
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(schedule->fileName()));
    }
    const QString workAlias = engine.attach(work->path());
    QString scheduleAlias;
    try {
        scheduleAlias = engine.attach(schedulePath);
    } catch (...) {
        engine.detach(work->path());
        work->close();
        throw;
    }
    const QString workPath = work->path();
    int listed = 0;
    try {
        inTransaction([&] {
            work->emptyTable();
            const auto table = [](const QString &alias) {
                return Engine::quote(alias) + QLatin1Char('.') + Engine::quote(DataTableName);
            };
            try {
                SQLite::Statement copy(
                    engine.db(), copySql(table(workAlias), table(scheduleAlias)).toStdString());
                copy.bind(1, now.date().toString(Qt::ISODate).toStdString());
                listed = copy.exec();
            } catch (const SQLite::Exception &e) {
                throw EngineError(QString::fromUtf8(e.what()));
            }
        });
    } catch (...) {
        engine.detach(schedulePath);
        engine.detach(workPath);
        work->close();
        throw;
    }
    engine.detach(schedulePath);
    engine.detach(workPath);
    work->close();
    return listed;
}
