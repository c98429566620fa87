#include "cli/commandline.h"
#include "cli/duereport.h"
#include "data/engine.h"
#include "data/table.h"
#include "platform/singleinstance.h"
#include "support/dataenv.h"
#include "support/schedulebuilder.h"

#include <SQLiteCpp/Database.h>

#include <QBuffer>
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

// Runs the program without a display from another working directory, with its
// own runtime folder and a scratch home; extra holds NAME=value (empty: unset).
Run run(const QStringList &args, const QString &runtime, const QStringList &extra = {},
    const QString &workDir = {}, const QString &shell = {})
{
    QTemporaryDir elsewhere;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("HOME"), elsewhere.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), elsewhere.path());
    for (const QString &e :
        extra + QStringList{ "QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY=" })
        e.endsWith(QLatin1Char('='))
            ? env.remove(e.chopped(1))
            : env.insert(e.section(QLatin1Char('='), 0, 0), e.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir.isEmpty() ? elsewhere.path() : workDir);
    // shell runs "$0" "$@" with some redirection.
    p.start(shell.isEmpty() ? program() : QStringLiteral("bash"),
        shell.isEmpty() ? args : QStringList{ "-c", shell, program() } + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return { p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError() };
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
    ScheduleBuilder schedule;
    for (const Item &item : items)
        schedule.item(item.payee)
            .every(1, QStringLiteral("Months"))
            .due(item.due)
            .warning(item.warning)
            .expense(item.expense);
    schedule.write();
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

// The listing is written as it is read, in the very form QJsonDocument gives
// the same document.
QByteArray canonicalJson(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).toJson(QJsonDocument::Indented);
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
    void writeFaults_data();
    void writeFaults();
    void tablesChangedElsewhere_data();
    void tablesChangedElsewhere();
    void dataFolder_data();
    void dataFolder();
    void tableKeptOrReadTwice_data();
    void tableKeptOrReadTwice();
    void windowModuleFaults_data();
    void windowModuleFaults();
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
    QTest::newRow("one dash") << QStringList{ "-due" } << int(M::Usage) << -1 << QString();
    QTest::newRow("toolkit option with =")
        << QStringList{ "-style=fusion", "-reverse" } << int(M::Window) << -1 << QString();
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
    const QByteArray schedule = bytesOf(Engine::resolve(QStringLiteral("schedule.DB")));

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
    QCOMPARE(wide.out, canonicalJson(wide.out));

    const Run table = run({ "--due", "--data-dir", env.dir() }, runtime.path());
    QCOMPARE(table.code, 1);
    QCOMPARE(table.out.count('\n'), 4);
    QVERIFY(table.out.contains("Rent, \"flat\" 2 back door"));

    // Nothing was written: no session file, no journal, the schedule unchanged,
    // and no single-instance lock file in the runtime folder.
    QCOMPARE(folderEntries(env.dir()), before);
    QCOMPARE(bytesOf(Engine::resolve(QStringLiteral("schedule.DB"))), schedule);
    QCOMPARE(folderEntries(runtime.path()), QStringList{ QStringLiteral("DUESMITH.lock") });
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestDueCommand::exitCodes_data()
{
    QTest::addColumn<QString>("folder"); // "tables", "empty", "missing"; "dot": tables, as "."
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err"); // start of the first line on stderr; empty: none

    QTest::newRow("nothing past due") << "tables" << QStringList{ "--due" } << 0 << QString();
    QTest::newRow("nothing within 0 days")
        << "tables" << QStringList{ "--due", "0" } << 0 << QString();
    QTest::newRow("nothing due, as JSON")
        << "tables" << QStringList{ "--due", "0", "--json" } << 0 << QString();
    QTest::newRow("version") << "tables" << QStringList{ "--version" } << 0 << QString();
    QTest::newRow("folder missing")
        << "missing" << QStringList{ "--due" } << 2 << "duesmith: the folder";
    QTest::newRow("folder without tables")
        << "empty" << QStringList{ "--due", "--json" } << 2 << "duesmith: the folder";
    QTest::newRow("unknown option") << "tables" << QStringList{ "--due", "--bogus" } << 2
                                    << "duesmith: unknown option '--bogus'";
    QTest::newRow("window without a display")
        << "tables" << QStringList{} << 2 << "duesmith: no display";
    QTest::newRow("one dash, no display")
        << "tables" << QStringList{ "-due" } << 2 << "duesmith: unknown option '-due'";
    QTest::newRow("working directory") << "dot" << QStringList{ "--due", "5" } << 1 << QString();
}

void TestDueCommand::exitCodes()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, err);

    DataEnv env;
    QString dir = env.dir();
    if (folder == QLatin1String("tables") || folder == QLatin1String("dot")) {
        env.createTables();
        addItems({ { QStringLiteral("Phone"), QDate::currentDate().addDays(4), 7, 30.0 } });
        if (folder == QLatin1String("dot"))
            addItems({ { QStringLiteral("Rent"), QDate::currentDate(), 0, 700.0 } });
    } else if (folder == QLatin1String("missing")) {
        dir += QStringLiteral("/gone");
    }
    const QStringList before = folderEntries(env.dir());
    QTemporaryDir runtime;
    const bool dot = folder == QLatin1String("dot");
    const Run r = run(args + QStringList{ "--data-dir", dot ? QStringLiteral(".") : dir },
        runtime.path(), {}, dot ? dir : QString());
    QCOMPARE(r.code, code);
    if (err.isEmpty()) {
        QVERIFY2(r.err.isEmpty(), r.err.constData());
    } else {
        QVERIFY2(r.err.startsWith(err.toUtf8()), r.err.constData());
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count('\n'), 1);
    }
    QCOMPARE(folderEntries(env.dir()), before);
    QVERIFY(folderEntries(runtime.path()).isEmpty());
    if (args.contains(QStringLiteral("--json")) && code != 2)
        QCOMPARE(r.out, canonicalJson(r.out));
}

