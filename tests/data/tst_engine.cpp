#include "support/dataenv.h"

#include "data/closedhandles.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
using Values = QList<QVariant>;

QByteArray fileBytes(const QString &name)
{
    QFile f(Engine::resolve(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeBytes(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QVariant scalar(const QString &sql)
{
    Query q(sql);
    q.open();
    return q.rowCount() > 0 ? q.value(0, 0) : QVariant();
}

// Appends one item; Description and Frequency are required, so they get stand-ins.
qint64 addItem(Table &t, const QHash<QString, QVariant> &values)
{
    t.append();
    t.setValue(QStringLiteral("Description"), QStringLiteral("item"));
    t.setValue(QStringLiteral("Frequency"), 0);
    for (auto it = values.begin(); it != values.end(); ++it)
        t.setValue(it.key(), it.value());
    t.post();
    return t.value(QStringLiteral("PrimaryKey")).toLongLong();
}

Values column(Table &t, const QString &field)
{
    Values out;
    for (t.first(); !t.eof(); t.next())
        out.append(t.value(field));
    return out;
}

QString describe(const Values &values)
{
    QStringList parts;
    for (const QVariant &v : values)
        parts.append(v.isNull() ? QStringLiteral("<empty>") : v.toString());
    return parts.join(QStringLiteral(" | "));
}
} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<DataEnv>();
        m_env->createTables();
    }
    void cleanup() { m_env.reset(); }

    void indexOrder_data();
    void indexOrder();
    void dueDateIndexOrdersByDescriptionWithinADay();
    void namesDifferingInCaseReachOneFile();
    void filters_data();
    void filters();
    void badFilterLiterals_data();
    void badFilterLiterals();
    void recordLeavingTheFilterLeavesTheView();
    void counterNeverReusesAValue();
    void postWritesOnlyWhatTheEditChanged();
    void emptyStringIsStoredAsEmpty();
    void exclusiveUse();
    void closedHandlesLetAFileBeReplaced();
    void refusedValuesKeepTheRecord_data();
    void refusedValuesKeepTheRecord();
    void postWithoutDescriptionIsRefused();
    void postOfARecordDeletedElsewhereFails();
    void valuesAtTheLimitsAreKept();
    void badFilterKeepsThePreviousOne();
    void writeInADeletedFolderNamesIt();
    void rollbackRestoresFilesAndHandles();
    void copyTableReplacesOnlyWhenComplete();
    void copyTableMatchesDestinationRegardlessOfCase();
    void verifyNamesTheFile_data();
    void verifyNamesTheFile();
    void messagesNameTablesNotAliases();

private:
    std::unique_ptr<DataEnv> m_env;
};

void TestEngine::indexOrder_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<Values>("stored"); // in the order they are appended
    QTest::addColumn<Values>("expected"); // in the order of the index

    const QVariant empty;
    const Values text
        = { QStringLiteral("banana"), empty, QStringLiteral("Apple"), QStringLiteral("apple pie"),
              QStringLiteral("Cherry"), QStringLiteral("ZEBRA"), QStringLiteral("yak") };
    const Values textOrder
        = { empty, QStringLiteral("Apple"), QStringLiteral("apple pie"), QStringLiteral("banana"),
              QStringLiteral("Cherry"), QStringLiteral("yak"), QStringLiteral("ZEBRA") };
    const Values dates
        = { QDate(2024, 3, 1), empty, QDate(2023, 12, 31), QDate(2024, 1, 15), QDate(2024, 10, 2) };
    const Values dateOrder
        = { empty, QDate(2023, 12, 31), QDate(2024, 1, 15), QDate(2024, 3, 1), QDate(2024, 10, 2) };
    const Values money = { 10.5, empty, -3.0, 2.0, 100.0, 0.0 };
    const Values moneyOrder = { empty, -3.0, 0.0, 2.0, 10.5, 100.0 };
    // Numbers order by value, not as text (100 after 30).
    const Values whole = { 30, empty, 5, 100, -2 };
    const Values wholeOrder = { empty, -2, 5, 30, 100 };

    QTest::newRow("PayNow") << "PayNow" << Values{ PayMark, empty, QStringLiteral("a"), PayMark }
                            << Values{ empty, QStringLiteral("a"), PayMark, PayMark };
    QTest::newRow("Description") << "Description"
                                 << Values{ QStringLiteral("rent"), QStringLiteral("Water"),
                                        QStringLiteral("ELECTRIC"), QStringLiteral("phone"),
                                        QStringLiteral("Rent 2") }
                                 << Values{ QStringLiteral("ELECTRIC"), QStringLiteral("phone"),
                                        QStringLiteral("rent"), QStringLiteral("Rent 2"),
                                        QStringLiteral("Water") };
    QTest::newRow("Bill Amount") << "Bill Amount" << money << moneyOrder;
    QTest::newRow("Pay Amount") << "Pay Amount" << money << moneyOrder;
    QTest::newRow("Frequency") << "Frequency" << Values{ 12, 0, 3, -1, 24 }
                               << Values{ -1, 0, 3, 12, 24 };
    QTest::newRow("Units") << "Units"
                           << Values{ QStringLiteral("Months"), empty, QStringLiteral("Days"),
                                  QStringLiteral("One Time"), QStringLiteral("Half Months") }
                           << Values{ empty, QStringLiteral("Days"), QStringLiteral("Half Months"),
                                  QStringLiteral("Months"), QStringLiteral("One Time") };
    QTest::newRow("End Date") << "End Date" << dates << dateOrder;
    QTest::newRow("Warning Days") << "Warning Days" << whole << wholeOrder;
    QTest::newRow("Budget") << "Budget" << money << moneyOrder;
    QTest::newRow("Balance") << "Balance" << money << moneyOrder;
    for (int i = 1; i <= 4; ++i) {
        const QString f = QStringLiteral("User Field %1").arg(i);
        QTest::newRow(qPrintable(f)) << f << text << textOrder;
    }
    QTest::newRow("Process Date") << "Process Date" << dates << dateOrder;
}

