#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/itemrules.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/payeelist.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/frmpayee.h"
#include "domain/options.h"
#include "main/windowset.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <sqlite3.h>

#include <memory>

namespace {
void addItems(const QStringList &descriptions)
{
    ScheduleBuilder schedule;
    for (const QString &d : descriptions)
        schedule.item(d).every(1, QStringLiteral("Months"));
    schedule.write();
}

// A connection of its own on payee.db, as another program would have: it
// sees only what was committed.
class OtherConnection
{
public:
    OtherConnection() { sqlite3_open(Engine::resolve(QStringLiteral("payee.db")).toUtf8(), &db); }
    ~OtherConnection() { sqlite3_close(db); }
    bool exec(const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == 0; }
    QStringList payees()
    {
        QStringList out;
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT \"Payee\" FROM data ORDER BY \"Payee\"", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            out.append(
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))));
        sqlite3_finalize(stmt);
        return out;
    }
    sqlite3 *db = nullptr;
};

QStringList stored()
{
    return OtherConnection().payees();
}

void memorizeDirectly(const QStringList &names)
{
    QVERIFY(PayeeList::memorize(names).isEmpty());
}

QStringList rows(QListView *list)
{
    QStringList out;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        out.append(list->model()->index(r, 0).data().toString());
    return out;
}

QStringList selected(QListView *list)
{
    QModelIndexList indexes = list->selectionModel()->selectedRows();
    std::sort(indexes.begin(), indexes.end());
    QStringList out;
    for (const QModelIndex &i : indexes)
        out.append(i.data().toString());
    return out;
}

void clickRow(QListView *list, int row, Qt::KeyboardModifiers modifiers = {})
{
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, modifiers, list->visualRect(index).center());
}
} // namespace

class TestPayee : public MainWindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void opensWithBothLists();
    void memorizeAndRemoveSelected();
    void typingAName_data();
    void typingAName();
    void wholeListActionsAreOneTransaction_data();
    void wholeListActionsAreOneTransaction();
    void lockedFileKeepsTheEntry();
    void mainWindowReloadsPickListAfterClosing();
    void caseOfEveryLetterAndTheUsersOrder();

private:
    QPushButton *button(const char *name) const
    {
        return w->findChild<QPushButton *>(QLatin1String(name));
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    void open();
    TFrmPayee *w = nullptr;
};

void TestPayee::init()
{
    MainWindowTest::init();
    w = qobject_cast<TFrmPayee *>(Windows::FrmPayee);
    QVERIFY(w);
}

void TestPayee::cleanup()
{
    if (w && w->isVisible()) {
        w->CancelClick();
        w->reject();
    }
    w = nullptr;
    MainWindowTest::cleanup();
}

void TestPayee::open()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}

void TestPayee::opensWithBothLists()
{
    // One line per description, whatever its case; memorized names stay off the left.
    addItems({ "Rent", "water", "Gas", "rent", "WATER", "Rent", "  " });
    memorizeDirectly({ "Water", "Phone" });
    open();
    QCOMPARE(w->unmemorizedNames(), QStringList({ "  ", "Gas", "Rent" }));
    QCOMPARE(rows(w->ListMemorized), QStringList({ "Phone", "Water" }));
    QCOMPARE(w->EditPayee->text(), QStringLiteral("Phone"));
    QVERIFY(!w->isEditing());
    // F1 opens this window's page.
    QTest::keyClick(w->ListUnmemorized, Qt::Key_F1);
    QVERIFY(m_env->desktop.helpFiles.value(0).endsWith(
        QStringLiteral("/ds_help/memorized_payee_list.hta")));
    // A blank description is never memorized.
    w->MemorizeAllClick();
    QCOMPARE(stored(), QStringList({ "Gas", "Phone", "Rent", "Water" }));
    QCOMPARE(w->unmemorizedNames(), QStringList({ "  " }));
}

