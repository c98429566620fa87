#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/frmsched.h"
#include "app/summaries.h"
#include "app/urgency.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/formats.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/aging.h"
#include "domain/cashflow.h"
#include "domain/options.h"
#include "domain/projection.h"
#include "main/windowset.h"
#include "reports/engine/output.h"
#include "reports/report.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTableView>
#include <QTest>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cmath>
#include <memory>

namespace {
const QColor Maroon(128, 0, 0);
const QColor Green(0, 128, 0);
const QDate Today(2024, 3, 15);

struct Item
{
    QVariant due;
    QVariant bill;
    QVariant pay;
    QString mark;
};

void addItems(const QList<Item> &items)
{
    ScheduleBuilder schedule;
    for (const Item &item : items)
        schedule.item(QStringLiteral("item %1").arg(schedule.count() + 1))
            .every(0, {})
            .due(item.due)
            .expense(item.bill)
            .income(item.pay)
            .mark(item.mark);
    schedule.write();
}

// The aging rows as stored: Type and Amount0..Amount5 per row, in Order.
QList<QVariantList> agingRows()
{
    if (Windows::frmSched)
        Windows::frmSched->flushAgingWrites();
    Table t(QStringLiteral("age.db"));
    t.setIndexFieldNames(QStringLiteral("Order"));
    t.open();
    QList<QVariantList> rows;
    for (t.first(); !t.eof(); t.next()) {
        QVariantList row{ t.value(QStringLiteral("Order")), t.value(QStringLiteral("Type")) };
        for (int k = 0; k <= 5; ++k)
            row.append(t.value(QStringLiteral("Amount%1").arg(k)));
        rows.append(row);
    }
    return rows;
}

double aging(int row, int bucket)
{
    return agingRows().value(row).value(2 + bucket).toDouble();
}

QVariant dueIn(const QVariant &days)
{
    return days.isNull() ? QVariant() : QVariant(Today.addDays(days.toInt()));
}

QColor foreground(const QAbstractItemModel *model, int row, int column)
{
    return model->data(model->index(row, column), Qt::ForegroundRole).value<QBrush>().color();
}

int columnOf(const QAbstractItemModel *model, const QString &field)
{
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal, Qt::UserRole).toString() == field)
            return c;
    return -1;
}
} // namespace

class TestSummaries : public MainWindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void emptySchedule();
    void agingBuckets_data();
    void agingBuckets();
    void agingMatchesExactFixedPoint();
    void sumsAtTheBound_data();
    void sumsAtTheBound();
    void summaryRowsAndRemainders();
    void agingColours();
    void agingTitles_data();
    void agingTitles();
    void dueDateMarkers();
    void postFromTheListRefreshes();
    void incrementalMatchesFullRequery_data();
    void incrementalMatchesFullRequery();

private:
    TfrmSched *start();
};

TfrmSched *TestSummaries::start()
{
    return startMainWindow() ? Windows::frmSched : nullptr;
}

void TestSummaries::emptySchedule()
{
    TfrmSched *w = start();
    QVERIFY(w);
    QCOMPARE(w->QueryTotals->rowCount(), 0);
    QCOMPARE(w->QueryDuedateTotals->rowCount(), 0);
    QCOMPARE(w->DBGridPayDate->model()->rowCount(), 0);
    QCOMPARE(w->DBGridDueDate->model()->rowCount(), 0);
    const QList<QVariantList> rows = agingRows();
    QCOMPARE(rows.size(), 3);
    const char *types[] = { "Income", "Expense", "Total" };
    for (int r = 0; r < 3; ++r) {
        QCOMPARE(rows[r][0].toInt(), r);
        QCOMPARE(rows[r][1].toString(), QString::fromLatin1(types[r]));
        for (int k = 0; k <= 5; ++k)
            QCOMPARE(rows[r][2 + k].toDouble(), 0.0);
    }
    QCOMPARE(w->DBGridAge->model()->rowCount(), 3);
    QCOMPARE(m_env->messages.texts(), QStringList());
}

