#include "engine.h"

#include "engineerror.h"
#include "sqlerror.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

namespace {
QString fileNameOnly(const QString &path)
{
    return QFileInfo(path).fileName();
}

void syncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Engine &Engine::instance()
{
    // Never destroyed: a handle still open at exit must not meet a closed
    // connection. Every post is on disk already, so nothing is left to write.
    static Engine *engine = new Engine;
    return *engine;
}

Engine::Engine() = default;

// The connection's main database is named in the working directory but never
// written, so the file itself is not created. SQLite puts the super-journal of
// a transaction that spans several files beside it; without one (an in-memory
// main database) a crash during commit could leave some files committed and
// others not.
// The session is opened on first use, so a start refused by the folder checks
// leaves no session file behind.
void Engine::openSession()
{
    m_sessionDir = QDir::currentPath();
    m_db.reset();
    m_db = std::make_unique<SQLite::Database>(
        QDir(m_sessionDir).absoluteFilePath(QStringLiteral(".duesmith-session")).toStdString(),
        // One thread uses the connection: no mutex around every call and value read.
        // URIs let a file be attached read-only; every other path attached is absolute.
        SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_NOMUTEX | SQLITE_OPEN_URI);
    m_db->setBusyTimeout(1000);
    sqlite3_create_collation_v2(
        m_db->getHandle(), LocaleCollation.toUtf8().constData(), SQLITE_UTF8, nullptr,
        [](void *, int na, const void *a, int nb, const void *b) {
            return localeCompare(QString::fromUtf8(static_cast<const char *>(a), na),
                QString::fromUtf8(static_cast<const char *>(b), nb));
        },
        nullptr);
}

int Engine::localeCompare(const QString &a, const QString &b)
{
    thread_local QCollator collator;
    if (collator.locale() != QLocale() || collator.caseSensitivity() != Qt::CaseInsensitive) {
        collator.setLocale(QLocale());
        collator.setCaseSensitivity(Qt::CaseInsensitive);
    }
    return collator.compare(a, b);
}

Engine::~Engine() = default;

SQLite::Database &Engine::db()
{
    if (!m_db)
        openSession();
    return *m_db;
}

QString Engine::sessionFileName()
{
    return QStringLiteral(".duesmith-session");
}

void Engine::replaceSession()
{
    m_pendingDetach.unite(QSet<QString>(m_attached.keyBegin(), m_attached.keyEnd()));
    applyPending();
    if (!m_attached.isEmpty())
        throw EngineError(QStringLiteral("Tables are open; the session cannot be replaced."));
    m_db.reset();
    const QString path = QDir::current().absoluteFilePath(sessionFileName());
    if (QFileInfo::exists(path) && !QFile::remove(path))
        throw EngineError(
            QStringLiteral("Cannot delete %1 in the folder %2.")
                .arg(sessionFileName(), QDir::toNativeSeparators(QDir::currentPath())));
}

EngineError Engine::writeError(const SQLite::Exception &e, const QString &path)
{
    const int code = e.getErrorCode();
    const bool io = code == SQLITE_FULL || code == SQLITE_IOERR || code == SQLITE_CANTOPEN
        || code == SQLITE_READONLY || code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
    if (!io)
        return engineError(e);
    const QString message = QString::fromUtf8(e.what());
    const QString folder = QDir::toNativeSeparators(
        path.isEmpty() ? instance().m_sessionDir : QFileInfo(path).absolutePath());
    if (!QFileInfo(folder).isDir())
        return EngineError(
            QStringLiteral("The folder %1 no longer exists (%2).").arg(folder, message));
    if (path.isEmpty())
        return EngineError(QStringLiteral("%1 (tables in the folder %2)").arg(message, folder));
    return EngineError(
        QStringLiteral("%1 in the folder %2: %3").arg(fileNameOnly(path), folder, message));
}

QString Engine::quote(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString Engine::resolve(const QString &fileName)
{
    const QFileInfo given(fileName);
    QDir dir
        = given.isAbsolute() ? given.absoluteDir() : QDir(QDir::current().filePath(given.path()));
    const QString name = given.fileName();
    if (QFileInfo::exists(dir.filePath(name)))
        return QDir::cleanPath(dir.absoluteFilePath(name));
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return QDir::cleanPath(dir.absoluteFilePath(entry));
    return QDir::cleanPath(dir.absoluteFilePath(name));
}

bool Engine::exists(const QString &fileName)
{
    return QFileInfo::exists(resolve(fileName));
}

void Engine::removeFile(const QString &fileName)
{
    const QString path = resolve(fileName);
    if (!QFileInfo::exists(path))
        return;
    Engine &engine = instance();
    if (engine.m_users.contains(path))
        throw EngineError(QStringLiteral("Table is busy.\nTable: %1").arg(fileNameOnly(path)));
    if (engine.m_attached.contains(path)) {
        engine.m_pendingDetach.insert(path);
        engine.applyPending();
    }
    if (!QFile::remove(path))
        throw EngineError(QStringLiteral("Cannot delete %1.").arg(fileNameOnly(path)));
}

void Engine::exec(const QString &sql)
{
    try {
        db().exec(sql.toStdString());
    } catch (const SQLite::Exception &e) {
        throw engineError(e);
    }
}

QString Engine::plainText(const QString &message) const
{
    QString text = message;
    for (auto it = m_attached.begin(); it != m_attached.end(); ++it) {
        const QString alias = QRegularExpression::escape(it->alias);
        text.replace(
            QRegularExpression(QStringLiteral("\"?\\b%1\"?\\.\"?data\"?(?!\\w)").arg(alias)),
            fileNameOnly(it.key()));
    }
    return text;
}

// Declared beside translatingErrors; it names files the way only the engine
// can, from the files it has attached.
EngineError engineError(const SQLite::Exception &error, const QString &file)
{
    QString text = Engine::instance().plainText(QString::fromUtf8(error.what()));
    if (error.getErrorCode() == SQLITE_CONSTRAINT && text.contains(QLatin1String("UNIQUE")))
        text = QStringLiteral("Key violation.");
    if (!file.isEmpty())
        text = QFileInfo(file).fileName() + QStringLiteral(": ") + text;
    return EngineError(text);
}

QString Engine::readOnlyUri(const QString &absolutePath)
{
    return QString::fromLatin1(QUrl::fromLocalFile(absolutePath).toEncoded())
        + QStringLiteral("?mode=ro&immutable=1");
}

QString Engine::attach(const QString &absolutePath, bool readOnly)
{
    auto it = m_attached.find(absolutePath);
    if (it != m_attached.end()) {
        m_pendingDetach.remove(absolutePath);
        ++it->uses;
        return it->alias;
    }
    if (m_inTransaction)
        throw EngineError(QStringLiteral("%1 cannot be opened during a transaction.")
                              .arg(fileNameOnly(absolutePath)));
    if (!m_db || (m_attached.isEmpty() && QDir::currentPath() != m_sessionDir))
        openSession();
    const QString alias = QStringLiteral("t%1").arg(m_nextAlias++);
    try {
        SQLite::Statement attach(*m_db, "ATTACH DATABASE ? AS " + quote(alias).toStdString());
        attach.bind(1, (readOnly ? readOnlyUri(absolutePath) : absolutePath).toStdString());
        attach.exec();
    } catch (const SQLite::Exception &e) {
        throw engineError(e, absolutePath);
    }
    try {
        // Reading the schema is what finds out that a file is not a database.
        if (readOnly) {
            m_db->exec(("SELECT count(*) FROM " + quote(alias) + ".sqlite_master").toStdString());
        } else {
            m_db->exec(("PRAGMA " + quote(alias) + ".journal_mode=DELETE").toStdString());
            // EXTRA: the folder is synced once the journal is deleted, so a post
            // that has returned survives a power cut too.
            m_db->exec(("PRAGMA " + quote(alias) + ".synchronous=EXTRA").toStdString());
        }
    } catch (const SQLite::Exception &e) {
        try {
            m_db->exec(("DETACH DATABASE " + quote(alias)).toStdString());
        } catch (const SQLite::Exception &) { }
        throw engineError(e, absolutePath);
    }
    m_attached.insert(absolutePath, { alias, 1 });
    return alias;
}

void Engine::detach(const QString &absolutePath)
{
    auto it = m_attached.find(absolutePath);
    if (it == m_attached.end())
        return;
    if (--it->uses > 0)
        return;
    m_pendingDetach.insert(absolutePath);
    if (!m_inTransaction)
        applyPending();
}

void Engine::applyPending()
{
    const QSet<QString> pending = m_pendingDetach;
    for (const QString &path : pending) {
        auto it = m_attached.find(path);
        if (it == m_attached.end() || it->uses > 0) {
            m_pendingDetach.remove(path);
            continue;
        }
        try {
            m_db->exec(("DETACH DATABASE " + quote(it->alias)).toStdString());
        } catch (const SQLite::Exception &) {
            continue; // a statement still runs on it; try again later
        }
        m_attached.erase(it);
        m_pendingDetach.remove(path);
    }
}

QList<FieldDef> Engine::fieldsOf(const QString &schema)
{
    QList<FieldDef> fields;
    try {
        SQLite::Statement info(*m_db,
            "PRAGMA " + quote(schema).toStdString() + ".table_info("
                + quote(DataTableName).toStdString() + ")");
        while (info.executeStep()) {
            FieldDef f;
            f.name = QString::fromStdString(info.getColumn(1).getString());
            if (!parseDeclaredType(QString::fromStdString(info.getColumn(2).getString()), f))
                f.type = FieldType::Text;
            f.required = info.getColumn(3).getInt() != 0 && f.type != FieldType::Counter;
            fields.append(f);
        }
    } catch (const SQLite::Exception &e) {
        throw engineError(e);
    }
    return fields;
}

void Engine::createTable(const QString &fileName, const Layout &layout)
{
    const QString path = resolve(fileName);
    if (QFileInfo::exists(path))
        throw EngineError(QStringLiteral("%1 already exists.").arg(fileNameOnly(path)));
    const QString alias = attach(path);
    try {
        for (const QString &sql : createStatements(alias, layout))
            m_db->exec(sql.toStdString());
    } catch (const SQLite::Exception &e) {
        detach(path);
        QFile::remove(path);
        throw engineError(e, path);
    }
    detach(path);
}

// Fields, types, required fields and indexes of one table in a schema of a
// connection. Faults in the data's layout throw, naming the file; indexes
// that are missing or differ are returned, to be rebuilt.
QList<IndexDef> Engine::inspect(
    SQLite::Database &db, const QString &schema, const QString &fileName, const Layout &layout)
{
    const QString name = fileNameOnly(fileName);
    const std::string s = quote(schema).toStdString();
    struct Column
    {
        FieldDef field;
        bool known = false;
        bool hasDefault = false;
    };
    QList<Column> columns;
    QList<IndexDef> stale;
    try {
        SQLite::Statement info(
            db, "PRAGMA " + s + ".table_info(" + quote(DataTableName).toStdString() + ")");
        while (info.executeStep()) {
            Column c;
            c.field.name = QString::fromStdString(info.getColumn(1).getString());
            c.known
                = parseDeclaredType(QString::fromStdString(info.getColumn(2).getString()), c.field);
            c.field.required
                = info.getColumn(3).getInt() != 0 && c.field.type != FieldType::Counter;
            c.hasDefault = !info.getColumn(4).isNull();
            columns.append(c);
        }
        if (columns.isEmpty())
            throw EngineError(
                QStringLiteral("%1: not a Duesmith table (it holds no table of records).")
                    .arg(name));
        for (const Column &c : std::as_const(columns)) {
            const FieldDef *want = layout.field(c.field.name);
            if (!want && c.field.required && !c.hasDefault)
                throw EngineError(
                    QStringLiteral("%1: field '%2' is not one Duesmith knows, and every record "
                                   "must have a value in it.")
                        .arg(name, c.field.name));
        }
        for (const FieldDef &want : layout.fields) {
            auto found = std::find_if(columns.begin(), columns.end(), [&](const Column &c) {
                return c.field.name.compare(want.name, Qt::CaseInsensitive) == 0;
            });
            if (found == columns.end())
                throw EngineError(
                    QStringLiteral("%1: field '%2' is missing.").arg(name, want.name));
            if (!found->known || found->field.type != want.type
                || (want.type == FieldType::Text && found->field.size != want.size))
                throw EngineError(
                    QStringLiteral("%1: field '%2' has the wrong type.").arg(name, want.name));
            if (found->field.required != want.required && want.type != FieldType::Counter)
                throw EngineError(want.required
                        ? QStringLiteral("%1: field '%2' should be required and is not.")
                              .arg(name, want.name)
                        : QStringLiteral("%1: field '%2' should not be required and is.")
                              .arg(name, want.name));
        }
        for (const IndexDef &index : layout.indexes) {
            QStringList have;
            SQLite::Statement cols(
                db, "PRAGMA " + s + ".index_info(" + quote(index.name).toStdString() + ")");
            while (cols.executeStep())
                have.append(QString::fromStdString(cols.getColumn(2).getString()));
            bool same = have.size() == index.fields.size();
            for (int i = 0; same && i < have.size(); ++i)
                same = have[i].compare(index.fields[i], Qt::CaseInsensitive) == 0;
            if (same) {
                SQLite::Statement on(db,
                    "SELECT tbl_name FROM " + s + ".sqlite_master WHERE type='index' AND name=?");
                on.bind(1, index.name.toStdString());
                same = on.executeStep()
                    && on.getColumn(0).getString() == DataTableName.toStdString();
            }
            if (!same)
                stale.append(index);
        }
    } catch (const SQLite::Exception &e) {
        throw engineError(e, fileName);
    }
    return stale;
}

QList<IndexDef> Engine::verify(const QString &fileName, const Layout &layout)
{
    const QString path = resolve(fileName);
    if (!QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(fileNameOnly(path)));
    const QString alias = attach(path);
    try {
        const QList<IndexDef> stale = inspect(*m_db, alias, path, layout);
        detach(path);
        return stale;
    } catch (...) {
        detach(path);
        throw;
    }
}

void Engine::rebuildIndexes(const QString &fileName, const QList<IndexDef> &indexes)
{
    if (indexes.isEmpty())
        return;
    const QString path = resolve(fileName);
    const QString alias = attach(path);
    try {
        ::inTransaction([&] {
            for (const IndexDef &index : indexes) {
                QStringList cols;
                for (const QString &f : index.fields)
                    cols.append(quote(f));
                exec(QStringLiteral("DROP INDEX IF EXISTS %1.%2")
                         .arg(quote(alias), quote(index.name)));
                exec(QStringLiteral("CREATE INDEX %1.%2 ON %3 (%4)")
                         .arg(quote(alias), quote(index.name), quote(DataTableName),
                             cols.join(QStringLiteral(", "))));
            }
        });
    } catch (const EngineError &e) {
        detach(path);
        throw EngineError(fileNameOnly(path) + QStringLiteral(": ") + e.message());
    }
    detach(path);
}

void Engine::copyTable(const QString &sourceFile, const QString &destFile)
{
    if (m_inTransaction)
        throw EngineError(QStringLiteral("Tables cannot be copied during a transaction."));
    const QString source = resolve(sourceFile);
    const QString dest = resolve(destFile);
    if (!QFileInfo::exists(source))
        throw EngineError(QStringLiteral("Table does not exist: %1").arg(fileNameOnly(source)));
    if (source == dest)
        return;
    if (m_users.contains(dest))
        throw EngineError(QStringLiteral("Table is busy.\nTable: %1").arg(fileNameOnly(dest)));
    if (m_attached.contains(dest)) {
        m_pendingDetach.insert(dest);
        applyPending();
        if (m_attached.contains(dest))
            throw EngineError(QStringLiteral("Table is busy.\nTable: %1").arg(fileNameOnly(dest)));
    }

    const QFileInfo destInfo(dest);
    const QString temp = destInfo.absolutePath() + QStringLiteral("/.") + destInfo.fileName()
        + QStringLiteral(".copy");
    QFile::remove(temp);
    const QString alias = attach(source);
    try {
        SQLite::Statement vacuum(*m_db, "VACUUM " + quote(alias).toStdString() + " INTO ?");
        vacuum.bind(1, temp.toStdString());
        vacuum.exec();
    } catch (const SQLite::Exception &e) {
        detach(source);
        QFile::remove(temp);
        throw engineError(e, source);
    }
    detach(source);
    syncPath(temp);
    // A journal left beside the old file would be played back into the new one.
    QFile::remove(dest + QStringLiteral("-journal"));
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(dest).constData()) != 0) {
        QFile::remove(temp);
        throw EngineError(QStringLiteral("Cannot write %1.").arg(fileNameOnly(dest)));
    }
    syncPath(destInfo.absolutePath());
}

