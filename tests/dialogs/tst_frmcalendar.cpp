#include "../support/testsupport.h"
#include "dialogs/frmcalendar.h"

#include <QAbstractItemModel>
#include <QCalendarWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {
TFrmcalendar *picker(QWidget *modal)
{
    return qobject_cast<TFrmcalendar *>(modal);
}

QTableView *monthView(QWidget *dialog)
{
    return dialog->findChild<QCalendarWidget *>()->findChild<QTableView *>();
}

// The cell of a day between the 15th and the 21st: only one cell of the
// month view can carry such a number.
QRect cellOfDay(QTableView *view, int day)
{
    QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex index = model->index(row, column);
            if (model->data(index).toString() == QString::number(day))
                return view->visualRect(index);
        }
    return {};
}
} // namespace

class TestCalendar : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnv>(); }
    void cleanup() { m_env.reset(); }

    void navigation_data();
    void navigation();
    void cancelAfterNavigatingLeavesNothingChosen();
    void doubleClickConfirmsAtOnce();
    void invalidDateOpensOnToday();
    void unusableSelectionParts_data();
    void unusableSelectionParts();

private:
    std::unique_ptr<TestEnv> m_env;
};

void TestCalendar::navigation_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QDate>("shown");
    QTest::addColumn<QString>("heading");

    QTest::newRow("31 January, month forward")
        << QDate(2024, 1, 31) << QStringList{ "ButtonMonthForward" } << QDate(2024, 2, 1)
        << "February, 2024";
    QTest::newRow("January, month back") << QDate(2024, 1, 20) << QStringList{ "ButtonMonthBack" }
                                         << QDate(2023, 12, 1) << "December, 2023";
    QTest::newRow("December, month forward")
        << QDate(2023, 12, 31) << QStringList{ "ButtonMonthForward" } << QDate(2024, 1, 1)
        << "January, 2024";
    QTest::newRow("29 February, year forward")
        << QDate(2024, 2, 29) << QStringList{ "ButtonYearForward" } << QDate(2025, 2, 1)
        << "February, 2025";
    QTest::newRow("year back twice, month back")
        << QDate(2024, 3, 15)
        << QStringList{ "ButtonYearBack", "ButtonYearBack", "ButtonMonthBack" } << QDate(2022, 2, 1)
        << "February, 2022";
}

void TestCalendar::navigation()
{
    QFETCH(QDate, start);
    QFETCH(QStringList, buttons);
    QFETCH(QDate, shown);
    QFETCH(QString, heading);

    QDate seen;
    QString seenHeading;
    whenModalOf("TFrmcalendar", [&](QWidget *modal) {
        QVERIFY(modal);
        for (const QString &name : buttons)
            QTest::mouseClick(modal->findChild<QToolButton *>(name), Qt::LeftButton);
        seen = picker(modal)->calendarDate();
        seenHeading = picker(modal)->heading();
        modal->findChild<QPushButton *>(QStringLiteral("ButtonOk"))->click();
    });
    const std::optional<QDate> picked = TFrmcalendar::pick(start);

    QCOMPARE(seen, shown);
    QCOMPARE(seenHeading, heading);
    QVERIFY(picked.has_value());
    QCOMPARE(*picked, shown);
}

void TestCalendar::cancelAfterNavigatingLeavesNothingChosen()
{
    for (const QString &how : { QStringLiteral("button"), QStringLiteral("escape") }) {
        whenModalOf("TFrmcalendar", [&](QWidget *modal) {
            QVERIFY(modal);
            QTest::mouseClick(modal->findChild<QToolButton *>(QStringLiteral("ButtonMonthForward")),
                Qt::LeftButton);
            if (how == QLatin1String("button"))
                modal->findChild<QPushButton *>(QStringLiteral("ButtonCancel"))->click();
            else
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        QCOMPARE(TFrmcalendar::pick(QDate(2024, 5, 10)), std::nullopt);
        QVERIFY(!CalendarSelection::shared().chosen);
        QCOMPARE(CalendarSelection::shared().date(), QDate(2024, 5, 10));
    }
}

void TestCalendar::doubleClickConfirmsAtOnce()
{
    bool openAfterClick = false;
    bool openAfterDoubleClick = true;
    whenModalOf("TFrmcalendar", [&](QWidget *modal) {
        QVERIFY(modal);
        QTableView *view = monthView(modal);
        const QRect cell = cellOfDay(view, 18);
        QVERIFY(cell.isValid());
        // A double click arrives as a click followed by the double click.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        openAfterClick = modal->isVisible();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        openAfterDoubleClick = modal->isVisible();
        if (openAfterDoubleClick)
            modal->findChild<QPushButton *>(QStringLiteral("ButtonCancel"))->click();
    });
    const std::optional<QDate> picked = TFrmcalendar::pick(QDate(2024, 7, 4));
    QVERIFY(openAfterClick);
    QVERIFY(!openAfterDoubleClick);
    QCOMPARE(picked, std::optional<QDate>(QDate(2024, 7, 18)));
}

void TestCalendar::invalidDateOpensOnToday()
{
    QDate seen;
    QString heading;
    whenModalOf("TFrmcalendar", [&](QWidget *modal) {
        QVERIFY(modal);
        seen = picker(modal)->calendarDate();
        heading = picker(modal)->heading();
        // Enter in the month view confirms.
        QTest::keyClick(monthView(modal), Qt::Key_Return);
    });
    const std::optional<QDate> picked = TFrmcalendar::pick(QDate());
    QCOMPARE(seen, QDate(2024, 3, 15));
    QCOMPARE(heading, QStringLiteral("March, 2024"));
    QCOMPARE(picked, std::optional<QDate>(QDate(2024, 3, 15)));
}

void TestCalendar::unusableSelectionParts_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QDate>("shown");

    QTest::newRow("day beyond the month") << 2023 << 2 << 30 << QDate(2023, 2, 1);
    QTest::newRow("month 13") << 2023 << 13 << 5 << QDate(2023, 1, 5);
    QTest::newRow("nothing usable") << 0 << 0 << 0 << QDate(1900, 1, 1);
}

void TestCalendar::unusableSelectionParts()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QDate, shown);

    CalendarSelection &selection = CalendarSelection::shared();
    selection.year = year;
    selection.month = month;
    selection.day = day;
    selection.chosen = false;
    whenModalOf("TFrmcalendar", [](QWidget *modal) {
        QVERIFY(modal);
        modal->findChild<QPushButton *>(QStringLiteral("ButtonOk"))->click();
    });
    TFrmcalendar::instance()->exec();
    QVERIFY(selection.chosen);
    QCOMPARE(selection.date(), shown);
}

QTEST_MAIN(TestCalendar)
#include "tst_frmcalendar.moc"
