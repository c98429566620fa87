#include "../support/testsupport.h"
#include "app/coloredheader.h"
#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/windows.h"
#include "data/table.h"
#include "dialogs/tipwindow.h"
#include "domain/options.h"
#include "history/frmhistory.h"
#include "main/windowset.h"
#include "platform/busypointer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

namespace {
struct Paid
{
    QString description;
    QDate due;
    double bill = 0;
    int frequency = 1;
    QString units = QStringLiteral("Months");
};

void addHistory(const QList<Paid> &records)
{
    Table t(QStringLiteral("history.DB"));
    t.open();
    for (const Paid &r : records) {
        t.append();
        t.setValue(QStringLiteral("Process Date"), QDate(2024, 3, 14));
        t.setValue(QStringLiteral("Due Date"), r.due);
        t.setValue(QStringLiteral("Description"), r.description);
        t.setValue(QStringLiteral("Bill Amount"), r.bill);
        t.setValue(QStringLiteral("Frequency"), r.frequency);
        t.setValue(QStringLiteral("Units"), r.units);
        t.post();
    }
}

QList<Paid> threeBills()
{
    return { { QStringLiteral("water"), QDate(2024, 3, 20), 30 },
        { QStringLiteral("Electric"), QDate(2024, 3, 10), 80 },
        { QStringLiteral("Rent"), QDate(2024, 3, 15), 900, 0, QStringLiteral("One Time") } };
}

int historyCount()
{
    Table t(QStringLiteral("history.DB"));
    t.open();
    return t.recordCount();
}

QStringList column(TFrmHistory *w, const QString &field)
{
    QStringList out;
    ItemModel *model = w->DBGridSched->itemModel();
    const int c = model->columnOfField(field);
    for (int r = 0; r < model->rowCount(); ++r)
        out.append(model->data(model->index(r, c), Qt::DisplayRole).toString());
    return out;
}

QAction *menuEntry(QWidget *window, const QString &text)
{
    for (QAction *a : window->findChild<QMenuBar *>()->findChildren<QAction *>())
        if (a->text() == text)
            return a;
    return nullptr;
}

void clickTitle(ItemGrid *grid, int col)
{
    grid->scrollTo(grid->model()->index(0, col));
    QHeaderView *h = grid->horizontalHeader();
    const QPoint at(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
}

QPoint cellCentre(ItemGrid *grid, int row, int col)
{
    const QModelIndex index = grid->model()->index(row, col);
    grid->scrollTo(index);
    return grid->visualRect(index).center();
}

// Counts the times a widget is shown.
class ShowCounter : public QObject
{
public:
    explicit ShowCounter(QWidget *w) { w->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

void continueTipWhenShown()
{
    whenModalOf("TFrmToolTipHist", [](QWidget *tip) {
        if (tip)
            QTest::mouseClick(
                tip->findChild<QPushButton *>(QStringLiteral("ButtonContinue")), Qt::LeftButton);
    });
}
} // namespace

class TestHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void opensReadOnlyListInDueDateOrder();
    void noEditingByClickOrTyping();
    void answeringNoLeavesTableUntouched_data();
    void answeringNoLeavesTableUntouched();
    void deleteAllEmptiesAndReopensShared_data();
    void deleteAllEmptiesAndReopensShared();
    void deleteAllRefusedWhileFileInUse();
    void deleteOnEmptyHistoryReportsEngineError();
    void sortCaption_data();
    void sortCaption();
    void deletionKeepsDescriptionOrder();
    void tipOncePerOpeningUnlessSwitchedOff();
    void tipSwitchStoredWithWindow();
    void closingReleasesTableAndMainOpensModally();
    void helpKey();

private:
    void open();
    std::unique_ptr<TestEnv> m_env;
    TFrmHistory *w = nullptr;
};

void TestHistory::init()
{
    m_env = std::make_unique<TestEnv>();
    m_env->createTables();
    createAllWindows();
    w = qobject_cast<TFrmHistory *>(Windows::FrmHistory);
    QVERIFY(w);
    w->CheckBoxToolTip->setChecked(false);
}

void TestHistory::cleanup()
{
    if (w && w->isVisible())
        w->reject();
    destroyAllWindows();
    w = nullptr;
    BusyPointer::set(false);
    m_env.reset();
}

void TestHistory::open()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::qWait(5);
}

void TestHistory::opensReadOnlyListInDueDateOrder()
{
    addHistory(threeBills());
    OptionsStore::instance().update(
        [&](Options &o) { o.userTitles[1] = QStringLiteral("Account No"); });
    BusyPointer::set(true); // as the main window opens it
    open();

    QVERIFY(!BusyPointer::isBusy());
    ItemModel *model = w->DBGridSched->itemModel();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles.append(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    QCOMPARE(titles,
        QStringList({ "Process Date", "Due Date", "Description", "Expense Amount", "Income Amount",
            "Repeat Every", "Units", "End Date", "Warning Days", "Budget Amount", "Balance",
            "User Field 1", "Account No", "User Field 3", "User Field 4" }));
    QCOMPARE(column(w, "Description"), QStringList({ "Electric", "Rent", "water" }));
    // A one-time item's frequency 0 shows as an empty cell.
    QCOMPARE(column(w, "Frequency"), QStringList({ "1", "", "1" }));
    QCOMPARE(w->LabelSort->text(), QStringLiteral("Sorted by Due Date"));
    QCOMPARE(w->DBGridSched->titles()->sortSection(), model->columnOfField("Due Date"));
    QCOMPARE(w->recordText(), QStringLiteral("Record 1:3"));
    QCOMPARE(w->modeText(), QStringLiteral("Mode: Browse"));
    // No urgency colours: an overdue date is drawn like any other cell.
    const QModelIndex overdue = model->index(0, model->columnOfField("Due Date"));
    QVERIFY(!model->data(overdue, Qt::ForegroundRole).isValid());
    // Export and the report chooser are both there.
    QVERIFY(menuEntry(w, "&Export")->isEnabled());
    QVERIFY(menuEntry(w, "View &Reports")->isEnabled());
}

void TestHistory::noEditingByClickOrTyping()
{
    addHistory(threeBills());
    open();
    ItemGrid *grid = w->DBGridSched;
    const int due = grid->columnOf("Due Date");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 0, due));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 0, due));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!grid->indexWidget(grid->currentIndex())); // no cell editor

    const int units = grid->columnOf("Units");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, units));
    QTest::keyClicks(grid, "dwy");
    QTest::keyClick(grid, Qt::Key_Return);
    const int description = grid->columnOf("Description");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, description));
    QTest::keyClicks(grid, "xyz");
    QTest::keyClick(grid, Qt::Key_Down);

    QCOMPARE(w->modeText(), QStringLiteral("Mode: Browse"));
    QCOMPARE(column(w, "Due Date"), QStringList({ "3/10/2024", "3/15/2024", "3/20/2024" }));
    QCOMPARE(column(w, "Units"), QStringList({ "Months", "One Time", "Months" }));
    QCOMPARE(column(w, "Description"), QStringList({ "Electric", "Rent", "water" }));
    QVERIFY(m_env->messages.shown().isEmpty());
}