// Records appended through a handle must land where a fresh read of the index
// puts them: the handle places a posted record itself, without re-reading.
void TestEngine::indexOrder()
{
    QFETCH(QString, field);
    QFETCH(Values, stored);
    QFETCH(Values, expected);

    Table t(QStringLiteral("schedule.DB"));
    t.setIndexName(field + QStringLiteral(" Index"));
    t.open();
    for (const QVariant &v : stored) {
        t.append();
        if (field != QLatin1String("Description"))
            t.setValue(QStringLiteral("Description"), QStringLiteral("x"));
        if (field != QLatin1String("Frequency"))
            t.setValue(QStringLiteral("Frequency"), 0);
        t.setValue(field, v);
        t.post();
    }
    QCOMPARE(describe(column(t, field)), describe(expected));

    t.close();
    t.open();
    QCOMPARE(describe(column(t, field)), describe(expected));

    // The index the file holds orders the same way as the handle.
    Query q(QStringLiteral("SELECT %1 FROM {schedule.DB} INDEXED BY %2 ORDER BY %1, rowid")
                .arg(Engine::quote(field), Engine::quote(field + QStringLiteral(" Index"))));
    q.open();
    Values fromSql;
    for (int r = 0; r < q.rowCount(); ++r) {
        QVariant v = q.value(r, 0);
        if (v.typeId() == QMetaType::LongLong)
            v = int(v.toLongLong());
        fromSql.append(v);
    }
    QCOMPARE(describe(fromSql), describe(expected));
}

void TestEngine::dueDateIndexOrdersByDescriptionWithinADay()
{
    Table t(QStringLiteral("schedule.DB"));
    t.setIndexName(QStringLiteral("due date index")); // index names match regardless of case
    t.open();
    const QDate d1(2024, 1, 1), d2(2024, 1, 2);
    const QList<std::pair<QVariant, QString>> rows = { { d2, QStringLiteral("b") },
        { d2, QStringLiteral("A") }, { QVariant(), QStringLiteral("z") },
        { d1, QStringLiteral("c") }, { d2, QStringLiteral("a") } };
    for (const auto &[date, description] : rows)
        addItem(t,
            { { QStringLiteral("Due Date"), date },
                { QStringLiteral("Description"), description } });

    const QStringList expected = { QStringLiteral("z"), QStringLiteral("c"), QStringLiteral("A"),
        QStringLiteral("a"), QStringLiteral("b") };
    QStringList got;
    for (t.first(); !t.eof(); t.next())
        got.append(t.value(QStringLiteral("description")).toString());
    QCOMPARE(got, expected);

    // The field list "Due Date;Description" gives the same order.
    Table byFields(QStringLiteral("schedule.DB"));
    byFields.setIndexFieldNames(QStringLiteral("Due Date;Description"));
    byFields.open();
    got.clear();
    for (byFields.first(); !byFields.eof(); byFields.next())
        got.append(byFields.value(QStringLiteral("Description")).toString());
    QCOMPARE(got, expected);

    // Moving a record by editing its key fields re-places it.
    t.first();
    t.edit();
    t.setValue(QStringLiteral("Due Date"), QDate(2025, 1, 1));
    t.post();
    QCOMPARE(t.recNo(), 5);
    t.last();
    QCOMPARE(t.value(QStringLiteral("Description")).toString(), QStringLiteral("z"));
}