void TestSummaries::agingBuckets_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QVariant>("days"); // due in so many days; null: no due date
    QTest::addColumn<int>("bucket");
    QTest::newRow("no due date") << "7" << QVariant() << 0;
    QTest::newRow("today") << "7" << QVariant(0) << 0;
    QTest::newRow("tomorrow") << "7" << QVariant(1) << 1;
    QTest::newRow("in 7") << "7" << QVariant(7) << 1;
    QTest::newRow("in 8") << "7" << QVariant(8) << 2;
    QTest::newRow("in 15") << "7" << QVariant(15) << 3;
    QTest::newRow("in 22") << "7" << QVariant(22) << 4;
    QTest::newRow("interval 0, today") << "0" << QVariant(0) << 0;
    QTest::newRow("interval 0, tomorrow") << "0" << QVariant(1) << 4;
    QTest::newRow("negative interval, tomorrow") << "-3" << QVariant(1) << 4;
}

void TestSummaries::agingBuckets()
{
    QFETCH(QString, interval);
    QFETCH(QVariant, days);
    QFETCH(int, bucket);
    addItems({ { dueIn(days), 12.34, {}, {} }, { dueIn(days), {}, 5.5, {} } });
    TfrmSched *w = start();
    QVERIFY(w);
    OptionsStore::instance().update([&](Options &o) { o.agingInterval = interval.toInt(); });
    w->UpdateDueTotals();
    for (int k = 0; k <= 4; ++k) {
        QCOMPARE(aging(0, k), k == bucket ? 5.5 : 0.0);
        QCOMPARE(aging(1, k), k == bucket ? 12.34 : 0.0);
        QCOMPARE(aging(2, k), k == bucket ? 5.5 - 12.34 : 0.0);
    }
    QCOMPARE(aging(0, 5), 5.5);
    QCOMPARE(aging(1, 5), 12.34);
    QCOMPARE(aging(2, 5), 5.5 - 12.34);
}

void TestSummaries::agingMatchesExactFixedPoint()
{
    // Amounts that a double sum gets wrong, the finest amounts on both sides
    // of zero, whole numbers (stored as integers) and random ones.
    QList<Item> items;
    for (int i = 0; i < 10; ++i)
        items.append({ Today, 0.1, {}, {} });
    const double awkward[]
        = { 0.0001, -0.0001, 1.2345, -7.0001, 0.0003, 100.0, -3.0, 1e9 + 0.1234, 0.3, 0.7 };
    int n = 0;
    for (double a : awkward)
        items.append({ Today.addDays(n++ * 3 - 5), {}, a, {} });
    QRandomGenerator random(42);
    for (int i = 0; i < 300; ++i) {
        const QVariant due
            = i % 17 == 0 ? QVariant() : QVariant(Today.addDays(random.bounded(-40, 60)));
        const double amount = random.bounded(2000000) / 1000.0 - 800.0;
        items.append(i % 2 ? Item{ due, amount, {}, {} } : Item{ due, {}, amount, {} });
    }
    addItems(items);

    Aging::Sums expected;
    const QDateTime now = m_env->clock.now();
    for (const Item &item : items) {
        const int k = Urgency::bucket(item.due, 7, now);
        if (!item.bill.isNull())
            expected.expense[k] += Money::fromDouble(item.bill.toDouble());
        if (!item.pay.isNull())
            expected.income[k] += Money::fromDouble(item.pay.toDouble());
    }
    for (int k = 0; k < 5; ++k) {
        expected.expense[5] += expected.expense[k];
        expected.income[5] += expected.income[k];
    }
    const Aging::Sums sums = Aging::compute(QStringLiteral("schedule.DB"), 7, now);
    for (int k = 0; k <= 5; ++k) {
        QCOMPARE(sums.expense[k], expected.expense[k]);
        QCOMPARE(sums.income[k], expected.income[k]);
    }
    // Ten times 0.1 is exactly 1 in fixed point.
    TfrmSched *w = start();
    QVERIFY(w);
    QCOMPARE(aging(1, 0), expected.expense[0].toDouble());
    QVERIFY(Money::fromDouble(0.1).units() * 10 == 10000);
    // Text just short of 10^30 that rounds onto it is no amount, as 10^30 is not.
    QVERIFY(!Money::fromText("999999999999999999999999999999.99995"));
    QVERIFY(Money::fromText("999999999999999999999999999999.9999"));
}

