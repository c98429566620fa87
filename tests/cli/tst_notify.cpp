#include "app/daywatch.h"
#include "app/frmsched.h"
#include "app/windows.h"
#include "data/table.h"
#include "domain/options.h"
#include "main/windowset.h"
#include "mainwindowtest.h"
#include "schedulebuilder.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {
struct Item
{
    QString payee;
    int dueIn, warning; // days from today, warning days
    double expense;
};

void addItems(const QDate &today, const QList<Item> &items)
{
    ScheduleBuilder schedule;
    for (const Item &i : items)
        schedule.item(i.payee)
            .every(1, "Months")
            .due(today.addDays(i.dueIn))
            .warning(i.warning)
            .expense(i.expense);
    schedule.write();
}
} // namespace

Q_DECLARE_METATYPE(Item)

// A notification server as a desktop runs it, recording every notification;
// it closes each at once, or chooses its action when told to.
class FakeServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString icon, summary, body;
        QStringList actions;
        int urgency;
    };
    QList<Call> calls;
    QString answer = QStringLiteral("close");
    QDBusConnection bus = QDBusConnection(QString());

public Q_SLOTS:
    QStringList GetCapabilities() { return { "actions", "body", "body-markup" }; }
    uint Notify(const QString &, uint, const QString &icon, const QString &summary,
        const QString &body, const QStringList &actions, const QVariantMap &hints, int)
    {
        calls.append({ icon, summary, body, actions, hints.value("urgency").toInt() });
        const uint id = uint(calls.size());
        QTimer::singleShot(50, this, [this, id] {
            const bool open = answer == QLatin1String("open");
            QDBusMessage m = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                "org.freedesktop.Notifications", open ? "ActionInvoked" : "NotificationClosed");
            m << id << (open ? QVariant("open") : QVariant(2u));
            bus.send(m);
        });
        return id;
    }
    void CloseNotification(uint) { }
};

class TestNotify : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // A bus of its own that starts no service: the one notification
        // service on it is the test's.
        QFile config(m_dir.filePath("bus.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                     "<auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                     "</policy></busconfig>");
        config.close();
        m_daemon.start(
            "dbus-daemon", { "--config-file=" + config.fileName(), "--nofork", "--print-address" });
        QVERIFY2(m_daemon.waitForReadyRead(10000), "dbus-daemon did not start");
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        // The window under test finds the bus as a desktop session's programs do.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        m_server.bus = QDBusConnection::connectToBus(m_address, "server");
        QVERIFY(m_server.bus.registerObject(
            "/org/freedesktop/Notifications", &m_server, QDBusConnection::ExportAllSlots));
    }
    void init()
    {
        m_server.calls.clear();
        m_server.answer = "close";
        QVERIFY(m_server.bus.registerService("org.freedesktop.Notifications"));
    }
    void cleanup() { m_server.bus.unregisterService("org.freedesktop.Notifications"); }
    void cleanupTestCase()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    void fromTheCommandLine_data();
    void fromTheCommandLine();
    void openChosen();
    void atMidnightInTheWindow();

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    FakeServer m_server;
};

// Runs duesmith --notify on a folder, with a bus, as a timer would.
static QProcess *runNotify(const QString &dir, const QString &bus)
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
    env.insert("LC_ALL", "en_US.UTF-8");
    env.insert("XDG_RUNTIME_DIR", dir);
    env.insert("XDG_CONFIG_HOME", dir + "/config");
    p->setProcessEnvironment(env);
    p->start(
        qEnvironmentVariable("DS_PROGRAM_DIR") + "/duesmith", { "--notify", "--data-dir", dir });
    // The server answers while the program waits for it.
    if (!QTest::qWaitFor([&] { return p->state() == QProcess::NotRunning; }, 30000))
        p->kill();
    return p;
}

