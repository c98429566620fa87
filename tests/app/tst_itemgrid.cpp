#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/coloredheader.h"
#include "app/frmsched.h"
#include "app/itemdelegate.h"
#include "app/itemgrid.h"
#include "app/itemmodel.h"
#include "app/urgency.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/query.h"
#include "data/table.h"
#include "dialogs/frmcalendar.h"
#include "domain/options.h"
#include "main/windowset.h"

#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {
using Fields = QHash<QString, QVariant>;

void addItem(const Fields &values)
{
    ScheduleBuilder().item().every(1, QStringLiteral("Months")).set(values).write();
}

// A field of the stored item with this description.
QVariant stored(const QString &description, const QString &field)
{
    Query q(QStringLiteral("SELECT %1 FROM {schedule.DB} WHERE \"Description\" = '%2'")
                .arg(Engine::quote(field), description));
    q.open();
    return q.rowCount() == 1 ? q.value(0, 0)
                             : QVariant(QStringLiteral("<%1 rows>").arg(q.rowCount()));
}

int storedCount()
{
    Query q(QStringLiteral("SELECT count(*) FROM {schedule.DB}"));
    q.open();
    return q.value(0, 0).toInt();
}
} // namespace

class TestItemGrid : public MainWindowTest
{
    Q_OBJECT
public:
    TestItemGrid()
        : MainWindowTest(CreateTables)
    { }

private Q_SLOTS:
    void cleanup();

    void amountEntry_data();
    void amountEntry();
    void dateEntryNeverComplains();
    void oneTimeNormalisation_data();
    void oneTimeNormalisation();
    void newRecordDefaults_data();
    void newRecordDefaults();
    void copyOfAMarkedItem();
    void copyOnAnEmptyList();
    void markToggle();
    void urgencyBands_data();
    void urgencyBands();
    void datePickerOnAnEmptyDate();
    void payeePickListHint();
    void rowTitlesSizedAsAPlainHeaderSizesThem();
    void columnTitlesSizedAsAPlainHeaderSizesThem();
    void refusedText_data();
    void refusedText();
    void titleSort();
    void escapeCancels();
    void ctrlDeleteAsks();
    void selectionFollowsTheRecord_data();
    void selectionFollowsTheRecord();
    void unitsEditorKeys();
    void editorShownAtOnce();
    void editorStartsClean();
    void typedDates_data();
    void typedDates();
    void listsShowWholeValues();

private:
    // The selected cell, the record indicator, the status line and the table are on one row.
    void checkOneRow();
    // Where a user's key goes: the cell editor when one is open, else the list.
    void press(int key, Qt::KeyboardModifiers mods = {});
    void start();
    QModelIndex cell(int row, const QString &field) const;
    void click(int row, const QString &field);
    // Types into a cell through its editor and leaves the editor with Return.
    void type(int row, const QString &field, const QString &text);
    // Leaves the row: Return on the grid posts the record.
    void post();
    int rowOf(const QString &description) const;

    TfrmSched *m_window = nullptr;
    ItemGrid *m_grid = nullptr;
};

void TestItemGrid::cleanup()
{
    // The end of a run: the window closes before it is destroyed.
    if (Windows::frmSched) {
        OptionsStore::instance().update([&](Options &o) {
            o.confirmExit = false;
            o.backupReminder = false;
        });
        if (Windows::frmSched->TableSched->isEditing())
            Windows::frmSched->TableSched->cancel();
        Windows::frmSched->close();
    }
    m_window = nullptr;
    m_grid = nullptr;
    MainWindowTest::cleanup();
}

void TestItemGrid::start()
{
    createAllWindows();
    m_window = Windows::frmSched;
    switchOffPrompts();
    OptionsStore::instance().update([&](Options &o) {
        o.confirmExit = false;
        o.backupReminder = false;
    });
    QVERIFY(m_window->FormCreate());
    m_window->resize(1200, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTRY_VERIFY(m_window->startupDone());
    m_grid = m_window->DBGridSched;
    m_grid->setFocus();
}

QModelIndex TestItemGrid::cell(int row, const QString &field) const
{
    return m_grid->model()->index(row, m_grid->columnOf(field));
}

int TestItemGrid::rowOf(const QString &description) const
{
    for (int r = 0; r < m_grid->model()->rowCount(); ++r)
        if (cell(r, QStringLiteral("Description")).data().toString() == description)
            return r;
    return -1;
}

void TestItemGrid::click(int row, const QString &field)
{
    const QModelIndex index = cell(row, field);
    m_grid->scrollTo(index);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(index).center());
    QCOMPARE(m_grid->currentIndex(), index);
}