// Any number of amounts at the entry bound, all due today: the program
// starts, and the aging (shown and in age.db), the totals, the printed
// summaries and the forecast carry every digit of their sums.
void TestSummaries::sumsAtTheBound_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariant>("bill");
    QTest::addColumn<QVariant>("pay");
    QTest::addColumn<QString>("expense"); // as shown
    QTest::addColumn<QString>("remainder");
    const double bound = 999999999999.99;
    QTest::newRow("two") << 2 << QVariant(bound) << QVariant() << "$1,999,999,999,999.98"
                         << "($1,999,999,999,999.98)";
    QTest::newRow("100,000") << 100000 << QVariant(bound) << QVariant()
                             << "$99,999,999,999,999,000.00"
                             << "($99,999,999,999,999,000.00)";
    QTest::newRow("100,000 of each, below zero")
        << 100000 << QVariant(-bound) << QVariant(999999999999.97) << "($99,999,999,999,999,000.00)"
        << "$199,999,999,999,996,000.00";
}

void TestSummaries::sumsAtTheBound()
{
    QFETCH(int, count);
    QFETCH(QVariant, bill);
    QFETCH(QVariant, pay);
    QFETCH(QString, expense);
    QFETCH(QString, remainder);
    {
        SQLite::Database db("schedule.DB", SQLite::OPEN_READWRITE);
        SQLite::Statement add(db,
            "INSERT INTO data (Description, Frequency, \"Due Date\", \"Bill Amount\", "
            "\"Pay Amount\") VALUES ('at the bound', 0, ?, ?, ?)");
        db.exec("BEGIN");
        for (int i = 0; i < count; ++i) {
            add.bind(1, Today.toString(Qt::ISODate).toStdString());
            add.bind(2, bill.toDouble());
            if (pay.isNull())
                add.bind(3);
            else
                add.bind(3, pay.toDouble());
            add.exec();
            add.reset();
        }
        db.exec("COMMIT");
    }
    TfrmSched *w = start();
    QVERIFY(w);
    QVERIFY2(m_env->messages.shown().isEmpty(), qPrintable(m_env->messages.texts().join('\n')));
    const QString income = Formats::money(
        Money::fromUnits(Money::fromDouble(pay.toDouble()).units() * count)); // no income is 0
    const auto shown = [](const QVariant &v) { return Formats::amount(v); };

    // Past due and total of each aging row, on screen and in age.db.
    const QList<QVariantList> stored = agingRows();
    QCOMPARE(stored.size(), 3);
    for (int k : { 0, 5 }) {
        QCOMPARE(shown(stored[0][2 + k]), income);
        QCOMPARE(shown(stored[1][2 + k]), expense);
        QCOMPARE(shown(stored[2][2 + k]), remainder);
        QCOMPARE(w->DBGridAge->model()->index(1, 1 + k).data().toString(), expense);
    }
    QCOMPARE(shown(w->QueryTotals->value(0, QStringLiteral("TotalBillAmount"))), expense);
    const QAbstractItemModel *payNow = w->DBGridPayDate->model();
    QCOMPARE(payNow->index(0, columnOf(payNow, QStringLiteral("totalremainder"))).data().toString(),
        remainder);

    // Printed: the aging as stored, and the totals with their sums.
    QProcess pdftotext;
    for (const QString &entry :
        { QStringLiteral("Summary by Due Date Range"), QStringLiteral("Summary by Pay Flag") }) {
        for (auto &report : Reports::makeReports())
            if (report->entryText() == entry)
                ReportEngine::writePdf(*report->prepare({}, {}), QStringLiteral("report.pdf"));
        pdftotext.start(QStringLiteral("pdftotext"),
            { QStringLiteral("-layout"), QStringLiteral("report.pdf"), QStringLiteral("-") });
        QVERIFY(pdftotext.waitForFinished(30000));
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(text.contains(expense) && text.contains(remainder), qPrintable(text));
    }

    // The forecast's balance after the day.
    const CashFlow flow(Money(), Today, Today,
        ProjectionTable::of(Projection::read(QStringLiteral("schedule.DB")), Today, Today));
    QCOMPARE(Formats::money(flow.days().back().balance), remainder);
}