void TestHistory::answeringNoLeavesTableUntouched_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("question");
    QTest::newRow("one record") << "&Delete Record"
                                << "Are you sure you want to delete this record?";
    QTest::newRow("all records") << "D&elete All Records"
                                 << "Are you sure you want to delete all history records?";
}

void TestHistory::answeringNoLeavesTableUntouched()
{
    QFETCH(QString, entry);
    QFETCH(QString, question);
    addHistory(threeBills());
    open();
    m_env->messages.answer({ false });
    menuEntry(w, entry)->trigger();
    QCOMPARE(m_env->messages.texts(), QStringList{ question });
    QCOMPARE(historyCount(), 3);
    QCOMPARE(w->DBGridSched->itemModel()->rowCount(), 3);
    QVERIFY(w->TableSched->isOpen());
}

void TestHistory::deleteAllEmptiesAndReopensShared_data()
{
    QTest::addColumn<bool>("withRecords");
    QTest::newRow("three records") << true;
    QTest::newRow("already empty") << false;
}

void TestHistory::deleteAllEmptiesAndReopensShared()
{
    QFETCH(bool, withRecords);
    if (withRecords)
        addHistory(threeBills());
    open();
    menuEntry(w, "D&elete All Records")->trigger();

    QCOMPARE(m_env->messages.texts(),
        QStringList{ "Are you sure you want to delete all history records?" });
    QCOMPARE(historyCount(), 0); // a second handle opens: the window is back to shared use
    QVERIFY(w->TableSched->isOpen());
    QVERIFY(!w->TableSched->exclusive());
    QCOMPARE(w->DBGridSched->itemModel()->rowCount(), 0);
    QCOMPARE(w->modeText(), QStringLiteral("Mode: Browse"));
    QVERIFY(!BusyPointer::isBusy());
}

