// Kills a payment run, and a write-back, at every step of its commit and checks
// that every marked item was either left alone or paid exactly once, never both
// or neither. The child process counts the syncs and deletions SQLite asks of
// the file system and ends itself at the N-th, so each step is hit.
#include "crashfs.h"
#include "schedulebuilder.h"
#include "testsupport.h"

#include "data/datafolder.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/paymentrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
constexpr int Items = 2000;
const QStringList TableFiles
    = { QStringLiteral("schedule.DB"), QStringLiteral("history.DB"), QStringLiteral("resched.DB") };
const QDate PaidOn(2024, 3, 15);

struct Kind
{
    int frequency;
    const char *units;
    bool continues;
};

// Every fifth item is one-time, then monthly, half-monthly, weekly ending
// before its next date, and a monthly item left unmarked.
Kind kindOf(int i)
{
    static const Kind kinds[] = { { 0, "One Time", false }, { 1, "Months", true },
        { 1, "Half Months", true }, { 1, "Weeks", false }, { 1, "Months", true } };
    return kinds[i % 5];
}

bool markedItem(int i)
{
    return i % 5 != 4;
}

QString nameOf(int i)
{
    return QStringLiteral("item %1").arg(i, 4, 10, QLatin1Char('0'));
}

void fillSchedule()
{
    ScheduleBuilder schedule;
    for (int i = 0; i < Items; ++i) {
        const Kind k = kindOf(i);
        const QDate due = QDate(2024, 1, 1).addDays(i % 90);
        schedule.item(nameOf(i))
            .due(due)
            .expense(10.0 + i)
            .every(k.frequency, QString::fromLatin1(k.units));
        if (QLatin1String(k.units) == QLatin1String("Weeks"))
            schedule.ends(due.addDays(3));
        if (markedItem(i))
            schedule.mark(PayMark);
    }
    schedule.write();
}

void paidRunInto(const QString &dir)
{
    QDir::setCurrent(dir);
    Table list(QStringLiteral("schedule.DB"));
    list.setIndexName(QStringLiteral("Due Date Index"));
    list.setFilter(QStringLiteral("[PayNow] = '") + PayMark + QStringLiteral("'"));
    list.setFiltered(true);
    list.open();
    PaymentRun::pay(list, PaidOn);
}

QHash<QString, int> countsOf(const QString &file)
{
    QHash<QString, int> counts;
    Query q(QStringLiteral("SELECT \"Description\", count(*) FROM {%1} GROUP BY \"Description\"")
                .arg(file));
    q.open();
    for (int r = 0; r < q.rowCount(); ++r)
        counts.insert(q.value(r, 0).toString(), int(q.value(r, 1).toLongLong()));
    return counts;
}

QMap<QString, QByteArray> contentsOf(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        QFile f(QDir(dir).filePath(name));
        out.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return out;
}

QString integrityOf(const QString &path)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    return QString::fromStdString(db.execAndGet("PRAGMA integrity_check").getString());
}

int childMain(const QString &mode, const QString &dir, int killAt)
{
    crash::install(killAt);
    QDir::setCurrent(dir);
    Table work(mode == QLatin1String("writeback") ? QStringLiteral("resched.DB")
                                                  : QStringLiteral("schedule.DB"));
    work.setIndexName(QStringLiteral("Due Date Index"));
    if (mode == QLatin1String("pay")) {
        work.setFilter(QStringLiteral("[PayNow] = '") + PayMark + QStringLiteral("'"));
        work.setFiltered(true);
    }
    work.open();
    crash::armed = true;
    if (mode == QLatin1String("writeback"))
        PaymentRun::writeBack(work);
    else
        PaymentRun::pay(work, PaidOn);
    crash::armed = false;
    std::printf("unsynced %d steps %d\n", crash::unsyncedDeletes, crash::steps);
    std::fflush(stdout);
    return 0;
}
} // namespace

