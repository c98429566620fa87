#include "backuprestore.h"

#include "attachedfile.h"
#include "closedhandles.h"
#include "destination.h"
#include "engine.h"
#include "engineerror.h"
#include "layouts.h"
#include "recordrules.h"
#include "tablefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <limits>
#include <memory>
#include <vector>

namespace {
// Records moved by one statement of a restore: small enough for the progress
// to move, large enough that the statements cost nothing beside the rows.
constexpr qint64 ChunkRecords = 20000;
// Page cache of a live table while it is refilled (every index is touched).
constexpr int RestoreCacheKiB = 64 * 1024;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString fileIn(const QString &dir, const QString &name)
{
    return Engine::resolve(QDir(dir).absoluteFilePath(name));
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// True when path is (or links to) one of the table files in use.
bool isLiveTable(const QString &path)
{
    const QString target = canonical(path);
    if (target.isEmpty())
        return false;
    for (const QString &live : { TableFiles::Schedule, TableFiles::History, TableFiles::Resched,
             TableFiles::Payee, TableFiles::Aging })
        if (canonical(Engine::resolve(live)) == target)
            return true;
    return false;
}

// Calls back while a long statement runs on a connection, so a progress
// window can keep painting.
class Ticks
{
public:
    Ticks(sqlite3 *db, const std::function<void()> &tick)
        : m_db(db)
        , m_tick(tick)
    {
        if (m_tick)
            sqlite3_progress_handler(m_db, 20000, &Ticks::call, this);
    }
    ~Ticks()
    {
        if (m_tick)
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }
    Ticks(const Ticks &) = delete;
    Ticks &operator=(const Ticks &) = delete;

private:
    static int call(void *self)
    {
        static_cast<Ticks *>(self)->m_tick();
        return 0;
    }
    sqlite3 *m_db;
    std::function<void()> m_tick;
};

qint64 countOf(SQLite::Database &db, const QString &table)
{
    return db.execAndGet(("SELECT count(*) FROM " + table).toStdString()).getInt64();
}

QVariant storedValue(sqlite3_stmt *stmt, int c)
{
    switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(stmt, c));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, c);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
            sqlite3_column_bytes(stmt, c));
    case SQLITE_BLOB:
        return QByteArray(
            static_cast<const char *>(sqlite3_column_blob(stmt, c)), sqlite3_column_bytes(stmt, c));
    default:
        return {};
    }
}

// Every record a restore would take over must keep the rules the program
// stores by; one that does not is named before any table changes.
void checkRecords(SQLite::Database &db, const QString &name, const Layout &layout,
    const QStringList &fields, const std::function<void()> &tick)
{
    if (fields.isEmpty())
        return;
    QStringList quoted;
    std::vector<const FieldDef *> defs;
    for (const QString &f : fields) {
        quoted.append(Engine::quote(f));
        defs.push_back(layout.field(f));
    }
    const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                               .arg(quoted.join(QStringLiteral(", ")), Engine::quote(DataTableName))
                               .toUtf8();
    sqlite3_stmt *raw = nullptr;
    const int prepared = sqlite3_prepare_v2(db.getHandle(), sql.constData(), -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> stmt(raw, sqlite3_finalize);
    if (prepared != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), prepared);
    qint64 record = 0;
    for (;;) {
        const int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            throw SQLite::Exception(db.getHandle(), rc);
        ++record;
        if (tick && record % 20000 == 0)
            tick();
        for (int c = 0; c < int(defs.size()); ++c) {
            const QString problem
                = RecordRules::storedProblem(*defs[c], storedValue(stmt.get(), c));
            if (!problem.isEmpty())
                throw EngineError(QStringLiteral("%1 cannot be restored: record %2: %3")
                                      .arg(name)
                                      .arg(record)
                                      .arg(problem));
        }
    }
}

