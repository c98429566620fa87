#include "../support/crashfs.h"
#include "../support/mainwindowtest.h"
#include "../support/schedulebuilder.h"
#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/itemmodel.h"
#include "app/windows.h"
#include "data/attachedfile.h"
#include "data/backuprestore.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/itemstatements.h"
#include "data/layouts.h"
#include "data/payeelist.h"
#include "data/query.h"
#include "data/recordrules.h"
#include "data/sqlbind.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/options.h"
#include "history/frmhistory.h"
#include "main/windowset.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "tools/frmbackup.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <SQLiteCpp/Database.h>

#include <csignal>
#include <limits>
#include <memory>
#include <sys/resource.h>

namespace {
const QStringList LiveTables = { TableFiles::Schedule, TableFiles::History, TableFiles::Resched,
    TableFiles::Payee, TableFiles::Aging };

void addItems(const QString &file, int count, const QString &prefix, bool marked = false)
{
    ScheduleBuilder items(file);
    for (int i = 0; i < count; ++i) {
        items.item(prefix + QString::number(i))
            .due(QDate(2024, 3, 1).addDays(i))
            .expense(10.0 + i)
            .every(1, QStringLiteral("Months"));
        if (marked)
            items.mark(PayMark);
    }
    items.write();
}

void addPayees(const QStringList &names)
{
    Table t(TableFiles::Payee);
    t.open();
    for (const QString &name : names) {
        t.append();
        t.setValue(QStringLiteral("Payee"), name);
        t.post();
    }
}

QMap<QString, QByteArray> contents(const QString &dir, const QStringList &names)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : names) {
        QFile f(QDir(dir).filePath(name));
        out.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)"));
    }
    return out;
}

qint64 scalar(const QString &path, const QString &sql)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
    return db.execAndGet(sql.toStdString()).getInt64();
}

const QStringList Backed = { TableFiles::Schedule, TableFiles::History, TableFiles::Payee };
using Change = QPair<QString, QVariant>;
// Values no writer may store, each with its field.
const QList<Change> BadValues = { { "Description", QString(10000, u'x') },
    { "Due Date", "notadate" }, { "End Date", "2026-13-45" }, { "Pay Date", 20260101 },
    { "Bill Amount", 1e300 }, { "Pay Amount", std::numeric_limits<double>::infinity() },
    { "Bill Amount", -std::numeric_limits<double>::infinity() }, { "Bill Amount", "12,50 EUR" },
    { "Balance", 1.23456 }, { "Frequency", 70000 }, { "Frequency", "abc" },
    { "Units", QString(30, u'u') }, { "Units", "Fortnights" } };

// Changes a table file as another program would.
void store(const QString &path, const QString &field, const QVariant &value, int rowid)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
    SQLite::Statement s(
        db, ("UPDATE data SET " + Engine::quote(field) + " = ? WHERE rowid = ?").toStdString());
    bindVariant(s, 1, value);
    s.bind(2, rowid);
    QCOMPARE(s.exec(), 1);
}

QString refusal(const std::function<void()> &write)
{
    try {
        write();
    } catch (const EngineError &e) {
        return e.message();
    }
    return QStringLiteral("(accepted)");
}

qint64 agedExpense()
{
    return scalar(Engine::resolve(TableFiles::Aging),
        "SELECT CAST(round(Amount5 * 10000) AS INTEGER) FROM data WHERE \"Order\" = 1");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
} // namespace

class TestBackup : public MainWindowTest
{
    Q_OBJECT
public:
    TestBackup()
        : MainWindowTest(CreateWindows)
    {
    }

private Q_SLOTS:
    void init();
    void cleanup();

    void openingAndDirectoryText();
    void programDirectoryRefused_data();
    void programDirectoryRefused();
    void nothingCheckedStaysOpen();
    void backupCopiesOnlyTablesAndReplacesEarlierCopies();
    void failedBackupKeepsEarlierCopies_data();
    void failedBackupKeepsEarlierCopies();
    void restoreShowsInMainWindowWithNewKeysAndNoMarks();
    void restoringPayeesOnlyLeavesItemsAlone();
    void olderLayoutRestoresWithEmptyFields();
    void refusedRestoreChangesNothing_data();
    void refusedRestoreChangesNothing();
    void everyWriterRefusesBadValue_data();
    void everyWriterRefusesBadValue();
    void randomDamageRefusedOrRestored_data();
    void randomDamageRefusedOrRestored();
    void mainWindowOpensIt();
    void pendingEditIsPostedFirst_data();
    void pendingEditIsPostedFirst();

private:
    void start();
    void open();
    QString backupDir(const QString &name);
    void clickBackup(const QString &dir);
    void clickRestore(const QString &dir);