void TestPayee::memorizeAndRemoveSelected()
{
    addItems({ "alpha", "bravo", "charlie", "delta", "echo" });
    memorizeDirectly({ "zulu" });
    open();
    // Shift+click from the first row, Ctrl+click to drop one, Shift+Down to extend.
    clickRow(w->ListUnmemorized, 0);
    clickRow(w->ListUnmemorized, 2, Qt::ShiftModifier);
    QCOMPARE(selected(w->ListUnmemorized), QStringList({ "alpha", "bravo", "charlie" }));
    clickRow(w->ListUnmemorized, 1, Qt::ControlModifier);
    QCOMPARE(selected(w->ListUnmemorized), QStringList({ "alpha", "charlie" }));
    clickRow(w->ListUnmemorized, 2);
    QTest::keyClick(w->ListUnmemorized, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(w->ListUnmemorized, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(selected(w->ListUnmemorized), QStringList({ "charlie", "delta", "echo" }));

    clickRow(w->ListUnmemorized, 0);
    clickRow(w->ListUnmemorized, 3, Qt::ControlModifier);
    click("ButtonMemorize");
    QCOMPARE(stored(), QStringList({ "alpha", "delta", "zulu" }));
    QCOMPARE(w->unmemorizedNames(), QStringList({ "bravo", "charlie", "echo" }));
    QCOMPARE(rows(w->ListMemorized), QStringList({ "alpha", "delta", "zulu" }));
    QVERIFY(m_env->messages.shown().isEmpty());

    // Nothing selected on the right: nothing goes.
    w->ListMemorized->clearSelection();
    click("ButtonRemove");
    QCOMPARE(stored(), QStringList({ "alpha", "delta", "zulu" }));

    // A removed name the schedule still uses comes back on the left.
    clickRow(w->ListMemorized, 1);
    clickRow(w->ListMemorized, 2, Qt::ControlModifier);
    click("ButtonRemove");
    QCOMPARE(stored(), QStringList({ "alpha" }));
    QCOMPARE(w->unmemorizedNames(), QStringList({ "bravo", "charlie", "delta", "echo" }));
}

void TestPayee::typingAName_data()
{
    QTest::addColumn<bool>("createNew"); // else type over the current name
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("message"); // empty: saved
    const QString duplicate = QStringLiteral("That payee has already been memorized.");
    QTest::newRow("new") << true << "Acme" << QStringList({ "Acme", "Bank", "Water" }) << "";
    QTest::newRow("renamed") << false << "Acme" << QStringList({ "Acme", "Water" }) << "";
    QTest::newRow("new duplicate") << true << "Water" << QStringList() << duplicate;
    QTest::newRow("other case") << true << "wATER" << QStringList() << duplicate;
    QTest::newRow("renamed to another") << false << "water" << QStringList() << duplicate;
    QTest::newRow("blank") << true << "   " << QStringList()
                           << "Type the payee's name before saving it.";
    QTest::newRow("emptied") << false << "" << QStringList()
                             << "Type the payee's name before saving it.";
}

void TestPayee::typingAName()
{
    QFETCH(bool, createNew);
    QFETCH(QString, typed);
    QFETCH(QStringList, after);
    QFETCH(QString, message);
    memorizeDirectly({ "Bank", "Water" });
    const QStringList before = stored();
    open();
    if (createNew) {
        click("ButtonNew");
        QVERIFY(w->EditPayee->hasFocus());
    } else {
        clickRow(w->ListMemorized, 0);
        w->EditPayee->setFocus();
    }
    w->EditPayee->selectAll();
    if (typed.isEmpty())
        QTest::keyClick(w->EditPayee, Qt::Key_Backspace);
    else
        QTest::keyClicks(w->EditPayee, typed);
    QVERIFY(w->isEditing());
    for (const char *off : { "ButtonNew", "ButtonMemorize", "ButtonRemove", "ButtonClose" })
        QVERIFY2(!button(off)->isEnabled(), off);
    QVERIFY(!w->ListMemorized->isEnabled());
    QVERIFY(button("ButtonMemorizeAll")->isEnabled());

    QTest::keyClick(w->EditPayee, Qt::Key_Return); // Save is the default button
    if (message.isEmpty()) {
        QVERIFY(!w->isEditing());
        QCOMPARE(stored(), after);
        QCOMPARE(rows(w->ListMemorized), after);
        QCOMPARE(w->EditPayee->text(), typed);
        QVERIFY(m_env->messages.shown().isEmpty());
        return;
    }
    // Refused: the entry stays open with what was typed, the file as it was.
    QCOMPARE(m_env->messages.texts(), QStringList({ message }));
    QVERIFY(w->isEditing());
    QCOMPARE(w->EditPayee->text(), typed);
    QCOMPARE(stored(), before);
    w->reject(); // the window keeps an open entry
    QVERIFY(w->isVisible());
    QTest::keyClick(w->EditPayee, Qt::Key_Escape); // Cancel
    QVERIFY(!w->isEditing());
    QVERIFY(w->isVisible());
    QCOMPARE(rows(w->ListMemorized), before);
    QCOMPARE(stored(), before);
}

void TestPayee::wholeListActionsAreOneTransaction_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("trigger"); // refuses one row's change half-way
    QTest::addColumn<QStringList>("afterYes");
    QTest::newRow("memorize all") << "ButtonMemorizeAll"
                                  << "Are you sure you want to memorize all unmemorized payees?"
                                  << "BEFORE INSERT ON data WHEN new.\"Payee\" = 'gas'"
                                  << QStringList({ "bank", "gas", "phone", "rent", "water" });
    QTest::newRow("remove all") << "ButtonRemoveAll"
                                << "Are you sure you want to remove all payees from the "
                                   "memorized payee list?"
                                << "BEFORE DELETE ON data WHEN old.\"Payee\" = 'water'"
                                << QStringList();
}

void TestPayee::wholeListActionsAreOneTransaction()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    QFETCH(QString, trigger);
    QFETCH(QStringList, afterYes);
    addItems({ "rent", "gas", "phone", "Bank" });
    memorizeDirectly({ "bank", "water" });
    const QStringList before = stored();
    const QByteArray name = button.toLatin1();
    open();

    m_env->messages.answer({ false });
    click(name);
    QCOMPARE(m_env->messages.texts(), QStringList({ question }));
    QCOMPARE(stored(), before);

    // Refused half-way: nothing of it is kept.
    OtherConnection other;
    QVERIFY(other.exec(
        ("CREATE TRIGGER refuse " + trigger + " BEGIN SELECT RAISE(ABORT, 'refused'); END")
            .toUtf8()));
    m_env->messages.clear();
    click(name);
    QCOMPARE(m_env->messages.shown().size(), 2);
    QCOMPARE(m_env->messages.shown().at(1).kind, QStringLiteral("error"));
    QCOMPARE(stored(), before);
    QCOMPARE(rows(w->ListMemorized), before);

    QVERIFY(other.exec("DROP TRIGGER refuse"));
    click(name);
    QCOMPARE(stored(), afterYes);
    QCOMPARE(rows(w->ListMemorized), afterYes);
    QCOMPARE(w->unmemorizedNames().isEmpty(), !afterYes.isEmpty());

    // Again on what is left: still asked, nothing changes.
    m_env->messages.clear();
    click(name);
    QCOMPARE(m_env->messages.texts(), QStringList({ question }));
    QCOMPARE(stored(), afterYes);
}