void TestDueCommand::writeFaults_data()
{
    QTest::addColumn<QString>("shell");
    QTest::newRow("full device") << R"(exec "$0" "$@" >/dev/full)";
    QTest::newRow("closed output") << R"(exec "$0" "$@" >&-)";
    QTest::newRow("reader gone") << R"("$0" "$@" | head -c1 >/dev/null; exit ${PIPESTATUS[0]})";
}

// More output than a pipe holds, so the reader is gone before it is written.
void TestDueCommand::writeFaults()
{
    QFETCH(QString, shell);
    DataEnv env;
    env.createTables();
    addItems(QList<Item>(2000, { QStringLiteral("Payee"), QDate::currentDate(), 0, 12.5 }));
    QTemporaryDir runtime;
    const Run r
        = run({ "--due", "--json", "--data-dir", env.dir() }, runtime.path(), {}, {}, shell);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.startsWith("duesmith: cannot write the output: "), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
}

void TestDueCommand::tablesChangedElsewhere_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err"); // part of the one line on stderr; empty: none

    QTest::newRow("switched to a write-ahead log") << "wal" << 1 << QString();
    QTest::newRow("log being written")
        << "wal open" << 2 << "schedule.DB is being written by another program";
    QTest::newRow("journal left by a writer")
        << "hot journal" << 2 << "schedule.DB is being written by another program";
    QTest::newRow("bad stored values") << "bad values" << 1 << QString();
}

// Another program changed the schedule: --due reads it as it is, reports
// what it cannot read, and writes nothing in the folder.
void TestDueCommand::tablesChangedElsewhere()
{
    QFETCH(QString, change);
    QFETCH(int, code);
    QFETCH(QString, err);
    DataEnv env;
    env.createTables();
    const QDate today = QDate::currentDate();
    addItems({ { QStringLiteral("Rent"), today.addDays(-3), 0, 950.0 },
        { QStringLiteral("Gas"), today.addDays(30), 0, 60.0 } });
    const QString path = Engine::resolve(QStringLiteral("schedule.DB"));
    std::optional<SQLite::Database> writer;
    if (change == QLatin1String("hot journal")) {
        QFile journal(path + QStringLiteral("-journal"));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray(4096, 'J'));
    } else {
        writer.emplace(path.toStdString(), SQLite::OPEN_READWRITE);
        writer->exec(change == QLatin1String("bad values")
                ? R"(UPDATE data SET "Bill Amount" = 'abc', Frequency = 70000 WHERE rowid = 1;
                UPDATE data SET "Bill Amount" = 9e999, "Due Date" = 'notadate' WHERE rowid = 2)"
                : "PRAGMA journal_mode=WAL");
        if (change == QLatin1String("wal open"))
            writer->exec(R"(UPDATE data SET "Bill Amount" = 1 WHERE Description = 'Rent')");
        else
            writer.reset();
    }
    const QStringList before = folderEntries(env.dir());
    const QByteArray schedule = bytesOf(path);
    QTemporaryDir runtime;
    const Run r = run({ "--due", "0", "--csv", "--data-dir", env.dir() }, runtime.path());
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains(err.toUtf8()), r.err.constData());
    QCOMPARE(r.err.count('\n'), err.isEmpty() ? 0 : 1);
    QCOMPARE(folderEntries(env.dir()), before);
    QCOMPARE(bytesOf(path), schedule);
    if (change != QLatin1String("bad values"))
        return;
    // Listed with what is wrong, and a bad amount is no amount.
    QStringList listed;
    for (const QStringList &row : pythonCsv(r.out).mid(1))
        listed.append(row[2] + QLatin1Char('|') + row[3] + QLatin1Char('|') + row.last());
    QCOMPARE(listed,
        QStringList({ "Rent||overdue 3 days; Bill Amount 'abc' is not valid; Frequency '70000' is "
                      "not valid",
            "Gas||no due date; Due Date 'notadate' is not valid; Bill Amount 'Inf' is not "
            "valid" }));
    const Run json = run({ "--due", "0", "--json", "--data-dir", env.dir() }, runtime.path());
    QCOMPARE(json.out, canonicalJson(json.out));
    QVERIFY(json.out.contains("\"problems\": ["));
}

