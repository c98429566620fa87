#include "support/mainwindowtest.h"
#include "support/schedulebuilder.h"

#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/query.h"
#include "data/table.h"
#include "dialogs/frmcalendar.h"
#include "domain/options.h"
#include "main/windowset.h"
#include "platform/application.h"
#include "platform/desktop.h"
#include "platform/helpviewer.h"
#include "platform/singleinstance.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
TfrmSched *mainWindow()
{
    return Windows::frmSched;
}

QMap<QString, QByteArray> folderContents(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        if (name == FolderLock::fileName())
            continue; // holds nothing; made by the first start and kept
        QFile f(QDir(dir).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out.insert(name, f.readAll());
    }
    return out;
}

void addItem(const QString &description, const QVariant &mark = {})
{
    ScheduleBuilder()
        .item(description)
        .every(1, QStringLiteral("Months"))
        .due(QDate(2024, 4, 1))
        .mark(mark)
        .write();
}

QAction *menuEntry(const QString &text)
{
    for (QAction *a : mainWindow()->findChildren<QAction *>())
        if (a->text() == text)
            return a;
    return nullptr;
}
} // namespace

class TestMainWindow : public MainWindowTest
{
    Q_OBJECT
public:
    TestMainWindow()
        : MainWindowTest(CreateWindows)
    {
    }

private Q_SLOTS:
    void firstStartInAnEmptyFolder();
    void unreadableTableStopsTheStart_data();
    void unreadableTableStopsTheStart();
    void closing_data();
    void closing();
    void payBillsWithoutAMark();
    void firstClickOnAnEmptySchedule_data();
    void firstClickOnAnEmptySchedule();
    void helpOpensFromTheProgramFolder_data();
    void helpOpensFromTheProgramFolder();
    void secondInstanceEndsQuietly();
    void exitClosesEveryWindow();
    void keysInEveryWindow_data();
    void keysInEveryWindow();
    void captionsStandAlone();
    void folderLock_data();
    void folderLock();

private:
    // FormCreate, then the start-up actions without the prompts that need a user.
    void start() { QVERIFY(startMainWindow()); }
};

void TestMainWindow::firstStartInAnEmptyFolder()
{
    start();
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(m_env->messages.texts(), QStringList());
    TfrmSched *w = mainWindow();
    QVERIFY(w->TableSched->isOpen());
    // An empty schedule starts with a new record holding its defaults.
    QCOMPARE(w->TableSched->state(), Table::State::Insert);
    QTRY_COMPARE(
        w->TableSched->value(QStringLiteral("Units")).toString(), QStringLiteral("Months"));
    for (const char *name : { "schedule.DB", "history.DB", "resched.DB", "payee.db", "age.db" })
        QVERIFY2(Engine::exists(QString::fromLatin1(name)), name);
    QCOMPARE(QDir(m_env->dir()).entryList({ QStringLiteral("new*") }, QDir::Files), QStringList());
}

void TestMainWindow::unreadableTableStopsTheStart_data()
{
    QTest::addColumn<QString>("file");
    for (const char *f : { "schedule.DB", "history.DB", "resched.DB", "payee.db", "age.db" })
        QTest::newRow(f) << QString::fromLatin1(f);
}

void TestMainWindow::unreadableTableStopsTheStart()
{
    QFETCH(QString, file);
    m_env->createTables();
    addItem(QStringLiteral("rent"), PayMark);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("garbage, not a table ").repeated(300));
    }
    const QMap<QString, QByteArray> before = folderContents(m_env->dir());

    TfrmSched *w = mainWindow();
    switchOffPrompts();
    QVERIFY(!w->FormCreate());

    const QList<ScriptedMessages::Shown> shown = m_env->messages.shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, QStringLiteral("error"));
    QVERIFY2(shown.first().text.contains(file), qPrintable(shown.first().text));
    QVERIFY(!w->TableSched->isOpen());
    QCOMPARE(folderContents(m_env->dir()).keys(), before.keys());
    QVERIFY(folderContents(m_env->dir()) == before);
}