void TestEngine::namesDifferingInCaseReachOneFile()
{
    Table upper(QStringLiteral("HISTORY.DB"));
    Table lower(QStringLiteral("history.DB"));
    upper.open();
    lower.open();
    QCOMPARE(upper.path(), lower.path());
    QVERIFY(upper.path().endsWith(QLatin1String("/history.DB")));

    addItem(upper, { { QStringLiteral("Description"), QStringLiteral("paid") } });
    lower.refresh();
    QCOMPARE(lower.recordCount(), 1);
    QCOMPARE(lower.value(QStringLiteral("Description")).toString(), QStringLiteral("paid"));

    const QStringList files
        = QDir(m_env->dir()).entryList({ QStringLiteral("history*") }, QDir::Files, QDir::Name);
    QCOMPARE(files.filter(QStringLiteral("history"), Qt::CaseInsensitive),
        QStringList{ QStringLiteral("history.DB") });
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM {HiStOrY.db}")).toInt(), 1);
}

void TestEngine::filters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("mark") << QStringLiteral("[PayNow] = 'ü'")
                          << QStringList{ QStringLiteral("gas"), QStringLiteral("rent") };
    QTest::newRow("no mark") << QStringLiteral("[PayNow] = ''")
                             << QStringList{ QStringLiteral("phone"), QStringLiteral("water") };
    QTest::newRow("date range") << QStringLiteral(
        "[Due Date] >= '3/1/2024' and [Due Date] <= '3/31/2024'")
                                << QStringList{ QStringLiteral("gas"), QStringLiteral("rent") };
    QTest::newRow("two-digit day and month")
        << QStringLiteral("[Due Date] = '03/05/2024'") << QStringList{ QStringLiteral("gas") };
    QTest::newRow("field names regardless of case")
        << QStringLiteral("([due date] >= '4/1/2024') and ([bill amount] >= '50')")
        << QStringList{ QStringLiteral("phone") };
    QTest::newRow("quote inside a literal")
        << QStringLiteral("[Description] = 'rent'' or ''1''=''1'") << QStringList{};
    QTest::newRow("amount") << QStringLiteral("[Bill Amount] <= '20.5'")
                            << QStringList{ QStringLiteral("gas"), QStringLiteral("water") };
}

void TestEngine::filters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);

    Table t(QStringLiteral("schedule.DB"));
    t.setIndexName(QStringLiteral("Description Index"));
    t.open();
    auto add = [&](const char *name, QDate due, double amount, bool marked) {
        addItem(t,
            { { QStringLiteral("Description"), QString::fromLatin1(name) },
                { QStringLiteral("Due Date"), due }, { QStringLiteral("Bill Amount"), amount },
                { QStringLiteral("PayNow"), marked ? PayMark : QString() } });
    };
    add("rent", QDate(2024, 3, 31), 900, true);
    add("gas", QDate(2024, 3, 5), 20.5, true);
    add("water", QDate(2024, 2, 29), 12, false);
    add("phone", QDate(2024, 4, 1), 55, false);

    t.setFilter(filter);
    t.setFiltered(true);
    QStringList got;
    for (t.first(); !t.eof(); t.next())
        got.append(t.value(QStringLiteral("Description")).toString());
    QCOMPARE(got, expected);
    QCOMPARE(t.recordCount(), int(expected.size()));

    t.setFiltered(false);
    QCOMPARE(t.recordCount(), 4);
}

void TestEngine::badFilterLiterals_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a date") << QStringLiteral("[Due Date] >= 'soon'")
                                << QStringLiteral("'soon' is not a valid date");
    QTest::newRow("no such day") << QStringLiteral("[Due Date] = '2/30/2024'")
                                 << QStringLiteral("'2/30/2024'");
    QTest::newRow("ISO is not the short format")
        << QStringLiteral("[Due Date] = '2024-03-01'") << QStringLiteral("'2024-03-01'");
    QTest::newRow("not a number") << QStringLiteral("[Frequency] = 'x'")
                                  << QStringLiteral("'x' is not a valid integer");
    QTest::newRow("unknown field")
        << QStringLiteral("[Amount] = '1'") << QStringLiteral("Field 'Amount' not found");
    QTest::newRow("unterminated") << QStringLiteral("[PayNow] = 'ü")
                                  << QStringLiteral("unterminated");
    // Each level is a recursion of the parser: deep enough, the stack ran out.
    QTest::newRow("deep parentheses")
        << QString(200000, QLatin1Char('(')) << QStringLiteral("nested too deeply");
    QTest::newRow("long run of not")
        << QStringLiteral("not ").repeated(200000) << QStringLiteral("nested too deeply");
}