void TestHistory::deleteAllRefusedWhileFileInUse()
{
    addHistory(threeBills());
    open();
    {
        Table other(QStringLiteral("HISTORY.DB"));
        other.open();
        menuEntry(w, "D&elete All Records")->trigger();
        QCOMPARE(m_env->messages.shown().size(), 2);
        QCOMPARE(m_env->messages.shown().at(1).kind, QStringLiteral("error"));
        QVERIFY(m_env->messages.shown().at(1).text.contains(QStringLiteral("history.DB")));
        QCOMPARE(other.recordCount(), 3);
        QVERIFY(!BusyPointer::isBusy());
        QVERIFY(w->TableSched->isOpen());
        QVERIFY(!w->TableSched->exclusive());
        QCOMPARE(w->DBGridSched->itemModel()->rowCount(), 3);
    }
    QCOMPARE(historyCount(), 3);

    // Once the other handle has gone, emptying works from the same window.
    m_env->messages.clear();
    menuEntry(w, "D&elete All Records")->trigger();
    QCOMPARE(m_env->messages.shown().size(), 1);
    QCOMPARE(historyCount(), 0);
}

void TestHistory::deleteOnEmptyHistoryReportsEngineError()
{
    open();
    w->findChild<QAction *>(QStringLiteral("SpeedItemDelete"))->trigger();
    QCOMPARE(m_env->messages.texts(),
        QStringList({ "Are you sure you want to delete this record?",
            "Cannot perform this operation on an empty dataset" }));
    QCOMPARE(m_env->messages.shown().at(1).kind, QStringLiteral("error"));
    QVERIFY(!BusyPointer::isBusy());
    QCOMPARE(w->modeText(), QStringLiteral("Mode: Browse"));
}

void TestHistory::sortCaption_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("order");
    const QStringList byDue{ "Electric", "Rent", "water" };
    QTest::newRow("Repeat Every") << "Frequency"
                                  << "Sorted by Repeat"
                                  << QStringList{ "Rent", "water", "Electric" };
    QTest::newRow("Expense Amount")
        << "Bill Amount"
        << "Sorted by Expense Amount" << QStringList{ "water", "Electric", "Rent" };
    QTest::newRow("Budget Amount") << "Budget"
                                   << "Sorted by Budget" << byDue;
    QTest::newRow("Description") << "Description"
                                 << "Sorted by Description" << byDue;
    QTest::newRow("user field") << "User Field 3"
                                << "Sorted by Reference" << byDue;
}

void TestHistory::sortCaption()
{
    QFETCH(QString, field);
    QFETCH(QString, caption);
    QFETCH(QStringList, order);
    addHistory(threeBills());
    OptionsStore::instance().update(
        [&](Options &o) { o.userTitles[2] = QStringLiteral("Reference"); });
    open();
    const int col = w->DBGridSched->columnOf(field);
    clickTitle(w->DBGridSched, col);
    QCOMPARE(w->LabelSort->text(), caption);
    QCOMPARE(w->DBGridSched->titles()->sortSection(), col);
    if (field != QLatin1String("Budget") && !field.startsWith(QLatin1String("User")))
        QCOMPARE(column(w, "Description"), order);

    // Each opening starts again from the due date order.
    w->reject();
    open();
    QCOMPARE(w->LabelSort->text(), QStringLiteral("Sorted by Due Date"));
    QCOMPARE(column(w, "Description"), QStringList({ "Electric", "Rent", "water" }));
}

