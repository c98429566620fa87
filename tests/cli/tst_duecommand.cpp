#include "cli/commandline.h"
#include "data/engine.h"
#include "data/table.h"
#include "platform/singleinstance.h"
#include "support/dataenv.h"

#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QString program()
{
    return qEnvironmentVariable("DS_PROGRAM_DIR") + QStringLiteral("/duesmith");
}

// Runs the program from another working directory, with its own runtime folder.
Run run(const QStringList &args, const QString &runtime)
{
    QTemporaryDir elsewhere;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(elsewhere.path());
    p.start(program(), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return { p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError() };
}

QStringList folderEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

struct Item
{
    QString payee;
    QVariant due;
    QVariant warning;
    QVariant expense;
};

void addItems(const QList<Item> &items)
{
    Table t(QStringLiteral("schedule.DB"));
    t.open();
    inTransaction([&] {
        for (const Item &item : items) {
            t.append();
            t.setValue(QStringLiteral("Description"), item.payee);
            t.setValue(QStringLiteral("Frequency"), 1);
            t.setValue(QStringLiteral("Units"), QStringLiteral("Months"));
            t.setValue(QStringLiteral("Due Date"), item.due);
            t.setValue(QStringLiteral("Warning Days"), item.warning);
            t.setValue(QStringLiteral("Bill Amount"), item.expense);
            t.post();
        }
    });
}

// The rows of CSV text as Python's csv module reads them.
QList<QStringList> pythonCsv(const QByteArray &text)
{
    QProcess py;
    py.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import csv, io, json, sys\n"
                           "rows = list(csv.reader(io.TextIOWrapper(sys.stdin.buffer, "
                           "encoding='utf-8', newline=''), strict=True))\n"
                           "print(json.dumps(rows))") });
    py.write(text);
    py.closeWriteChannel();
    py.waitForFinished(30000);
    QList<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(py.readAllStandardOutput()).array()) {
        QStringList fields;
        for (const QJsonValue &f : row.toArray())
            fields.append(f.toString());
        rows.append(fields);
    }
    return rows;
}
} // namespace

class TestDueCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(program()))
            QSKIP("the program is not built");
    }

    void parsing_data();
    void parsing();
    void listsWhileTheProgramHasTheFolder();
    void exitCodes_data();
    void exitCodes();
};

void TestDueCommand::parsing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("dataDir");

    using M = CommandLine::Mode;
    QTest::newRow("window") << QStringList{} << int(M::Window) << -1 << QString();
    QTest::newRow("toolkit options") << QStringList{ "-platform", "offscreen", "--data-dir", "d" }
                                     << int(M::Window) << -1 << "d";
    QTest::newRow("due, own days")
        << QStringList{ "--due", "--csv" } << int(M::Due) << -1 << QString();
    QTest::newRow("due 12") << QStringList{ "--due", "12", "--data-dir=/x" } << int(M::Due) << 12
                            << "/x";
    QTest::newRow("due=0") << QStringList{ "--due=0" } << int(M::Due) << 0 << QString();
    QTest::newRow("negative days")
        << QStringList{ "--due", "-3" } << int(M::Usage) << -1 << QString();
    QTest::newRow("stray word") << QStringList{ "--due", "soon" } << int(M::Usage) << -1
                                << QString();
    QTest::newRow("csv alone") << QStringList{ "--csv" } << int(M::Usage) << -1 << QString();
    QTest::newRow("csv and json") << QStringList{ "--due", "--csv", "--json" } << int(M::Usage)
                                  << -1 << QString();
    QTest::newRow("data-dir without folder")
        << QStringList{ "--data-dir" } << int(M::Usage) << -1 << QString();
    QTest::newRow("help wins") << QStringList{ "--due", "--help" } << int(M::Help) << -1
                               << QString();
}

void TestDueCommand::parsing()
{
    QFETCH(QStringList, args);
    QFETCH(int, mode);
    QFETCH(int, days);
    QFETCH(QString, dataDir);
    const CommandLine cmd = CommandLine::parse(args);
    QCOMPARE(int(cmd.mode), mode);
    QCOMPARE(cmd.error.isEmpty(), mode != int(CommandLine::Mode::Usage));
    if (mode == int(CommandLine::Mode::Usage))
        return;
    QCOMPARE(cmd.days.value_or(-1), days);
    QCOMPARE(cmd.dataDir, dataDir);
}

