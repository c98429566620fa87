#include "support/dataenv.h"

#include "data/datafolder.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/table.h"
#include "data/templates.h"
#include "data/upgrade.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

namespace {
QByteArray fileBytes(const QString &name)
{
    QFile f(Engine::resolve(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList payeeNames(const QString &file)
{
    Table t(file);
    t.open();
    QStringList names;
    for (t.first(); !t.eof(); t.next())
        names.append(t.value(QStringLiteral("Payee")).toString());
    return names;
}

// Every field of every record, keyed by description, without the key and the mark.
using Records = QMap<QString, QVariantMap>;
Records records(const QString &file, QList<qint64> *keys = nullptr, QStringList *marks = nullptr)
{
    Table t(file);
    t.open();
    Records out;
    for (t.first(); !t.eof(); t.next()) {
        QVariantMap values;
        for (const FieldDef &f : t.fields()) {
            if (f.name == QLatin1String("PrimaryKey")) {
                if (keys)
                    keys->append(t.value(f.name).toLongLong());
            } else if (f.name == QLatin1String("PayNow")) {
                if (marks)
                    marks->append(t.value(f.name).toString());
            } else {
                values.insert(f.name, t.value(f.name));
            }
        }
        out.insert(t.value(QStringLiteral("Description")).toString(), values);
    }
    return out;
}

void fillItems(const QString &file, const QStringList &descriptions)
{
    Table t(file);
    t.open();
    // Keys that a fresh table would not hand out.
    for (int i = 0; i < 5; ++i) {
        t.append();
        t.setValue(QStringLiteral("Description"), QStringLiteral("gone"));
        t.setValue(QStringLiteral("Frequency"), 0);
        t.post();
        t.remove();
    }
    int n = 0;
    for (const QString &d : descriptions) {
        ++n;
        t.append();
        t.setValue(QStringLiteral("Description"), d);
        t.setValue(QStringLiteral("Due Date"), QDate(2024, 3, n));
        t.setValue(QStringLiteral("Pay Date"), QDate(2024, 2, n));
        t.setValue(QStringLiteral("End Date"), QDate(2030, 1, n));
        t.setValue(QStringLiteral("Bill Amount"), 10.25 * n);
        t.setValue(QStringLiteral("Frequency"), n);
        t.setValue(QStringLiteral("Units"), QStringLiteral("Months"));
        t.setValue(QStringLiteral("Warning Days"), 3 + n);
        t.setValue(QStringLiteral("Budget"), 100.0 * n);
        t.setValue(QStringLiteral("Balance"), -5.5 * n);
        t.setValue(QStringLiteral("Process Date"), QDate(2024, 1, n));
        for (int u = 1; u <= 4; ++u)
            t.setValue(
                QStringLiteral("User Field %1").arg(u), QStringLiteral("%1-%2").arg(d).arg(u));
        t.setValue(QStringLiteral("PayNow"), n % 2 ? PayMark : QString());
        t.post();
    }
}

void addPayees(const QString &file, const QStringList &names)
{
    Table t(file);
    t.open();
    for (const QString &name : names) {
        t.append();
        t.setValue(QStringLiteral("Payee"), name);
        t.post();
    }
}

QStringList templateFiles(const QString &dir)
{
    return QDir(dir).entryList({ QStringLiteral("new*") }, QDir::Files);
}

// Every entry of the folder (links and folders by name) with the bytes of each file.
QMap<QString, QByteArray> folderContents()
{
    QMap<QString, QByteArray> out;
    for (const QFileInfo &e : QDir::current().entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        QFile f(e.absoluteFilePath());
        out.insert(
            e.fileName(), e.isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return out;
}

void runSql(const QString &file, const QString &sql)
{
    Engine &engine = Engine::instance();
    const QString path = Engine::resolve(file);
    const QString alias = engine.attach(path);
    engine.exec(QString(sql).replace(QStringLiteral("$"), Engine::quote(alias)));
    engine.detach(path);
}
} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_env.reset(); }

    void firstInstallation();
    void existingTablesAreCarriedOver();
    void templateWithoutHistoryCreatesAnEmptyOne();
    void secondStartCopiesNothing();
    void waitingOccurrencesSurvive();
    void failedStepKeepsItsTemplate();
    void missingTableComesBackAlone_data();
    void missingTableComesBackAlone();
    void refusedStartChangesNothing_data();
    void refusedStartChangesNothing();
    void indexesAreRebuilt_data();
    void indexesAreRebuilt();
    void damagedSessionFileIsReplaced();

private:
    // What the main window does at start, with the program's folder given.
    void startUp();

    std::unique_ptr<DataEnv> m_env;
    QString m_program; // stands in for the program's folder
    int m_announced = 0;
    QStringList m_notices;
};

void TestUpgrade::init()
{
    m_env = std::make_unique<DataEnv>();
    m_program = m_env->dir() + QStringLiteral("/program");
    QDir().mkpath(m_program);
    Templates::write(m_program);
    addPayees(m_program + QStringLiteral("/newpayee.DB"),
        { QStringLiteral("Electric Co"), QStringLiteral("Landlord") });
    m_announced = 0;
    m_notices.clear();
}

void TestUpgrade::startUp()
{
    const DataFolder::Plan plan = DataFolder::check();
    DataFolder::prepare(plan, m_program, [this](const QString &text) { m_notices.append(text); });
    Upgrade::stepA();
    Upgrade::Hooks hooks;
    hooks.announce = [this] { ++m_announced; };
    Upgrade::stepB(hooks);
    Upgrade::stepC();
    DataFolder::finish();
}

void TestUpgrade::firstInstallation()
{
    startUp();

    QCOMPARE(m_announced, 0);
    QCOMPARE(templateFiles(m_env->dir()), QStringList());
    Engine &engine = Engine::instance();
    for (const char *item : { "schedule.DB", "history.DB", "resched.DB" }) {
        engine.verify(QString::fromLatin1(item), Layouts::item());
        Table t{ QString::fromLatin1(item) };
        t.setIndexName(QStringLiteral("Due Date Index"));
        t.open();
        QCOMPARE(t.recordCount(), 0);
    }
    engine.verify(QStringLiteral("age.db"), Layouts::aging());
    engine.verify(QStringLiteral("payee.db"), Layouts::payee());
    QCOMPARE(payeeNames(QStringLiteral("payee.db")),
        (QStringList{ QStringLiteral("Electric Co"), QStringLiteral("Landlord") }));
    // The program's own templates are left alone.
    QCOMPARE(templateFiles(m_program).size(), 3);
}

void TestUpgrade::existingTablesAreCarriedOver()
{
    m_env->createTables();
    fillItems(QStringLiteral("schedule.DB"),
        { QStringLiteral("rent"), QStringLiteral("gas"), QStringLiteral("Water") });
    fillItems(
        QStringLiteral("history.DB"), { QStringLiteral("paid rent"), QStringLiteral("paid gas") });
    addPayees(QStringLiteral("payee.db"), { QStringLiteral("Mine") });
    QList<qint64> oldKeys;
    const Records oldSchedule = records(QStringLiteral("schedule.DB"), &oldKeys);
    const Records oldHistory = records(QStringLiteral("history.DB"));
    for (const QString &t : { Templates::Schedule, Templates::Age, Templates::Payee })
        QVERIFY(QFile::copy(m_program + QLatin1Char('/') + t, t));

    startUp();

    QCOMPARE(m_announced, 1);
    QList<qint64> newKeys;
    QStringList marks;
    QCOMPARE(records(QStringLiteral("schedule.DB"), &newKeys, &marks), oldSchedule);
    QCOMPARE(records(QStringLiteral("history.DB")), oldHistory);
    QCOMPARE(marks, QStringList(3, QString()));
    for (qint64 key : std::as_const(newKeys))
        QVERIFY2(!oldKeys.contains(key), "an item kept its old key");
    // The user's payees replace the template's.
    QCOMPARE(payeeNames(QStringLiteral("payee.db")), QStringList{ QStringLiteral("Mine") });
    QCOMPARE(templateFiles(m_env->dir()), QStringList());
}

// Next occurrences of a paid run not yet written back are kept across an
// upgrade; a reminder list left in the work table is not.
void TestUpgrade::waitingOccurrencesSurvive()
{
    m_env->createTables();
    {
        Table work(QStringLiteral("resched.DB"));
        work.open();
        const struct
        {
            const char *name;
            bool waiting;
        } rows[] = { { "next rent", true }, { "reminder copy", false } };
        for (const auto &r : rows) {
            work.append();
            work.setValue(QStringLiteral("Description"), QString::fromLatin1(r.name));
            work.setValue(QStringLiteral("Frequency"), 1);
            if (r.waiting)
                work.setValue(QStringLiteral("Process Date"), QDate(2024, 3, 1));
            work.post();
        }
    }
    QVERIFY(QFile::copy(m_program + QLatin1Char('/') + Templates::Schedule, Templates::Schedule));

    startUp();

    const Records work = records(QStringLiteral("resched.DB"));
    QCOMPARE(work.size(), 1);
    QCOMPARE(work.value(QStringLiteral("next rent")).value(QStringLiteral("Process Date")).toDate(),
        QDate(2024, 3, 1));
    QCOMPARE(records(QStringLiteral("schedule.DB")).size(), 0);
}

void TestUpgrade::templateWithoutHistoryCreatesAnEmptyOne()
{
    m_env->createTables();
    fillItems(QStringLiteral("schedule.DB"), { QStringLiteral("rent") });
    QFile::remove(QStringLiteral("history.DB"));
    QVERIFY(QFile::copy(m_program + QStringLiteral("/newsched.DB"), QStringLiteral("newsched.DB")));

    Upgrade::Hooks hooks;
    hooks.announce = [this] { ++m_announced; };
    Upgrade::stepB(hooks);

    QCOMPARE(m_announced, 1);
    Engine::instance().verify(QStringLiteral("history.DB"), Layouts::item());
    QCOMPARE(records(QStringLiteral("history.DB")).size(), 0);
    QCOMPARE(records(QStringLiteral("schedule.DB")).keys(), QStringList{ QStringLiteral("rent") });
}

void TestUpgrade::secondStartCopiesNothing()
{
    startUp();
    fillItems(QStringLiteral("schedule.DB"), { QStringLiteral("rent") });
    const QStringList files = QDir(m_env->dir()).entryList(QDir::Files);
    QMap<QString, QByteArray> before;
    for (const QString &f : files)
        before.insert(f, fileBytes(f));

    m_announced = 0;
    startUp();

    QCOMPARE(m_announced, 0);
    QCOMPARE(QDir(m_env->dir()).entryList(QDir::Files), files);
    for (const QString &f : files)
        QVERIFY2(fileBytes(f) == before.value(f), qPrintable(f));
}

void TestUpgrade::failedStepKeepsItsTemplate()
{
    // An old schedule with a field the template does not have.
    Layout old = Layouts::item();
    old.fields.append({ QStringLiteral("Memo"), FieldType::Text, 40, false });
    Engine::instance().createTable(QStringLiteral("schedule.DB"), old);
    {
        Table t(QStringLiteral("schedule.DB"));
        t.open();
        t.append();
        t.setValue(QStringLiteral("Description"), QStringLiteral("rent"));
        t.setValue(QStringLiteral("Frequency"), 1);
        t.setValue(QStringLiteral("Memo"), QStringLiteral("keep me"));
        t.post();
    }
    fillItems(QStringLiteral("schedule.DB"), { QStringLiteral("gas") });
    const QByteArray scheduleBefore = fileBytes(QStringLiteral("schedule.DB"));
    QVERIFY(QFile::copy(m_program + QStringLiteral("/newsched.DB"), QStringLiteral("newsched.DB")));
    const QByteArray templateBefore = fileBytes(QStringLiteral("newsched.DB"));

    Upgrade::Hooks hooks;
    hooks.announce = [this] { ++m_announced; };
    for (int start = 1; start <= 2; ++start) {
        try {
            Upgrade::stepB(hooks);
            QFAIL("the old field was dropped without a word");
        } catch (const EngineError &e) {
            QVERIFY2(e.message().contains(QLatin1String("Memo")), qPrintable(e.message()));
        }
        // The template stays for the next start, untouched; so does the schedule.
        QVERIFY(fileBytes(QStringLiteral("newsched.DB")) == templateBefore);
        QVERIFY(fileBytes(QStringLiteral("schedule.DB")) == scheduleBefore);
        QCOMPARE(m_announced, start);
    }
    // Nothing is left open by the failed step.
    Table t(QStringLiteral("schedule.DB"));
    t.setExclusive(true);
    t.open();
    QCOMPARE(t.value(QStringLiteral("Memo")).toString(), QStringLiteral("keep me"));
}

void TestUpgrade::missingTableComesBackAlone_data()
{
    QTest::addColumn<QString>("missing");
    QTest::newRow("history") << "history.DB";
    QTest::newRow("age") << "age.db";
    QTest::newRow("payee") << "payee.db";
    QTest::newRow("work table") << "resched.DB";
}

void TestUpgrade::missingTableComesBackAlone()
{
    QFETCH(QString, missing);
    m_env->createTables();
    fillItems(QStringLiteral("schedule.DB"), { QStringLiteral("rent"), QStringLiteral("gas") });
    fillItems(QStringLiteral("history.DB"), { QStringLiteral("paid") });
    QList<qint64> keys;
    QStringList marks;
    const Records before = records(QStringLiteral("schedule.DB"), &keys, &marks);
    const QByteArray historyBefore = fileBytes(QStringLiteral("history.DB"));
    QVERIFY(QFile::remove(missing));
    const bool history = missing == QLatin1String("history.DB");

    startUp();

    QVERIFY(Engine::exists(missing));
    Engine::instance().verify(missing, *Layouts::forFile(missing));
    QCOMPARE(m_announced, 0);
    QCOMPARE(m_notices.size(), history ? 1 : 0);
    if (history)
        QVERIFY2(m_notices.first().contains(missing), qPrintable(m_notices.first()));
    // Recreated empty, not through the upgrade.
    Table recreated(missing);
    recreated.open();
    QCOMPARE(recreated.recordCount(), 0);
    QList<qint64> keysAfter;
    QStringList marksAfter;
    QCOMPARE(records(QStringLiteral("schedule.DB"), &keysAfter, &marksAfter), before);
    QCOMPARE(keysAfter, keys);
    QCOMPARE(marksAfter, marks);
    QVERIFY(marks.contains(PayMark));
    if (!history)
        QVERIFY(fileBytes(QStringLiteral("history.DB")) == historyBefore);
    QCOMPARE(templateFiles(m_env->dir()), QStringList());
}

void TestUpgrade::refusedStartChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("named"); // what the message must name
    const QString schedule = QStringLiteral("schedule.DB");
    QTest::newRow("schedule missing")
        << "schedule missing" << QStringList{ schedule, QStringLiteral("backup") };
    QTest::newRow("schedule a dangling link")
        << "schedule link" << QStringList{ schedule, QStringLiteral("link") };
    QTest::newRow("schedule a folder")
        << "schedule folder" << QStringList{ schedule, QStringLiteral("folder") };
    QTest::newRow("history a folder")
        << "history folder" << QStringList{ QStringLiteral("history.DB") };
    QTest::newRow("names differing in case")
        << "twins" << QStringList{ QStringLiteral("SCHEDULE.DB"), schedule };
    QTest::newRow("unknown required field")
        << "required field" << QStringList{ schedule, QStringLiteral("Memo") };
    QTest::newRow("field of the wrong type")
        << "wrong type" << QStringList{ QStringLiteral("age.db"), QStringLiteral("Amount3") };
    QTest::newRow("required flag lost")
        << "not required" << QStringList{ QStringLiteral("payee.db"), QStringLiteral("Payee") };
    // Opened to be read as it is, such a file grew a log and an index beside it.
    QTest::newRow("required flag lost, write-ahead log mode")
        << "not required, wal"
        << QStringList{ QStringLiteral("payee.db"), QStringLiteral("Payee") };
    QTest::newRow("session file a folder")
        << "session folder" << QStringList{ Engine::sessionFileName() };
}

void TestUpgrade::refusedStartChangesNothing()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, named);
    m_env->createTables();
    fillItems(QStringLiteral("schedule.DB"), { QStringLiteral("rent") });
    fillItems(QStringLiteral("history.DB"), { QStringLiteral("paid") });
    // The start below must not even create the session file.
    Engine::instance().replaceSession();
    auto replaceWith = [](const QString &file, Layout layout) {
        QVERIFY(QFile::remove(file));
        Engine::instance().createTable(file, layout);
        Engine::instance().replaceSession();
    };
    if (fault == QLatin1String("schedule missing")) {
        QVERIFY(QFile::remove(QStringLiteral("schedule.DB")));
    } else if (fault == QLatin1String("schedule link")) {
        QVERIFY(QFile::remove(QStringLiteral("schedule.DB")));
        QVERIFY(QFile::link(QStringLiteral("moved-away.DB"), QStringLiteral("schedule.DB")));
    } else if (fault.endsWith(QLatin1String(" folder"))) {
        const QString name = fault.startsWith(QLatin1String("session")) ? Engine::sessionFileName()
            : fault.startsWith(QLatin1String("history")) ? QStringLiteral("history.DB")
                                                         : QStringLiteral("schedule.DB");
        QFile::remove(name);
        QVERIFY(QDir().mkdir(name));
    } else if (fault == QLatin1String("twins")) {
        QVERIFY(QFile::copy(QStringLiteral("schedule.DB"), QStringLiteral("SCHEDULE.DB")));
    } else if (fault == QLatin1String("required field")) {
        Layout layout = Layouts::item();
        layout.fields.append({ QStringLiteral("Memo"), FieldType::Text, 40, true });
        replaceWith(QStringLiteral("schedule.DB"), layout);
    } else if (fault == QLatin1String("wrong type")) {
        Layout layout = Layouts::aging();
        layout.fields[5].type = FieldType::Date;
        replaceWith(QStringLiteral("age.db"), layout);
    } else if (fault.startsWith(QLatin1String("not required"))) {
        Layout layout = Layouts::payee();
        layout.fields[0].required = false;
        layout.primaryKeyField.clear();
        replaceWith(QStringLiteral("payee.db"), layout);
        if (fault.endsWith(QLatin1String("wal"))) {
            runSql(QStringLiteral("payee.db"), QStringLiteral("PRAGMA $.journal_mode=WAL"));
            Engine::instance().replaceSession();
        }
    }
    const QMap<QString, QByteArray> before = folderContents();