void TestNotify::fromTheCommandLine_data()
{
    QTest::addColumn<QList<Item>>("items");
    QTest::addColumn<QString>("bus"); // "", "none" (no bus) or "no service"
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("summary"); // empty: nothing sent
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("urgency");

    const QDate t = QDate::currentDate();
    auto d = [t](int n) { return t.addDays(n).toString("M/d/yyyy"); };
    const QList<Item> due = { { "Rent", -3, 0, 950.0 }, { "<b>Tom & Jerry</b>", 2, 5, 40.25 },
        { "Gas", 4, 4, 249.75 }, { "Phone", 10, 3, 30.0 } };
    QTest::newRow("overdue and due")
        << due << QString() << 0 << "3 bills due, 1 overdue — $1,240.00"
        << QStringList{ d(-3) + " · Rent · $950.00 · overdue",
               d(2)
                   + " · &lt;b&gt;Tom &amp; Jerry&lt;/b&gt; · "
                     "$40.25 · in 2 days",
               d(4) + " · Gas · $249.75 · in 4 days" }
               .join('\n')
        << 2;
    QTest::newRow("due, none overdue")
        << QList<Item>{ { "Gas", 0, 0, 5.0 } } << QString() << 0 << "1 bill due — $5.00"
        << d(0) + " · Gas · $5.00 · today" << 1;
    QTest::newRow("empty schedule")
        << QList<Item>{} << QString() << 0 << QString() << QString() << 0;
    QTest::newRow("no service") << due << "no service" << 2 << QString() << QString() << 0;
    QTest::newRow("no bus") << due << "none" << 2 << QString() << QString() << 0;
}

// The command run as a timer or the autostart entry runs it: one notification
// of what is due, nothing when nothing is, one line and exit 2 without a service.
void TestNotify::fromTheCommandLine()
{
    QFETCH(QList<Item>, items);
    QFETCH(QString, bus);
    QFETCH(int, code);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(int, urgency);
    DataEnv env;
    env.createTables();
    addItems(QDate::currentDate(), items);
    if (bus == QLatin1String("no service"))
        m_server.bus.unregisterService("org.freedesktop.Notifications");
    std::unique_ptr<QProcess> p(runNotify(env.dir(),
        bus == QLatin1String("none") ? "unix:path=" + env.dir() + "/no-bus" : m_address));
    QCOMPARE(p->exitCode(), code);
    const QByteArray err = p->readAllStandardError();
    QVERIFY2(err.count('\n') == (code ? 1 : 0) && (!code || err.startsWith("duesmith: ")),
        err.constData());
    QCOMPARE(m_server.calls.size(), summary.isEmpty() ? 0 : 1);
    if (summary.isEmpty())
        return;
    const FakeServer::Call &call = m_server.calls.first();
    QCOMPARE(call.summary, summary);
    QCOMPARE(call.body, body);
    QCOMPARE(call.urgency, urgency);
    QCOMPARE(call.icon, QStringLiteral("org.example.duesmith"));
    QVERIFY(call.actions.contains("open"));
    QCOMPARE(call.actions.value(call.actions.indexOf("open") + 1), QStringLiteral("Open Duesmith"));
}

// "Open Duesmith" starts the window on the folder the notification came from.
void TestNotify::openChosen()
{
    DataEnv env;
    env.createTables();
    addItems(QDate::currentDate(), { { "Rent", 0, 0, 9.0 } });
    m_server.answer = "open";
    std::unique_ptr<QProcess> p(runNotify(env.dir(), m_address));
    QCOMPARE(p->exitCode(), 0);
    const QByteArray out = p->readAllStandardOutput();
    QVERIFY2(out.contains("opened the window on " + env.dir().toUtf8()), out.constData());
    const pid_t pid = out.mid(out.lastIndexOf("process ") + 8).chopped(2).toInt();
    QVERIFY(pid > 0);
    // The window holds that folder: it keeps the folder's lock file open.
    const QString lock = QFileInfo(env.dir() + "/.duesmith-lock").absoluteFilePath();
    const bool held = QTest::qWaitFor(
        [&] {
            const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
            for (const QFileInfo &fd :
                fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
                if (fd.symLinkTarget() == lock)
                    return true;
            return false;
        },
        60000);
    ::kill(pid, SIGKILL);
    QVERIFY(QTest::qWaitFor([&] { return ::kill(pid, 0) != 0; }, 10000));
    QVERIFY(held);
}

// The open window tells an item coming into its warning days at midnight, once.
void TestNotify::atMidnightInTheWindow()
{
    TestEnv env;
    env.createTables();
    const QDate today = env.clock.today();
    addItems(today, { { "Late", -2, 0, 10.0 }, { "Water", 5, 4, 40.0 } });
    createAllWindows();
    QVERIFY(startUp(Windows::frmSched, 5000));
    auto *watch = Windows::frmSched->findChild<DayWatch *>();
    QVERIFY(watch);
    for (int day : { 0, 1, 2 }) {
        env.clock.set(QDateTime(today.addDays(day), QTime(0, 0, 1)));
        watch->check();
        QTest::qWait(300);
    }
    destroyAllWindows();
    QCOMPARE(m_server.calls.size(), 1);
    QCOMPARE(m_server.calls.first().summary, "2 bills due, 1 overdue — $50.00");
    QCOMPARE(m_server.calls.first().urgency, 2);
}

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