// The program is open on the folder: its folder lock, its single-instance
// lock and a handle on the schedule are held while --due reads the tables.
void TestDueCommand::listsWhileTheProgramHasTheFolder()
{
    DataEnv env;
    env.createTables();
    const QDate today = QDate::currentDate();
    addItems({
        { QStringLiteral("Rent, \"flat\" 2\nback door"), today.addDays(-3), 0, 950.0 },
        { QStringLiteral("Water"), today.addDays(2), 5, 40.25 },
        { QStringLiteral("Gas"), today.addDays(10), 3, 60.0 },
        { QStringLiteral("Loan"), QVariant(), QVariant(), QVariant() },
    });
    Table open(QStringLiteral("schedule.DB"));
    open.open();
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    SingleInstance instance(QStringLiteral("DUESMITH"));
    QVERIFY(instance.tryLock());
    FolderLock folder(env.dir());
    QVERIFY(folder.take() == FolderLock::Result::Taken);
    const QStringList before = folderEntries(env.dir());
    const QByteArray schedule = [] {
        QFile f(Engine::resolve(QStringLiteral("schedule.DB")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    const Run csv = run({ "--due", "--csv", "--data-dir", env.dir() }, runtime.path());
    QCOMPARE(csv.code, 1);
    QVERIFY2(csv.err.isEmpty(), csv.err.constData());
    QVERIFY(csv.out.endsWith("\r\n"));
    const QList<QStringList> rows = pythonCsv(csv.out);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].mid(0, 5),
        QStringList({ "Key", "Due Date", "Payee", "Expense Amount", "Income Amount" }));
    // Empty due dates sort first, as in the program's lists.
    QCOMPARE(rows[1].mid(1, 4), QStringList({ "", "Loan", "", "" }));
    QCOMPARE(rows[1].last(), QStringLiteral("no due date"));
    QCOMPARE(rows[2].mid(1, 4),
        QStringList({ today.addDays(-3).toString(Qt::ISODate),
            QStringLiteral("Rent, \"flat\" 2\nback door"), "950.00", "" }));
    QCOMPARE(rows[2].mid(5), QStringList({ "0", "-3", "overdue 3 days" }));
    QCOMPARE(rows[3][2], QStringLiteral("Water"));
    QCOMPARE(rows[3].mid(5), QStringList({ "5", "2", "due in 2 days" }));

    const Run wide = run({ "--due", "30", "--json", "--data-dir", env.dir() }, runtime.path());
    QCOMPARE(wide.code, 1);
    const QJsonArray items
        = QJsonDocument::fromJson(wide.out).object().value(QStringLiteral("items")).toArray();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[3].toObject().value(QStringLiteral("payee")).toString(), QStringLiteral("Gas"));
    QCOMPARE(items[3].toObject().value(QStringLiteral("pastDue")).toBool(), false);
    QCOMPARE(items[3].toObject().value(QStringLiteral("expenseAmount")).toDouble(), 60.0);

    const Run table = run({ "--due", "--data-dir", env.dir() }, runtime.path());
    QCOMPARE(table.code, 1);
    QCOMPARE(table.out.count('\n'), 4);
    QVERIFY(table.out.contains("Rent, \"flat\" 2 back door"));

    // Nothing was written: no session file, no journal, the schedule unchanged,
    // and no single-instance lock file in the runtime folder.
    QCOMPARE(folderEntries(env.dir()), before);
    QFile f(Engine::resolve(QStringLiteral("schedule.DB")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), schedule);
    QCOMPARE(folderEntries(runtime.path()), QStringList{ QStringLiteral("DUESMITH.lock") });
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestDueCommand::exitCodes_data()
{
    QTest::addColumn<QString>("folder"); // "tables", "empty", "missing"
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err"); // start of the first line on stderr; empty: none

    QTest::newRow("nothing past due") << "tables" << QStringList{ "--due" } << 0 << QString();
    QTest::newRow("nothing within 0 days")
        << "tables" << QStringList{ "--due", "0" } << 0 << QString();
    QTest::newRow("version") << "tables" << QStringList{ "--version" } << 0 << QString();
    QTest::newRow("folder missing")
        << "missing" << QStringList{ "--due" } << 2 << "duesmith: the folder";
    QTest::newRow("folder without tables")
        << "empty" << QStringList{ "--due", "--json" } << 2 << "duesmith: the folder";
    QTest::newRow("unknown option") << "tables" << QStringList{ "--due", "--bogus" } << 2
                                    << "duesmith: unknown option '--bogus'";
    QTest::newRow("window on a missing folder")
        << "missing" << QStringList{} << 2 << "duesmith: the folder";
}

void TestDueCommand::exitCodes()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, err);

    DataEnv env;
    QString dir = env.dir();
    if (folder == QLatin1String("tables")) {
        env.createTables();
        addItems({ { QStringLiteral("Phone"), QDate::currentDate().addDays(4), 7, 30.0 } });
    } else if (folder == QLatin1String("missing")) {
        dir += QStringLiteral("/gone");
    }
    const QStringList before = folderEntries(env.dir());
    QTemporaryDir runtime;
    const Run r = run(args + QStringList{ "--data-dir", dir }, runtime.path());
    QCOMPARE(r.code, code);
    if (err.isEmpty()) {
        QVERIFY2(r.err.isEmpty(), r.err.constData());
    } else {
        QVERIFY2(r.err.startsWith(err.toUtf8()), r.err.constData());
        QVERIFY(r.out.isEmpty());
        if (!err.contains(QLatin1String("unknown option")))
            QCOMPARE(r.err.count('\n'), 1);
    }
    QCOMPARE(folderEntries(env.dir()), before);
    QVERIFY(folderEntries(runtime.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestDueCommand)
#include "tst_duecommand.moc"