void TestItemGrid::type(int row, const QString &field, const QString &text)
{
    click(row, field);
    QTest::keyClick(m_grid, text.at(0).toLatin1());
    QWidget *editor = m_grid->indexWidget(m_grid->currentIndex());
    if (!editor)
        editor = QApplication::focusWidget();
    QVERIFY(editor && editor != m_grid);
    QWidget *target = editor;
    if (auto *combo = qobject_cast<QComboBox *>(editor); combo && combo->lineEdit())
        target = combo->lineEdit();
    QTest::keyClicks(target, text.mid(1));
    QTest::keyClick(target, Qt::Key_Return);
    // The editor hands its text over on the next turn of the event loop.
    QCoreApplication::processEvents();
}

void TestItemGrid::post()
{
    QTest::keyClick(m_grid, Qt::Key_Return);
}

void TestItemGrid::amountEntry_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("bill");
    QTest::addColumn<QVariant>("pay");

    // The item starts with an income of 100.
    QTest::newRow("expense clears the income") << "Bill Amount"
                                               << "12.50" << QVariant(12.5) << QVariant();
    QTest::newRow("negative keeps the income") << "Bill Amount"
                                               << "-5" << QVariant(-5.0) << QVariant(100.0);
    QTest::newRow("zero keeps the income") << "Bill Amount"
                                           << "0" << QVariant(0.0) << QVariant(100.0);
    QTest::newRow("bad text empties the amount") << "Bill Amount"
                                                 << "abc" << QVariant() << QVariant(100.0);
    QTest::newRow("grouping is not a number") << "Bill Amount"
                                              << "1,000" << QVariant() << QVariant(100.0);
    QTest::newRow("new income") << "Pay Amount"
                                << "250.5" << QVariant() << QVariant(250.5);
}

void TestItemGrid::amountEntry()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QVariant, bill);
    QFETCH(QVariant, pay);

    addItem({ { QStringLiteral("Description"), QStringLiteral("salary") },
        { QStringLiteral("Pay Amount"), 100.0 } });
    start();
    type(0, field, text);
    post();

    QCOMPARE(m_env->messages.texts(), QStringList());
    QCOMPARE(stored(QStringLiteral("salary"), QStringLiteral("Bill Amount")), bill);
    QCOMPARE(stored(QStringLiteral("salary"), QStringLiteral("Pay Amount")), pay);
}

void TestItemGrid::dateEntryNeverComplains()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) },
        { QStringLiteral("End Date"), QDate(2025, 1, 1) } });
    start();
    type(0, QStringLiteral("Due Date"), QStringLiteral("abc"));
    type(0, QStringLiteral("End Date"), QStringLiteral("4/5/2026"));
    post();
    QCOMPARE(m_env->messages.texts(), QStringList());
    QVERIFY(stored(QStringLiteral("rent"), QStringLiteral("Due Date")).isNull());
    QCOMPARE(
        stored(QStringLiteral("rent"), QStringLiteral("End Date")).toDate(), QDate(2026, 4, 5));
}

void TestItemGrid::oneTimeNormalisation_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<int>("unitKey");
    QTest::addColumn<int>("storedFrequency");
    QTest::addColumn<QString>("storedUnits");
    QTest::newRow("3 One Time") << "3" << int(Qt::Key_O) << 0 << "One Time";
    QTest::newRow("0 Months") << "0" << int(Qt::Key_M) << 0 << "One Time";
    QTest::newRow("2 Weeks") << "2" << int(Qt::Key_W) << 2 << "Weeks";
}

void TestItemGrid::oneTimeNormalisation()
{
    QFETCH(QString, frequency);
    QFETCH(int, unitKey);
    QFETCH(int, storedFrequency);
    QFETCH(QString, storedUnits);

    addItem({ { QStringLiteral("Description"), QStringLiteral("gym") } });
    start();
    type(0, QStringLiteral("Frequency"), frequency);
    click(0, QStringLiteral("Units"));
    QTest::keyClick(m_grid, Qt::Key(unitKey));
    // Every key is taken by the unit column, Return too: post from another cell.
    click(0, QStringLiteral("Description"));
    post();
    QCOMPARE(m_env->messages.texts(), QStringList());
    QCOMPARE(stored(QStringLiteral("gym"), QStringLiteral("Frequency")).toInt(), storedFrequency);
    QCOMPARE(stored(QStringLiteral("gym"), QStringLiteral("Units")).toString(), storedUnits);
}

void TestItemGrid::newRecordDefaults_data()
{
    QTest::addColumn<QString>("defaultWarn");
    QTest::addColumn<QVariant>("warningDays");
    QTest::newRow("no default") << "0" << QVariant();
    QTest::newRow("three days") << "3" << QVariant(3);
}