void TestMainWindow::closing_data()
{
    QTest::addColumn<bool>("confirmExit");
    QTest::addColumn<bool>("backupReminder");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QStringList>("questions");

    const QString exitQ = QStringLiteral("Are you sure you want to close Duesmith?");
    const QString backupQ
        = QStringLiteral("Perform a backup of your Duesmith files before closing?");
    QTest::newRow("no questions") << false << false << QList<bool>{} << true << QStringList{};
    QTest::newRow("exit refused") << true << true << QList<bool>{ false } << false
                                  << QStringList{ exitQ };
    QTest::newRow("exit allowed, no backup")
        << true << true << QList<bool>{ true, false } << true << QStringList{ exitQ, backupQ };
    QTest::newRow("backup wanted")
        << false << true << QList<bool>{ true } << true << QStringList{ backupQ };
}

void TestMainWindow::closing()
{
    QFETCH(bool, confirmExit);
    QFETCH(bool, backupReminder);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, closes);
    QFETCH(QStringList, questions);

    m_env->createTables();
    addItem(QStringLiteral("rent"));
    start();
    QVERIFY(!QTest::currentTestFailed());
    TfrmSched *w = mainWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    OptionsStore::instance().update([&](Options &o) {
        o.confirmExit = confirmExit;
        o.backupReminder = backupReminder;
    });
    for (bool a : answers)
        m_env->messages.answer({ a });
    if (Windows::FrmBackup && backupReminder)
        whenModalOf("QDialog", [](QWidget *d) {
            if (d)
                static_cast<QDialog *>(d)->reject();
        });

    QCOMPARE(w->close(), closes);
    QCOMPARE(m_env->messages.texts(), questions);
    QCOMPARE(w->isVisible(), !closes);
    QCOMPARE(w->TableSched->isOpen(), !closes);
}

void TestMainWindow::payBillsWithoutAMark()
{
    m_env->createTables();
    addItem(QStringLiteral("rent"));
    start();
    QVERIFY(!QTest::currentTestFailed());
    mainWindow()->SpeedItem5Click();
    const QList<ScriptedMessages::Shown> shown = m_env->messages.shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, QStringLiteral("inform"));
    QCOMPARE(shown.first().text,
        QStringLiteral(
            "No records were found with a check in the Pay column. At least one record must have "
            "a check in the Pay column before bill payment processing can occur."));
}

void TestMainWindow::firstClickOnAnEmptySchedule_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("message"); // what the action itself says, if anything
    QTest::addColumn<bool>("opensWindow");
    const QString noMark = QStringLiteral(
        "No records were found with a check in the Pay column. At least one record must have "
        "a check in the Pay column before bill payment processing can occur.");
    QTest::newRow("New") << "&New Record" << QString() << false;
    QTest::newRow("Copy") << "&Create a Copy of Selected Record" << QString() << false;
    QTest::newRow("Pay Bills") << "&Pay Bills Now..." << noMark << false;
    QTest::newRow("View Reports") << "View &Reports" << QString() << true;
    QTest::newRow("Calendar") << "Ca&lendar…" << QString() << true;
    QTest::newRow("Forecast") << "Cash &Flow Forecast…" << QString() << true;
    QTest::newRow("Export to Calendar") << "Export to Calendar (.&ics)…" << QString() << true;
}

void TestMainWindow::firstClickOnAnEmptySchedule()
{
    QFETCH(QString, entry);
    QFETCH(QString, message);
    QFETCH(bool, opensWindow);
    start();
    QVERIFY(!QTest::currentTestFailed());
    TfrmSched *w = mainWindow();
    // The first start leaves a new record with its defaults, which nobody has typed into.
    QTRY_COMPARE(
        w->TableSched->value(QStringLiteral("Units")).toString(), QStringLiteral("Months"));
    bool opened = false;
    if (opensWindow)
        whenModal([&](QWidget *modal) {
            opened = modal != nullptr;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        });
    QAction *action = menuEntry(entry);
    QVERIFY(action);
    action->trigger();
    QCOMPARE(opened, opensWindow);
    QCOMPARE(m_env->messages.texts(), message.isEmpty() ? QStringList() : QStringList{ message });
    // The untouched record was dropped, not refused for its empty Payee; New starts another.
    QCOMPARE(w->TableSched->state(),
        entry == QStringLiteral("&New Record") ? Table::State::Insert : Table::State::Browse);
    QCOMPARE(w->TableSched->recordCount(), 0);
}

