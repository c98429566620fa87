#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/windows.h"
#include "data/formats.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/options.h"
#include "main/windowset.h"
#include "planning/cashflowforecast.h"
#include "planning/duecalendar.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
struct Bill
{
    QString description;
    QDate due;
    double bill = 0;
    double pay = 0;
    int frequency = 0;
    QString units = QStringLiteral("One Time");
};

// Stores the items; returns their keys.
QList<qint64> add(const QList<Bill> &bills)
{
    ScheduleBuilder schedule;
    for (const Bill &b : bills) {
        schedule.item(b.description);
        if (b.due.isValid())
            schedule.due(b.due);
        if (b.bill != 0)
            schedule.expense(b.bill);
        if (b.pay != 0)
            schedule.income(b.pay);
        schedule.every(b.frequency, b.units);
    }
    return schedule.write();
}

// An amount as the lists show it ("$1,500.00", "($30.00)") read back.
double amountOf(QString text)
{
    const bool negative = text.contains(QLatin1Char('(')) || text.contains(QLatin1Char('-'));
    text.remove(QRegularExpression(QStringLiteral("[^0-9.]")));
    return (negative ? -1 : 1) * text.toDouble();
}

void clickCell(QAbstractItemView *view, const QModelIndex &index, bool twice = false)
{
    view->scrollTo(index);
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}
} // namespace

class TestPlanning : public MainWindowTest
{
    Q_OBJECT
public:
    TestPlanning()
        : MainWindowTest(CreateTables)
    { }

private Q_SLOTS:
    void cleanup();

    void calendarTotalsNavigationAndDoubleClick();
    void forecastLowestPointAndExports();
    void forecastStartingBalance_data();
    void forecastStartingBalance();
    void forecastSavedAsideAndCancelled();

private:
    TfrmSched *m_main = nullptr;
};

void TestPlanning::cleanup()
{
    m_main = nullptr;
    MainWindowTest::cleanup();
}

