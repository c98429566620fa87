#include "payeelist.h"

#include "attachedfile.h"
#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "recordrules.h"
#include "sqlerror.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <QHash>

#include <algorithm>
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

// The memorized names by their shared key, with their record keys.
QHash<QString, qint64> memorizedKeys(const AttachedFile &payee)
{
    return translatingErrors([&] {
        QHash<QString, qint64> keys;
        SQLite::Statement query(Engine::instance().db(),
            QStringLiteral("SELECT rowid, \"Payee\" FROM %1").arg(payee.table()).toStdString());
        while (query.executeStep()) {
            const SQLite::Column c = query.getColumn(1);
            keys.insert(PayeeList::sameNameKey(QString::fromUtf8(c.getText(), c.getBytes())),
                query.getColumn(0).getInt64());
        }
        return keys;
    });
}
} // namespace

QString PayeeList::sameNameKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

void PayeeList::sort(QStringList &names)
{
    std::stable_sort(names.begin(), names.end(),
        [](const QString &a, const QString &b) { return Engine::localeCompare(a, b) < 0; });
}

QStringList PayeeList::unmemorized(const QString &scheduleFile, const QString &payeeFile)
{
    const auto schedule = attachExisting(scheduleFile);
    const auto payee = attachExisting(payeeFile);
    QHash<QString, qint64> taken = memorizedKeys(*payee);
    // SQLite folds only ASCII letters; the rest of the folding is done here.
    const QString sql
        = QStringLiteral("SELECT DISTINCT \"Description\" FROM %1").arg(schedule->table());
    QStringList names = translatingErrors([&] {
        QStringList found;
        SQLite::Statement query(Engine::instance().db(), sql.toStdString());
        while (query.executeStep()) {
            const SQLite::Column c = query.getColumn(0);
            const QString name = QString::fromUtf8(c.getText(), c.getBytes());
            const QString key = sameNameKey(name);
            if (taken.contains(key))
                continue;
            taken.insert(key, -1);
            found.append(name);
        }
        return found;
    });
    sort(names);
    return names;
}

QString PayeeList::memorizedAs(const QString &name, qint64 except, const QString &payeeFile)
{
    const auto payee = attachExisting(payeeFile);
    const QString key = sameNameKey(name);
    return translatingErrors([&] {
        SQLite::Statement query(Engine::instance().db(),
            QStringLiteral("SELECT rowid, \"Payee\" FROM %1").arg(payee->table()).toStdString());
        while (query.executeStep()) {
            const SQLite::Column c = query.getColumn(1);
            const QString stored = QString::fromUtf8(c.getText(), c.getBytes());
            if (query.getColumn(0).getInt64() != except && sameNameKey(stored) == key)
                return stored;
        }
        return QString();
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
        QHash<QString, qint64> taken = memorizedKeys(*payee);
        SQLite::Statement insert(Engine::instance().db(),
            (QStringLiteral("INSERT INTO %1 (\"Payee\") VALUES (?)").arg(payee->table()))
                .toStdString());
        for (const QString &name : names) {
            const QString key = sameNameKey(name);
            if (isBlank(name) || taken.contains(key)) {
                skipped.append(name);
                continue;
            }
            taken.insert(key, -1);
            insert.reset();
            insert.bind(1, name.toStdString());
            insert.exec();
        }
    });
    return skipped;
}