// Reads a copy on a connection of its own, without writing to it: its check
// result, and the fields of its table as the live layout spells them (without
// the key and the payment mark, which a restore does not take over).
QStringList inspectCopy(
    const QString &path, const Layout &layout, const std::function<void()> &tick)
{
    const QString name = native(path);
    QStringList fields;
    try {
        // Changes still in a write-ahead log beside the copy would be missed, and
        // reading them would write beside it.
        if (QFileInfo(path + QStringLiteral("-wal")).size() > 0)
            throw EngineError(QStringLiteral("%1 has changes in %1-wal that are not yet part of "
                                             "it; it cannot be restored as it is.")
                                  .arg(name));
        SQLite::Database db(
            Engine::readOnlyUri(path).toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_URI);
        {
            Ticks ticks(db.getHandle(), tick);
            const std::string check = db.execAndGet("PRAGMA quick_check(1)").getString();
            if (check != "ok")
                throw EngineError(QStringLiteral("%1 is damaged and cannot be restored (%2).")
                                      .arg(name, QString::fromStdString(check)));
        }
        QList<QString> missing;
        for (const FieldDef &f : layout.fields)
            if (f.required)
                missing.append(f.name);
        bool any = false;
        SQLite::Statement info(
            db, "PRAGMA main.table_info(" + Engine::quote(DataTableName).toStdString() + ")");
        while (info.executeStep()) {
            any = true;
            const QString field = QString::fromStdString(info.getColumn(1).getString());
            const FieldDef *want = layout.field(field);
            if (!want)
                throw EngineError(
                    QStringLiteral("%1 holds the field '%2', which this version of Duesmith does "
                                   "not know; the backup may come from a newer version.")
                        .arg(name, field));
            FieldDef have;
            if (!parseDeclaredType(QString::fromStdString(info.getColumn(2).getString()), have)
                || have.type != want->type)
                throw EngineError(
                    QStringLiteral("%1: field '%2' has the wrong type.").arg(name, want->name));
            missing.removeAll(want->name);
            if (want->type != FieldType::Counter && want->name != QLatin1String("PayNow"))
                fields.append(want->name);
        }
        if (!any)
            throw EngineError(
                QStringLiteral("%1 is not a Duesmith table (it holds no table of records).")
                    .arg(name));
        if (!missing.isEmpty())
            throw EngineError(
                QStringLiteral("%1: field '%2' is missing.").arg(name, missing.first()));
        checkRecords(db, name, layout, fields, tick);
    } catch (const SQLite::Exception &e) {
        throw EngineError(
            QStringLiteral("%1 cannot be read: %2").arg(name, QString::fromUtf8(e.what())));
    }
    return fields;
}

struct Source
{
    QString live;
    QString copy;
    QStringList fields;
};

std::vector<Source> checkedSources(
    const QStringList &liveFiles, const QString &dir, const std::function<void()> &tick)
{
    const QFileInfo folder(dir);
    if (!folder.exists())
        throw EngineError(QStringLiteral("The folder %1 does not exist.").arg(native(dir)));
    if (!folder.isDir())
        throw EngineError(QStringLiteral("%1 is a file, not a folder.").arg(native(dir)));
    if (canonical(dir) == canonical(QDir::currentPath()))
        throw EngineError(
            QStringLiteral("The folder %1 holds the tables Duesmith is working with. Please "
                           "select a folder that holds a backup.")
                .arg(native(dir)));

    std::vector<Source> sources;
    for (const QString &live : liveFiles) {
        const Layout *layout = Layouts::forFile(live);
        if (!layout)
            throw EngineError(QStringLiteral("%1 is not a table Duesmith backs up.").arg(live));
        Source s;
        s.live = Engine::resolve(live);
        s.copy = fileIn(dir, BackupRestore::backupName(live));
        const QFileInfo copy(s.copy);
        if (!copy.exists())
            throw EngineError(QStringLiteral("%1 is missing: the folder holds no backup of %2.")
                                  .arg(native(s.copy), live));
        if (!copy.isFile())
            throw EngineError(QStringLiteral("%1 is not a table file and cannot be restored.")
                                  .arg(native(s.copy)));
        if (isLiveTable(s.copy))
            throw EngineError(QStringLiteral("%1 is one of the tables Duesmith is working with.")
                                  .arg(native(s.copy)));
        s.fields = inspectCopy(s.copy, *layout, tick);
        sources.push_back(s);
    }
    return sources;
}