void TestEngine::badFilterLiterals()
{
    QFETCH(QString, filter);
    QFETCH(QString, message);

    Table t(QStringLiteral("schedule.DB"));
    t.setFilter(filter);
    t.setFiltered(true);
    try {
        t.open();
        QFAIL("the filter was accepted");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QVERIFY(!t.isOpen());
    // A refused open leaves nothing behind: the file can be opened exclusively.
    Table other(QStringLiteral("schedule.DB"));
    other.setExclusive(true);
    other.open();
}

void TestEngine::recordLeavingTheFilterLeavesTheView()
{
    Table t(QStringLiteral("schedule.DB"));
    t.setIndexName(QStringLiteral("Due Date Index"));
    t.open();
    addItem(t,
        { { QStringLiteral("Description"), QStringLiteral("a") },
            { QStringLiteral("PayNow"), PayMark } });
    addItem(t,
        { { QStringLiteral("Description"), QStringLiteral("b") },
            { QStringLiteral("PayNow"), PayMark } });
    t.setFilter(QStringLiteral("[PayNow] = 'ü'"));
    t.setFiltered(true);
    QCOMPARE(t.recordCount(), 2);
    t.first();
    t.edit();
    t.setValue(QStringLiteral("PayNow"), QString());
    t.post();
    QCOMPARE(t.recordCount(), 1);
    QCOMPARE(t.value(QStringLiteral("Description")).toString(), QStringLiteral("b"));
}

void TestEngine::counterNeverReusesAValue()
{
    Table t(QStringLiteral("resched.DB"));
    t.open();
    const qint64 a = addItem(t, {});
    const qint64 b = addItem(t, {});
    QVERIFY(b > a);
    t.last();
    t.remove();
    const qint64 c = addItem(t, {});
    QVERIFY2(c > b, "a deleted record's key came back");

    t.emptyTable();
    QCOMPARE(t.recordCount(), 0);
    const qint64 d = addItem(t, {});
    QVERIFY2(d > c, "emptying the table restarted the counter");

    // The copy of a table keeps counting where the original was.
    t.close();
    Engine::instance().copyTable(QStringLiteral("resched.DB"), QStringLiteral("copy.DB"));
    Table copy(QStringLiteral("copy.DB"));
    copy.open();
    copy.emptyTable();
    QVERIFY(addItem(copy, {}) > d);
}

// Two handles edit one record: each post writes the fields its edit changed,
// and reports the record as stored before and after it, which is what the
// summaries follow.
void TestEngine::postWritesOnlyWhatTheEditChanged()
{
    Table t(QStringLiteral("schedule.DB"));
    t.setIndexName(QStringLiteral("Due Date Index"));
    t.open();
    for (int day = 1; day <= 40; ++day)
        addItem(t, { { QStringLiteral("Due Date"), QDate(2024, 3, 1).addDays(day) } });
    const qint64 key = addItem(t,
        { { QStringLiteral("Bill Amount"), 10.0 },
            { QStringLiteral("Due Date"), QDate(2024, 3, 1) } });
    t.last();
    QVERIFY(t.locate(key));
    QCOMPARE(t.recNo(), 1);
    t.edit();
    {
        Table other(QStringLiteral("schedule.DB"));
        other.open();
        QVERIFY(other.locate(key));
        other.edit();
        other.setValue(QStringLiteral("Bill Amount"), 25.0);
        other.post();
    }
    t.setValue(QStringLiteral("Description"), QStringLiteral("renamed"));
    t.post();

    const QString where = QStringLiteral(" FROM {schedule.DB} WHERE \"PrimaryKey\" = %1").arg(key);
    QCOMPARE(scalar(QStringLiteral("SELECT \"Bill Amount\"") + where).toDouble(), 25.0);
    QCOMPARE(scalar(QStringLiteral("SELECT \"Description\"") + where).toString(),
        QStringLiteral("renamed"));
    const int bill = t.fieldIndex(QStringLiteral("Bill Amount"));
    const int description = t.fieldIndex(QStringLiteral("Description"));
    QCOMPARE(t.changedBefore().at(bill).toDouble(), 25.0);
    QCOMPARE(t.changedBefore().at(description).toString(), QStringLiteral("item"));
    QCOMPARE(t.changedAfter().at(bill).toDouble(), 25.0);
    QCOMPARE(t.changedAfter().at(description).toString(), QStringLiteral("renamed"));
    QCOMPARE(t.value(QStringLiteral("Bill Amount")).toDouble(), 25.0);

    // A post that changes nothing leaves the record as it is.
    t.edit();
    t.post();
    QCOMPARE(t.changedBefore(), t.changedAfter());
    t.remove();
    QCOMPARE(t.changedBefore().at(description).toString(), QStringLiteral("renamed"));
    QVERIFY(t.changedAfter().empty());
}

void TestEngine::emptyStringIsStoredAsEmpty()
{
    Table t(QStringLiteral("schedule.DB"));
    t.open();
    addItem(t,
        { { QStringLiteral("PayNow"), PayMark },
            { QStringLiteral("User Field 1"), QStringLiteral("note") } });
    t.edit();
    t.setValue(QStringLiteral("PayNow"), QString());
    t.setValue(QStringLiteral("User Field 1"), QStringLiteral(""));
    t.setValue(QStringLiteral("Bill Amount"), QString());
    t.post();
    QVERIFY(t.isNull(QStringLiteral("PayNow")));
    QVERIFY(t.isNull(QStringLiteral("User Field 1")));
    QVERIFY(t.isNull(QStringLiteral("Bill Amount")));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM {schedule.DB} WHERE \"PayNow\" IS NULL "
                                   "AND \"User Field 1\" IS NULL AND \"Bill Amount\" IS NULL"))
                 .toInt(),
        1);
    // So an unmarked item groups with items never marked.
    addItem(t, {});
    QCOMPARE(scalar(QStringLiteral(
                        "SELECT count(DISTINCT coalesce(\"PayNow\", 'none')) FROM {schedule.DB}"))
                 .toInt(),
        1);
}