    try {
        startUp();
        QFAIL("the start was not refused");
    } catch (const EngineError &e) {
        for (const QString &name : std::as_const(named))
            QVERIFY2(e.message().contains(name), qPrintable(e.message()));
    }
    QCOMPARE(folderContents().keys(), before.keys());
    QVERIFY(folderContents() == before);
}

void TestUpgrade::indexesAreRebuilt_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("missing") << QStringLiteral("DROP INDEX $.\"Due Date Index\"");
    QTest::newRow("on other fields")
        << QStringLiteral("DROP INDEX $.\"Due Date Index\"; CREATE INDEX $.\"Due Date Index\" ON "
                          "data (\"Description\")");
}

void TestUpgrade::indexesAreRebuilt()
{
    QFETCH(QString, sql);
    m_env->createTables();
    fillItems(
        QStringLiteral("schedule.DB"), { QStringLiteral("b later"), QStringLiteral("a latest") });
    QList<qint64> keys;
    QStringList marks;
    const Records before = records(QStringLiteral("schedule.DB"), &keys, &marks);
    runSql(QStringLiteral("schedule.DB"), sql);

    startUp();

    Table t(QStringLiteral("schedule.DB"));
    t.setIndexName(QStringLiteral("Due Date Index"));
    t.open();
    QStringList order;
    for (t.first(); !t.eof(); t.next())
        order.append(t.value(QStringLiteral("Description")).toString());
    QCOMPARE(order, (QStringList{ QStringLiteral("b later"), QStringLiteral("a latest") }));
    QList<qint64> keysAfter;
    QStringList marksAfter;
    QCOMPARE(records(QStringLiteral("schedule.DB"), &keysAfter, &marksAfter), before);
    QCOMPARE(keysAfter, keys);
    QCOMPARE(marksAfter, marks);
}

// The session file holds no data; garbage in it must not be blamed on a table.
void TestUpgrade::damagedSessionFileIsReplaced()
{
    m_env->createTables();
    fillItems(QStringLiteral("schedule.DB"), { QStringLiteral("rent") });
    Engine::instance().replaceSession();
    {
        QFile f(Engine::sessionFileName());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("not a database at all, ").repeated(400));
    }

    startUp();

    QCOMPARE(records(QStringLiteral("schedule.DB")).keys(), QStringList{ QStringLiteral("rent") });
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