    TFrmBackup *w = nullptr;
    TfrmSched *m_main = nullptr;
    QTemporaryDir m_backups;
};

void TestBackup::init()
{
    MainWindowTest::init();
    w = qobject_cast<TFrmBackup *>(Windows::FrmBackup);
    QVERIFY(w);
}

void TestBackup::cleanup()
{
    if (w && w->isVisible())
        w->reject();
    w = nullptr;
    m_main = nullptr;
    BusyPointer::set(false);
    MainWindowTest::cleanup();
}

void TestBackup::start()
{
    m_main = Windows::frmSched;
    switchOffPrompts();
    OptionsStore::instance().update([](Options &o) {
        o.confirmExit = false;
        o.backupReminder = false;
    });
    QVERIFY(m_main->FormCreate());
    QTRY_VERIFY_WITH_TIMEOUT(m_main->startupDone(), 2000);
}

void TestBackup::open()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}

QString TestBackup::backupDir(const QString &name)
{
    const QString dir = m_backups.filePath(name);
    QDir().mkpath(dir);
    return dir;
}

void TestBackup::clickBackup(const QString &dir)
{
    w->PageControl1->setCurrentIndex(0);
    w->DirectoryEdit1->setText(dir);
    QTest::mouseClick(w->OKBtn, Qt::LeftButton);
}

void TestBackup::clickRestore(const QString &dir)
{
    w->PageControl1->setCurrentIndex(1);
    w->DirectoryEdit2->setText(dir);
    QTest::mouseClick(w->ButtonRestoreOK, Qt::LeftButton);
}

void TestBackup::openingAndDirectoryText()
{
    m_env->createTables();
    w->PageControl1->setCurrentIndex(1);
    open();
    // Opens on the Backup page with the default in both inputs.
    QCOMPARE(w->PageControl1->currentIndex(), 0);
    QCOMPARE(w->DirectoryEdit1->text(), TFrmBackup::defaultDirectory());
    QCOMPARE(w->DirectoryEdit2->text(), TFrmBackup::defaultDirectory());
    for (QCheckBox *box : w->findChildren<QCheckBox *>())
        QVERIFY(box->isChecked());
    w->DirectoryEdit1->clear();
    QVERIFY(!w->OKBtn->isEnabled());
    QTest::keyClick(w->DirectoryEdit1, Qt::Key_Space);
    QVERIFY(w->OKBtn->isEnabled());

    // Blanks around, no separator at the end, blanks and a non-ASCII letter inside.
    const QString dir = backupDir(QStringLiteral("Sicherung für März"));
    w->DirectoryEdit1->setText(QStringLiteral("  ") + dir + QStringLiteral("  "));
    QTest::mouseClick(w->OKBtn, Qt::LeftButton);
    QCOMPARE(w->DirectoryEdit1->text(), dir + QLatin1Char('/'));
    QCOMPARE(m_env->messages.texts(), QStringList({ "Backup Complete.        " }));
    QCOMPARE(m_env->messages.shown().first().kind, QStringLiteral("announce"));
    QVERIFY(!w->isVisible());
    QVERIFY(!BusyPointer::isBusy());
    QVERIFY(QFile::exists(dir + QStringLiteral("/schedule.db")));

    // The texts are kept under the window's section and come back next time.
    QSettings settings(m_env->settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("TFrmBackup/DirectoryEdit1_Text")).toString(),
        dir + QLatin1Char('/'));
    w->DirectoryEdit1->setText(QStringLiteral("elsewhere"));
    open();
    QCOMPARE(w->DirectoryEdit1->text(), dir + QLatin1Char('/'));

    // The browse button puts the chosen folder in, with the separator.
    w->chooseDirectory = [&](QWidget *, const QString &start) {
        return start == dir ? m_backups.path() : QString();
    };
    QTest::mouseClick(w->BrowseBtn1, Qt::LeftButton);
    QCOMPARE(w->DirectoryEdit1->text(), m_backups.path() + QLatin1Char('/'));

    m_env->desktop.helpFiles.clear();
    QTest::keyClick(w->DirectoryEdit1, Qt::Key_F1);
    QCOMPARE(m_env->desktop.helpFiles.size(), 1);
    QVERIFY(m_env->desktop.helpFiles.first().endsWith("ds_help/backuprestore_screen.hta"));
}