void TestItemGrid::newRecordDefaults()
{
    QFETCH(QString, defaultWarn);
    QFETCH(QVariant, warningDays);

    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") } });
    start();
    OptionsStore::instance().update([&](Options &o) { o.defaultWarn = defaultWarn.toInt(); });
    click(0, QStringLiteral("Description"));
    m_window->SpeedItemNewClick();
    QTest::qWait(20);

    Table *t = m_window->TableSched;
    QCOMPARE(t->state(), Table::State::Insert);
    QCOMPARE(t->value(QStringLiteral("Warning Days")), warningDays);
    QCOMPARE(t->value(QStringLiteral("Frequency")).toInt(), 1);
    QCOMPARE(t->value(QStringLiteral("Units")).toString(), QStringLiteral("Months"));
    QCOMPARE(m_grid->currentField(), QStringLiteral("PayNow"));

    type(m_grid->currentIndex().row(), QStringLiteral("Description"), QStringLiteral("water"));
    post();
    QCOMPARE(stored(QStringLiteral("water"), QStringLiteral("Warning Days")), warningDays);
    QCOMPARE(stored(QStringLiteral("water"), QStringLiteral("Units")).toString(),
        QStringLiteral("Months"));
}

void TestItemGrid::copyOfAMarkedItem()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) }, { QStringLiteral("Bill Amount"), 900.0 },
        { QStringLiteral("Budget"), 950.0 },
        { QStringLiteral("User Field 2"), QStringLiteral("lease") },
        { QStringLiteral("PayNow"), PayMark } });
    start();
    click(0, QStringLiteral("Due Date"));
    m_window->SpeedItemCopyClick();

    QCOMPARE(m_env->messages.texts(), QStringList());
    Query q(QStringLiteral("SELECT \"PrimaryKey\", \"PayNow\", \"Bill Amount\", \"Budget\", \"User "
                           "Field 2\", \"Due Date\" "
                           "FROM {schedule.DB} ORDER BY \"PrimaryKey\""));
    q.open();
    QCOMPARE(q.rowCount(), 2);
    QVERIFY(q.value(1, 0).toLongLong() > q.value(0, 0).toLongLong());
    QCOMPARE(q.value(0, 1).toString(), PayMark);
    QVERIFY2(q.value(1, 1).isNull(), "the copy is marked");
    for (int c = 2; c <= 5; ++c)
        QCOMPARE(q.value(1, c), q.value(0, c));
    QCOMPARE(m_grid->currentField(), QStringLiteral("PayNow"));
    Query work(QStringLiteral("SELECT count(*) FROM {resched.DB}"));
    work.open();
    QCOMPARE(work.value(0, 0).toInt(), 0);
}

void TestItemGrid::copyOnAnEmptyList()
{
    start();
    // The start on an empty schedule opens a new record; leave it first.
    QCOMPARE(m_window->TableSched->state(), Table::State::Insert);
    click(0, QStringLiteral("Description"));
    QTest::keyClick(m_grid, Qt::Key_Escape);
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);

    m_window->SpeedItemCopyClick();
    QCOMPARE(m_env->messages.texts(), QStringList());
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    QCOMPARE(storedCount(), 0);
}

void TestItemGrid::markToggle()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("b") },
        { QStringLiteral("Due Date"), QDate(2024, 5, 1) } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("a") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) } });
    start();
    const int row = rowOf(QStringLiteral("b"));
    QCOMPARE(row, 1);

    // One press marks and posts at once.
    click(row, QStringLiteral("PayNow"));
    QCOMPARE(stored(QStringLiteral("b"), QStringLiteral("PayNow")).toString(), PayMark);
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    QVERIFY(stored(QStringLiteral("a"), QStringLiteral("PayNow")).isNull());

    QTest::keyClick(m_grid, Qt::Key_Space);
    QVERIFY(stored(QStringLiteral("b"), QStringLiteral("PayNow")).isNull());
    QTest::keyClick(m_grid, Qt::Key_7);
    QCOMPARE(stored(QStringLiteral("b"), QStringLiteral("PayNow")).toString(), PayMark);
    // Other characters are swallowed: no editor opens on the mark column.
    QTest::keyClick(m_grid, Qt::Key_Plus);
    QCOMPARE(stored(QStringLiteral("b"), QStringLiteral("PayNow")).toString(), PayMark);
    QVERIFY(!m_grid->indexWidget(m_grid->currentIndex()));
    QCOMPARE(m_env->messages.texts(), QStringList());
}