class TestPaymentKill : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_fresh; // before any payment
    QString m_paid; // after a complete payment, before the write-back

    QString copyOf(const QString &snapshot, const QString &name)
    {
        const QString dir = m_root.filePath(name);
        QDir().mkpath(dir);
        for (const QString &f : TableFiles) {
            QFile::remove(dir + QLatin1Char('/') + f);
            if (!QFile::copy(snapshot + QLatin1Char('/') + f, dir + QLatin1Char('/') + f))
                qFatal("cannot copy %s", qPrintable(f));
        }
        return dir;
    }

    // Runs the child, ending it at its N-th sync or deletion (never when 0).
    // Returns how many steps an undisturbed run took, or -1 when it was ended.
    int runChild(const QString &mode, const QString &dir, int killAt)
    {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({ QStringLiteral("--child"), mode, dir, QString::number(killAt) });
        child.start();
        if (!child.waitForStarted(10000) || !child.waitForFinished(60000))
            qFatal("child did not run");
        const QByteArray out = child.readAllStandardOutput();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            if (killAt == 0)
                qFatal("child failed: %s", child.readAllStandardError().constData());
            return -1;
        }
        const int at = out.indexOf("steps ");
        if (at < 0)
            return -1;
        const int unsynced = out.mid(out.indexOf("unsynced ") + 9).split(' ').value(0).toInt();
        if (unsynced != 0)
            qFatal("%d journals were deleted without syncing the folder", unsynced);
        return out.mid(at + 6).trimmed().toInt();
    }

    // Every marked item: still scheduled with its mark and not in history, or
    // gone from the schedule, in history once, with its next occurrence.
    // Returns how many were paid.
    int checkPayment(const QString &dir)
    {
        QDir::setCurrent(dir);
        QHash<QString, int> scheduled, marked, history, occurrences;
        {
            Query q(QStringLiteral("SELECT \"Description\", \"PayNow\" FROM {schedule.DB}"));
            q.open();
            for (int r = 0; r < q.rowCount(); ++r) {
                scheduled[q.value(r, 0).toString()]++;
                if (q.value(r, 1).toString() == PayMark)
                    marked[q.value(r, 0).toString()]++;
            }
        }
        history = countsOf(QStringLiteral("history.DB"));
        occurrences = countsOf(QStringLiteral("resched.DB"));
        int paid = 0;
        for (int i = 0; i < Items; ++i) {
            const QString name = nameOf(i);
            if (!markedItem(i)) {
                if (scheduled.value(name) != 1 || history.value(name) != 0)
                    qFatal("%s was not marked but was touched", qPrintable(name));
                continue;
            }
            const bool left = scheduled.value(name) == 1 && marked.value(name) == 1
                && history.value(name) == 0 && occurrences.value(name) == 0;
            const bool done = scheduled.value(name) == 0 && history.value(name) == 1
                && occurrences.value(name) == (kindOf(i).continues ? 1 : 0);
            if (!left && !done)
                qFatal("%s: scheduled %d, history %d, next %d", qPrintable(name),
                    scheduled.value(name), history.value(name), occurrences.value(name));
            paid += done ? 1 : 0;
        }
        for (const QString &f : TableFiles)
            if (integrityOf(dir + QLatin1Char('/') + f) != QLatin1String("ok"))
                qFatal("%s fails the integrity check", qPrintable(f));
        return paid;
    }

    // After a write-back: the occurrences are either all still waiting, or all
    // in the schedule once and the work table empty.
    bool checkWriteBack(const QString &dir, int expected)
    {
        QDir::setCurrent(dir);
        const QHash<QString, int> waiting = countsOf(QStringLiteral("resched.DB"));
        const QHash<QString, int> scheduled = countsOf(QStringLiteral("schedule.DB"));
        int inWork = 0, inSchedule = 0;
        for (int i = 0; i < Items; ++i) {
            if (!markedItem(i) || !kindOf(i).continues)
                continue;
            inWork += waiting.value(nameOf(i));
            inSchedule += scheduled.value(nameOf(i));
        }
        for (const QString &f : TableFiles)
            if (integrityOf(dir + QLatin1Char('/') + f) != QLatin1String("ok"))
                qFatal("%s fails the integrity check", qPrintable(f));
        if (inWork == expected && inSchedule == 0)
            return false;
        if (inWork == 0 && inSchedule == expected)
            return true;
        qFatal(
            "write-back half done: %d waiting, %d scheduled of %d", inWork, inSchedule, expected);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString old = QDir::currentPath();
        m_fresh = m_root.filePath(QStringLiteral("fresh"));
        QDir().mkpath(m_fresh);
        QDir::setCurrent(m_fresh);
        for (const QString &f : TableFiles)
            Engine::instance().createTable(f, Layouts::item());
        fillSchedule();
        m_paid = copyOf(m_fresh, QStringLiteral("paid"));
        paidRunInto(m_paid);
        QDir::setCurrent(old);
    }

    void killedPaymentRun()
    {
        const int steps
            = runChild(QStringLiteral("pay"), copyOf(m_fresh, QStringLiteral("full")), 0);
        QVERIFY2(steps > 0, "an undisturbed run must finish");
        QCOMPARE(checkPayment(m_root.filePath(QStringLiteral("full"))), Items / 5 * 4);

        int none = 0, all = 0;
        for (int k = 1; k <= steps; ++k) {
            const QString dir = copyOf(m_fresh, QStringLiteral("kill%1").arg(k));
            QCOMPARE(runChild(QStringLiteral("pay"), dir, k), -1);
            const int paid = checkPayment(dir);
            QVERIFY2(paid == 0 || paid == Items / 5 * 4, "a run is paid entirely or not at all");
            (paid == 0 ? none : all)++;
        }
        QVERIFY(none > 0 && all > 0);
        qInfo("runs ended at each of %d steps: %d left unpaid, %d paid in full", steps, none, all);
    }

    void killedWriteBack()
    {
        const int expected = Items / 5 * 2;
        const int steps
            = runChild(QStringLiteral("writeback"), copyOf(m_paid, QStringLiteral("wfull")), 0);
        QVERIFY(steps > 0);
        QVERIFY(checkWriteBack(m_root.filePath(QStringLiteral("wfull")), expected));
        for (int k = 1; k <= steps; ++k) {
            const QString dir = copyOf(m_paid, QStringLiteral("wkill%1").arg(k));
            QCOMPARE(runChild(QStringLiteral("writeback"), dir, k), -1);
            const bool written = checkWriteBack(dir, expected);
            // What is still waiting is recognised as an interrupted run at the next start.
            QDir::setCurrent(dir);
            QCOMPARE(PaymentRun::hasPendingOccurrences(), !written);
        }
    }

    // A commit cut off, then the folder moved: either the start refuses,
    // naming the old folder (and moved back, the run is undone), or the
    // journals need no commit record and the run is whole in the new place.
    void killedCommitThenMovedFolder()
    {
        const int steps
            = runChild(QStringLiteral("pay"), copyOf(m_fresh, QStringLiteral("mfull")), 0);
        int refused = 0;
        for (int k = 1; k <= steps; ++k) {
            const QString dir = copyOf(m_fresh, QStringLiteral("moved%1").arg(k));
            runChild(QStringLiteral("pay"), dir, k);
            const QString moved = dir + QStringLiteral("-moved");
            QVERIFY(QDir().rename(dir, moved));
            QDir::setCurrent(moved);
            const QMap<QString, QByteArray> before = contentsOf(moved);
            try {
                DataFolder::check();
            } catch (const EngineError &e) {
                QVERIFY2(e.message().contains(QDir::toNativeSeparators(dir) + QLatin1Char(',')),
                    qPrintable(e.message()));
                QVERIFY(contentsOf(moved) == before);
                ++refused;
                QDir::setCurrent(m_root.path());
                QVERIFY(QDir().rename(moved, dir));
                QCOMPARE(checkPayment(dir), 0);
                continue;
            }
            checkPayment(moved);
        }
        QVERIFY2(refused > 0, "no step leaves a commit record behind");
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
    TestPaymentKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_paymentkill.moc"