void TestBackup::programDirectoryRefused_data()
{
    QTest::addColumn<bool>("restore");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("message");
    const QString backup = QStringLiteral(
        "The destination for backup cannot be the Duesmith program directory. Please select "
        "another destination for your backup.");
    const QString restore = QStringLiteral(
        "The source for restore cannot be the current program directory. Please select another "
        "source directory for your restore.");
    QTest::newRow("backup") << false << "" << backup;
    QTest::newRow("backup, separator") << false << "/" << backup;
    QTest::newRow("backup, another spelling") << false << "/./" << backup;
    QTest::newRow("restore") << true << "" << restore;
    QTest::newRow("restore, separator") << true << "/" << restore;
}

void TestBackup::programDirectoryRefused()
{
    QFETCH(bool, restore);
    QFETCH(QString, suffix);
    QFETCH(QString, message);
    m_env->createTables();
    open();
    const QString program = Help::programFolder();
    const QStringList before = QDir(program).entryList(QDir::AllEntries | QDir::Hidden);
    if (restore)
        clickRestore(program + suffix);
    else
        clickBackup(program + suffix);
    QCOMPARE(m_env->messages.texts(), QStringList({ message }));
    QVERIFY(w->isVisible());
    QVERIFY(!BusyPointer::isBusy());
    QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::Hidden), before);
}

void TestBackup::nothingCheckedStaysOpen()
{
    m_env->createTables();
    open();
    w->CheckBoxBackSched->setChecked(false);
    w->CheckBoxBackHist->setChecked(false);
    w->CheckBoxBackPayee->setChecked(false);
    const QString dir = backupDir(QStringLiteral("none"));
    clickBackup(dir);
    w->CheckBoxRestSched->setChecked(false);
    w->CheckBoxRestHist->setChecked(false);
    w->CheckBoxRestPayee->setChecked(false);
    clickRestore(dir);
    QVERIFY(m_env->messages.shown().isEmpty());
    QVERIFY(w->isVisible());
    QVERIFY(QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QVERIFY(!BusyPointer::isBusy());
}

void TestBackup::backupCopiesOnlyTablesAndReplacesEarlierCopies()
{
    start();
    addItems(TableFiles::Schedule, 3, QStringLiteral("bill "));
    addItems(TableFiles::History, 5, QStringLiteral("paid "));
    const QString dir = m_backups.filePath(QStringLiteral("new/deeper"));
    open();
    m_env->messages.answer({ true });
    clickBackup(dir);
    QCOMPARE(m_env->messages.texts(),
        QStringList({ "Directory does not exist. Would you like to create it?",
            "Backup Complete.        " }));
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList({ "history.db", "payee.db", "schedule.db" }));
    QCOMPARE(scalar(dir + "/schedule.db", "SELECT count(*) FROM data"), 3);

    addItems(TableFiles::Schedule, 2, QStringLiteral("more "));
    m_env->messages.clear();
    open();
    clickBackup(dir);
    QCOMPARE(m_env->messages.texts(), QStringList({ "Backup Complete.        " }));
    QCOMPARE(scalar(dir + "/schedule.db", "SELECT count(*) FROM data"), 5);
    QCOMPARE(scalar(dir + "/history.db", "SELECT count(*) FROM data"), 5);
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
}

