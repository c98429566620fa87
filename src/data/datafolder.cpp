#include "datafolder.h"

#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "tablefiles.h"
#include "templates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cstring>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>

namespace {
QString folderName()
{
    return QDir::toNativeSeparators(QDir::currentPath());
}

QString restoreHint()
{
    return QStringLiteral(
        "\n\nDuesmith has not changed any file. Put the file back, or restore your "
        "tables from a backup, then start Duesmith again.");
}

// Every entry of the folder whose name matches, without regard to case.
QList<QFileInfo> entriesNamed(const QList<QFileInfo> &entries, const QString &name)
{
    QList<QFileInfo> found;
    for (const QFileInfo &e : entries)
        if (e.fileName().compare(name, Qt::CaseInsensitive) == 0)
            found.append(e);
    return found;
}

QString whatItIs(const QFileInfo &entry)
{
    if (entry.isSymLink() && !entry.exists())
        return QStringLiteral("a link to a file that does not exist");
    if (entry.isDir())
        return QStringLiteral("a folder");
    return QStringLiteral("not a regular file");
}

quint32 bigEndian32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

// The commit record a rollback journal points to: a multi-file commit writes
// its absolute path at the journal's end, behind a length, a checksum and the
// journal's magic number. Empty when there is none.
QString commitRecordOf(const QString &journal)
{
    QFile f(journal);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16)
        return {};
    const qint64 size = f.size();
    f.seek(size - 16);
    const QByteArray tail = f.read(16);
    static const char magic[] = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
    if (tail.size() != 16 || std::memcmp(tail.constData() + 8, magic, 8) != 0)
        return {};
    const quint32 length = bigEndian32(tail.constData());
    quint32 checksum = bigEndian32(tail.constData() + 4);
    if (length == 0 || length > 4096 || qint64(length) > size - 16)
        return {};
    f.seek(size - 16 - length);
    const QByteArray name = f.read(length);
    for (char c : name)
        checksum -= quint32(qint32(c));
    if (checksum != 0)
        return {};
    return QString::fromLocal8Bit(name.constData(), qstrnlen(name.constData(), name.size()));
}

void checkCommitRecords(const QList<QFileInfo> &entries)
{
    const QString here = QDir::currentPath();
    for (const QString &table : DataFolder::liveTables()) {
        for (const QFileInfo &journal : entriesNamed(entries, table + QStringLiteral("-journal"))) {
            const QString record = commitRecordOf(journal.absoluteFilePath());
            if (record.isEmpty())
                continue;
            const QFileInfo recorded(record);
            if (recorded.absolutePath() == here
                || !QFileInfo::exists(QDir(here).filePath(recorded.fileName())))
                continue;
            // The commit was cut off here and the folder has moved since: the
            // journal's commit record is looked for where the folder used to be,
            // and without it the change would be left half done.
            throw EngineError(QStringLiteral(
                "A change to several tables in this folder was interrupted, and the folder "
                "has been moved since. Move the folder back to %1, start Duesmith "
                "there once so that it can undo the change, then move the folder again.")
                                  .arg(QDir::toNativeSeparators(recorded.absolutePath())));
        }
    }
}

// The session file holds no data: one that is not a database is replaced,
// unless a journal beside it could belong to it.
bool sessionNeedsReplacing(const QList<QFileInfo> &entries)
{
    const QString name = Engine::sessionFileName();
    const QList<QFileInfo> found = entriesNamed(entries, name);
    if (found.isEmpty())
        return false;
    const QFileInfo &session = found.first();
    auto refuse = [&](const QString &why) {
        throw EngineError(
            QStringLiteral("The file %1 in the folder %2 is %3. It holds no data: delete it, "
                           "then start Duesmith again.")
                .arg(name, folderName(), why));
    };
    if (!session.isFile() || session.isSymLink())
        refuse(whatItIs(session));
    QFile f(session.absoluteFilePath());
    if (!f.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("unreadable"));
    const QByteArray header = f.read(16);
    if (header.isEmpty() || header == QByteArray("SQLite format 3", 16))
        return false;
    for (const char *side : { "-journal", "-wal" })
        if (!entriesNamed(entries, name + QLatin1String(side)).isEmpty())
            refuse(QStringLiteral("not a database, and has a journal beside it"));
    return true;
}