// Every day's totals equal the items listed for it; the keys move between
// months; a double-click makes the item the main list's current record; an
// edit shows on the next opening.
void TestPlanning::calendarTotalsNavigationAndDoubleClick()
{
    const QList<qint64> keys = add({
        { QStringLiteral("Rent"), QDate(2024, 3, 1), 900, 0, 1, QStringLiteral("Months") },
        { QStringLiteral("Phone"), QDate(2024, 3, 5), 45.5, 0, 1, QStringLiteral("Weeks") },
        { QStringLiteral("Salary"), QDate(2024, 3, 15), 0, 1500, 1, QStringLiteral("Half Months") },
        { QStringLiteral("Gym"), QDate(2024, 3, 15), 30, 0, 1, QStringLiteral("Months") },
        { QStringLiteral("Someday"), QDate(), 12 },
    });
    createAllWindows();
    m_main = Windows::frmSched;
    switchOffPrompts();
    QVERIFY(m_main->FormCreate());
    m_main->show();
    QTRY_VERIFY_WITH_TIMEOUT(m_main->startupDone(), 2000);
    auto *calendar = qobject_cast<DueCalendar *>(Windows::FrmDueCalendar);
    QVERIFY(calendar);

    QHash<QDate, QPair<double, double>> seen; // day -> expense, income
    whenModalOf("DueCalendar", [&](QWidget *shown) {
        QVERIFY(shown);
        const auto close = qScopeGuard([&] { calendar->reject(); });
        QVERIFY(QTest::qWaitForWindowExposed(calendar));
        QTRY_VERIFY(!calendar->busy());
        QCOMPARE(calendar->month(), QDate(2024, 3, 1));
        QTableView *month = calendar->monthView();
        for (int r = 0; r < month->model()->rowCount(); ++r)
            for (int c = 0; c < 7; ++c) {
                const QModelIndex index = month->model()->index(r, c);
                const QDate day = index.data(DueCalendar::DateRole).toDate();
                if (day.month() != 3)
                    continue; // a click there turns to that month
                clickCell(month, index);
                QCOMPARE(calendar->selectedDay(), day);
                double expense = 0, income = 0;
                QTableWidget *list = calendar->dayList();
                for (int row = 0; row < list->rowCount(); ++row) {
                    expense += amountOf(list->item(row, 2)->text());
                    income += amountOf(list->item(row, 3)->text());
                }
                QCOMPARE(index.data(DueCalendar::ExpenseRole).toDouble(), expense);
                QCOMPARE(index.data(DueCalendar::IncomeRole).toDouble(), income);
                seen.insert(day, { expense, income });
            }
        QTest::keyClick(calendar, Qt::Key_PageDown);
        QCOMPARE(calendar->month(), QDate(2024, 4, 1));
        QTest::keyClick(calendar, Qt::Key_Home);
        QCOMPARE(calendar->month(), QDate(2024, 3, 1));
        QTest::keyClick(calendar, Qt::Key_PageUp);
        QCOMPARE(calendar->month(), QDate(2024, 2, 1));
        calendar->showDay(QDate(2024, 3, 15));
        QTRY_VERIFY(!calendar->busy());
        QTableWidget *list = calendar->dayList();
        QCOMPARE(list->rowCount(), 2);
        const int gymRow = list->item(0, 1)->text() == QStringLiteral("Gym") ? 0 : 1;
        clickCell(list, list->model()->index(gymRow, 1), true);
    });
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    QTest::keyClick(m_main, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(!calendar->isVisible());
    QCOMPARE(m_main->TableSched->currentKey(), keys[3]);
    QCOMPARE(m_main->DBGridSched->currentIndex().row(), m_main->TableSched->currentRow());

    const QHash<QDate, QPair<double, double>> expected = {
        { QDate(2024, 3, 1), { 900, 0 } },
        { QDate(2024, 3, 5), { 45.5, 0 } },
        { QDate(2024, 3, 15), { 30, 1500 } },
        { QDate(2024, 3, 26), { 45.5, 0 } },
        { QDate(2024, 3, 30), { 0, 1500 } },
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(seen.value(it.key()), it.value());
    QCOMPARE(seen.value(QDate(2024, 3, 14)), qMakePair(0.0, 0.0));

    // An edit in the main list shows when the calendar opens again.
    m_main->TableSched->edit();
    m_main->TableSched->setValue(QStringLiteral("Bill Amount"), 35.0);
    double gym = 0;
    whenModalOf("DueCalendar", [&](QWidget *shown) {
        QVERIFY(shown);
        const auto close = qScopeGuard([&] { calendar->reject(); });
        QTRY_VERIFY(!calendar->busy());
        QAbstractItemModel *model = calendar->monthView()->model();
        for (int r = 0; r < model->rowCount(); ++r)
            for (int c = 0; c < 7; ++c)
                if (model->index(r, c).data(DueCalendar::DateRole).toDate() == QDate(2024, 3, 15))
                    gym = model->index(r, c).data(DueCalendar::ExpenseRole).toDouble();
    });
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    QTest::keyClick(m_main, Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(gym, 35.0);
}

// The lowest point with its date over two horizons; the starting balance is
// remembered; the CSV reads back through Python's csv module; the PDF is one.
void TestPlanning::forecastLowestPointAndExports()
{
    add({
        { QStringLiteral("Deposit"), QDate(2024, 3, 20), 0, 1000 },
        { QStringLiteral("Smith, \"Bob\" roofing"), QDate(2024, 3, 18), 1500 },
        { QStringLiteral("Rent"), QDate(2024, 3, 25), 500, 0, 1, QStringLiteral("Months") },
    });
    createAllWindows();
    auto *forecast = qobject_cast<CashFlowForecast *>(Windows::FrmCashFlowForecast);
    QVERIFY(forecast);
    forecast->show();
    QVERIFY(QTest::qWaitForWindowExposed(forecast));
    forecast->balanceEdit()->selectAll();
    QTest::keyClicks(forecast->balanceEdit(), QStringLiteral("600"));
    QTest::keyClick(forecast->balanceEdit(), Qt::Key_Return);
    forecast->horizonBox()->setCurrentIndex(0);
    QTRY_VERIFY(forecast->forecast() && !forecast->busy());
    // 600, then -900 on the 18th; the rent brings it back to -900 on April 25,
    // outside 30 days; the earlier day counts.
    QCOMPARE(forecast->forecast()->lowest().date, QDate(2024, 3, 18));
    QCOMPARE(forecast->forecast()->lowest().balance.toDouble(), -900.0);
    QCOMPARE(forecast->forecast()->days().size(), std::size_t(31));

    forecast->horizonBox()->setCurrentIndex(1);
    QTRY_VERIFY(!forecast->busy());
    QCOMPARE(forecast->forecast()->lowest().date, QDate(2024, 5, 25));
    QCOMPARE(forecast->forecast()->lowest().balance.toDouble(), -1400.0);

    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("forecast.csv"));
    QVERIFY(forecast->exportCsv(csv));
    QProcess python;
    python.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import csv, json, sys\n"
                           "print(json.dumps(list(csv.reader(open(sys.argv[1], newline='')))))"),
            csv });
    QVERIFY(python.waitForFinished(30000));
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 1 + 5); // header, two one-time items, rent in March, April, May
    QCOMPARE(rows[0].toArray().at(0).toString(), QStringLiteral("Due Date"));
    const QJsonArray roofing = rows[1].toArray();
    QCOMPARE(roofing.at(0).toString(), QStringLiteral("2024-03-18"));
    QCOMPARE(roofing.at(1).toString(), QStringLiteral("Smith, \"Bob\" roofing"));
    QCOMPARE(roofing.at(2).toString(), QStringLiteral("1500.00"));
    QCOMPARE(roofing.at(4).toString(), QStringLiteral("-900.00"));
    QCOMPARE(rows[5].toArray().at(4).toString(), QStringLiteral("-1400.00"));

    const QString pdf = out.filePath(QStringLiteral("forecast.pdf"));
    QVERIFY(forecast->savePdf(pdf));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-");
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 2); // no temporary left behind

    // Where nothing can be written the failure is reported.
    QVERIFY(!forecast->exportCsv(out.filePath(QStringLiteral("missing/forecast.csv"))));
    QCOMPARE(m_env->messages.shown().size(), 1);

    forecast->reject();
    forecast->balanceEdit()->setText(QStringLiteral("0"));
    forecast->show();
    QCOMPARE(forecast->balanceEdit()->text(), QStringLiteral("600"));
    QCOMPARE(forecast->horizonBox()->currentIndex(), 1);

    // Cancelled while it projects: nothing of the run is shown, nothing to save.
    forecast->horizonBox()->setCurrentIndex(3);
    QVERIFY(forecast->busy());
    forecast->findChild<QPushButton *>(QStringLiteral("ButtonCancel"))->click();
    QVERIFY(!forecast->busy());
    QTest::qWait(200);
    QVERIFY(!forecast->forecast());
    QCOMPARE(
        forecast->findChild<QTableView *>(QStringLiteral("ForecastTable"))->model()->rowCount(), 0);
    QVERIFY(!forecast->findChild<QPushButton *>(QStringLiteral("ButtonCsv"))->isEnabled());
    forecast->reject();
}