void TestSummaries::summaryRowsAndRemainders()
{
    addItems({
        { QVariant(), 10.0, {}, {} }, // empty due date: its own row, first
        { Today, 10.0, {}, PayMark },
        { Today, {}, 4.0, {} },
        { Today.addDays(3), {}, {}, {} },
    });
    TfrmSched *w = start();
    QVERIFY(w);

    const QAbstractItemModel *pay = w->DBGridPayDate->model();
    QCOMPARE(pay->rowCount(), 2);
    const int mark = columnOf(pay, QStringLiteral("PayNow"));
    const int bill = columnOf(pay, QStringLiteral("TotalBillAmount"));
    const int income = columnOf(pay, QStringLiteral("TotalPayAmount"));
    const int rest = columnOf(pay, QStringLiteral("totalremainder"));
    const int count = columnOf(pay, QStringLiteral("totalcount"));
    // Unmarked items first, then the marked ones.
    QCOMPARE(pay->index(0, mark).data(Qt::UserRole), QVariant());
    QCOMPARE(pay->index(1, mark).data(Qt::UserRole).toString(), PayMark);
    QCOMPARE(pay->index(0, count).data().toString(), QStringLiteral("3"));
    QCOMPARE(pay->index(0, rest).data(Qt::UserRole).toDouble(), 4.0 - 10.0);
    QCOMPARE(foreground(pay, 0, rest), Maroon);
    // The marked row: an expense of 10 and no income.
    QCOMPARE(pay->index(1, income).data().toString(), QString());
    QCOMPARE(pay->index(1, bill).data().toString(), QStringLiteral("$10.00"));
    QCOMPARE(pay->index(1, rest).data().toString(), QStringLiteral("($10.00)"));
    QCOMPARE(foreground(pay, 1, rest), Maroon);
    QCOMPARE(foreground(pay, 1, bill), Maroon);
    QCOMPARE(foreground(pay, 1, income), Green);

    const QAbstractItemModel *due = w->DBGridDueDate->model();
    QCOMPARE(due->rowCount(), 3);
    const int date = columnOf(due, QStringLiteral("Due Date"));
    QCOMPARE(due->index(0, date).data().toString(), QString());
    QCOMPARE(due->index(1, date).data().toString(), QStringLiteral("3/15/2024"));
    QCOMPARE(due->index(2, date).data().toString(), QStringLiteral("3/18/2024"));
    const int dueRest = columnOf(due, QStringLiteral("totalremainder"));
    QCOMPARE(due->index(1, dueRest).data(Qt::UserRole).toDouble(), -6.0);
    // A date whose items carry no amounts has an empty remainder.
    QCOMPARE(due->index(2, dueRest).data().toString(), QString());
    QCOMPARE(due->index(2, columnOf(due, QStringLiteral("totalcount"))).data().toString(),
        QStringLiteral("1"));
    // The empty due date is past due in the aging.
    QCOMPARE(aging(1, 0), 20.0);
}

