#pragma once

#include "layouts.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

namespace SQLite {
class Database;
class Exception;
class Statement;
} // namespace SQLite

class EngineError;
class Table;

// The local table engine: one SQLite connection to which every table file is
// ATTACHed while some handle uses it, so work spanning several files can be one
// transaction. Files are looked up in the working directory without regard to case.
class Engine : public QObject
{
    Q_OBJECT
public:
    static Engine &instance();
    ~Engine() override;

    SQLite::Database &db();

    // The existing file matching fileName in the working directory regardless of
    // case, or the name as given when none exists; always an absolute path.
    static QString resolve(const QString &fileName);
    static bool exists(const QString &fileName);
    // Deletes the file (matched regardless of case) when it exists.
    static void removeFile(const QString &fileName);

    // Attaches a table file (counted); returns its schema alias. A file
    // attached read-only is never written, nor is anything created beside it.
    QString attach(const QString &absolutePath, bool readOnly = false);
    // The URI that opens a file so that nothing is written to it or beside
    // it, whatever its journal mode: read-only and taken as unchanging.
    static QString readOnlyUri(const QString &absolutePath);
    void detach(const QString &absolutePath);

    // Creates a new empty table file with a layout; fails when it exists.
    void createTable(const QString &fileName, const Layout &layout);
    // Copies a whole table file to another name. The destination is replaced only
    // once the copy is complete, and never while a handle has it open.
    void copyTable(const QString &sourceFile, const QString &destFile);
    // The fields a table file declares, in its physical order.
    QList<FieldDef> fieldsOf(const QString &schema);
    // Checks that a table file is a readable table of the layout: every field
    // with its type and required flag, no unknown field that must have a value.
    // Throws with the file's name and the fault; returns the indexes that are
    // missing or differ (they hold no data and can be rebuilt).
    QList<IndexDef> verify(const QString &fileName, const Layout &layout);
    static QList<IndexDef> inspect(
        SQLite::Database &db, const QString &schema, const QString &fileName, const Layout &layout);
    void rebuildIndexes(const QString &fileName, const QList<IndexDef> &indexes);

    // Transactions over every attached file: commit is atomic across them.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    // Handle bookkeeping: exclusive use, and who has a file open.
    void registerHandle(Table *table, const QString &path, bool exclusive);
    void unregisterHandle(Table *table, const QString &path);
    // The handles open on a table file (matched regardless of case).
    QList<Table *> handlesOn(const QString &fileName) const;

    // Runs one statement with no result.
    void exec(const QString &sql);

    static QString quote(const QString &identifier);
    // Names in the user's language order (Ä beside A), regardless of case;
    // in SQL on this connection as COLLATE with LocaleCollation.
    static int localeCompare(const QString &a, const QString &b);
    static inline const QString LocaleCollation = QStringLiteral("duesmith_locale");
    // An engine message with the table files named where SQLite names their aliases.
    QString plainText(const QString &message) const;

    // The connection's own file in the data folder (it holds no data).
    static QString sessionFileName();
    // Closes the connection and deletes the session file, to be created anew
    // on next use; no table may be attached.
    void replaceSession();
    // An error of a write: I/O faults name the table file (or, for an empty
    // path, the data folder) and say when the folder is gone.
    static EngineError writeError(const SQLite::Exception &e, const QString &path);

Q_SIGNALS:
    // A transaction was rolled back: open handles re-read their files.
    void rolledBack();

private:
    Engine();
    void openSession();
    void applyPending();

    std::unique_ptr<SQLite::Database> m_db;
    QString m_sessionDir;
    struct Attached
    {
        QString alias;
        int uses = 0;
    };
    QHash<QString, Attached> m_attached;
    QSet<QString> m_pendingDetach;
    int m_nextAlias = 0;
    bool m_inTransaction = false;
    struct Users
    {
        QList<Table *> handles;
        bool exclusive = false;
    };
    QHash<QString, Users> m_users;
};

// The one way to run work in a transaction: commits when it returns; on any
// error rolls back and rethrows, an SQLite failure as the engine's error.
void inTransaction(const std::function<void()> &work);
