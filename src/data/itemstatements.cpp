#include "itemstatements.h"

#include "attachedfile.h"
#include "engine.h"
#include "itemfields.h"
#include "sqlerror.h"
#include "table.h"

#include <QStringList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace {
QString copySql(const QString &work, const QString &schedule)
{
    QStringList columns = { Engine::quote(QStringLiteral("PayNow")) };
    for (const QString &f : ItemFields::entered())
        columns.append(Engine::quote(f));
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

int ItemStatements::copyDue(Table &work, const QString &scheduleFile, const QDate &until)
{
    AttachedFile into(work.path());
    AttachedFile from(scheduleFile);
    int copied = 0;
    inTransaction([&] {
        work.emptyTable();
        translatingErrors([&] {
            SQLite::Statement copy(
                Engine::instance().db(), copySql(into.table(), from.table()).toStdString());
            copy.bind(1, until.toString(Qt::ISODate).toStdString());
            copied = copy.exec();
        });
    });
    return copied;
}
