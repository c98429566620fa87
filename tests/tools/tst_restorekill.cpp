// Kills a restore of a large backup at many moments and checks that each
// table is left either entirely as it was or entirely restored, all of them
// alike, and that every file passes the integrity check. The child process
// ends itself at its N-th sync or deletion (so every step of the commit is
// hit), or the parent kills it after a delay (so the refill itself is hit).
#include "crashfs.h"
#include "testsupport.h"

#include "data/backuprestore.h"
#include "data/engine.h"
#include "data/layouts.h"
#include "data/tablefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
constexpr int BackupItems = 20000;
constexpr int BackupHistory = 200000;
constexpr int BackupPayees = 500;
constexpr int LiveItems = 300;
constexpr int LiveHistory = 1000;
constexpr int LivePayees = 20;

const QStringList Restored = { TableFiles::Schedule, TableFiles::History, TableFiles::Payee };
const QStringList AllFiles = { TableFiles::Schedule, TableFiles::History, TableFiles::Resched,
    TableFiles::Payee, TableFiles::Aging };

// Fills the tables of the working directory straight through SQLite; the
// descriptions and payee names start with prefix.
void fill(const QString &prefix, int items, int history, int payees)
{
    for (const QString &file : { TableFiles::Schedule, TableFiles::History }) {
        SQLite::Database db(Engine::resolve(file).toStdString(), SQLite::OPEN_READWRITE);
        SQLite::Transaction t(db);
        SQLite::Statement insert(db,
            "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Frequency\", "
            "\"Units\", \"PayNow\") VALUES (?, ?, ?, 1, 'Months', ?)");
        const int count = file == TableFiles::Schedule ? items : history;
        for (int i = 0; i < count; ++i) {
            insert.reset();
            insert.bind(1, QDate(2024, 1, 1).addDays(i % 700).toString(Qt::ISODate).toStdString());
            insert.bind(2, (prefix + QString::number(i)).toStdString());
            insert.bind(3, 1.0 + i % 1000);
            if (i % 3 == 0)
                insert.bind(4, PayMark.toStdString());
            else
                insert.bind(4);
            insert.exec();
        }
        t.commit();
    }
    SQLite::Database db(Engine::resolve(TableFiles::Payee).toStdString(), SQLite::OPEN_READWRITE);
    SQLite::Transaction t(db);
    for (int i = 0; i < payees; ++i)
        db.exec(("INSERT INTO data VALUES ('" + prefix + QString::number(i) + "')").toStdString());
    t.commit();
}

void createIn(const QString &dir, const QStringList &files)
{
    QDir().mkpath(dir);
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir);
    for (const QString &f : files)
        Engine::instance().createTable(f, *Layouts::forFile(f));
    QDir::setCurrent(old);
}

int childMain(const QString &dir, const QString &backup, int killAt)
{
    crash::install(killAt);
    QDir::setCurrent(dir);
    std::printf("ready\n");
    std::fflush(stdout);
    crash::armed = true;
    BackupRestore::restore(Restored, backup);
    crash::armed = false;
    std::printf("steps %d\n", crash::steps);
    std::fflush(stdout);
    return 0;
}
} // namespace

