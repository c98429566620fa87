#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/cashflow.h"
#include "domain/icalendar.h"
#include "domain/itemrecord.h"
#include "domain/paymentrun.h"
#include "domain/projection.h"
#include "domain/projectiontable.h"
#include "support/dataenv.h"

#include <QBuffer>
#include <QDate>
#include <QFile>
#include <QMap>
#include <QStringList>
#include <QTest>

#include <SQLiteCpp/Database.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <new>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Item
{
    QString description;
    QVariant due;
    int frequency = 0;
    QString units = QStringLiteral("One Time");
    QVariant bill = 100.0;
    QVariant pay = {};
    QVariant endDate = {};
    QVariant budget = {};
    QVariant balance = {};
};

ItemRecord recordOf(const Item &item)
{
    ItemRecord r;
    r.description = item.description;
    r.dueDate = item.due;
    r.frequency = item.frequency;
    r.units = item.units;
    r.billAmount = item.bill;
    r.payAmount = item.pay;
    r.endDate = item.endDate;
    r.budget = item.budget;
    r.balance = item.balance;
    r.warningDays = 3;
    return r;
}

void store(const QList<Item> &items)
{
    Table t(TableFiles::Schedule);
    t.open();
    for (const Item &item : items) {
        t.append();
        recordOf(item).write(t, ItemRecord::fieldNames());
        t.post();
    }
}

QString money(const QVariant &v)
{
    return v.isNull() ? QString() : QString::number(v.toDouble(), 'f', 2);
}

// The fields a payment carries from one occurrence to the next.
QString line(const ItemRecord &r)
{
    return QStringList{ r.dueDate.toDate().toString(Qt::ISODate), r.description.toString(),
        money(r.billAmount), money(r.payAmount), money(r.budget), money(r.balance),
        r.frequency.toString(), r.units.toString(), r.endDate.toDate().toString(Qt::ISODate) }
        .join(QLatin1Char('|'));
}

QStringList projected(const QList<Item> &items, const QDate &today, const QDate &until)
{
    std::vector<ScheduledItem> scheduled;
    for (const Item &item : items)
        scheduled.push_back({ qint64(scheduled.size()), recordOf(item) });
    QStringList out;
    for (const Occurrence &o : Projection::all(std::move(scheduled), today, until))
        out.append(line(o.record));
    return out;
}

// Pays every bill through the payment run and writes the next occurrences
// back, as a user paying on time would: each run takes the items falling due
// within two weeks of the earliest due date (an item's next occurrence counts
// from its due date, not the day of the run, and comes in a later run).
// Returns what history received.
QStringList payOnTime(const QDate &until)
{
    for (;;) {
        Table list(TableFiles::Schedule);
        list.setIndexName(TableFiles::DueDateIndex);
        list.open();
        QDate day;
        for (int row = 0; row < list.recordCount() && !day.isValid(); ++row) {
            list.goToRow(row);
            day = list.value(QStringLiteral("Due Date")).toDate();
        }
        if (!day.isValid() || day > until)
            break;
        inTransaction([&] {
            for (int row = 0; row < list.recordCount(); ++row) {
                list.goToRow(row);
                const QDate due = list.value(QStringLiteral("Due Date")).toDate();
                if (due.isValid() && due <= std::min(day.addDays(13), until)) {
                    list.edit();
                    list.setValue(QStringLiteral("PayNow"), PayMark);
                    list.post();
                }
            }
        });
        PaymentRun::pay(list, day);
        Table resched(TableFiles::Resched);
        resched.open();
        PaymentRun::writeBack(resched);
    }
    Table history(TableFiles::History);
    history.open();
    QStringList out;
    for (int row = 0; row < history.recordCount(); ++row) {
        history.goToRow(row);
        out.append(line(ItemRecord::read(history)));
    }
    return out;
}

QVariant date(int y, int m, int d)
{
    return QDate(y, m, d);
}

// The events of an export by UID, as "start summary", from the stored schedule.
QMap<QString, QString> exported(const QDate &today)
{
    const QByteArray ics = ICalendar::calendar(
        Projection::ahead(Projection::read(TableFiles::Schedule), today, today.addMonths(2)), {},
        QDateTime(today, QTime(8, 0)));
    QMap<QString, QString> events;
    QString uid, start;
    for (const QByteArray &line : ics.split('\n')) {
        const QString text = QString::fromUtf8(line.trimmed());
        if (text.startsWith("UID:"))
            uid = text.mid(4);
        else if (text.startsWith("DTSTART"))
            start = text.section(':', 1);
        else if (text.startsWith("SUMMARY:"))
            events.insert(uid, start + ' ' + text.mid(8));
    }
    return events;
}

} // namespace