void TestItemGrid::urgencyBands_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("band");
    QTest::addColumn<QColor>("colour");
    const QColor red(255, 0, 0), orange(255, 128, 0), green(0, 128, 0), blue(0, 0, 255),
        black(0, 0, 0);
    QTest::newRow("last year") << -365 << 0 << red;
    QTest::newRow("today") << 0 << 0 << red;
    QTest::newRow("tomorrow") << 1 << 1 << orange;
    QTest::newRow("7 days") << 7 << 1 << orange;
    QTest::newRow("8 days") << 8 << 2 << green;
    QTest::newRow("14 days") << 14 << 2 << green;
    QTest::newRow("15 days") << 15 << 3 << blue;
    QTest::newRow("21 days") << 21 << 3 << blue;
    QTest::newRow("22 days") << 22 << 4 << black;
}

void TestItemGrid::urgencyBands()
{
    QFETCH(int, days);
    QFETCH(int, band);
    QFETCH(QColor, colour);

    const QDate today = m_env->clock.today();
    addItem({ { QStringLiteral("Description"), QStringLiteral("due") },
        { QStringLiteral("Due Date"), today.addDays(days) } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("undated") } });
    start();
    OptionsStore::instance().update([&](Options &o) { o.agingInterval = 7; });

    const ItemModel *model = m_grid->itemModel();
    const int row = rowOf(QStringLiteral("due"));
    const QModelIndex index = cell(row, QStringLiteral("Due Date"));
    QCOMPARE(model->band(index), band);
    QCOMPARE(index.data(Qt::ForegroundRole).value<QBrush>().color(), colour);
    QCOMPARE(model->band(cell(rowOf(QStringLiteral("undated")), QStringLiteral("Due Date"))),
        Urgency::NoBand);
}

void TestItemGrid::datePickerOnAnEmptyDate()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") } });
    start();
    click(0, QStringLiteral("Due Date"));

    QDate shown;
    bool seen = false;
    whenModalOf("TFrmcalendar", [&](QWidget *w) {
        auto *picker = qobject_cast<TFrmcalendar *>(w);
        if (!picker)
            return;
        seen = true;
        shown = picker->calendarDate();
        picker->reject();
    });
    QTest::keyClick(m_grid, Qt::Key_F4);
    QVERIFY(seen);
    QCOMPARE(shown, m_env->clock.today());
    QVERIFY(m_window->TableSched->isNull(QStringLiteral("Due Date")));
    post();
    QVERIFY(stored(QStringLiteral("rent"), QStringLiteral("Due Date")).isNull());
    QCOMPARE(m_env->messages.texts(), QStringList());
}

void TestItemGrid::payeePickListHint()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") } });
    start();
    click(0, QStringLiteral("Description"));
    QTest::keyClick(m_grid, Qt::Key_X);
    auto *combo = qobject_cast<QComboBox *>(m_grid->indexWidget(m_grid->currentIndex()));
    QVERIFY(combo);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    QCOMPARE(items,
        QStringList{ QStringLiteral("Click \"Payee List\" on the toolbar to add to payee list.") });
}

// Row titles that show the same are measured once: the size must still be a
// plain header's, wherever the current record (the one marked title) is.
void TestItemGrid::rowTitlesSizedAsAPlainHeaderSizesThem()
{
    ScheduleBuilder items;
    for (int i = 0; i < 250; ++i)
        items.item(QStringLiteral("item %1").arg(i)).every(1, QStringLiteral("Months"));
    items.write();
    start();
    QHeaderView plain(Qt::Vertical);
    plain.setModel(m_grid->model());
    plain.setFont(m_grid->verticalHeader()->font());
    for (int row : { 0, 99, 100, 150, 249 }) {
        m_window->TableSched->goToRow(row);
        Q_EMIT m_grid->model()->headerDataChanged(Qt::Vertical, 0, 249);
        QCOMPARE(m_grid->verticalHeader()->sizeHint(), plain.sizeHint());
    }
}

// The column titles keep their measured size over changes of cells, and are
// measured again when a title changes.
void TestItemGrid::columnTitlesSizedAsAPlainHeaderSizesThem()
{
    ScheduleBuilder items;
    for (int i = 0; i < 30; ++i)
        items.item(QStringLiteral("item %1").arg(i)).every(1, QStringLiteral("Months"));
    items.write();
    start();
    QHeaderView *titles = m_grid->horizontalHeader();
    const auto plainSize = [&] {
        QHeaderView plain(Qt::Horizontal);
        plain.setModel(m_grid->model());
        plain.setFont(titles->font());
        for (int c = 0; c < titles->count(); ++c)
            plain.resizeSection(c, titles->sectionSize(c));
        return plain.sizeHint();
    };
    const QSize before = titles->sizeHint();
    QCOMPARE(before, plainSize());
    Table *t = m_window->TableSched;
    t->close();
    t->open();
    QCOMPARE(titles->sizeHint(), before);
    t->setDisplayLabel(QStringLiteral("Description"), QStringLiteral("Payee\nor\nsource"));
    m_grid->itemModel()->headerTitlesChanged();
    QVERIFY(titles->sizeHint().height() > before.height());
    QCOMPARE(titles->sizeHint(), plainSize());
}