// Moves every record of the copy into the live table, in the copy's order.
void refill(const AttachedFile &live, const AttachedFile &copy, const QStringList &fields,
    const std::function<void(qint64)> &moved)
{
    SQLite::Database &db = Engine::instance().db();
    QStringList quoted;
    for (const QString &f : fields)
        quoted.append(Engine::quote(f));
    const QString list = quoted.join(QStringLiteral(", "));
    db.exec(("DELETE FROM " + live.table()).toStdString());
    SQLite::Statement bound(db,
        ("SELECT rowid FROM " + copy.table() + " WHERE rowid > ? ORDER BY rowid LIMIT 1 OFFSET ?")
            .toStdString());
    SQLite::Statement insert(db,
        QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE rowid > ?1 AND rowid <= ?2 "
                       "ORDER BY rowid")
            .arg(live.table(), list, copy.table())
            .toStdString());
    int64_t from = std::numeric_limits<int64_t>::min();
    for (;;) {
        bound.reset();
        bound.bind(1, from);
        bound.bind(2, static_cast<int64_t>(ChunkRecords - 1));
        const int64_t to = bound.executeStep() ? bound.getColumn(0).getInt64()
                                               : std::numeric_limits<int64_t>::max();
        insert.reset();
        insert.bind(1, from);
        insert.bind(2, to);
        insert.exec();
        moved(db.getChanges());
        if (to == std::numeric_limits<int64_t>::max())
            break;
        from = to;
    }
}

// The folder a backup goes to, as an absolute path; refused when it is
// missing, a file, or the folder of the tables in use.
QString backupFolder(const QString &dir)
{
    const QFileInfo folder(dir);
    if (!folder.isDir())
        throw EngineError(folder.exists()
                ? QStringLiteral("%1 is a file, not a folder.").arg(native(dir))
                : QStringLiteral("The folder %1 does not exist.").arg(native(dir)));
    const QString folderPath = folder.absoluteFilePath();
    // Copies there would be renamed over the tables in use.
    if (canonical(folderPath) == canonical(QDir::currentPath()))
        throw EngineError(
            QStringLiteral("The folder %1 holds the tables Duesmith is working with. Please "
                           "select another destination for your backup.")
                .arg(native(folderPath)));
    return folderPath;
}

// Writes a compact copy of a table to temp; returns how many records it had.
qint64 copyTable(const QString &source, const QString &temp, const std::function<void()> &tick)
{
    SQLite::Database &db = Engine::instance().db();
    AttachedFile attached(source);
    const qint64 records = countOf(db, attached.table());
    Ticks ticks(db.getHandle(), tick);
    const QString alias = attached.table().section(QLatin1Char('.'), 0, 0);
    SQLite::Statement vacuum(db, "VACUUM " + alias.toStdString() + " INTO ?");
    vacuum.bind(1, temp.toStdString());
    vacuum.exec();
    return records;
}

// A copy is kept only when it reads back whole, with every record.
void checkCopy(const QString &temp, qint64 records, const std::function<void()> &tick)
{
    SQLite::Database copy(temp.toStdString(), SQLite::OPEN_READONLY);
    Ticks ticks(copy.getHandle(), tick);
    const std::string check = copy.execAndGet("PRAGMA quick_check(1)").getString();
    if (check != "ok")
        throw EngineError(
            QStringLiteral("the copy failed its check (%1)").arg(QString::fromStdString(check)));
    const qint64 copied = countOf(copy, Engine::quote(DataTableName));
    if (copied != records)
        throw EngineError(
            QStringLiteral("the copy holds %1 records instead of %2").arg(copied).arg(records));
}

QString failureText(const std::exception &e)
{
    if (const auto *sql = dynamic_cast<const SQLite::Exception *>(&e))
        return QString::fromUtf8(sql->what());
    if (const auto *engineError = dynamic_cast<const EngineError *>(&e))
        return engineError->message();
    return QString::fromUtf8(e.what());
}
} // namespace

QString BackupRestore::backupName(const QString &liveFile)
{
    return QFileInfo(liveFile).fileName().toLower();
}