Q_DECLARE_METATYPE(Item)

class TestProjection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesPayingOnTime_data();
    void matchesPayingOnTime();
    void endings_data();
    void endings();
    void calendarEventsKeepTheirIdentity();
    void streamedCalendarEqualsRecords();
    void boundedMemory_data();
    void boundedMemory();
};

void TestProjection::matchesPayingOnTime_data()
{
    QTest::addColumn<QDate>("today");
    QTest::newRow("common year") << QDate(2023, 1, 10);
    QTest::newRow("leap year") << QDate(2024, 1, 10);
}

// A year of the schedule, projected, equals what paying every bill on its due
// date leaves in history: dates (month ends through February included),
// amounts, budgets and balances.
void TestProjection::matchesPayingOnTime()
{
    QFETCH(QDate, today);
    DataEnv env;
    env.createTables();
    const int y = today.year();
    const QList<Item> items = {
        { QStringLiteral("Rent"), date(y, 1, 31), 1, QStringLiteral("Months"), 900.0 },
        { QStringLiteral("Paycheck"), date(y, 1, 31), 1, QStringLiteral("Half Months"), {}, 1200.0,
            {}, 1250.0, 30000.0 },
        { QStringLiteral("Car loan"), date(y, 1, 15), 10, QStringLiteral("Days"), 150.0, {}, {},
            120.0, 1000.0 },
        { QStringLiteral("Lessons"), date(y, 1, 12), 1, QStringLiteral("Weeks"), 40.0, {},
            date(y, 3, 23) },
        { QStringLiteral("Gym"), date(y, 1, 20), 2, QStringLiteral("Half Months"), 30.0, {},
            date(y, 6, 20) },
        { QStringLiteral("Insurance"), date(y - 1, 2, 28), 3, QStringLiteral("Months"), 250.0 },
        { QStringLiteral("Leap fee"),
            date(y, 2, 29).toDate().isValid() ? date(y, 2, 29) : date(y, 2, 28), 1,
            QStringLiteral("Years"), 10.0 },
        { QStringLiteral("Trip"), date(y, 5, 1), 0, QStringLiteral("One Time"), 700.0 },
        { QStringLiteral("Paper"), date(y, 1, 1), 3, QStringLiteral("Days"), 1.5, {},
            date(y, 3, 3) },
        { QStringLiteral("Undated"), QVariant(), 1, QStringLiteral("Months"), 5.0 },
        { QStringLiteral("Far off"), date(y + 3, 1, 1), 1, QStringLiteral("Months"), 5.0 },
    };
    store(items);
    const QDate until = today.addDays(365);
    // A worker reads the same records through a connection of its own.
    const std::vector<ScheduledItem> read = Projection::read(TableFiles::Schedule);
    const std::vector<ScheduledItem> snapshot = Projection::snapshot(TableFiles::Schedule);
    QCOMPARE(snapshot.size(), read.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        QCOMPARE(snapshot[i].key, read[i].key);
        for (const QString &field : ItemRecord::fieldNames())
            QCOMPARE(snapshot[i].record.value(field), read[i].record.value(field));
    }

    QStringList fromProjection = projected(items, today, until);
    QStringList fromPayments = payOnTime(until);
    QVERIFY(fromProjection.size() > 100);
    QVERIFY(std::is_sorted(fromProjection.begin(), fromProjection.end(),
        [](const QString &a, const QString &b) { return a.left(10) < b.left(10); }));
    const auto rent = fromProjection.filter(QStringLiteral("|Rent|"));
    QCOMPARE(
        rent.value(1).left(10), QDate(y, 2, QDate(y, 2, 1).daysInMonth()).toString(Qt::ISODate));
    QCOMPARE(
        rent.value(2).left(10), QDate(y, 3, QDate(y, 2, 1).daysInMonth()).toString(Qt::ISODate));
    fromProjection.sort();
    fromPayments.sort();
    QCOMPARE(fromProjection, fromPayments);
}