void TestEngine::exclusiveUse()
{
    Table shared(QStringLiteral("resched.DB"));
    shared.open();
    Table exclusive(QStringLiteral("RESCHED.db"));
    exclusive.setExclusive(true);
    QVERIFY_THROWS_EXCEPTION(EngineError, exclusive.open());
    QVERIFY(!exclusive.isOpen());

    shared.close();
    exclusive.open();
    Table second(QStringLiteral("resched.DB"));
    try {
        second.open();
        QFAIL("a shared open beside an exclusive one was allowed");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(QLatin1String("resched.DB")), qPrintable(e.message()));
    }
    QVERIFY_THROWS_EXCEPTION(EngineError, shared.open());

    exclusive.close();
    second.open();
    shared.open();
    QVERIFY(second.isOpen() && shared.isOpen());
}

void TestEngine::closedHandlesLetAFileBeReplaced()
{
    Engine::instance().createTable(QStringLiteral("other.DB"), Layouts::item());
    {
        Table other(QStringLiteral("other.DB"));
        other.open();
        other.append();
        other.setValue(QStringLiteral("Description"), QStringLiteral("Rent"));
        other.setValue(QStringLiteral("Frequency"), 1);
        other.post();
    }
    Table list(QStringLiteral("schedule.DB"));
    Table sorted(QStringLiteral("schedule.DB"));
    sorted.setIndexName(QStringLiteral("Due Date Index"));
    auto gone = std::make_unique<Table>(QStringLiteral("schedule.DB"));
    Table history(QStringLiteral("history.DB"));
    for (Table *t : { &list, &sorted, gone.get(), &history })
        t->open();

    ClosedHandles closed(QStringLiteral("SCHEDULE.db"));
    QCOMPARE(closed.count(), 3);
    QVERIFY(!list.isOpen() && !sorted.isOpen() && !gone->isOpen());
    QVERIFY(history.isOpen());
    // Nobody holds the file now: it can be replaced.
    Engine::instance().copyTable(QStringLiteral("other.DB"), QStringLiteral("schedule.DB"));
    gone.reset();
    closed.reopen();
    QVERIFY(list.isOpen() && sorted.isOpen());
    QCOMPARE(list.recordCount(), 1);
    QCOMPARE(sorted.value(QStringLiteral("Description")).toString(), QStringLiteral("Rent"));
}

void TestEngine::refusedValuesKeepTheRecord_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("description too long")
        << "Description" << QVariant(QString(256, QLatin1Char('x')))
        << QStringLiteral("Description");
    QTest::newRow("units too long") << "Units" << QVariant(QStringLiteral("Every other month"))
                                    << QStringLiteral("at most 15 characters");
    QTest::newRow("two marks") << "PayNow" << QVariant(PayMark + PayMark)
                               << QStringLiteral("PayNow");
    QTest::newRow("frequency above 16 bits")
        << "Frequency" << QVariant(32768) << QStringLiteral("-32768 to 32767");
    QTest::newRow("warning days below 16 bits")
        << "Warning Days" << QVariant(-40000) << QStringLiteral("-32768 to 32767");
    QTest::newRow("warning days as text")
        << "Warning Days" << QVariant(QStringLiteral("99999")) << QStringLiteral("-32768 to 32767");
    QTest::newRow("amount beyond the sums")
        << "Bill Amount" << QVariant(1e15) << QStringLiteral("999,999,999,999.99");
    QTest::newRow("amount near the largest number")
        << "Pay Amount" << QVariant(-1e308) << QStringLiteral("999,999,999,999.99");
    QTest::newRow("infinite amount as text")
        << "Budget" << QVariant(QStringLiteral("inf")) << QStringLiteral("999,999,999,999.99");
    QTest::newRow("amount that is no number")
        << "Balance" << QVariant(qQNaN()) << QStringLiteral("999,999,999,999.99");
    QTest::newRow("date that is no date") << "Due Date" << QVariant(QStringLiteral("tomorrow"))
                                          << QStringLiteral("'tomorrow' is not a valid date");
}