void TestSummaries::agingColours()
{
    // Bucket 0 balances to exactly 0, bucket 1 is in credit.
    addItems({ { Today, 5.0, {}, {} }, { Today, {}, 5.0, {} }, { Today.addDays(2), {}, 3.0, {} } });
    TfrmSched *w = start();
    QVERIFY(w);
    const QAbstractItemModel *age = w->DBGridAge->model();
    QCOMPARE(age->rowCount(), 3);
    for (int c = 0; c < 7; ++c) {
        QCOMPARE(foreground(age, 0, c), Green);
        QCOMPARE(foreground(age, 1, c), Maroon);
    }
    QVERIFY(!age->index(2, 0).data(Qt::ForegroundRole).isValid());
    QCOMPARE(foreground(age, 2, 1), Maroon); // exactly 0
    QCOMPARE(foreground(age, 2, 2), Green); // 3
    QCOMPARE(foreground(age, 2, 3), Maroon); // empty bucket
    QCOMPARE(foreground(age, 2, 6), Green);
}

void TestSummaries::agingTitles_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("7") << "7"
                       << QStringList{ "Type", "Past Due", "1 to 7 Days", "8 to 14 Days",
                              "15 to 21 Days", "22+ Days", "Total" };
    QTest::newRow("0") << "0"
                       << QStringList{ "Type", "Past Due", "1 to 0 Days", "1 to 0 Days",
                              "1 to 0 Days", "1+ Days", "Total" };
}

void TestSummaries::agingTitles()
{
    QFETCH(QString, interval);
    QFETCH(QStringList, titles);
    TfrmSched *w = start();
    QVERIFY(w);
    OptionsStore::instance().update([&](Options &o) { o.agingInterval = interval.toInt(); });
    w->UpdateDueTotals();
    const QAbstractItemModel *age = w->DBGridAge->model();
    QStringList shown;
    for (int c = 0; c < age->columnCount(); ++c)
        shown.append(age->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    QCOMPARE(shown, titles);
}

void TestSummaries::dueDateMarkers()
{
    addItems({ { QVariant(), 1.0, {}, {} }, { Today, 1.0, {}, {} },
        { Today.addDays(30), 1.0, {}, {} } });
    TfrmSched *w = start();
    QVERIFY(w);
    QTableView *grid = w->DBGridDueDate;
    w->resize(1400, 900);
    grid->setMinimumHeight(120); // three rows, whatever the splitters say
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    grid->clearSelection();
    grid->setCurrentIndex({});
    const int date = columnOf(grid->model(), QStringLiteral("Due Date"));
    grid->scrollTo(grid->model()->index(0, date));
    const QImage shot = grid->viewport()->grab().toImage();
    // The lowest segment of the gauge, one pixel below the cell's top.
    const auto segment = [&](int row) {
        const QRect cell = grid->visualRect(grid->model()->index(row, date));
        return shot.pixelColor(cell.left() + 8, cell.top() + 12);
    };
    QCOMPARE(segment(0), QColor(Qt::white)); // no date, no marker
    QCOMPARE(segment(1), QColor(255, 0, 0));
    QCOMPARE(segment(2), QColor(225, 225, 225)); // band 4: an empty gauge
}

void TestSummaries::postFromTheListRefreshes()
{
    TfrmSched *w = start();
    QVERIFY(w);
    Table *t = w->TableSched;
    if (t->state() == Table::State::Insert)
        t->cancel();
    t->append();
    t->setValue(QStringLiteral("Description"), QStringLiteral("rent"));
    t->setValue(QStringLiteral("Frequency"), 1);
    t->setValue(QStringLiteral("Units"), QStringLiteral("Months"));
    t->setValue(QStringLiteral("Due Date"), Today.addDays(9));
    t->setValue(QStringLiteral("Bill Amount"), 800.0);
    t->post();
    QCOMPARE(w->DBGridPayDate->model()->rowCount(), 1);
    QCOMPARE(w->DBGridDueDate->model()->rowCount(), 1);
    QCOMPARE(aging(1, 2), 800.0);
    t->remove();
    QCOMPARE(w->DBGridPayDate->model()->rowCount(), 0);
    QCOMPARE(aging(1, 2), 0.0);
}

namespace {
QList<QVariantList> queryRows(const Query &q)
{
    QList<QVariantList> rows;
    for (int r = 0; r < q.rowCount(); ++r) {
        QVariantList row;
        for (int c = 0; c < q.columns().size(); ++c)
            row.append(q.value(r, c));
        rows.append(row);
    }
    return rows;
}

QVariant randomAmount(QRandomGenerator &random)
{
    switch (random.bounded(5)) {
    case 0:
        return {};
    case 1: // the finest amounts, on both sides of zero
        return random.bounded(2) ? 0.0001 : -1.2345;
    default:
        return random.bounded(200000) / 100.0 - 300.0;
    }
}
} // namespace

// Posts, deletes and new records in the list, in a random order: after each,
// the summaries kept up to date from the changed record hold exactly what the
// full statements and the full aging give.
void TestSummaries::incrementalMatchesFullRequery_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QString>("interval");
    QTest::newRow("seed 1") << 1u << "7";
    QTest::newRow("seed 2") << 2u << "7";
    QTest::newRow("seed 3, interval 0") << 3u << "0";
    QTest::newRow("seed 4, interval 3") << 4u << "3";
}