void TestProjection::endings_data()
{
    QTest::addColumn<Item>("item");
    QTest::addColumn<QDate>("until");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<int>("overdue");
    const QDate until(2024, 12, 31);
    QTest::newRow("no due date") << Item{ QStringLiteral("x"), {}, 1, QStringLiteral("Months") }
                                 << until << QStringList() << 0;
    QTest::newRow("one time, overdue") << Item{ QStringLiteral("x"), date(2024, 1, 5) } << until
                                       << QStringList{ "2024-01-05" } << 1;
    QTest::newRow("overdue cycles before today")
        << Item{ QStringLiteral("x"), date(2024, 1, 1), 1, QStringLiteral("Months"), 1.0, {},
               date(2024, 4, 1) }
        << until << QStringList{ "2024-01-01", "2024-02-01", "2024-03-01", "2024-04-01" } << 3;
    QTest::newRow("last date is until")
        << Item{ QStringLiteral("x"), date(2024, 12, 17), 1, QStringLiteral("Weeks") } << until
        << QStringList{ "2024-12-17", "2024-12-24", "2024-12-31" } << 0;
    QTest::newRow("steps backwards")
        << Item{ QStringLiteral("x"), date(2024, 6, 1), -1, QStringLiteral("Days") } << until
        << QStringList{ "2024-06-01" } << 0;
    QTest::newRow("unit that does not repeat")
        << Item{ QStringLiteral("x"), date(2024, 6, 1), 2, QStringLiteral("One Time") } << until
        << QStringList{ "2024-06-01" } << 0;
    QTest::newRow("days past 9999")
        << Item{ QStringLiteral("x"), date(9999, 12, 30), 1, QStringLiteral("Days") }
        << QDate(9999, 12, 31) << QStringList{ "9999-12-30", "9999-12-31" } << 0;
    QTest::newRow("years past 9999")
        << Item{ QStringLiteral("x"), date(9999, 6, 1), 1, QStringLiteral("Years") }
        << QDate(9999, 12, 31) << QStringList{ "9999-06-01" } << 0;
}

void TestProjection::endings()
{
    QFETCH(Item, item);
    QFETCH(QDate, until);
    QFETCH(QStringList, dates);
    QFETCH(int, overdue);
    const QDate today(2024, 3, 15);
    const std::vector<Occurrence> all = Projection::all({ { 7, recordOf(item) } }, today, until);
    QStringList got;
    int late = 0;
    for (const Occurrence &o : all) {
        got.append(o.dueDate().toString(Qt::ISODate));
        late += o.overdue ? 1 : 0;
        QCOMPARE(o.key, 7);
    }
    QCOMPARE(got, dates);
    QCOMPARE(late, overdue);
}

// Paying an item, editing another's amount and a day passing leave every
// occurrence still ahead under its UID; twins get two; an overdue item shows
// once, today.
void TestProjection::calendarEventsKeepTheirIdentity()
{
    DataEnv env;
    env.createTables();
    store({ { "Rent", date(2024, 3, 20), 1, "Months", 900.0 },
        { "Loan", date(2024, 3, 25), 1, "Months", 50.0 },
        { "Loan", date(2024, 3, 25), 1, "Months", 70.0 },
        { "Paper", date(2019, 1, 5), 1, "Weeks", 2.0 } });
    const QDate today(2024, 3, 15);
    const QMap<QString, QString> before = exported(today);
    QCOMPARE(before.size(), 1 + 2 + 2 + 2 + 9); // distinct UIDs, the twins' too
    const QString overdue = before.key("20240315 Overdue: Paper — $2.00");
    QVERIFY(!overdue.isEmpty());
    QCOMPARE(QStringList(before.values()).filter("Paper").size(), 1 + 9);

    Table list(TableFiles::Schedule);
    list.setIndexName(TableFiles::DueDateIndex);
    list.open();
    for (int row = 0; row < list.recordCount(); ++row) {
        list.goToRow(row);
        list.edit();
        const QString payee = list.value("Description").toString();
        if (payee == "Rent")
            list.setValue("PayNow", PayMark);
        if (payee == "Loan" && list.value("Bill Amount").toDouble() == 50.0)
            list.setValue("Bill Amount", 55.0);
        list.post();
    }
    PaymentRun::pay(list, today);
    Table resched(TableFiles::Resched);
    resched.open();
    QCOMPARE(PaymentRun::writeBack(resched), 1);

    QMap<QString, QString> gone = before;
    for (const auto &[uid, event] : exported(today).asKeyValueRange()) {
        QVERIFY2(before.contains(uid), qPrintable(event));
        QCOMPARE(event.left(8), before.value(uid).left(8));
        gone.remove(uid);
    }
    QCOMPARE(gone.values(), QStringList{ "20240320 Rent — $900.00" });
    // A day later the overdue item has moved to the new today, as the same event.
    QCOMPARE(exported(today.addDays(1)).value(overdue), "20240316 Overdue: Paper — $2.00");
}