void TestDueCommand::dataFolder_data()
{
    QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME; ~ for the home folder
    QTest::addColumn<QString>("folder"); // the data folder, in the home folder
    QTest::newRow("XDG_DATA_HOME") << "~/data"
                                   << "data/duesmith";
    QTest::newRow("unset") << ""
                           << ".local/share/duesmith";
}

// Without --data-dir every mode works in the user's data folder, made on the
// first start, wherever the program is started from.
void TestDueCommand::dataFolder()
{
    QFETCH(QString, dataHome);
    QFETCH(QString, folder);
    QTemporaryDir home, runtime;
    const Run r = run({ "--due" }, runtime.path(),
        { "HOME=" + home.path(), "XDG_DATA_HOME=" + dataHome.replace('~', home.path()) });
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(home.filePath(folder).toUtf8() + " holds no Duesmith tables"),
        r.err.constData());
    QVERIFY(QFileInfo(home.filePath(folder)).isDir());
}

void TestDueCommand::tableKeptOrReadTwice_data()
{
    QTest::addColumn<QString>("payee");
    QTest::addColumn<QVariant>("due");
    const QDate today = QDate::currentDate();
    QTest::newRow("plain") << "Gas" << QVariant(today.addDays(2));
    QTest::newRow("wide and accented") << "Caf\u00e9 \u96fb\u6c17 \U0001F600" << QVariant(today);
    QTest::newRow("no date, a wide blank first")
        << "\u3000Rent\u00a0" << QVariant(QMetaType(QMetaType::QDate));
    QTest::newRow("breaks and tabs") << "a\tb\nc\u2028d" << QVariant(today.addDays(-3));
}

// The table kept whole while its widths are found prints what reading the
// schedule twice prints.
void TestDueCommand::tableKeptOrReadTwice()
{
    QFETCH(QString, payee);
    QFETCH(QVariant, due);
    DataEnv env;
    env.createTables();
    addItems({ { QStringLiteral("Phone"), QDate::currentDate().addDays(4), 7, 1234.5 },
        { payee, due, 3, 20.0 } });
    CommandLine cmd;
    cmd.mode = CommandLine::Mode::Due;
    QByteArray printed[2];
    int codes[2];
    for (int twice = 0; twice < 2; ++twice) {
        QBuffer buffer(&printed[twice]);
        buffer.open(QIODevice::WriteOnly);
        QString errText;
        QTextStream out(&buffer), err(&errText);
        codes[twice] = DueReport::run(
            cmd, QDateTime::currentDateTime(), out, err, twice ? 0 : DueReport::TableMemory);
        out.flush();
        QVERIFY2(errText.isEmpty(), qPrintable(errText));
    }
    QCOMPARE(printed[0], printed[1]);
    QCOMPARE(codes[0], codes[1]);
    QCOMPARE(printed[0].count('\n'), 3);
}

void TestDueCommand::windowModuleFaults_data()
{
    QTest::addColumn<QByteArray>("module"); // beside the program; empty: none
    QTest::addColumn<QString>("err");
    QTest::newRow("missing") << QByteArray() << "duesmith-window.so is missing";
    QTest::newRow("not a library") << QByteArray("#!/bin/sh\n") << "duesmith-window.so";
}

// A copy of the program without a sound window module says so on one line
// instead of crashing; the modes that print and exit do not need it.
void TestDueCommand::windowModuleFaults()
{
    QFETCH(QByteArray, module);
    QFETCH(QString, err);
    DataEnv env;
    env.createTables();
    QTemporaryDir bin, runtime;
    const QString copy = bin.filePath(QStringLiteral("duesmith"));
    QVERIFY(QFile::copy(program(), copy));
    if (!module.isNull()) {
        QFile f(bin.filePath(QStringLiteral("duesmith-window.so")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(module) == module.size());
    }
    const QString shell = QStringLiteral("exec '%1' \"$@\"").arg(copy);
    const Run r
        = run({ "-platform", "offscreen", "--data-dir", env.dir() }, runtime.path(), {}, {}, shell);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.startsWith("duesmith: the window cannot open: "), r.err.constData());
    QVERIFY2(r.err.contains(err.toUtf8()), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
    QCOMPARE(run({ "--due", "--data-dir", env.dir() }, runtime.path(), {}, {}, shell).code, 0);
}

QTEST_GUILESS_MAIN(TestDueCommand)
#include "tst_duecommand.moc"