QTEST_MAIN(TestPlanning)
// The starting balance is read as the program writes money; anything else is
// refused with a message and nothing to save, never taken as 0.
void TestPlanning::forecastStartingBalance_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("balance"); // as shown; empty when refused
    QTest::newRow("plain") << "1234.5"
                           << "$1,234.50";
    QTest::newRow("grouped") << "1,234.56"
                             << "$1,234.56";
    QTest::newRow("as shown") << "$1,234.56"
                              << "$1,234.56";
    QTest::newRow("negative as shown") << "($1,234.56)"
                                       << "($1,234.56)";
    QTest::newRow("minus") << "-$0.50"
                           << "($0.50)";
    QTest::newRow("beyond any one amount") << "$99,999,999,999,999,000.01"
                                           << "$99,999,999,999,999,000.01";
    QTest::newRow("words") << "abc"
                           << "";
    QTest::newRow("misplaced group") << "1,23.45"
                                     << "";
    QTest::newRow("another currency") << "\u20ac5"
                                      << "";
}

void TestPlanning::forecastStartingBalance()
{
    QFETCH(QString, typed);
    QFETCH(QString, balance);
    createAllWindows();
    auto *forecast = qobject_cast<CashFlowForecast *>(Windows::FrmCashFlowForecast);
    QVERIFY(forecast);
    forecast->show();
    QVERIFY(QTest::qWaitForWindowExposed(forecast));
    QTRY_VERIFY(forecast->forecast() && !forecast->busy());
    forecast->balanceEdit()->setText(typed);
    QTest::keyClick(forecast->balanceEdit(), Qt::Key_Return);
    QTRY_VERIFY(!forecast->busy());
    auto *csv = forecast->findChild<QPushButton *>(QStringLiteral("ButtonCsv"));
    if (balance.isEmpty()) {
        QVERIFY(!forecast->forecast());
        QVERIFY(!csv->isEnabled());
        QVERIFY(forecast->findChild<QLabel *>(QStringLiteral("LabelLowest"))
                    ->text()
                    .contains(QStringLiteral("is not an amount")));
        return;
    }
    QTRY_VERIFY(forecast->forecast());
    QCOMPARE(Formats::money(forecast->forecast()->days().front().balance), balance);
    QVERIFY(csv->isEnabled());
}

// A long PDF is written while the window goes on answering; Cancel in its
// progress leaves no file, and the forecast shown is the same.
void TestPlanning::forecastSavedAsideAndCancelled()
{
    ScheduleBuilder schedule;
    for (int i = 0; i < 300; ++i)
        schedule.item(QStringLiteral("Payee %1").arg(i))
            .due(QDate(2024, 3, 15))
            .expense(1 + i)
            .every(1, QStringLiteral("Days"));
    schedule.write();
    createAllWindows();
    auto *forecast = qobject_cast<CashFlowForecast *>(Windows::FrmCashFlowForecast);
    forecast->show();
    forecast->horizonBox()->setCurrentIndex(3);
    QTRY_VERIFY_WITH_TIMEOUT(forecast->forecast() && !forecast->busy(), 30000);
    const CashFlow *shown = forecast->forecast();

    QTemporaryDir out;
    int ticks = 0;
    bool cancelled = false;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        if (auto *progress = forecast->findChild<QProgressDialog *>();
            progress && progress->isVisible()) {
            progress->cancel();
            cancelled = true;
        }
    });
    tick.start(20);
    QVERIFY(!forecast->savePdf(out.filePath(QStringLiteral("forecast.pdf"))));
    QVERIFY(cancelled);
    QVERIFY(ticks > 10);
    QVERIFY(QDir(out.path()).isEmpty());
    QCOMPARE(forecast->forecast(), shown);
    QVERIFY(forecast->horizonBox()->isEnabled());
    QVERIFY(m_env->messages.shown().isEmpty());
    forecast->reject();
}

#include "tst_planning.moc"