void TestEngine::refusedValuesKeepTheRecord()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, message);

    Table t(QStringLiteral("schedule.DB"));
    t.open();
    addItem(t,
        { { QStringLiteral("Description"), QStringLiteral("rent") },
            { QStringLiteral("Units"), QStringLiteral("Months") },
            { QStringLiteral("Frequency"), 1 }, { QStringLiteral("Warning Days"), 5 },
            { QStringLiteral("Due Date"), QDate(2024, 4, 1) },
            { QStringLiteral("PayNow"), PayMark } });
    const QVariant before = t.value(field);

    t.edit();
    try {
        t.setValue(field, value);
        QFAIL("the value was accepted");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QCOMPARE(t.value(field), before);
    t.post();
    t.close();
    t.open();
    QCOMPARE(t.value(field), before);
    QCOMPARE(t.value(QStringLiteral("Description")).toString(), QStringLiteral("rent"));
}

void TestEngine::postWithoutDescriptionIsRefused()
{
    Table t(QStringLiteral("schedule.DB"));
    t.open();
    QSignalSpy errors(&t, &Table::postError);
    QSignalSpy posted(&t, &Table::afterPost);
    t.append();
    t.setValue(QStringLiteral("Frequency"), 1);
    t.setValue(QStringLiteral("Description"), QString());
    try {
        t.post();
        QFAIL("posted without a description");
    } catch (const EngineError &e) {
        QCOMPARE(e.message(), QStringLiteral("Field 'Description' must have a value"));
    }
    QCOMPARE(errors.count(), 1);
    QCOMPARE(posted.count(), 0);
    QCOMPARE(t.state(), Table::State::Insert);
    QCOMPARE(t.value(QStringLiteral("Frequency")).toInt(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM {schedule.DB}")).toInt(), 0);

    t.setValue(QStringLiteral("Description"), QStringLiteral("now named"));
    t.post();
    QCOMPARE(t.recordCount(), 1);
}

void TestEngine::postOfARecordDeletedElsewhereFails()
{
    Table mine(QStringLiteral("schedule.DB"));
    mine.open();
    addItem(mine, { { QStringLiteral("Description"), QStringLiteral("rent") } });
    {
        Table other(QStringLiteral("schedule.DB"));
        other.open();
        other.remove();
    }
    mine.edit();
    mine.setValue(QStringLiteral("Bill Amount"), 5.0);
    try {
        mine.post();
        QFAIL("a post that changed nothing succeeded");
    } catch (const EngineError &e) {
        QCOMPARE(e.message(), QStringLiteral("Record/Key deleted."));
    }
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM {schedule.DB}")).toInt(), 0);
}

void TestEngine::valuesAtTheLimitsAreKept()
{
    // Text length is counted in characters: an emoji is one.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x92\xB8").repeated(255);
    Table t(QStringLiteral("schedule.DB"));
    t.open();
    addItem(t,
        { { QStringLiteral("Description"), emoji },
            { QStringLiteral("Bill Amount"), 999999999999.99 },
            { QStringLiteral("Pay Amount"), -999999999999.99 } });
    t.close();
    t.open();
    QCOMPARE(t.value(QStringLiteral("Description")).toString(), emoji);
    QCOMPARE(t.value(QStringLiteral("Bill Amount")).toDouble(), 999999999999.99);
    QCOMPARE(t.value(QStringLiteral("Pay Amount")).toDouble(), -999999999999.99);
    t.edit();
    QVERIFY_THROWS_EXCEPTION(
        EngineError, t.setValue(QStringLiteral("Description"), emoji + QLatin1Char('x')));
}

void TestEngine::badFilterKeepsThePreviousOne()
{
    Table t(QStringLiteral("schedule.DB"));
    t.open();
    addItem(t, { { QStringLiteral("PayNow"), PayMark } });
    addItem(t, {});
    const QString marked = QStringLiteral("[PayNow] = '") + PayMark + QLatin1Char('\'');
    t.setFilter(marked);
    t.setFiltered(true);
    QCOMPARE(t.recordCount(), 1);
    QVERIFY_THROWS_EXCEPTION(EngineError, t.setFilter(QStringLiteral("[Due Date] >= 'soon'")));
    QCOMPARE(t.filter(), marked);
    t.refresh();
    QCOMPARE(t.recordCount(), 1);
}

void TestEngine::writeInADeletedFolderNamesIt()
{
    const QString folder = m_env->dir() + QStringLiteral("/gone");
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/schedule.DB");
    Engine::instance().createTable(file, Layouts::item());
    Table t(file);
    t.open();
    addItem(t, {});
    QVERIFY(QDir(folder).removeRecursively());
    t.edit();
    t.setValue(QStringLiteral("Bill Amount"), 1.0);
    try {
        t.post();
        QFAIL("a post into a deleted folder succeeded");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("The folder %1 no longer exists").arg(folder)),
            qPrintable(e.message()));
    }
}

