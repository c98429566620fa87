#include "support/testsupport.h"

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

private:
    // What the main window does at start, with the program's folder given.
    void startUp();

    std::unique_ptr<TestEnv> m_env;
    QString m_program; // stands in for the program's folder
    int m_announced = 0;
};

void TestUpgrade::init()
{
    m_env = std::make_unique<TestEnv>();
    m_program = m_env->dir() + QStringLiteral("/program");
    QDir().mkpath(m_program);
    Templates::write(m_program);
    addPayees(m_program + QStringLiteral("/newpayee.DB"),
        { QStringLiteral("Electric Co"), QStringLiteral("Landlord") });
    m_announced = 0;
}

void TestUpgrade::startUp()
{
    Templates::provideMissing(m_program);
    Upgrade::stepA();
    Upgrade::Hooks hooks;
    hooks.announce = [this] { ++m_announced; };
    Upgrade::stepB(hooks);
    Upgrade::stepC();
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

    startUp();

    QVERIFY(Engine::exists(missing));
    Engine::instance().verify(missing, *Layouts::forFile(missing));
    QCOMPARE(m_announced, 0);
    QList<qint64> keysAfter;
    QStringList marksAfter;
    QCOMPARE(records(QStringLiteral("schedule.DB"), &keysAfter, &marksAfter), before);
    QCOMPARE(keysAfter, keys);
    QCOMPARE(marksAfter, marks);
    QVERIFY(marks.contains(PayMark));
    QVERIFY(fileBytes(QStringLiteral("history.DB")) == historyBefore);
    if (missing == QLatin1String("payee.db"))
        QCOMPARE(payeeNames(missing),
            (QStringList{ QStringLiteral("Electric Co"), QStringLiteral("Landlord") }));
    QCOMPARE(templateFiles(m_env->dir()), QStringList());
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