class TestRestoreKill : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_live;
    QString m_backup;
    int m_runs = 0;
    int m_steps = 0;
    qint64 m_took = 0;

    QString freshCopy()
    {
        const QString dir = m_root.filePath(QStringLiteral("run%1").arg(++m_runs));
        QDir().mkpath(dir);
        for (const QString &f : AllFiles)
            if (!QFile::copy(QDir(m_live).filePath(f), QDir(dir).filePath(f)))
                qFatal("cannot copy %s", qPrintable(f));
        return dir;
    }

    // Runs a restore in a child; ends it at its N-th sync or deletion, or
    // kills it after a delay. Returns the steps of an undisturbed run, else -1.
    int runChild(const QString &dir, int killAt, int killAfterMs = -1)
    {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({ QStringLiteral("--child"), dir, m_backup, QString::number(killAt) });
        child.start();
        if (!child.waitForStarted(10000) || !child.waitForReadyRead(30000))
            qFatal("child did not start");
        if (killAfterMs >= 0) {
            QThread::msleep(static_cast<unsigned long>(killAfterMs));
            child.kill();
        }
        if (!child.waitForFinished(120000))
            qFatal("child did not finish");
        const QByteArray out = child.readAllStandardOutput();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            if (killAt == 0 && killAfterMs < 0)
                qFatal("child failed: %s", child.readAllStandardError().constData());
            return -1;
        }
        const int at = out.indexOf("steps ");
        return at < 0 ? -1 : out.mid(at + 6).trimmed().toInt();
    }

    // Every restored table all old or all restored, each file sound.
    // Returns true when the restore took place.
    bool check(const QString &dir)
    {
        for (const QString &f : AllFiles) {
            SQLite::Database db(QDir(dir).filePath(f).toStdString(), SQLite::OPEN_READWRITE);
            const std::string result = db.execAndGet("PRAGMA integrity_check").getString();
            if (result != "ok")
                qFatal("%s in %s: %s", qPrintable(f), qPrintable(dir), result.c_str());
        }
        struct Expect
        {
            QString file;
            QString field;
            int live;
            int backup;
        };
        const Expect expects[] = {
            { TableFiles::Schedule, QStringLiteral("Description"), LiveItems, BackupItems },
            { TableFiles::History, QStringLiteral("Description"), LiveHistory, BackupHistory },
            { TableFiles::Payee, QStringLiteral("Payee"), LivePayees, BackupPayees },
        };
        int restored = 0;
        for (const Expect &e : expects) {
            SQLite::Database db(QDir(dir).filePath(e.file).toStdString(), SQLite::OPEN_READONLY);
            const auto count = [&](const QString &where) {
                return db.execAndGet(("SELECT count(*) FROM data WHERE " + where).toStdString())
                    .getInt();
            };
            const int oldRows = count(QStringLiteral("\"%1\" LIKE 'old%'").arg(e.field));
            const int newRows = count(QStringLiteral("\"%1\" LIKE 'new%'").arg(e.field));
            if (oldRows == e.live && newRows == 0)
                continue;
            if (oldRows == 0 && newRows == e.backup) {
                if (e.file != TableFiles::Payee && count(QStringLiteral("PayNow IS NOT NULL")) != 0)
                    qFatal("%s: restored items carry the payment mark", qPrintable(e.file));
                ++restored;
                continue;
            }
            qFatal("%s in %s is half restored: %d old and %d restored records", qPrintable(e.file),
                qPrintable(dir), oldRows, newRows);
        }
        if (restored != 0 && restored != 3)
            qFatal("%s: %d of 3 tables restored", qPrintable(dir), restored);
        return restored == 3;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_live = m_root.filePath(QStringLiteral("live"));
        m_backup = m_root.filePath(QStringLiteral("backup"));
        createIn(m_live, AllFiles);
        createIn(m_backup, { "schedule.db", "history.db", "payee.db" });
        const QString old = QDir::currentPath();
        QDir::setCurrent(m_live);
        fill(QStringLiteral("old "), LiveItems, LiveHistory, LivePayees);
        QDir::setCurrent(m_backup);
        fill(QStringLiteral("new "), BackupItems, BackupHistory, BackupPayees);
        QDir::setCurrent(old);
    }

    void undisturbedRestore()
    {
        const QString full = freshCopy();
        QElapsedTimer clock;
        clock.start();
        m_steps = runChild(full, 0);
        m_took = clock.elapsed();
        QVERIFY2(m_steps > 0, "an undisturbed restore must finish");
        QVERIFY(check(full));
    }

    // Every step of the commit, which comes last, and a spread of the rest.
    void killedAtEachStep()
    {
        QVERIFY(m_steps > 0);
        int kept = 0, restored = 0;
        for (int k = 1; k <= m_steps; ++k) {
            if (k <= m_steps - 20 && k % qMax(1, m_steps / 10) != 0)
                continue;
            const QString dir = freshCopy();
            QCOMPARE(runChild(dir, k), -1);
            (check(dir) ? restored : kept)++;
        }
        QVERIFY(kept > 0 && restored > 0);
        qInfo("restore of %d steps killed at each: %d left as they were, %d restored", m_steps,
            kept, restored);
    }

    // Killed from outside while the records are moved.
    void killedFromOutside()
    {
        QVERIFY(m_took > 0);
        int kept = 0;
        for (int i = 1; i <= 4; ++i) {
            const QString dir = freshCopy();
            runChild(dir, 0, int(m_took * i / 5));
            kept += check(dir) ? 0 : 1;
        }
        QVERIFY(kept > 0);
        qInfo("restore of %lld ms killed 4 times from outside: %d left as they were", m_took, kept);
    }
};

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return childMain(
            QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    }
    QCoreApplication app(argc, argv);
    // Each restore writes a few hundred megabytes durably; on a slow disk the
    // kills at every step take longer than the default limit of a test function.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "900000");
    TestRestoreKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_restorekill.moc"