void TestItemGrid::refusedText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("budget")
        << "Budget"
        << "abc"
        << "'abc' is not a valid floating point value for field 'Budget Amount'";
    QTest::newRow("balance") << "Balance"
                             << "1o"
                             << "'1o' is not a valid floating point value for field 'Balance'";
    QTest::newRow("frequency") << "Frequency"
                               << "x"
                               << "'x' is not a valid integer value for field 'Repeat'";
    QTest::newRow("warning days") << "Warning Days"
                                  << "2.5"
                                  << "'2.5' is not a valid integer value for field 'Warning Days'";
}

void TestItemGrid::refusedText()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);

    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") },
        { QStringLiteral("Budget"), 50.0 }, { QStringLiteral("Balance"), 20.0 },
        { QStringLiteral("Warning Days"), 4 } });
    start();
    const QVariant before = stored(QStringLiteral("rent"), field);
    type(0, field, text);
    QCOMPARE(m_env->messages.texts(), QStringList{ message });
    // Escape twice, where the user's keys go: once for the typed text, once for the record.
    press(Qt::Key_Escape);
    QCOMPARE(m_window->TableSched->state(), Table::State::Edit);
    press(Qt::Key_Escape);
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    QCOMPARE(stored(QStringLiteral("rent"), field), before);
}

void TestItemGrid::titleSort()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("zoo") },
        { QStringLiteral("Due Date"), QDate(2024, 1, 1) } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("Apple") },
        { QStringLiteral("Due Date"), QDate(2024, 2, 1) } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("bank") },
        { QStringLiteral("Due Date"), QDate(2024, 3, 1) } });
    start();
    QCOMPARE(m_window->LabelSort->text(), QStringLiteral("Sorted by Due Date"));
    QHeaderView *header = m_grid->horizontalHeader();
    const int column = m_grid->columnOf(QStringLiteral("Description"));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
            header->height() / 2));
    QCOMPARE(m_window->LabelSort->text(), QStringLiteral("Sorted by Payee"));
    QStringList order;
    for (int r = 0; r < m_grid->model()->rowCount(); ++r)
        order.append(cell(r, QStringLiteral("Description")).data().toString());
    QCOMPARE(order,
        (QStringList{ QStringLiteral("Apple"), QStringLiteral("bank"), QStringLiteral("zoo") }));
}

void TestItemGrid::escapeCancels()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") },
        { QStringLiteral("Bill Amount"), 900.0 } });
    start();
    type(0, QStringLiteral("Bill Amount"), QStringLiteral("5"));
    type(0, QStringLiteral("Description"), QStringLiteral("changed"));
    QCOMPARE(m_window->TableSched->state(), Table::State::Edit);
    QTest::keyClick(m_grid, Qt::Key_Escape);
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    QCOMPARE(cell(0, QStringLiteral("Description")).data().toString(), QStringLiteral("rent"));
    QCOMPARE(stored(QStringLiteral("rent"), QStringLiteral("Bill Amount")).toDouble(), 900.0);
    QCOMPARE(storedCount(), 1);
}

void TestItemGrid::ctrlDeleteAsks()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("gas") } });
    start();
    click(rowOf(QStringLiteral("gas")), QStringLiteral("Description"));

    m_env->messages.answer({ false });
    QTest::keyClick(m_grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_env->messages.shown().size(), 1);
    QCOMPARE(m_env->messages.shown().first().kind, QStringLiteral("okcancel"));
    QCOMPARE(m_env->messages.shown().first().text, QStringLiteral("Delete record?"));
    QCOMPARE(storedCount(), 2);

    m_env->messages.answer({ true });
    QTest::keyClick(m_grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(storedCount(), 1);
    QCOMPARE(stored(QStringLiteral("rent"), QStringLiteral("Description")).toString(),
        QStringLiteral("rent"));
}

void TestItemGrid::press(int key, Qt::KeyboardModifiers mods)
{
    QCoreApplication::processEvents();
    QWidget *target = QApplication::focusWidget();
    QVERIFY(target == m_grid || m_grid->isAncestorOf(target));
    QTest::keyClick(target, Qt::Key(key), mods);
    QCoreApplication::processEvents();
}

