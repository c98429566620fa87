#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/urgency.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/options.h"
#include "domain/reminderlist.h"
#include "main/windowset.h"
#include "payment/frmreminder.h"

#include <QBrush>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const QDate Today(2024, 3, 15);

struct Item
{
    QString description;
    QVariant due;
    QVariant warning;
};

void addItems(const QList<Item> &items)
{
    ScheduleBuilder schedule;
    for (const Item &item : items)
        schedule.item(item.description)
            .every(1, QStringLiteral("Months"))
            .due(item.due)
            .warning(item.warning);
    schedule.write();
}

QStringList listed()
{
    Table t(QStringLiteral("resched.DB"));
    t.setIndexFieldNames(QStringLiteral("Due Date;Description"));
    t.open();
    QStringList out;
    for (t.first(); !t.eof(); t.next())
        out.append(t.value(QStringLiteral("Description")).toString());
    return out;
}

QVariant dueIn(const QVariant &days)
{
    return days.isNull() ? QVariant() : QVariant(Today.addDays(days.toInt()));
}
} // namespace

class TestReminder : public MainWindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void selection_data();
    void selection();
    void copiesTheItemsInDueDateOrder();
    void shownAtStartAndClosedByContinue();
    void closeBoxEmptiesTheListToo();
    void nothingDueShowsNothing();

private:
    // FormCreate and the start-up actions with the reminder switch on; `onReminder`
    // acts on the window if it comes up.
    void start(std::function<void(TfrmReminder *)> onReminder);
};

void TestReminder::start(std::function<void(TfrmReminder *)> onReminder)
{
    TfrmSched *w = Windows::frmSched;
    OptionsStore::instance().update([&](Options &o) {
        o.intro = false;
        o.displayReminder = true;
    });
    // Watches for the window until the start-up actions are over.
    auto *watch = new QTimer;
    watch->setInterval(5);
    connect(watch, &QTimer::timeout, watch, [watch, onReminder] {
        auto *reminder = qobject_cast<TfrmReminder *>(QApplication::activeModalWidget());
        if (!reminder || !reminder->isVisible())
            return;
        watch->stop();
        onReminder(reminder);
    });
    watch->start();
    QVERIFY(w->FormCreate());
    QVERIFY(QTest::qWaitFor(
        [w] { return w->startupDone() && !QApplication::activeModalWidget(); }, 5000));
    delete watch;
}

void TestReminder::selection_data()
{
    QTest::addColumn<QVariant>("days"); // due in so many days; null: no due date
    QTest::addColumn<QVariant>("warning");
    QTest::addColumn<bool>("shown");
    QTest::newRow("in 5, warned 5") << QVariant(5) << QVariant(5) << true;
    QTest::newRow("in 5, warned 4") << QVariant(5) << QVariant(4) << false;
    QTest::newRow("no due date") << QVariant() << QVariant() << true;
    QTest::newRow("today, no warning") << QVariant(0) << QVariant() << true;
    QTest::newRow("today, warned -1") << QVariant(0) << QVariant(-1) << false;
    QTest::newRow("tomorrow, no warning") << QVariant(1) << QVariant() << false;
}

void TestReminder::selection()
{
    QFETCH(QVariant, days);
    QFETCH(QVariant, warning);
    QFETCH(bool, shown);
    addItems({ { QStringLiteral("item"), dueIn(days), warning } });
    Table work(QStringLiteral("resched.DB"));
    Table schedule(QStringLiteral("schedule.DB"));
    schedule.setReadOnly(true);
    const int count = ReminderList::build(&work, &schedule, m_env->clock.now());
    QCOMPARE(count, shown ? 1 : 0);
    QCOMPARE(listed().size(), count);
    QVERIFY(!work.isOpen());
    QVERIFY(!schedule.isOpen());
}