void TestMainWindow::helpOpensFromTheProgramFolder_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("F1") << "key" << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+F1") << "key" << int(Qt::ShiftModifier) << false;
    QTest::newRow("Ctrl+Alt+F1") << "key" << int(Qt::ControlModifier | Qt::AltModifier) << true;
    QTest::newRow("menu entry") << "menu" << 0 << true;
}

void TestMainWindow::helpOpensFromTheProgramFolder()
{
    QFETCH(QString, how);
    QFETCH(int, modifiers);
    QFETCH(bool, opens);

    m_env->createTables();
    addItem(QStringLiteral("rent"));
    start();
    QVERIFY(!QTest::currentTestFailed());
    TfrmSched *w = mainWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(QDir::currentPath() != QCoreApplication::applicationDirPath());

    if (how == QLatin1String("key")) {
        QTest::keyClick(w->DBGridSched, Qt::Key_F1, Qt::KeyboardModifiers(modifiers));
    } else {
        QAction *entry = menuEntry(QStringLiteral("&Help on This Screen"));
        QVERIFY(entry);
        entry->trigger();
    }
    const QString page
        = QCoreApplication::applicationDirPath() + QStringLiteral("/ds_help/schedule_screen.hta");
    QCOMPARE(m_env->desktop.helpFiles, opens ? QStringList{ page } : QStringList{});
}

void TestMainWindow::secondInstanceEndsQuietly()
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/duesmith");
    if (!QFile::exists(program))
        QSKIP("the program is not built beside the tests");

    QTemporaryDir runtime;
    QVERIFY(QFile::setPermissions(
        runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    SingleInstance first(QStringLiteral("DUESMITH"));
    const bool locked = first.tryLock();
    if (oldRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
    QVERIFY(locked);
    QVERIFY(first.lockPath().startsWith(runtime.path()));

    QTemporaryDir work;
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), work.path());
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(work.path());
    second.start(program, {});
    QVERIFY(second.waitForStarted());
    if (!second.waitForFinished(15000)) {
        second.kill();
        second.waitForFinished();
        QFAIL("the second instance kept running");
    }
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    // It ended before touching anything: no tables were set up.
    QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList());
}

void TestMainWindow::exitClosesEveryWindow()
{
    m_env->createTables();
    addItem(QStringLiteral("rent"));
    start();
    TfrmSched *w = mainWindow();
    OptionsStore::instance().update([&](Options &o) {
        o.confirmExit = false;
        o.backupReminder = false;
    });
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    // The real help viewer, opened with F1.
    Desktop::install(nullptr);
    QTest::keyClick(w->DBGridSched, Qt::Key_F1);
    Desktop::install(&m_env->desktop);
    QVERIFY(HelpViewer::instance() && HelpViewer::instance()->isVisible());

    QAction *exit = menuEntry(QStringLiteral("E&xit"));
    QVERIFY(exit);
    exit->trigger();
    QStringList open;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible())
            open.append(window->windowTitle());
    QCOMPARE(open, QStringList());
}

void TestMainWindow::keysInEveryWindow_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("page");
    QTest::newRow("Calendar") << "Ca&lendar…"
                              << "calendar_screen.hta";
    QTest::newRow("Forecast") << "Cash &Flow Forecast…"
                              << "cash_flow_forecast.hta";
    QTest::newRow("Export to Calendar") << "Export to Calendar (.&ics)…"
                                        << "export_calendar.hta";
    QTest::newRow("History") << "View &History..."
                             << "history_screen.hta";
    QTest::newRow("Payee List") << "&Payee List"
                                << "memorized_payee_list.hta";
}

