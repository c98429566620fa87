#include "payeelist.h"

#include "attachedfile.h"
#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "recordrules.h"
#include "sqlerror.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <memory>

namespace {
// Attaching a missing file would create it: refuse as opening a table does.
std::unique_ptr<AttachedFile> attachExisting(const QString &fileName)
{
    if (!Engine::exists(fileName))
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(fileName));
    return std::make_unique<AttachedFile>(fileName);
}

bool isBlank(const QString &name)
{
    return name.trimmed().isEmpty();
}
} // namespace

QStringList PayeeList::unmemorized(const QString &scheduleFile, const QString &payeeFile)
{
    const auto schedule = attachExisting(scheduleFile);
    const auto payee = attachExisting(payeeFile);
    // Both columns compare without regard to case, so the join and the
    // grouping treat names that differ only in case as one.
    const QString sql = QStringLiteral("SELECT s.\"Description\" FROM %1 s"
                                       " LEFT OUTER JOIN %2 p ON s.\"Description\" = p.\"Payee\""
                                       " WHERE p.\"Payee\" IS NULL"
                                       " GROUP BY s.\"Description\""
                                       " ORDER BY s.\"Description\"")
                            .arg(schedule->table(), payee->table());
    return translatingErrors([&] {
        QStringList names;
        SQLite::Statement query(Engine::instance().db(), sql.toStdString());
        while (query.executeStep()) {
            const SQLite::Column c = query.getColumn(0);
            names.append(QString::fromUtf8(c.getText(), c.getBytes()));
        }
        return names;
    });
}

QStringList PayeeList::memorize(const QStringList &names, const QString &payeeFile)
{
    const FieldDef &field = *Layouts::payee().field(QStringLiteral("Payee"));
    for (const QString &name : names)
        if (!isBlank(name))
            RecordRules::converted(field, name);
    const auto payee = attachExisting(payeeFile);
    QStringList skipped;
    inTransaction([&] {
        skipped.clear();
        // The key refuses a name equal to one stored already; the statement
        // then changes nothing.
        SQLite::Statement insert(Engine::instance().db(),
            (QStringLiteral("INSERT OR IGNORE INTO %1 (\"Payee\") VALUES (?)").arg(payee->table()))
                .toStdString());
        for (const QString &name : names) {
            if (isBlank(name)) {
                skipped.append(name);
                continue;
            }
            insert.reset();
            insert.bind(1, name.toStdString());
            if (insert.exec() == 0)
                skipped.append(name);
        }
    });
    return skipped;
}