void Engine::begin()
{
    if (m_inTransaction)
        throw EngineError(QStringLiteral("A transaction is already active."));
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    m_inTransaction = true;
}

void Engine::commit()
{
    try {
        db().exec("COMMIT");
    } catch (const SQLite::Exception &e) {
        throw writeError(e, {});
    }
    m_inTransaction = false;
    applyPending();
}

void Engine::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    try {
        m_db->exec("ROLLBACK");
    } catch (const SQLite::Exception &) {
        // SQLite may have rolled back already after an I/O error.
    }
    Q_EMIT rolledBack();
    applyPending();
}

void Engine::registerHandle(Table *table, const QString &path, bool exclusive)
{
    Users &users = m_users[path];
    if (!users.handles.isEmpty() && (exclusive || users.exclusive))
        throw EngineError(QStringLiteral("Table is busy.\nTable: %1").arg(fileNameOnly(path)));
    users.handles.append(table);
    users.exclusive = exclusive;
}

void Engine::unregisterHandle(Table *table, const QString &path)
{
    auto it = m_users.find(path);
    if (it == m_users.end())
        return;
    it->handles.removeAll(table);
    if (it->handles.isEmpty())
        m_users.erase(it);
}

void inTransaction(const std::function<void()> &work)
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

QList<Table *> Engine::handlesOn(const QString &fileName) const
{
    return m_users.value(resolve(fileName)).handles;
}