void TestMainWindow::keysInEveryWindow()
{
    QFETCH(QString, entry);
    QFETCH(QString, page);
    m_env->createTables();
    addItem(QStringLiteral("rent"));
    start();
    TfrmSched *w = mainWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // F1 opens the window's own page, and Escape closes it when nothing is being typed.
    bool closedByEscape = false;
    whenModal([&](QWidget *modal) {
        // The keys go to the control the window gives the keyboard to.
        QWidget *focus = modal->focusWidget() ? modal->focusWidget() : modal;
        QTest::keyClick(focus, Qt::Key_F1);
        QTest::keyClick(focus, Qt::Key_Escape);
        closedByEscape = !modal->isVisible();
        if (!closedByEscape)
            static_cast<QDialog *>(modal)->reject();
    });
    menuEntry(entry)->trigger();
    QVERIFY(closedByEscape);
    QCOMPARE(m_env->desktop.helpFiles, QStringList{ Help::pagePath(page) });
    QVERIFY(QFileInfo::exists(Help::pagePath(page)));

    // The help viewer goes back and forth, and closes by Escape and by Ctrl+W.
    for (const QKeySequence &key :
        { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
        HelpViewer::showPage(Help::pagePath(QStringLiteral("index.hta")));
        HelpViewer::showPage(Help::pagePath(page));
        HelpViewer *viewer = HelpViewer::instance();
        QVERIFY(viewer);
        auto *back = viewer->findChild<QPushButton *>(QStringLiteral("ButtonBack"));
        QVERIFY(back && back->isEnabled());
        back->click();
        QCOMPARE(viewer->currentPath(), Help::pagePath(QStringLiteral("index.hta")));
        QVERIFY(QTest::qWaitForWindowActive(viewer));
        QTest::keySequence(viewer, key);
        QTRY_VERIFY(!HelpViewer::instance());
    }
}

void TestMainWindow::captionsStandAlone()
{
    // The program's own start-up settings: a display name would be added to every caption.
    Application::setUp();
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QStringList captions;
    for (QWidget *window :
        { static_cast<QWidget *>(Windows::FrmPayit), static_cast<QWidget *>(Windows::Frmcalendar),
            static_cast<QWidget *>(Windows::Frmresched) })
        captions.append(window->windowTitle());
    QCOMPARE(captions,
        (QStringList{ QStringLiteral("Pay Bills"), QStringLiteral("Select a Date"),
            QStringLiteral("Reschedule") }));
}

void TestMainWindow::folderLock_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("starts");
    // Another program on the folder, whatever its runtime folder: its lock is
    // on the folder's own lock file.
    QTest::newRow("running program") << "running" << false;
    QTest::newRow("lock file unusable") << "unusable" << false;
    QTest::newRow("holder was killed") << "killed" << true;
}

void TestMainWindow::folderLock()
{
    QFETCH(QString, holder);
    QFETCH(bool, starts);
    m_env->createTables();
    addItem(QStringLiteral("rent"), PayMark);
    const QString lockFile = QDir(m_env->dir()).filePath(FolderLock::fileName());
    FolderLock other(m_env->dir());
    QProcess killed;
    if (holder == QLatin1String("running")) {
        QCOMPARE(other.take(), FolderLock::Result::Taken);
    } else if (holder == QLatin1String("unusable")) {
        QVERIFY(QDir().mkdir(lockFile));
    } else {
        // One process holds the lock, so no forked copy of its descriptor
        // outlives the kill.
        killed.start(QStringLiteral("bash"),
            { QStringLiteral("-c"), QStringLiteral("exec 9>>\"$0\" && flock 9 && exec sleep 30"),
                lockFile });
        if (!killed.waitForStarted())
            QSKIP("no shell");
        QTRY_VERIFY(FolderLock(m_env->dir()).take() == FolderLock::Result::Busy);
        killed.kill();
        QVERIFY(killed.waitForFinished());
    }
    const QMap<QString, QByteArray> before = folderContents(m_env->dir());

    TfrmSched *w = mainWindow();
    switchOffPrompts();
    QCOMPARE(w->FormCreate(), starts);
    if (starts)
        return;
    QCOMPARE(m_env->messages.shown().size(), 1);
    const QString text = m_env->messages.shown().first().text;
    QVERIFY2(text.contains(QDir::toNativeSeparators(m_env->dir())), qPrintable(text));
    QVERIFY(folderContents(m_env->dir()) == before);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