const Layout &layoutOf(const QString &table)
{
    return *Layouts::forFile(table);
}

// Tables whose template waits in the folder are rebuilt by the upgrade.
bool upgradePending(const QString &table)
{
    const QString kind = layoutOf(table).kind;
    if (kind == QLatin1String("item"))
        return Engine::exists(Templates::Schedule);
    if (kind == QLatin1String("aging"))
        return Engine::exists(Templates::Age);
    return Engine::exists(Templates::Payee);
}
} // namespace

QString DataFolder::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/duesmith"));
}

const QStringList &DataFolder::liveTables()
{
    static const QStringList tables = { TableFiles::Schedule, TableFiles::History,
        TableFiles::Resched, TableFiles::Payee, TableFiles::Aging };
    return tables;
}

DataFolder::Plan DataFolder::check()
{
    const QList<QFileInfo> entries = QDir::current().entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);

    QStringList names = liveTables();
    names << Templates::Schedule << Templates::Age << Templates::Payee;
    for (const QString &name : std::as_const(names)) {
        const QList<QFileInfo> twins = entriesNamed(entries, name);
        if (twins.size() > 1)
            throw EngineError(
                QStringLiteral("The folder %1 holds both %2 and %3, names that differ only in "
                               "case. Duesmith cannot tell which one holds your data: move one "
                               "of them out of the folder, then start Duesmith again.")
                    .arg(folderName(), twins[0].fileName(), twins[1].fileName()));
    }

    checkCommitRecords(entries);

    Plan plan;
    QHash<QString, QFileInfo> present;
    for (const QString &table : liveTables()) {
        const QList<QFileInfo> found = entriesNamed(entries, table);
        if (!found.isEmpty())
            present.insert(table, found.first());
    }
    plan.replaceSession = sessionNeedsReplacing(entries);
    if (present.isEmpty()) {
        plan.firstRun = true;
        return plan;
    }

    const QString schedule = liveTables().first();
    if (!present.contains(schedule))
        throw EngineError(
            QStringLiteral("The table %1 is missing from the folder %2, which holds your "
                           "other Duesmith tables.")
                .arg(schedule, folderName())
            + restoreHint()
            + QStringLiteral(" To start afresh instead, move the other tables out of the folder."));
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        if (!it->isFile())
            throw EngineError(QStringLiteral("%1 in the folder %2 is %3, not a table.")
                                  .arg(it->fileName(), folderName(), whatItIs(*it))
                + restoreHint());
    }
    for (const QString &table : liveTables())
        if (!present.contains(table))
            plan.missing.append(table);

    // Layouts are read through a connection of their own that only reads: a
    // refused start must not leave even a session file behind. A table with
    // a journal beside it is checked once the journal has been played back.
    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        if (upgradePending(it.key()) || Engine::exists(it->fileName() + QStringLiteral("-journal")))
            continue;
        try {
            // Taken as unchanging: a file in write-ahead log mode would
            // otherwise get its log and index created beside it.
            SQLite::Database db(Engine::readOnlyUri(it->absoluteFilePath()).toStdString(),
                SQLite::OPEN_READONLY | SQLite::OPEN_URI);
            Engine::inspect(db, QStringLiteral("main"), it->absoluteFilePath(), layoutOf(it.key()));
        } catch (const SQLite::Exception &e) {
            throw EngineError(it->fileName() + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        }
    }
    return plan;
}

void DataFolder::prepare(const Plan &plan, const QString &programFolder,
    const std::function<void(const QString &)> &notice)
{
    if (plan.replaceSession)
        Engine::instance().replaceSession();
    if (plan.firstRun) {
        Templates::provideMissing(programFolder);
        return;
    }
    for (const QString &table : plan.missing) {
        Engine::instance().createTable(table, layoutOf(table));
        if (table == TableFiles::History && notice)
            notice(QStringLiteral(
                "The history table history.DB was missing from the folder %1. Duesmith "
                "has created an empty one; restore it from a backup if you have one.")
                       .arg(folderName()));
    }
}

void DataFolder::finish()
{
    Engine &engine = Engine::instance();
    for (const QString &table : liveTables())
        engine.rebuildIndexes(table, engine.verify(table, layoutOf(table)));
}