void TestPayee::lockedFileKeepsTheEntry()
{
    memorizeDirectly({ "Bank" });
    open();
    click("ButtonNew");
    QTest::keyClicks(w->EditPayee, "Acme");
    {
        OtherConnection other;
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        click("ButtonSave");
        QCOMPARE(m_env->messages.shown().size(), 1);
        QVERIFY(m_env->messages.texts().value(0).contains(QStringLiteral("locked")));
        QVERIFY(w->isEditing());
        QCOMPARE(w->EditPayee->text(), QStringLiteral("Acme"));
    }
    click("ButtonSave");
    QVERIFY(!w->isEditing());
    QCOMPARE(stored(), QStringList({ "Acme", "Bank" }));
}

void TestPayee::mainWindowReloadsPickListAfterClosing()
{
    addItems({ "rent" });
    TfrmSched *main = Windows::frmSched;
    QVERIFY(startMainWindow(5000));
    QCOMPARE(main->DBGridSched->pickList(QStringLiteral("Description")),
        QStringList({ "Click \"Payee List\" on the toolbar to add to payee list." }));
    whenModalOf("TFrmPayee", [](QWidget *window) {
        auto *payee = qobject_cast<TFrmPayee *>(window);
        QVERIFY(payee);
        payee->MemorizeAllClick();
        QTest::mouseClick(
            payee->findChild<QPushButton *>(QStringLiteral("ButtonClose")), Qt::LeftButton);
    });
    main->SpeedItem1Click();
    QCOMPARE(main->DBGridSched->pickList(QStringLiteral("Description")), QStringList({ "rent" }));
}

// SQLite's own case folding stops at ASCII, and its order puts Ä after Z.
void TestPayee::caseOfEveryLetterAndTheUsersOrder()
{
    addItems({ "Café Müller", "CAFÉ MÜLLER", "café müller", "Zebra", "Äpfel", "apple", "Bank" });
    const QStringList order = { "äpfel", "apple", "bank", "café müller", "zebra" };
    const auto keys = [](const QStringList &names) {
        QStringList out;
        for (const QString &name : names)
            out.append(PayeeList::sameNameKey(name));
        return out;
    };
    open();
    QCOMPARE(keys(w->unmemorizedNames()), order);
    w->MemorizeAllClick();
    QCOMPARE(keys(rows(w->ListMemorized)), order);
    QCOMPARE(PayeeList::memorize({ "CAFÉ MÜLLER", "ÄPFEL" }).size(), 2);
    m_env->messages.clear();
    click("ButtonNew");
    QInputMethodEvent typing;
    typing.setCommitString(QStringLiteral("café MÜLLER"));
    QApplication::sendEvent(w->EditPayee, &typing);
    QTest::keyClick(w->EditPayee, Qt::Key_Return);
    QCOMPARE(m_env->messages.texts(), QStringList({ "That payee has already been memorized." }));
    w->CancelClick();
    QCOMPARE(keys(stored()).size(), order.size());
    Table payee(TableFiles::Payee);
    QCOMPARE(keys(ItemRules::payeePickList(payee)), order);
}

QTEST_MAIN(TestPayee)
#include "tst_payee.moc"
