#include "reminderlist.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/itemstatements.h"
#include "data/table.h"

int ReminderList::build(Table *work, Table *schedule, const QDateTime &now)
{
    work->close();
    schedule->close();
    work->open();
    if (!Engine::exists(Engine::resolve(schedule->fileName()))) {
        work->close();
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(schedule->fileName()));
    }
    int listed = 0;
    try {
        listed = ItemStatements::copyDue(*work, schedule->fileName(), now.date());
    } catch (...) {
        work->close();
        throw;
    }
    work->close();
    return listed;
}