void TestEngine::rollbackRestoresFilesAndHandles()
{
    Table sched(QStringLiteral("schedule.DB"));
    Table hist(QStringLiteral("history.DB"));
    sched.setIndexName(QStringLiteral("Due Date Index"));
    sched.open();
    hist.open();
    addItem(sched,
        { { QStringLiteral("Description"), QStringLiteral("keep") },
            { QStringLiteral("Bill Amount"), 10.0 } });
    addItem(sched, { { QStringLiteral("Description"), QStringLiteral("other") } });
    addItem(hist, { { QStringLiteral("Description"), QStringLiteral("old payment") } });
    sched.first();
    sched.close();
    hist.close();
    const QByteArray schedBefore = fileBytes(QStringLiteral("schedule.DB"));
    const QByteArray histBefore = fileBytes(QStringLiteral("history.DB"));
    sched.open();
    hist.open();

    try {
        inTransaction([&] {
            sched.first();
            sched.edit();
            sched.setValue(QStringLiteral("Bill Amount"), 99.0);
            sched.post();
            addItem(hist, { { QStringLiteral("Description"), QStringLiteral("new payment") } });
            sched.last();
            sched.remove();
            addItem(sched, { { QStringLiteral("Description"), QStringLiteral("next") } });
            throw EngineError(QStringLiteral("disk full"));
        });
        QFAIL("the error did not pass through");
    } catch (const EngineError &e) {
        QCOMPARE(e.message(), QStringLiteral("disk full"));
    }
    QVERIFY(!Engine::instance().inTransaction());

    // The handles show the files again, not what they had buffered.
    QCOMPARE(sched.recordCount(), 2);
    QCOMPARE(hist.recordCount(), 1);
    QStringList names;
    QList<double> amounts;
    for (sched.first(); !sched.eof(); sched.next()) {
        names.append(sched.value(QStringLiteral("Description")).toString());
        amounts.append(sched.value(QStringLiteral("Bill Amount")).toDouble());
    }
    QCOMPARE(names, (QStringList{ QStringLiteral("keep"), QStringLiteral("other") }));
    QCOMPARE(amounts.first(), 10.0);
    hist.first();
    QCOMPARE(hist.value(QStringLiteral("Description")).toString(), QStringLiteral("old payment"));

    sched.close();
    hist.close();
    QVERIFY(fileBytes(QStringLiteral("schedule.DB")) == schedBefore);
    QVERIFY(fileBytes(QStringLiteral("history.DB")) == histBefore);
    QVERIFY(!QFile::exists(
        Engine::resolve(QStringLiteral("schedule.DB")) + QStringLiteral("-journal")));

    // An editing handle is back in browse after the rollback.
    sched.open();
    Engine::instance().begin();
    sched.first();
    sched.edit();
    sched.setValue(QStringLiteral("Description"), QStringLiteral("typed"));
    Engine::instance().rollback();
    QCOMPARE(sched.state(), Table::State::Browse);
    QCOMPARE(sched.value(QStringLiteral("Description")).toString(), QStringLiteral("keep"));
}

void TestEngine::copyTableReplacesOnlyWhenComplete()
{
    Engine &engine = Engine::instance();
    {
        Table sched(QStringLiteral("schedule.DB"));
        sched.open();
        addItem(sched, { { QStringLiteral("Description"), QStringLiteral("mine") } });
    }
    const QByteArray before = fileBytes(QStringLiteral("schedule.DB"));

    // A source that is not a table: the destination stays as it was.
    writeBytes(QStringLiteral("broken.DB"), QByteArray(8192, 'x'));
    QVERIFY_THROWS_EXCEPTION(
        EngineError, engine.copyTable(QStringLiteral("broken.DB"), QStringLiteral("schedule.DB")));
    QVERIFY(fileBytes(QStringLiteral("schedule.DB")) == before);

    // A missing source.
    QVERIFY_THROWS_EXCEPTION(
        EngineError, engine.copyTable(QStringLiteral("nothere.DB"), QStringLiteral("schedule.DB")));
    QVERIFY(fileBytes(QStringLiteral("schedule.DB")) == before);

    // A destination in use.
    {
        Table open(QStringLiteral("schedule.DB"));
        open.open();
        QVERIFY_THROWS_EXCEPTION(EngineError,
            engine.copyTable(QStringLiteral("history.DB"), QStringLiteral("schedule.DB")));
        QCOMPARE(open.recordCount(), 1);
    }
    QVERIFY(fileBytes(QStringLiteral("schedule.DB")) == before);

    // Nothing half-written is left in the folder.
    const QStringList leftovers = QDir(m_env->dir()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &f : leftovers)
        QVERIFY2(!f.contains(QLatin1String("copy")) && !f.endsWith(QLatin1String("-journal")),
            qPrintable(f));

    // A complete copy replaces it, records and indexes included.
    engine.copyTable(QStringLiteral("history.DB"), QStringLiteral("schedule.DB"));
    Table sched(QStringLiteral("schedule.DB"));
    sched.setIndexName(QStringLiteral("Process Date Index"));
    sched.open();
    QCOMPARE(sched.recordCount(), 0);
}