void TestSummaries::incrementalMatchesFullRequery()
{
    QFETCH(quint32, seed);
    QFETCH(QString, interval);
    QRandomGenerator random(seed);
    const auto randomDue = [&random]() -> QVariant {
        return random.bounded(6) == 0 ? QVariant()
                                      : QVariant(Today.addDays(random.bounded(-10, 30)));
    };
    QList<Item> items;
    for (int i = 0; i < 30; ++i)
        items.append({ randomDue(), randomAmount(random), randomAmount(random),
            random.bounded(3) == 0 ? PayMark : QString() });
    addItems(items);
    TfrmSched *w = start();
    QVERIFY(w);
    OptionsStore::instance().update([&](Options &o) { o.agingInterval = interval.toInt(); });
    w->UpdateDueTotals();
    Table *t = w->TableSched;
    if (t->state() == Table::State::Insert)
        t->cancel();

    Query fullTotals(w->QueryTotals->sql());
    Query fullDueDates(w->QueryDuedateTotals->sql());
    for (int step = 0; step < 120; ++step) {
        const int action = t->isEmpty() ? 0 : random.bounded(10);
        if (action == 0) {
            t->append();
            t->setValue(QStringLiteral("Description"), QStringLiteral("new %1").arg(step));
        } else {
            t->goToRow(random.bounded(t->recordCount()));
            if (action == 1) {
                t->remove();
            } else {
                t->edit();
            }
        }
        if (t->isEditing()) {
            // Each field changes or keeps its value at random, so some posts change nothing.
            if (random.bounded(2))
                t->setValue(QStringLiteral("Due Date"), randomDue());
            if (random.bounded(2))
                t->setValue(QStringLiteral("Bill Amount"), randomAmount(random));
            if (random.bounded(2))
                t->setValue(QStringLiteral("Pay Amount"), randomAmount(random));
            if (random.bounded(2))
                t->setValue(QStringLiteral("PayNow"),
                    t->value(QStringLiteral("PayNow")).toString() == PayMark ? QString() : PayMark);
            t->post();
        }

        fullTotals.reopen();
        fullDueDates.reopen();
        QCOMPARE(queryRows(*w->QueryTotals), queryRows(fullTotals));
        QCOMPARE(queryRows(*w->QueryDuedateTotals), queryRows(fullDueDates));
        QCOMPARE(w->DBGridDueDate->model()->rowCount(), fullDueDates.rowCount());
        const Aging::Sums sums
            = Aging::compute(QStringLiteral("schedule.DB"), interval.toInt(), m_env->clock.now());
        const QList<QVariantList> stored = agingRows();
        QCOMPARE(stored.size(), 3);
        for (int k = 0; k <= 5; ++k) {
            QCOMPARE(stored[0][2 + k].toDouble(), sums.income[k].toDouble());
            QCOMPARE(stored[1][2 + k].toDouble(), sums.expense[k].toDouble());
        }
    }
    fullTotals.close();
    fullDueDates.close();
}

QTEST_MAIN(TestSummaries)
#include "tst_summaries.moc"