void TestItemGrid::checkOneRow()
{
    QCoreApplication::processEvents();
    const Table *t = m_window->TableSched;
    const int row = t->currentRow();
    QCOMPARE(m_grid->currentIndex().row(), row);
    QCOMPARE(
        m_grid->selectionModel()->selectedIndexes(), QModelIndexList{ m_grid->currentIndex() });
    for (int r = 0; r < m_grid->model()->rowCount(); ++r)
        QCOMPARE(!m_grid->model()->headerData(r, Qt::Vertical).toString().isEmpty(), r == row);
    QStringList status;
    for (QLabel *label : m_window->statusBar()->findChildren<QLabel *>())
        status.append(label->text());
    QVERIFY2(status.contains(QStringLiteral("%1:%2").arg(row + 1).arg(t->recordCount())),
        qPrintable(status.join(QLatin1Char('|'))));
}

void TestItemGrid::selectionFollowsTheRecord_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("refused new record") << "refused";
    QTest::newRow("saved row moves") << "moved";
    QTest::newRow("saved new record moves") << "new";
}

void TestItemGrid::selectionFollowsTheRecord()
{
    QFETCH(QString, how);
    for (const auto &[name, month] : { std::pair{ "a", 4 }, { "b", 5 }, { "c", 6 } })
        addItem({ { QStringLiteral("Description"), QString::fromLatin1(name) },
            { QStringLiteral("Due Date"), QDate(2024, month, 1) } });
    start();
    QString marked;
    if (how == QLatin1String("refused")) {
        click(1, QStringLiteral("Description"));
        m_window->findChild<QAction *>(QStringLiteral("SpeedItemNew"))->trigger();
        QTest::qWait(20);
        checkOneRow();
        type(1, QStringLiteral("Bill Amount"), QStringLiteral("12"));
        // Another row's mark cell: the new record cannot be stored without a payee.
        const QModelIndex other = cell(3, QStringLiteral("PayNow"));
        QTest::mouseClick(
            m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(other).center());
        QCOMPARE(m_env->messages.texts(),
            QStringList{ QStringLiteral("Field 'Description' must have a value") });
        checkOneRow();
        QCOMPARE(m_window->TableSched->state(), Table::State::Insert);
        press(Qt::Key_Escape);
        checkOneRow();
        QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
        press(Qt::Key_Space);
        checkOneRow();
        marked
            = cell(m_grid->currentIndex().row(), QStringLiteral("Description")).data().toString();
    } else if (how == QLatin1String("new")) {
        // A new record typed at the top takes its sorted place when it is saved by Return;
        // the next click lands on a payee.
        click(0, QStringLiteral("Description"));
        m_window->findChild<QAction *>(QStringLiteral("SpeedItemNew"))->trigger();
        QTest::qWait(20);
        type(0, QStringLiteral("Description"), QStringLiteral("d"));
        type(0, QStringLiteral("Due Date"), QStringLiteral("8/1/2024"));
        post();
        checkOneRow();
        QCOMPARE(rowOf(QStringLiteral("d")), 3);
        QCOMPARE(m_grid->currentIndex().row(), 3);
        click(1, QStringLiteral("Description"));
        checkOneRow();
        press(Qt::Key_Down);
        checkOneRow();
        const QModelIndex mark = cell(2, QStringLiteral("PayNow"));
        QTest::mouseClick(
            m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(mark).center());
        marked = cell(2, QStringLiteral("Description")).data().toString();
        checkOneRow();
        QCOMPARE(m_env->messages.texts(), QStringList());
    } else {
        type(0, QStringLiteral("Due Date"), QStringLiteral("7/1/2024"));
        // b's mark cell: the post moves a to the end, b to the first row.
        const QModelIndex b = cell(1, QStringLiteral("PayNow"));
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, m_grid->visualRect(b).center());
        checkOneRow();
        QCOMPARE(rowOf(QStringLiteral("a")), 2);
        QCOMPARE(
            cell(m_grid->currentIndex().row(), QStringLiteral("Description")).data().toString(),
            QStringLiteral("b"));
        marked = QStringLiteral("b");
        QCOMPARE(m_env->messages.texts(), QStringList());
    }
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    Query q(
        QStringLiteral("SELECT \"Description\" FROM {schedule.DB} WHERE \"PayNow\" IS NOT NULL"));
    q.open();
    QCOMPARE(q.rowCount(), 1);
    QCOMPARE(q.value(0, 0).toString(), marked);
}