void TestHistory::deletionKeepsDescriptionOrder()
{
    addHistory(threeBills() + QList<Paid>{ { QStringLiteral("gas"), QDate(2024, 1, 2), 45 } });
    open();
    ItemGrid *grid = w->DBGridSched;
    const int description = grid->columnOf("Description");
    clickTitle(grid, description);
    QCOMPARE(column(w, "Description"), QStringList({ "Electric", "gas", "Rent", "water" }));

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, description));
    QCOMPARE(w->recordText(), QStringLiteral("Record 2:4"));
    m_env->messages.answer({ true });
    w->findChild<QAction *>(QStringLiteral("SpeedItemDelete"))->trigger();

    QCOMPARE(column(w, "Description"), QStringList({ "Electric", "Rent", "water" }));
    QCOMPARE(w->LabelSort->text(), QStringLiteral("Sorted by Description"));
    QCOMPARE(grid->titles()->sortSection(), description);
    QCOMPARE(historyCount(), 3);
    QVERIFY(!BusyPointer::isBusy());
}

void TestHistory::tipOncePerOpeningUnlessSwitchedOff()
{
    ShowCounter tip(Windows::FrmToolTipHist);

    open(); // the switch is off
    QTest::qWait(30);
    QCOMPARE(tip.shows, 0);

    // "Tool Tip" shows it anyway; ticking the box there turns the switch on.
    whenModalOf("TFrmToolTipHist", [](QWidget *modal) {
        QVERIFY(modal);
        modal->findChild<QCheckBox *>(QStringLiteral("CheckBoxToolTip"))->setChecked(true);
        QTest::mouseClick(
            modal->findChild<QPushButton *>(QStringLiteral("ButtonContinue")), Qt::LeftButton);
    });
    menuEntry(w, "Tool Ti&p")->trigger();
    QCOMPARE(tip.shows, 1);
    QVERIFY(w->CheckBoxToolTip->isChecked());

    // Switched on, every opening shows it once.
    for (int opening = 1; opening <= 2; ++opening) {
        w->reject();
        continueTipWhenShown();
        w->show();
        QTRY_COMPARE(tip.shows, 1 + opening);
        QTest::qWait(30);
        QCOMPARE(tip.shows, 1 + opening);
    }
}

void TestHistory::tipSwitchStoredWithWindow()
{
    open();
    w->reject();
    QSettings store(m_env->settingsFile(), QSettings::IniFormat);
    QCOMPARE(store.value(QStringLiteral("TFrmHistory/CheckBoxToolTip_Checked")).toString(),
        QStringLiteral("False"));

    // A later run starts with the switch as stored.
    w->CheckBoxToolTip->setChecked(true);
    ShowCounter tip(Windows::FrmToolTipHist);
    open();
    QTest::qWait(30);
    QVERIFY(!w->CheckBoxToolTip->isChecked());
    QCOMPARE(tip.shows, 0);
}

void TestHistory::closingReleasesTableAndMainOpensModally()
{
    addHistory(threeBills());
    bool wasModal = false;
    bool busyInside = true;
    whenModalOf("TFrmHistory", [&](QWidget *modal) {
        wasModal = modal == w;
        busyInside = BusyPointer::isBusy();
        QCOMPARE(w->DBGridSched->itemModel()->rowCount(), 3);
        menuEntry(w, "&Close")->trigger();
    });
    Windows::frmSched->HistoryClick();
    QVERIFY(wasModal);
    QVERIFY(!busyInside);
    QVERIFY(!BusyPointer::isBusy());
    QVERIFY(!w->TableSched->isOpen());

    // Nothing of the window still holds the file.
    Table exclusive(QStringLiteral("history.DB"));
    exclusive.setExclusive(true);
    exclusive.open();
    QCOMPARE(exclusive.recordCount(), 3);
}

void TestHistory::helpKey()
{
    open();
    QTest::keyClick(w->DBGridSched, Qt::Key_F1, Qt::ShiftModifier);
    QVERIFY(m_env->desktop.helpFiles.isEmpty());
    QTest::keyClick(w->DBGridSched, Qt::Key_F1);
    QCOMPARE(m_env->desktop.helpFiles.size(), 1);
    QVERIFY(
        m_env->desktop.helpFiles.first().endsWith(QStringLiteral("/ds_help/history_screen.hta")));
    QVERIFY(QFile::exists(m_env->desktop.helpFiles.first()));
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
