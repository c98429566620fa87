// Kills a payment run, and a write-back, at many moments and checks that every
// marked item was either left alone or paid exactly once, never both or neither.
#include "testsupport.h"

#include "data/engine.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "payment/paymentrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <SQLiteCpp/Database.h>

#include <csignal>
#include <cstdio>
#include <thread>

namespace {
constexpr int Items = 2000;
const QStringList TableFiles = {QStringLiteral("schedule.DB"), QStringLiteral("history.DB"),
                                QStringLiteral("resched.DB")};
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
    static const Kind kinds[] = {{0, "One Time", false}, {1, "Months", true}, {1, "Half Months", true},
                                 {1, "Weeks", false},    {1, "Months", true}};
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
    Table t(QStringLiteral("schedule.DB"));
    t.open();
    inTransaction([&] {
        for (int i = 0; i < Items; ++i) {
            const Kind k = kindOf(i);
            const QDate due = QDate(2024, 1, 1).addDays(i % 90);
            t.append();
            t.setValue(QStringLiteral("Description"), nameOf(i));
            t.setValue(QStringLiteral("Due Date"), due);
            t.setValue(QStringLiteral("Bill Amount"), 10.0 + i);
            t.setValue(QStringLiteral("Frequency"), k.frequency);
            t.setValue(QStringLiteral("Units"), QString::fromLatin1(k.units));
            if (QLatin1String(k.units) == QLatin1String("Weeks"))
                t.setValue(QStringLiteral("End Date"), due.addDays(3));
            if (markedItem(i))
                t.setValue(QStringLiteral("PayNow"), PayMark);
            t.post();
        }
    });
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
    Query q(QStringLiteral("SELECT \"Description\", count(*) FROM {%1} GROUP BY \"Description\"").arg(file));
    q.open();
    for (int r = 0; r < q.rowCount(); ++r)
        counts.insert(q.value(r, 0).toString(), int(q.value(r, 1).toLongLong()));
    return counts;
}

QString integrityOf(const QString &path)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    return QString::fromStdString(db.execAndGet("PRAGMA integrity_check").getString());
}

int childMain(const QString &mode, const QString &dir)
{
    QDir::setCurrent(dir);
    Table work(mode == QLatin1String("writeback") ? QStringLiteral("resched.DB") : QStringLiteral("schedule.DB"));
    work.setIndexName(QStringLiteral("Due Date Index"));
    if (mode == QLatin1String("pay")) {
        work.setFilter(QStringLiteral("[PayNow] = '") + PayMark + QStringLiteral("'"));
        work.setFiltered(true);
    }
    work.open();
    std::printf("ready\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    if (mode == QLatin1String("writeback"))
        PaymentRun::writeBack(work);
    else
        PaymentRun::pay(work, PaidOn);
    std::printf("done %lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000));
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
    QString m_paid;  // after a complete payment, before the write-back

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

    // Starts the child, waits until it is about to write, kills it after the
    // delay (never, when negative). Returns the run's own time in microseconds
    // when it finished.
    qint64 runChild(const QString &mode, const QString &dir, qint64 delayUs)
    {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--child"), mode, dir});
        child.start();
        if (!child.waitForStarted(10000))
            qFatal("child did not start");
        QByteArray out;
        while (!out.contains("ready\n")) {
            if (!child.waitForReadyRead(10000))
                qFatal("child did not get ready: %s", child.readAllStandardError().constData());
            out += child.readAllStandardOutput();
        }
        if (delayUs >= 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            ::kill(pid_t(child.processId()), SIGKILL);
        }
        child.waitForFinished(20000);
        out += child.readAllStandardOutput();
        const int at = out.indexOf("done ");
        return at < 0 ? -1 : out.mid(at + 5).trimmed().toLongLong();
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
            const bool left = scheduled.value(name) == 1 && marked.value(name) == 1 && history.value(name) == 0
                && occurrences.value(name) == 0;
            const bool done = scheduled.value(name) == 0 && history.value(name) == 1
                && occurrences.value(name) == (kindOf(i).continues ? 1 : 0);
            if (!left && !done)
                qFatal("%s: scheduled %d, history %d, next %d", qPrintable(name), scheduled.value(name),
                       history.value(name), occurrences.value(name));
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
        qFatal("write-back half done: %d waiting, %d scheduled of %d", inWork, inSchedule, expected);
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
        const qint64 full = runChild(QStringLiteral("pay"), copyOf(m_fresh, QStringLiteral("full")), -1);
        QVERIFY2(full > 0, "an undisturbed run must finish");
        QCOMPARE(checkPayment(m_root.filePath(QStringLiteral("full"))), Items / 5 * 4);

        constexpr int Kills = 16;
        int none = 0, all = 0;
        for (int k = 0; k < Kills; ++k) {
            // Spread over the run and a little past its end, where the commit is.
            const qint64 delay = full * k / (Kills - 4);
            const QString dir = copyOf(m_fresh, QStringLiteral("kill%1").arg(k));
            runChild(QStringLiteral("pay"), dir, delay);
            const int paid = checkPayment(dir);
            QVERIFY2(paid == 0 || paid == Items / 5 * 4, "a run is paid entirely or not at all");
            (paid == 0 ? none : all)++;
        }
        qInfo("runs killed: %d left unpaid, %d paid in full (run takes %lld us)", none, all, full);
    }

    void killedWriteBack()
    {
        const int expected = Items / 5 * 2;
        const qint64 full = runChild(QStringLiteral("writeback"), copyOf(m_paid, QStringLiteral("wfull")), -1);
        QVERIFY(full > 0);
        QVERIFY(checkWriteBack(m_root.filePath(QStringLiteral("wfull")), expected));
        constexpr int Kills = 10;
        for (int k = 0; k < Kills; ++k) {
            const QString dir = copyOf(m_paid, QStringLiteral("wkill%1").arg(k));
            runChild(QStringLiteral("writeback"), dir, full * k / (Kills - 3));
            const bool written = checkWriteBack(dir, expected);
            // What is still waiting is recognised as an interrupted run at the next start.
            QDir::setCurrent(dir);
            QCOMPARE(PaymentRun::hasPendingOccurrences(), !written);
        }
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return childMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestPaymentKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_paymentkill.moc"