void TestEngine::copyTableMatchesDestinationRegardlessOfCase()
{
    {
        Table hist(QStringLiteral("history.DB"));
        hist.open();
        addItem(hist, { { QStringLiteral("Description"), QStringLiteral("paid") } });
    }
    Engine::instance().copyTable(QStringLiteral("HISTORY.db"), QStringLiteral("SCHEDULE.db"));
    const QStringList files = QDir(m_env->dir()).entryList(QDir::Files);
    QCOMPARE(files.filter(QStringLiteral("schedule"), Qt::CaseInsensitive),
        QStringList{ QStringLiteral("schedule.DB") });
    QCOMPARE(scalar(QStringLiteral("SELECT \"Description\" FROM {schedule.DB}")).toString(),
        QStringLiteral("paid"));
}

void TestEngine::verifyNamesTheFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("garbage") << "garbage" << QString();
    QTest::newRow("empty file") << "empty" << QString();
    QTest::newRow("truncated") << "truncated" << QString();
    QTest::newRow("missing field")
        << "missing field" << QStringLiteral("field 'Budget' is missing");
    QTest::newRow("wrong type") << "wrong type"
                                << QStringLiteral("field 'Due Date' has the wrong type");
    QTest::newRow("missing file") << "missing" << QStringLiteral("does not exist");
}

void TestEngine::verifyNamesTheFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);

    const QString name = QStringLiteral("schedule.DB");
    if (kind == QLatin1String("garbage")) {
        writeBytes(name, QByteArray("This is not a table at all.\n").repeated(500));
    } else if (kind == QLatin1String("empty")) {
        writeBytes(name, QByteArray());
    } else if (kind == QLatin1String("truncated")) {
        {
            Table t(name);
            t.open();
            for (int i = 0; i < 300; ++i)
                addItem(t,
                    { { QStringLiteral("Description"),
                        QStringLiteral("item %1 ").arg(i).repeated(10) } });
        }
        const QByteArray whole = fileBytes(name);
        QVERIFY(whole.size() > 20000);
        writeBytes(name, whole.left(whole.size() / 3));
    } else if (kind == QLatin1String("missing field") || kind == QLatin1String("wrong type")) {
        QFile::remove(name);
        Layout layout = Layouts::item();
        if (kind == QLatin1String("missing field")) {
            layout.fields.removeIf(
                [](const FieldDef &f) { return f.name == QLatin1String("Budget"); });
            layout.indexes.removeIf(
                [](const IndexDef &i) { return i.fields.contains(QStringLiteral("Budget")); });
        } else {
            for (FieldDef &f : layout.fields)
                if (f.name == QLatin1String("Due Date"))
                    f.type = FieldType::Money;
        }
        Engine::instance().createTable(name, layout);
    } else {
        QFile::remove(name);
    }
    const QByteArray before = fileBytes(name);

    try {
        Engine::instance().verify(QStringLiteral("SCHEDULE.DB"), Layouts::item());
        QFAIL("the file passed");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(QLatin1String("schedule.DB"), Qt::CaseInsensitive),
            qPrintable(e.message()));
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    // Looking at a file does not change it.
    QVERIFY(fileBytes(name) == before);
    QCOMPARE(QFile::exists(name), kind != QLatin1String("missing"));
}

void TestEngine::messagesNameTablesNotAliases()
{
    Table work(QStringLiteral("resched.DB"));
    work.open();
    Query q(QStringLiteral("INSERT INTO {resched.DB} (\"No Such Field\") VALUES (1)"));
    QString message;
    try {
        q.open();
    } catch (const EngineError &e) {
        message = e.message();
    }
    QVERIFY2(
        message.contains(QStringLiteral("table resched.DB has no column"), Qt::CaseInsensitive),
        qPrintable(message));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