// The streamed file, which makes an item's text once for the cycles with the
// same amounts, holds what each occurrence's own record gives: amounts that
// change from cycle to cycle, two items alike on the same day, an overdue
// item, a payee ending in a carriage return.
void TestProjection::streamedCalendarEqualsRecords()
{
    const QDate today(2024, 3, 15);
    std::vector<ScheduledItem> items;
    for (const Item &item : QList<Item>{
             { "Budgeted", date(2024, 3, 20), 1, "Weeks", 30.0, {}, {}, 50.0 },
             { "Loan", date(2024, 3, 16), 1, "Weeks", 100.0, {}, {}, {}, 450.0 },
             { "Twin", date(2024, 3, 18), 1, "Weeks" },
             { "Twin", date(2024, 3, 18), 1, "Weeks" },
             { "Late", date(2024, 2, 1), 1, "Months" },
             { "Line\r", date(2024, 3, 17), 1, "Weeks" },
         })
        items.push_back({ qint64(items.size()), recordOf(item) });
    const QDateTime stamp(today, QTime(8, 0), Qt::UTC);
    const QDate until = today.addDays(60);
    QByteArray streamed;
    QBuffer out(&streamed);
    out.open(QIODevice::WriteOnly);
    Projection projection(items, today, until);
    QCOMPARE(ICalendar::write(out, projection, {}, stamp), 47);
    const QByteArray whole = ICalendar::calendar(Projection::ahead(items, today, until), {}, stamp);
    QCOMPARE(streamed, whole);
    QVERIFY(whole.contains("-2@duesmith"));
    // The carriage return and the break after it are one line break, as in the description.
    QVERIFY(whole.contains(ICalendar::foldLine(QStringLiteral("DESCRIPTION:")
        + ICalendar::escapeText(ICalendar::description(items[5].record, {})))));
}

namespace {
qint64 addressSpace()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// Runs work in a child process whose address space may grow by room and no
// more: its exit status, 0 when work returned true.
int inBoundedChild(qint64 room, const std::function<bool()> &work)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = rlim_t(addressSpace() + room);
        int code = 3;
        if (setrlimit(RLIMIT_AS, &limit) == 0) {
            try {
                code = work() ? 0 : 1;
            } catch (const std::bad_alloc &) {
                code = 2;
            }
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
} // namespace

void TestProjection::boundedMemory_data()
{
    QTest::addColumn<bool>("calendar");
    QTest::newRow("forecast, a year") << false;
    QTest::newRow("calendar file, ten days") << true;
}

// 10,000 daily items and one that has been due every day since the year 1:
// the forecast's table and the calendar file fit in 64 MB beside what the
// program already holds, where each occurrence as a record would need gigabytes.
void TestProjection::boundedMemory()
{
#ifdef DS_SANITIZE
    QSKIP("Memory bounds are measured without AddressSanitizer, whose own memory would count.");
#endif
    QFETCH(bool, calendar);
    DataEnv env;
    env.createTables();
    {
        SQLite::Database db(
            Engine::resolve(TableFiles::Schedule).toStdString(), SQLite::OPEN_READWRITE);
        db.exec(R"(INSERT INTO data ("Due Date", "Description", "Bill Amount", "Frequency",
            "Units", "Warning Days") WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1
            FROM n WHERE i < 10000) SELECT CASE WHEN i = 0 THEN '0001-01-01' ELSE
            date('2024-03-15', (i % 7) || ' days') END, 'Payee ' || i, 1 + i % 50, 1, 'Days', 3
            FROM n)");
    }
    const QDate today(2024, 3, 15);
    const std::vector<ScheduledItem> items = Projection::read(TableFiles::Schedule);
    QCOMPARE(items.size(), std::size_t(10001));
    const int code = inBoundedChild(64 << 20, [&] {
        if (calendar) {
            QFile sink(QStringLiteral("/dev/null"));
            sink.open(QIODevice::WriteOnly);
            Projection projection(items, today, today.addDays(10));
            // Each item every day it is due, the old one once more, overdue.
            // The new items from their first day, the old one once overdue and then daily.
            return ICalendar::write(sink, projection, {}, QDateTime(today, QTime(9, 0)))
                == 80002 + 1 + 11;
        }
        const QDate until = today.addDays(365);
        ProjectionTable table(items);
        Projection projection(items, today, until, false);
        table.fill(projection, QDate(), ProjectionTable::Use::Forecast);
        const CashFlow flow(Money(), today, until, std::move(table));
        // The old item counts once overdue, then every day ahead.
        return flow.table().size() == std::size_t(3'630'002 + 1 + 366);
    });
    QCOMPARE(code, 0);
}

QTEST_GUILESS_MAIN(TestProjection)
#include "tst_projection.moc"