void TestBackup::failedBackupKeepsEarlierCopies_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("full disk") << "full"
                               << "history.DB could not be backed up to the folder";
    QTest::newRow("destination is a file") << "file"
                                           << "is a file, not a directory";
    QTest::newRow("read-only destination") << "readonly"
                                           << "schedule.DB could not be backed up to the folder";
    QTest::newRow("folder in place of a copy") << "folder"
                                               << "is a folder";
    QTest::newRow("live data folder") << "live"
                                      << "holds the tables Duesmith is working with";
    QTest::newRow("copy short of a record") << "short"
                                            << "the copy holds 3 records instead of 4";
}

void TestBackup::failedBackupKeepsEarlierCopies()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    const auto restoreFileSystem = qScopeGuard([] { crash::uninstall(); });
    if (kind == QLatin1String("short")) {
        // The session's connection writes the copies: it opens on the file system that drops.
        crash::install(0);
        Engine::instance().replaceSession();
    }
    m_env->createTables();
    addItems(TableFiles::Schedule, 3, QStringLiteral("bill "));
    QString dir = backupDir(QStringLiteral("earlier ") + kind);
    open();
    clickBackup(dir);
    const QStringList copies = { "schedule.db", "history.db", "payee.db" };
    const auto earlier = contents(dir, copies);
    addItems(TableFiles::Schedule, 1, QStringLiteral("new "));
    addItems(TableFiles::History, 3000, QStringLiteral("paid "));
    m_env->messages.clear();
    open();

    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    if (kind == QLatin1String("full")) {
        // Files may not grow beyond 256 KiB: the history copy runs out of room.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = limit;
        small.rlim_cur = 256 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    } else if (kind == QLatin1String("file")) {
        writeFile(m_backups.filePath("a file"), "text");
        dir = m_backups.filePath("a file");
    } else if (kind == QLatin1String("readonly")) {
        dir = QStringLiteral("/sys"); // read-only even for the superuser
    } else if (kind == QLatin1String("folder")) {
        QFile::remove(dir + "/payee.db");
        QDir().mkdir(dir + "/payee.db");
    } else if (kind == QLatin1String("short")) {
        crash::shortCopies = true;
    } else {
        dir = m_env->dir();
    }
    const auto live = contents(m_env->dir(), LiveTables);
    clickBackup(dir);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    crash::shortCopies = false;

    QCOMPARE(m_env->messages.shown().size(), 1);
    QVERIFY2(m_env->messages.texts().first().contains(expected),
        qPrintable(m_env->messages.texts().first()));
    QVERIFY(w->isVisible());
    QVERIFY(!BusyPointer::isBusy());
    QCOMPARE(contents(m_env->dir(), LiveTables), live);
    if (kind == QLatin1String("short"))
        QCOMPARE(contents(dir, QDir(dir).entryList(QDir::Files | QDir::Hidden)), earlier);
    if (kind == QLatin1String("full") || kind == QLatin1String("folder")) {
        const auto now = contents(dir, copies);
        QCOMPARE(now.value("schedule.db"), earlier.value("schedule.db"));
        QCOMPARE(now.value("history.db"), earlier.value("history.db"));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(),
            kind == QLatin1String("full") ? 3 : 2);
    }
}