void BackupRestore::backup(
    const QStringList &liveFiles, const QString &dir, const Progress &progress)
{
    if (Engine::instance().inTransaction())
        throw EngineError(QStringLiteral("Tables cannot be copied during a transaction."));
    const QString folderPath = backupFolder(dir);

    struct Copy
    {
        QString live;
        QString source;
        std::unique_ptr<DestinationFile> dest;
    };
    std::vector<Copy> copies;
    const qint64 total = 2 * liveFiles.size();
    qint64 done = 0;
    const auto report = [&] {
        if (progress)
            progress(done, total);
    };
    const std::function<void()> tick = progress ? std::function<void()>(report) : nullptr;
    QString current;
    try {
        for (const QString &live : liveFiles) {
            current = live;
            Copy c;
            c.live = live;
            c.source = Engine::resolve(live);
            if (!QFileInfo::exists(c.source))
                throw EngineError(QStringLiteral("Table does not exist: %1").arg(live));
            const QString dest = fileIn(folderPath, backupName(live));
            if (QFileInfo(dest).isDir())
                throw EngineError(QStringLiteral("%1 is a folder; the backup cannot replace it.")
                                      .arg(native(dest)));
            c.dest = std::make_unique<DestinationFile>(dest);
            const QString temp = c.dest->tempPath();
            copies.push_back(std::move(c));

            const qint64 records = copyTable(copies.back().source, temp, tick);
            ++done;
            report();
            checkCopy(temp, records, tick);
            ++done;
            report();
        }
        current.clear();
        std::vector<DestinationFile *> files;
        for (const Copy &c : copies) {
            // A journal left beside the earlier copy would be played back into the new one.
            QFile::remove(c.dest->path() + QStringLiteral("-journal"));
            files.push_back(c.dest.get());
        }
        DestinationFile::commitAll(files);
    } catch (const std::exception &e) {
        copies.clear();
        const QString why = failureText(e);
        if (current.isEmpty())
            throw EngineError(why);
        throw EngineError(QStringLiteral("%1 could not be backed up to the folder %2: %3")
                              .arg(current, native(folderPath), why));
    }
}

void BackupRestore::checkSource(const QStringList &liveFiles, const QString &dir)
{
    checkedSources(liveFiles, dir, nullptr);
}

void BackupRestore::restore(
    const QStringList &liveFiles, const QString &dir, const Progress &progress)
{
    Engine &engine = Engine::instance();
    if (engine.inTransaction())
        throw EngineError(QStringLiteral("Tables cannot be restored during a transaction."));
    qint64 done = 0;
    qint64 total = 0;
    const auto report = [&] {
        if (progress)
            progress(done, total);
    };
    const std::function<void()> tick = progress ? std::function<void()>(report) : nullptr;
    const std::vector<Source> sources = checkedSources(liveFiles, dir, tick);

    // No window may hold a table while its records are replaced; each handle
    // opens again afterwards and reads what is there then.
    std::vector<std::unique_ptr<ClosedHandles>> closed;
    struct Pair
    {
        std::unique_ptr<AttachedFile> live;
        std::unique_ptr<AttachedFile> copy;
        QStringList fields;
    };
    std::vector<Pair> pairs;
    for (const Source &s : sources) {
        closed.push_back(std::make_unique<ClosedHandles>(s.live));
        Pair p;
        p.live = std::make_unique<AttachedFile>(s.live, RestoreCacheKiB);
        p.copy = std::make_unique<AttachedFile>(s.copy, 0, true);
        p.fields = s.fields;
        total += engine.db()
                     .execAndGet(("SELECT count(*) FROM " + p.copy->table()).toStdString())
                     .getInt64();
        pairs.push_back(std::move(p));
    }
    report();
    {
        Ticks ticks(engine.db().getHandle(), tick);
        try {
            inTransaction([&] {
                for (const Pair &p : pairs)
                    refill(*p.live, *p.copy, p.fields, [&](qint64 moved) {
                        done += moved;
                        report();
                    });
            });
        } catch (const EngineError &e) {
            throw EngineError(
                QStringLiteral("The restore from the folder %1 failed; no table was changed. %2")
                    .arg(native(QFileInfo(dir).absoluteFilePath()), e.message()));
        }
    }
    // The handles open again as they go; one that cannot is reported by its
    // window when next used, not as a failed restore.
    pairs.clear();
    closed.clear();
}
