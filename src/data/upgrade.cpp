#include "upgrade.h"

#include "engine.h"
#include "table.h"
#include "tablefiles.h"

#include <QStringList>

namespace {
QStringList itemTemplateNames()
{
    QStringList names = { QStringLiteral("newsched.db"), QStringLiteral("newsched.px"),
        QStringLiteral("newsched.val") };
    const QString digits = QStringLiteral("0123456789abcdef");
    for (const char *prefix : { "xg", "yg" }) {
        for (QChar c : digits)
            names.append(QStringLiteral("newsched.") + QLatin1String(prefix) + c);
        if (QLatin1String(prefix) == QLatin1String("xg"))
            names.append(QStringLiteral("newsched.xh0"));
    }
    names.append(QStringLiteral("newsched.yh0"));
    return names;
}

void removeAll(const QStringList &names)
{
    for (const QString &name : names)
        Engine::removeFile(name);
}

void openExclusive(Table &table)
{
    table.close();
    table.setExclusive(true);
    table.open();
}

// Appends every record of the old table to the new one, field by field by name,
// leaving out the old keys and payment marks. One transaction: all or nothing.
void transfer(Table &oldTable, Table &newTable, bool allFields)
{
    oldTable.first();
    inTransaction([&] {
        newTable.emptyTable();
        while (!oldTable.eof()) {
            newTable.append();
            for (const FieldDef &f : oldTable.fields()) {
                if (!allFields
                    && (f.name == QLatin1String("PrimaryKey") || f.name == QLatin1String("PayNow")))
                    continue;
                newTable.setValue(f.name, oldTable.value(f.name));
            }
            newTable.post();
            oldTable.next();
        }
    });
}
// The work table is of no value between uses, except for the next occurrences
// of a paid run that were never written back (they carry their process date):
// those are the user's items and move into the new work table.
void keepWaitingOccurrences(Table &tableNew)
{
    if (!Engine::exists(TableFiles::Resched))
        return;
    Table old(TableFiles::Resched);
    old.setReadOnly(true);
    old.open();
    if (old.fieldIndex(QStringLiteral("Process Date")) >= 0) {
        old.setFilter(QStringLiteral("[Process Date] <> ''"));
        old.setFiltered(true);
        if (!old.isEmpty())
            transfer(old, tableNew, false);
    }
    old.close();
}
} // namespace

void Upgrade::stepA()
{
    if (!Engine::exists(TableFiles::AgingTemplate))
        return;
    Table ageNew(TableFiles::AgingTemplate);
    ageNew.setIndexFieldNames(QStringLiteral("Order"));
    ageNew.setReadOnly(true);
    openExclusive(ageNew);
    Engine::instance().copyTable(ageNew.path(), TableFiles::Aging);
    ageNew.close();
    removeAll({ QStringLiteral("newage.db"), QStringLiteral("newage.px") });
}

void Upgrade::stepB(const Hooks &hooks)
{
    if (!Engine::exists(TableFiles::ScheduleTemplate))
        return;
    auto busy = [&](bool on) {
        if (hooks.setBusy)
            hooks.setBusy(on);
    };
    Table tableNew(TableFiles::ScheduleTemplate);
    openExclusive(tableNew);
    keepWaitingOccurrences(tableNew);
    Engine::instance().copyTable(tableNew.path(), QStringLiteral("resched.db"));

    if (Engine::exists(TableFiles::Schedule)) {
        Table old(TableFiles::Schedule);
        old.setReadOnly(true);
        old.open();
        busy(false);
        if (hooks.announce)
            hooks.announce();
        busy(true);
        transfer(old, tableNew, false);
        old.close();
    } else {
        tableNew.emptyTable();
    }
    Engine::instance().copyTable(tableNew.path(), QStringLiteral("schedule.db"));

    if (Engine::exists(TableFiles::History)) {
        Table old(TableFiles::History);
        old.setReadOnly(true);
        old.open();
        busy(true);
        transfer(old, tableNew, false);
        old.close();
    } else {
        tableNew.emptyTable();
    }
    Engine::instance().copyTable(tableNew.path(), QStringLiteral("history.db"));
    tableNew.close();
    removeAll(itemTemplateNames());
}

void Upgrade::stepC()
{
    if (!Engine::exists(TableFiles::PayeeTemplate))
        return;
    Table payeeNew(TableFiles::PayeeTemplate);
    openExclusive(payeeNew);
    if (Engine::exists(TableFiles::Payee)) {
        Table payee(TableFiles::Payee);
        payee.setReadOnly(true);
        payee.open();
        transfer(payee, payeeNew, true);
        payee.close();
    }
    Engine::instance().copyTable(payeeNew.path(), TableFiles::Payee);
    payeeNew.close();
    removeAll({ QStringLiteral("newpayee.db"), QStringLiteral("newpayee.px") });
}