void TestBackup::restoreShowsInMainWindowWithNewKeysAndNoMarks()
{
    start();
    addItems(TableFiles::Schedule, 4, QStringLiteral("saved "), true);
    addItems(TableFiles::History, 2, QStringLiteral("paid "));
    const QString dir = backupDir(QStringLiteral("zurück ab März"));
    open();
    clickBackup(dir);
    const qint64 highestKey = scalar(
        Engine::resolve(TableFiles::Schedule), QStringLiteral("SELECT max(PrimaryKey) FROM data"));

    addItems(TableFiles::Schedule, 1, QStringLiteral("later "));
    m_main->refreshAfterPayment();
    QCOMPARE(m_main->DBGridSched->itemModel()->rowCount(), 5);

    m_env->messages.clear();
    open();
    clickRestore(dir);
    QCOMPARE(m_env->messages.texts(), QStringList({ "Restore Complete.        " }));
    QVERIFY(!w->isVisible());
    const QString live = Engine::resolve(TableFiles::Schedule);
    QCOMPARE(scalar(live, "SELECT count(*) FROM data"), 4);
    QCOMPARE(scalar(live, "SELECT count(*) FROM data WHERE PayNow IS NOT NULL"), 0);
    QCOMPARE(scalar(live, "SELECT min(PrimaryKey) FROM data"), highestKey + 2);
    QCOMPARE(scalar(Engine::resolve(TableFiles::History), "SELECT count(*) FROM data"), 2);

    // The main window shows the restored list and its totals at once.
    ItemModel *model = m_main->DBGridSched->itemModel();
    QCOMPARE(model->rowCount(), 4);
    const int c = model->columnOfField(QStringLiteral("Description"));
    QCOMPARE(
        model->data(model->index(0, c), Qt::DisplayRole).toString(), QStringLiteral("saved 0"));
    for (int row = 0; row < m_main->QueryTotals->rowCount(); ++row)
        QVERIFY(m_main->QueryTotals->value(row, QStringLiteral("PayNow")).isNull());
    // The history window reads the restored history when it is next shown.
    auto *history = qobject_cast<TFrmHistory *>(Windows::FrmHistory);
    history->CheckBoxToolTip->setChecked(false);
    history->show();
    QVERIFY(QTest::qWaitForWindowExposed(history));
    QCOMPARE(history->DBGridSched->itemModel()->rowCount(), 2);
    history->reject();
}

void TestBackup::restoringPayeesOnlyLeavesItemsAlone()
{
    m_env->createTables();
    addPayees({ QStringLiteral("Bank"), QStringLiteral("Gas") });
    const QString dir = backupDir(QStringLiteral("payees"));
    open();
    clickBackup(dir);
    addItems(TableFiles::Schedule, 2, QStringLiteral("bill "));
    addItems(TableFiles::History, 2, QStringLiteral("paid "));
    addPayees({ QStringLiteral("Water") });
    const QStringList items = { TableFiles::Schedule, TableFiles::History };
    const auto before = contents(m_env->dir(), items);
    open();
    w->CheckBoxRestSched->setChecked(false);
    w->CheckBoxRestHist->setChecked(false);
    clickRestore(dir);
    QCOMPARE(m_env->messages.texts().last(), QStringLiteral("Restore Complete.        "));
    QCOMPARE(contents(m_env->dir(), items), before);
    QCOMPARE(scalar(Engine::resolve(TableFiles::Payee), "SELECT count(*) FROM data"), 2);
}

void TestBackup::olderLayoutRestoresWithEmptyFields()
{
    m_env->createTables();
    const QString dir = backupDir(QStringLiteral("old layout"));
    {
        SQLite::Database db(
            (dir + "/schedule.db").toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec("CREATE TABLE data (\"Due Date\" DATE, \"Description\" VARCHAR(255) NOT NULL, "
                "\"Frequency\" SMALLINT NOT NULL, \"PrimaryKey\" INTEGER PRIMARY KEY, "
                "\"PayNow\" VARCHAR(1))");
        db.exec("INSERT INTO data VALUES ('2024-04-01', 'old rent', 1, 7, 'x')");
    }
    open();
    w->CheckBoxRestHist->setChecked(false);
    w->CheckBoxRestPayee->setChecked(false);
    clickRestore(dir);
    QCOMPARE(m_env->messages.texts(), QStringList({ "Restore Complete.        " }));
    Table t(TableFiles::Schedule);
    t.open();
    QCOMPARE(t.recordCount(), 1);
    QCOMPARE(t.value("Description").toString(), QStringLiteral("old rent"));
    QVERIFY(t.isNull("Budget"));
    QVERIFY(t.isNull("PayNow"));
}

void TestBackup::refusedRestoreChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing copy") << "missing"
                                  << "schedule.db is missing";
    QTest::newRow("garbage") << "garbage"
                             << "schedule.db cannot be read";
    QTest::newRow("truncated") << "truncated"
                               << "schedule.db";
    QTest::newRow("empty file") << "empty"
                                << "is not a Duesmith table";
    QTest::newRow("newer layout") << "newer"
                                  << "holds the field 'Category'";
    QTest::newRow("required field missing") << "required"
                                            << "field 'Description' is missing";
    QTest::newRow("duplicate payees") << "duplicate"
                                      << "no table was changed";
    QTest::newRow("live data folder") << "live"
                                      << "holds the tables Duesmith is working with";
    QTest::newRow("a file as folder") << "file"
                                      << "Directory does not exist.";
}