void TestItemGrid::unitsEditorKeys()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("a") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("b") },
        { QStringLiteral("Due Date"), QDate(2024, 5, 1) } });
    start();
    // Reached by Tab from the repeat count, with the drop-down editor open.
    click(0, QStringLiteral("Frequency"));
    press(Qt::Key_Tab);
    QCOMPARE(m_grid->currentField(), QStringLiteral("Units"));
    QVERIFY(qobject_cast<QComboBox *>(m_grid->indexWidget(m_grid->currentIndex())));

    press(Qt::Key_Down);
    QCOMPARE(m_grid->currentIndex().row(), 1);
    press(Qt::Key_Up);
    QCOMPARE(m_grid->currentIndex().row(), 0);
    QCOMPARE(m_grid->currentField(), QStringLiteral("Units"));
    press(Qt::Key_H);
    press(Qt::Key_Delete, Qt::ControlModifier);
    press(Qt::Key_F1);
    press(Qt::Key_Down);

    QCOMPARE(m_env->messages.texts(), QStringList());
    QCOMPARE(storedCount(), 2);
    QCOMPARE(m_env->desktop.helpFiles.size(), 1);
    QVERIFY(m_env->desktop.helpFiles.first().endsWith(QStringLiteral("/schedule_screen.hta")));
    QCOMPARE(stored(QStringLiteral("a"), QStringLiteral("Units")).toString(),
        QStringLiteral("Half Months"));
    QCOMPARE(
        stored(QStringLiteral("b"), QStringLiteral("Units")).toString(), QStringLiteral("Months"));
}

void TestItemGrid::editorShownAtOnce()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("a") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) },
        { QStringLiteral("Bill Amount"), 10.0 } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("b") },
        { QStringLiteral("Due Date"), QDate(2024, 5, 1) } });
    start();
    click(0, QStringLiteral("Due Date"));
    QCoreApplication::processEvents();
    auto *editor = qobject_cast<QLineEdit *>(m_grid->indexWidget(m_grid->currentIndex()));
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("4/1/2024"));
    QCOMPARE(editor->actions().size(), 1); // the date picker button
    QCOMPARE(QApplication::focusWidget(), editor);

    // The arrows still move between cells and rows.
    press(Qt::Key_Right);
    QCOMPARE(m_grid->currentField(), QStringLiteral("Description"));
    press(Qt::Key_Left);
    QCOMPARE(m_grid->currentField(), QStringLiteral("Due Date"));
    press(Qt::Key_Down);
    QCOMPARE(m_grid->currentIndex().row(), 1);
    press(Qt::Key_Up);
    QCOMPARE(m_grid->currentIndex().row(), 0);

    // Escape takes back the typing, then the record.
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    QCOMPARE(m_grid->currentField(), QStringLiteral("Bill Amount"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("99"));
    press(Qt::Key_Return);
    QCOMPARE(m_window->TableSched->state(), Table::State::Edit);
    press(Qt::Key_Escape);
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    QCOMPARE(stored(QStringLiteral("a"), QStringLiteral("Bill Amount")).toDouble(), 10.0);
    QVERIFY(m_grid->indexWidget(m_grid->currentIndex()));

    // A date chosen in the picker is not overwritten by the editor's older text.
    press(Qt::Key_Left);
    press(Qt::Key_Left);
    QCOMPARE(m_grid->currentField(), QStringLiteral("Due Date"));
    whenModalOf("TFrmcalendar", [](QWidget *picker) {
        if (!picker)
            return;
        // A loaded machine can show the picker before it takes the keyboard.
        QTRY_VERIFY_WITH_TIMEOUT(picker == QApplication::focusWidget()
                || picker->isAncestorOf(QApplication::focusWidget()),
            30000);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    press(Qt::Key_F4);
    press(Qt::Key_Down);
    QCOMPARE(stored(QStringLiteral("a"), QStringLiteral("Due Date")).toDate(), QDate(2024, 4, 2));
    QCOMPARE(m_env->messages.texts(), QStringList());
}

// The list keeps its line editor from cell to cell: each cell still gets an
// editor holding only its own value, limit and button.
void TestItemGrid::editorStartsClean()
{
    addItem({ { QStringLiteral("Description"), QStringLiteral("a") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) }, { QStringLiteral("Bill Amount"), 10.0 },
        { QStringLiteral("User Field 1"), "one" } });
    addItem({ { QStringLiteral("Description"), QStringLiteral("b") },
        { QStringLiteral("Due Date"), QDate(2024, 5, 1) }, { QStringLiteral("Warning Days"), 3 } });
    start();
    const struct
    {
        int row;
        const char *field;
        const char *button;
        int maxLength;
    } cells[] = { { 0, "User Field 1", nullptr, 255 }, { 1, "Warning Days", nullptr, 32767 },
        { 0, "Bill Amount", "Calculator", 32767 }, { 1, "Bill Amount", "Calculator", 32767 },
        { 1, "Due Date", "Select a Date", 32767 }, { 0, "User Field 1", nullptr, 255 },
        { 0, "Due Date", "Select a Date", 32767 } };
    QLineEdit *last = nullptr;
    bool lastIsDate = false;
    for (const auto &c : cells) {
        const QString field = QString::fromLatin1(c.field);
        // What was typed into the last editor is left in it (and in its undo
        // history); not into a date, which would move the record.
        if (last && last->isVisible() && !lastIsDate)
            QTest::keyClicks(last, QStringLiteral("7"));
        click(c.row, field);
        QCoreApplication::processEvents();
        auto *editor = qobject_cast<QLineEdit *>(m_grid->indexWidget(m_grid->currentIndex()));
        QVERIFY2(editor, c.field);
        const QModelIndex at = m_grid->currentIndex();
        QCOMPARE(editor->text(), m_grid->itemModel()->editText(at.row(), at.column()));
        QVERIFY2(!editor->isUndoAvailable() && !editor->isModified(), c.field);
        QCOMPARE(editor->maxLength(), c.maxLength);
        QStringList buttons;
        for (const QAction *a : editor->actions())
            buttons << a->toolTip();
        QCOMPARE(buttons, c.button ? QStringList{ QString::fromLatin1(c.button) } : QStringList());
        QCOMPARE(QApplication::focusWidget(), editor);
        last = editor;
        lastIsDate = field == QLatin1String("Due Date");
    }
    QCOMPARE(m_env->messages.texts(), QStringList());
}

void TestItemGrid::typedDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date"); // invalid: stored empty (NULL)
    QTest::newRow("four-digit year") << "1/5/2027" << QDate(2027, 1, 5);
    QTest::newRow("two-digit year") << "1/5/27" << QDate(2027, 1, 5);
    QTest::newRow("two digits, last century") << "12/31/99" << QDate(1999, 12, 31);
    QTest::newRow("not a date") << "abc" << QDate();
    QTest::newRow("no such day") << "2/30/2024" << QDate();
    QTest::newRow("year before 1") << "1/1/-0001" << QDate();
    QTest::newRow("empty") << "" << QDate();
}