void TestReminder::copiesTheItemsInDueDateOrder()
{
    addItems(
        { { QStringLiteral("b"), Today, {} }, { QStringLiteral("later"), Today.addDays(9), {} },
            { QStringLiteral("A"), Today, {} }, { QStringLiteral("undated"), {}, {} },
            { QStringLiteral("early"), Today.addDays(-2), {} } });
    {
        Table t(QStringLiteral("schedule.DB"));
        t.setIndexFieldNames(QStringLiteral("Description"));
        t.open();
        QVERIFY(t.locate(1)); // "b" carries every field
        t.edit();
        t.setValue(QStringLiteral("PayNow"), PayMark);
        t.setValue(QStringLiteral("Pay Date"), Today.addDays(-1));
        t.setValue(QStringLiteral("Bill Amount"), 12.5);
        t.setValue(QStringLiteral("End Date"), Today.addDays(300));
        t.setValue(QStringLiteral("Budget"), 20.0);
        t.setValue(QStringLiteral("Balance"), 3.25);
        t.setValue(QStringLiteral("Process Date"), Today);
        for (int i = 1; i <= 4; ++i)
            t.setValue(QStringLiteral("User Field %1").arg(i), QStringLiteral("u%1").arg(i));
        t.post();
    }
    // A list left over from an interrupted run is not shown again.
    ScheduleBuilder(QStringLiteral("resched.DB")).item(QStringLiteral("stale")).every(0, {}).write();
    Table work(QStringLiteral("resched.DB"));
    Table schedule(QStringLiteral("schedule.DB"));
    QCOMPARE(ReminderList::build(&work, &schedule, m_env->clock.now()), 4);

    Query q(QStringLiteral("SELECT * FROM {resched.DB} ORDER BY PrimaryKey"));
    q.open();
    QStringList order;
    for (int r = 0; r < q.rowCount(); ++r)
        order.append(q.value(r, QStringLiteral("Description")).toString());
    // The keys are given afresh, in due-date then description order.
    QCOMPARE(order, QStringList({ "undated", "early", "A", "b" }));
    const int b = 3;
    QCOMPARE(q.value(b, QStringLiteral("PayNow")).toString(), PayMark);
    QCOMPARE(q.value(b, QStringLiteral("Pay Date")).toDate(), Today.addDays(-1));
    QCOMPARE(q.value(b, QStringLiteral("Bill Amount")).toDouble(), 12.5);
    QCOMPARE(q.value(b, QStringLiteral("Balance")).toDouble(), 3.25);
    QCOMPARE(q.value(b, QStringLiteral("User Field 4")).toString(), QStringLiteral("u4"));
    QVERIFY(q.value(b, QStringLiteral("Process Date")).isNull());
}

void TestReminder::shownAtStartAndClosedByContinue()
{
    addItems(
        { { QStringLiteral("rent"), Today, {} }, { QStringLiteral("gas"), Today.addDays(5), 5 },
            { QStringLiteral("later"), Today.addDays(30), 2 } });
    OptionsStore::instance().update(
        [&](Options &o) { o.userTitles[0] = QStringLiteral("Account"); });
    bool seen = false;
    start([&](TfrmReminder *r) {
        seen = true;
        QCOMPARE(r->windowTitle(), QStringLiteral("Overdue Items!"));
        QCOMPARE(m_env->desktop.beeps, 1);
        QVERIFY(r->CheckBoxDisplay->isChecked());
        ItemModel *model = r->DBGridReminder->itemModel();
        QCOMPARE(model->rowCount(), 2);
        const int due = model->columnOfField(QStringLiteral("Due Date"));
        QCOMPARE(model->data(model->index(0, due), Qt::ForegroundRole).value<QBrush>().color(),
            QColor(255, 0, 0));
        QCOMPARE(model->band(model->index(1, due)), 1);
        QCOMPARE(model->headerData(model->columnOfField(QStringLiteral("User Field 1")),
                     Qt::Horizontal, Qt::DisplayRole),
            QVariant(QStringLiteral("Account")));
        // Escape does nothing; F1 opens the general help page.
        QTest::keyClick(r->DBGridReminder, Qt::Key_Escape);
        QVERIFY(r->isVisible());
        QTest::keyClick(r->DBGridReminder, Qt::Key_F1);
        QCOMPARE(m_env->desktop.helpFiles.size(), 1);
        QVERIFY(m_env->desktop.helpFiles.first().endsWith(QStringLiteral("/ds_help/index.hta")));
        r->CheckBoxDisplay->setChecked(false);
        // Enter presses Continue.
        QTest::keyClick(r->DBGridReminder, Qt::Key_Return);
        QVERIFY(!r->isVisible());
        QCOMPARE(r->result(), int(QDialog::Accepted));
    });
    QVERIFY(seen);
    TfrmSched *w = Windows::frmSched;
    QVERIFY(!OptionsStore::current().displayReminder);
    QVERIFY(!w->Tableresched->isOpen());
    QVERIFY(!w->TableSched2->isOpen());
    QCOMPARE(listed(), QStringList());
    QCOMPARE(m_env->messages.texts(), QStringList());
}

void TestReminder::closeBoxEmptiesTheListToo()
{
    addItems({ { QStringLiteral("rent"), {}, {} } });
    bool seen = false;
    start([&](TfrmReminder *r) {
        seen = true;
        QCOMPARE(listed(), QStringList({ "rent" }));
        r->CheckBoxDisplay->setChecked(false);
        r->close();
    });
    QVERIFY(seen);
    QVERIFY(!OptionsStore::current().displayReminder);
    QCOMPARE(listed(), QStringList());
}

void TestReminder::nothingDueShowsNothing()
{
    addItems({ { QStringLiteral("later"), Today.addDays(10), 9 } });
    bool seen = false;
    start([&](TfrmReminder *r) {
        seen = true;
        r->close();
    });
    QVERIFY(!seen);
    QCOMPARE(m_env->desktop.beeps, 0);
    QVERIFY(!Windows::frmSched->Tableresched->isOpen());
    QVERIFY(OptionsStore::current().displayReminder);
    QCOMPARE(listed(), QStringList());
}

QTEST_MAIN(TestReminder)
#include "tst_reminder.moc"