void TestBackup::refusedRestoreChangesNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    start();
    addItems(TableFiles::Schedule, 5, QStringLiteral("mine "), true);
    addItems(TableFiles::History, 600, QStringLiteral("paid "));
    addPayees({ QStringLiteral("Bank") });
    QString dir = backupDir(QStringLiteral("bad ") + kind);
    open();
    clickBackup(dir);
    addItems(TableFiles::Schedule, 2, QStringLiteral("newer "));
    const QString copy = dir + QStringLiteral("/schedule.db");
    if (kind == QLatin1String("missing")) {
        QFile::remove(copy);
    } else if (kind == QLatin1String("garbage")) {
        writeFile(copy, QByteArray("not a table at all ").repeated(300));
    } else if (kind == QLatin1String("truncated")) {
        QFile::resize(dir + "/history.db", QFileInfo(dir + "/history.db").size() / 2);
        expected = QStringLiteral("history.db");
    } else if (kind == QLatin1String("empty")) {
        writeFile(copy, {});
    } else if (kind == QLatin1String("newer")) {
        SQLite::Database db(copy.toStdString(), SQLite::OPEN_READWRITE);
        db.exec("ALTER TABLE data ADD COLUMN \"Category\" VARCHAR(40)");
    } else if (kind == QLatin1String("required")) {
        SQLite::Database db(copy.toStdString(), SQLite::OPEN_READWRITE);
        db.exec("DROP INDEX \"Due Date Index\"; DROP INDEX \"Description Index\";"
                "ALTER TABLE data DROP COLUMN Description");
    } else if (kind == QLatin1String("duplicate")) {
        SQLite::Database db((dir + "/payee.db").toStdString(), SQLite::OPEN_READWRITE);
        db.exec("CREATE TABLE t AS SELECT * FROM data; DROP TABLE data;"
                "CREATE TABLE data (\"Payee\" VARCHAR(255)); INSERT INTO data SELECT Payee FROM t;"
                "INSERT INTO data VALUES ('Bank'); DROP TABLE t");
    } else if (kind == QLatin1String("live")) {
        dir = m_env->dir();
    } else {
        dir = copy;
    }
    m_main->refreshAfterPayment();
    m_main->flushAgingWrites();
    const auto before = contents(m_env->dir(), LiveTables);
    m_env->messages.clear();
    open();
    QSignalSpy schedule(m_main->TableSched, &Table::stateChanged);
    clickRestore(dir);
    // A copy found unfit is refused before the windows let go of their tables;
    // only a failure while records move closes them for a while.
    if (kind != QLatin1String("duplicate"))
        QCOMPARE(schedule.count(), 0);
    QCOMPARE(m_env->messages.shown().size(), 1);
    QVERIFY2(m_env->messages.texts().first().contains(expected),
        qPrintable(m_env->messages.texts().first()));
    QVERIFY(w->isVisible());
    QVERIFY(!BusyPointer::isBusy());
    QCOMPARE(contents(m_env->dir(), LiveTables), before);
    QCOMPARE(m_main->DBGridSched->itemModel()->rowCount(), 7);
}

void TestBackup::everyWriterRefusesBadValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    for (const auto &[field, value] : BadValues)
        QTest::newRow(qPrintable(field + QLatin1Char(' ') + value.toString().left(12)))
            << field << value;
}