void TestItemGrid::typedDates()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    addItem({ { QStringLiteral("Description"), QStringLiteral("rent") },
        { QStringLiteral("Due Date"), QDate(2024, 4, 1) } });
    start();
    click(0, QStringLiteral("Due Date"));
    press(Qt::Key_Delete);
    if (!text.isEmpty())
        QTest::keyClicks(QApplication::focusWidget(), text);
    press(Qt::Key_Return);
    press(Qt::Key_Return);
    QCOMPARE(m_window->TableSched->state(), Table::State::Browse);
    Query q(QStringLiteral("SELECT \"Due Date\", typeof(\"Due Date\") FROM {schedule.DB}"));
    q.open();
    if (date.isValid())
        QCOMPARE(q.value(0, 0).toDate(), date);
    else
        QCOMPARE(q.value(0, 1).toString(), QStringLiteral("null")); // never ''

    QCOMPARE(m_env->messages.texts(), QStringList());
}

void TestItemGrid::listsShowWholeValues()
{
    start();
    // Every item list of the program: a large amount and a late date fit their cells.
    int lists = 0;
    QList<ItemGrid *> grids;
    for (QWidget *w : QApplication::allWidgets())
        if (auto *grid = qobject_cast<ItemGrid *>(w))
            grids.append(grid);
    for (ItemGrid *grid : grids) {
        const QFontMetrics cells(grid->font());
        QCOMPARE(QFontInfo(grid->font()).family(), QStringLiteral("Liberation Sans"));
        // The cell is the column less its grid line.
        const int margin = 1 + 2 * ItemDelegate::TextMargin;
        const struct
        {
            const char *field;
            const char *text;
            int marker;
        } values[] = { { "Bill Amount", "$10,000.00", 0 }, { "Pay Amount", "$10,000.00", 0 },
            { "Due Date", "12/31/2027", Urgency::DueMarkerWidth },
            { "Pay Date", "12/31/2027", Urgency::PayMarkerWidth } };
        for (const auto &v : values) {
            const int column = grid->columnOf(QString::fromLatin1(v.field));
            if (column < 0)
                continue;
            ++lists;
            // Banded dates are drawn after their marker, other cells inside the style's margins.
            const bool banded = v.marker > 0 && grid->itemModel()->urgency();
            const int room = grid->columnWidth(column) - (banded ? 1 + v.marker : margin);
            QVERIFY2(cells.horizontalAdvance(QString::fromLatin1(v.text)) <= room,
                qPrintable(
                    QStringLiteral("%1 in %2 of %3 %4: %5 > %6")
                        .arg(v.text, v.field, grid->window()->windowTitle(), grid->objectName())
                        .arg(cells.horizontalAdvance(QString::fromLatin1(v.text)))
                        .arg(room)));
        }
    }
    QVERIFY(lists >= 10);
}

QTEST_MAIN(TestItemGrid)
#include "tst_itemgrid.moc"
