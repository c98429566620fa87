#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/frmoptions.h"
#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/windows.h"
#include "data/table.h"
#include "domain/options.h"
#include "main/windowset.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <functional>
#include <memory>

namespace {
QStringList headers(QAbstractItemModel *model)
{
    QStringList out;
    for (int c = 0; c < model->columnCount(); ++c)
        out.append(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    return out;
}

QString cell(QTableView *grid, int row, int column)
{
    return grid->model()->index(row, column).data().toString();
}
} // namespace

class TestOptions : public MainWindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();

    void cancelChangesNothingButRecomputes();
    void okAppliesTitlesAndAgingAtOnce();
    void numberBoxes_data();
    void numberBoxes();

private:
    // Opens the dialog from the Tools menu entry and runs `act` on it while it is up.
    void withDialog(const std::function<void(TFrmOptions *)> &act);
    TfrmSched *main = nullptr;
};

void TestOptions::init()
{
    MainWindowTest::init();
    main = Windows::frmSched;
    QVERIFY(startMainWindow(5000));
}

void TestOptions::withDialog(const std::function<void(TFrmOptions *)> &act)
{
    bool ran = false;
    whenModalOf("TFrmOptions", [&](QWidget *window) {
        auto *dialog = qobject_cast<TFrmOptions *>(window);
        if (dialog)
            act(dialog);
        ran = dialog != nullptr;
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
    QAction *entry = nullptr;
    for (QAction *a : main->findChildren<QAction *>())
        if (a->text() == QStringLiteral("&Options"))
            entry = a;
    QVERIFY(entry && entry->isEnabled());
    entry->trigger();
    QVERIFY(ran);
}

void TestOptions::cancelChangesNothingButRecomputes()
{
    const Options before = OptionsStore::current();
    // An item the window has not seen yet: only a full refresh shows it.
    ScheduleBuilder()
        .item(QStringLiteral("rent"))
        .every(1, QStringLiteral("Months"))
        .due(QDate(2024, 3, 10))
        .expense(500.0)
        .write();
    QCOMPARE(cell(main->DBGridAge, 1, 1), QStringLiteral("$0.00"));
    withDialog([&](TFrmOptions *d) {
        d->CheckBoxBackupReminder->setChecked(false);
        d->UserTitle[1]->setText(QStringLiteral("changed"));
        QTest::keyClick(d, Qt::Key_Escape);
        QVERIFY(!d->isVisible());
    });
    QVERIFY(OptionsStore::current() == before);
    QCOMPARE(cell(main->DBGridAge, 1, 1), QStringLiteral("$500.00")); // expenses past due
    QCOMPARE(main->TableSched->recordCount(), 1);
}

void TestOptions::okAppliesTitlesAndAgingAtOnce()
{
    OptionsStore::instance().update([](Options &o) {
        o.agingInterval = 14;
        o.userTitles[2] = QStringLiteral("Account");
        o.confirmExit = false;
    });
    withDialog([&](TFrmOptions *d) {
        // Each opening shows the options as they are.
        QCOMPARE(d->SpinEditAgingInterval->text(), QStringLiteral("14"));
        QCOMPARE(d->UserTitle[2]->text(), QStringLiteral("Account"));
        QVERIFY(!d->CheckBoxConfirmExit->isChecked());
        d->UserTitle[0]->clear();
        QTest::keyClicks(d->UserTitle[0], QString(30, QLatin1Char('x')));
        d->UserTitle[3]->clear();
        d->SpinEditAgingInterval->setValue(30);
        d->CheckBoxConfirmExit->setChecked(true);
        QTest::mouseClick(d->ButtonOK, Qt::LeftButton);
    });
    const Options &o = OptionsStore::current();
    QCOMPARE(o.agingInterval, 30);
    QCOMPARE(o.userTitles[0], QString(25, QLatin1Char('x'))); // no more can be typed
    QCOMPARE(o.userTitles[3], QString());
    QVERIFY(o.confirmExit);
    // The list's titles and the aging headings follow at once.
    const QStringList titles = headers(main->DBGridSched->model());
    QVERIFY(titles.contains(QString(25, QLatin1Char('x'))));
    QVERIFY(titles.contains(QStringLiteral("Account")));
    QVERIFY(!titles.contains(QStringLiteral("User Field 4")));
    QCOMPARE(headers(main->DBGridAge->model()).mid(2, 4),
        QStringList({ "1 to 30 Days", "31 to 60 Days", "61 to 90 Days", "91+ Days" }));
}

void TestOptions::numberBoxes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("in range") << "42"
                              << "42";
    QTest::newRow("too large") << "1500"
                               << "999";
    QTest::newRow("negative") << "-5"
                              << "0";
    QTest::newRow("not a number") << "abc"
                                  << "0";
    QTest::newRow("empty") << ""
                           << "0";
}

void TestOptions::numberBoxes()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    withDialog([&](TFrmOptions *d) {
        auto type = [&](DaysBox *box) {
            box->setFocus();
            box->selectAll();
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClicks(box, typed);
        };
        type(d->SpinEditAgingInterval);
        QTest::keyClick(d->SpinEditAgingInterval, Qt::Key_Tab); // leaving the box reads it
        QCOMPARE(d->SpinEditAgingInterval->text(), shown);
        type(d->SpinEditDefaultWarn);
        QTest::keyClick(d->SpinEditDefaultWarn, Qt::Key_Return); // OK reads the box it leaves
        QVERIFY(!d->isVisible());
    });
    QCOMPARE(OptionsStore::current().agingInterval, shown.toInt());
    QCOMPARE(OptionsStore::current().defaultWarn, shown.toInt());
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