void TestBackup::everyWriterRefusesBadValue()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    m_env->createTables();
    addItems(TableFiles::Schedule, 2, QStringLiteral("bill "));
    const QString dir = backupDir(QStringLiteral("bad value"));
    BackupRestore::backup(Backed, dir);
    const auto before = contents(m_env->dir(), LiveTables);
    QHash<QString, QVariant> record = { { QStringLiteral("Description"), QStringLiteral("gas") },
        { QStringLiteral("Frequency"), 1 }, { QStringLiteral("Units"), QStringLiteral("Months") } };
    record[field] = value;
    QStringList refusals = { refusal([&] {
                                Table t(TableFiles::Schedule);
                                t.open();
                                t.append();
                                for (auto it = record.begin(); it != record.end(); ++it)
                                    t.setValue(it.key(), it.value());
                                t.post();
                            }),
        // What the payment run writes into history, resched.DB and the schedule.
        refusal([&] {
            AttachedFile schedule(TableFiles::Schedule);
            inTransaction([&] { ItemInsert(schedule, record.keys()).insert(record.values()); });
        }) };
    store(dir + QStringLiteral("/schedule.db"), field, value, 1);
    refusals.append(refusal([&] { BackupRestore::restore(Backed, dir); }));
    QVERIFY2(refusals.last().contains(QStringLiteral("schedule.db cannot be restored: record 1")),
        qPrintable(refusals.last()));
    for (const QString &message : refusals)
        QVERIFY2(
            message.contains(QLatin1Char('\'') + field + QLatin1Char('\'')), qPrintable(message));
    if (field == QLatin1String("Description"))
        QVERIFY(refusal([&] {
            PayeeList::memorize({ QStringLiteral("ok"), value.toString() });
        }).contains(QStringLiteral("'Payee'")));
    QCOMPARE(contents(m_env->dir(), LiveTables), before);

    // Changed in the live file elsewhere: the program starts, sums the rest, and
    // shows empty what is no date, number or amount within the bound.
    store(Engine::resolve(TableFiles::Schedule), field, value, 1);
    start();
    QCOMPARE(m_env->messages.texts(), QStringList());
    m_main->flushAgingWrites();
    QCOMPARE(agedExpense(), field == QLatin1String("Bill Amount") ? 110000 : 210000);
    ItemModel *model = m_main->DBGridSched->itemModel();
    const int c = model->columnOfField(field);
    const int d = model->columnOfField(QStringLiteral("Description"));
    const bool blank = Layouts::item().field(field)->type != FieldType::Text
        && (value.typeId() != QMetaType::Double || !RecordRules::isSoundAmount(value.toDouble()));
    for (int row = 0; c >= 0 && row < model->rowCount(); ++row) {
        const QString text = model->data(model->index(row, c), Qt::DisplayRole).toString();
        if (blank && model->data(model->index(row, d), Qt::DisplayRole) == QStringLiteral("bill 0"))
            QCOMPARE(text, QString());
        QVERIFY2(!text.contains(QStringLiteral("inf")), qPrintable(text));
    }
}

void TestBackup::randomDamageRefusedOrRestored_data()
{
    QTest::addColumn<quint32>("seed");
    const quint32 base = quint32(qEnvironmentVariableIntValue("DS_RESTORE_SEED"));
    for (quint32 seed = base; seed < base + 12; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

// A copy with damaged records is either refused with every file unchanged, or
// restored and the program starts with totals that match a recount. The
// copies, in WAL mode, are never written.
void TestBackup::randomDamageRefusedOrRestored()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    // Values at the bounds, which a restore takes over.
    const QList<Change> sound = { { "Bill Amount", 999999.9999 }, { "Due Date", "9999-12-31" },
        { "End Date", "0001-01-01" }, { "Units", "Half Months" }, { "Frequency", -32768 },
        { "Description", QString(253, u'x') + QStringLiteral("\U0001F600") } };
    m_env->createTables();
    addItems(TableFiles::Schedule, 20, QStringLiteral("bill "));
    addItems(TableFiles::History, 10, QStringLiteral("paid "));
    const QString dir = backupDir(QStringLiteral("damaged"));
    BackupRestore::backup(Backed, dir);
    QMap<QString, bool> soundAt; // the last change to a field is what the copy holds
    for (int n = int(random.bounded(4)); n > 0; --n) {
        const QString copy
            = random.bounded(2) ? QStringLiteral("history.db") : QStringLiteral("schedule.db");
        const int rowid = 1 + int(random.bounded(10));
        const int pick = int(random.bounded(sound.size() + BadValues.size()));
        const auto &[field, value]
            = pick < sound.size() ? sound[pick] : BadValues[pick - sound.size()];
        store(QDir(dir).filePath(copy), field, value, rowid);
        soundAt[copy + QString::number(rowid) + field] = pick < sound.size();
    }
    for (const QString &copy : { QStringLiteral("schedule.db"), QStringLiteral("history.db") })
        SQLite::Database(QDir(dir).filePath(copy).toStdString(), SQLite::OPEN_READWRITE)
            .exec("PRAGMA journal_mode=WAL");
    const auto copies = contents(dir, QDir(dir).entryList(QDir::Files | QDir::Hidden));
    addItems(TableFiles::Schedule, 3, QStringLiteral("live "));
    const auto before = contents(m_env->dir(), LiveTables);

    const QString message = refusal([&] { BackupRestore::restore(Backed, dir); });
    QCOMPARE(contents(dir, QDir(dir).entryList(QDir::Files | QDir::Hidden)), copies);
    if (soundAt.values().contains(false)) {
        QVERIFY2(
            message.contains(QStringLiteral(" cannot be restored: record ")), qPrintable(message));
        QCOMPARE(contents(m_env->dir(), LiveTables), before);
        return;
    }
    QCOMPARE(message, QStringLiteral("(accepted)"));
    start();
    QCOMPARE(m_env->messages.texts(), QStringList());
    m_main->flushAgingWrites();
    QCOMPARE(agedExpense(),
        scalar(Engine::resolve(TableFiles::Schedule),
            "SELECT CAST(total(round(\"Bill Amount\" * 10000)) AS INTEGER) FROM data"));
}

void TestBackup::mainWindowOpensIt()
{
    start();
    for (const QString &text : { QStringLiteral("&Backup/Restore"), QStringLiteral("Backup") }) {
        QAction *found = nullptr;
        for (QAction *a : m_main->findChildren<QAction *>())
            if (a->text() == text)
                found = a;
        QVERIFY2(found && found->isEnabled(), qPrintable(text));
    }
    OptionsStore::instance().update([](Options &o) { o.backupReminder = true; });
    bool shown = false;
    whenModalOf("TFrmBackup", [&](QWidget *backup) {
        shown = backup != nullptr;
        if (backup)
            QTest::mouseClick(w->CancelBtn, Qt::LeftButton);
    });
    m_env->messages.answer({ true });
    m_main->close();
    QVERIFY(shown);
    QVERIFY(!m_main->isVisible());
    QCOMPARE(m_env->messages.texts(),
        QStringList({ "Perform a backup of your Duesmith files before closing?" }));
}

// An amount typed into the main list and not yet posted is posted before a
// window that copies or re-reads the list opens: the backup holds what the user sees.
void TestBackup::pendingEditIsPostedFirst_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("Backup button") << "Backup";
    QTest::newRow("backup offered at exit") << "exit";
    QTest::newRow("Tools > Options") << "Options";
}

void TestBackup::pendingEditIsPostedFirst()
{
    QFETCH(QString, route);
    start();
    addItems(TableFiles::Schedule, 1, QStringLiteral("bill "));
    m_main->refreshAfterPayment();
    ItemModel *model = m_main->DBGridSched->itemModel();
    model->setText(model->columnOfField(QStringLiteral("Bill Amount")), QStringLiteral("12.5"));
    QVERIFY(m_main->TableSched->isEditing());
    const QString dir = backupDir(QStringLiteral("pending"));
    const bool options = route == QLatin1String("Options");
    whenModalOf(options ? "TFrmOptions" : "TFrmBackup", [&](QWidget *window) {
        if (window && options)
            static_cast<QDialog *>(window)->reject();
        else if (window)
            clickBackup(dir);
    });
    if (route == QLatin1String("exit")) {
        OptionsStore::instance().update([](Options &o) { o.backupReminder = true; });
        m_env->messages.answer({ true });
        m_main->close();
    } else {
        QAction *button = m_main->findChild<QAction *>(route);
        QVERIFY(button);
        button->trigger();
    }
    QVERIFY(!m_main->TableSched->isEditing());
    if (!options)
        QCOMPARE(m_env->messages.texts().last(), QStringLiteral("Backup Complete.        "));
    const QString copied = options ? Engine::resolve(TableFiles::Schedule) : dir + "/schedule.db";
    QCOMPARE(scalar(copied, "SELECT round(\"Bill Amount\" * 100) FROM data"), 1250);
}

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
