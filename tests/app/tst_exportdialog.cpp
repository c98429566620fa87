#include "../support/mainwindowtest.h"
#include "../support/schedulebuilder.h"
#include "app/desttabledlg.h"
#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/windows.h"
#include "data/engine.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/options.h"
#include "main/windowset.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <SQLiteCpp/Database.h>

#include <memory>

namespace {
void store(const QString &key, const QString &value)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName())
        .setValue(key, value);
}

QString nativePath(const QString &dir, const QString &name)
{
    return QDir::toNativeSeparators(QDir(dir).filePath(name));
}

QList<QByteArray> lines(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> out = f.readAll().split('\n');
    out.removeAll(QByteArray());
    return out;
}
} // namespace

class TestExportDialog : public MainWindowTest
{
    Q_OBJECT
public:
    TestExportDialog()
        : MainWindowTest(EmptyFolder)
    {
    }

private Q_SLOTS:
    void init()
    {
        MainWindowTest::init();
        m_out = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        m_out.reset();
        MainWindowTest::cleanup();
    }

    void proposedNameAndTypeSwitching();
    void browseSelectsTheType_data();
    void browseSelectsTheType();
    void choicesKeptAcrossRestart();
    void exportFromTheMainWindow();
    void cancelledExportLeavesNoFile();

private:
    std::unique_ptr<QTemporaryDir> m_out;
};

void TestExportDialog::proposedNameAndTypeSwitching()
{
    store(QStringLiteral("TDestTableDlg/TabnameEdit_InitialDir"), m_out->path());
    store(QStringLiteral("TDestTableDlg/TypeBtn_ItemIndex"), QStringLiteral("1"));
    TDestTableDlg dialog;
    dialog.propose(QStringLiteral("schedule.DB"));
    QCOMPARE(dialog.TabnameEdit->text(), nativePath(m_out->path(), "schedule.DBF"));
    QVERIFY(dialog.OKBtn->isEnabled());

    dialog.show();
    QTest::mouseClick(dialog.AsciiBtn, Qt::LeftButton);
    QCOMPARE(dialog.TabnameEdit->text(), nativePath(m_out->path(), "schedule.TXT"));
    QTest::mouseClick(dialog.ParadoxBtn, Qt::LeftButton);
    QCOMPARE(dialog.TabnameEdit->text(), nativePath(m_out->path(), "schedule.DB"));

    dialog.TabnameEdit->clear();
    QVERIFY(!dialog.OKBtn->isEnabled());
    QTest::mouseClick(dialog.DBaseBtn, Qt::LeftButton);
    QVERIFY(dialog.TabnameEdit->text().isEmpty());
}

void TestExportDialog::browseSelectsTheType_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("type");
    QTest::newRow("csv") << "list.csv" << int(TDestTableDlg::Ascii);
    QTest::newRow("txt keeps dBASE") << "list.txt" << int(TDestTableDlg::DBase);
    QTest::newRow("DB") << "list.DB" << int(TDestTableDlg::Paradox);
}

void TestExportDialog::browseSelectsTheType()
{
    QFETCH(QString, file);
    QFETCH(int, type);
    QDir(m_out->path()).mkdir(QStringLiteral("sub"));
    const QString sub = m_out->filePath(QStringLiteral("sub"));
    TDestTableDlg dialog;
    dialog.setType(TDestTableDlg::DBase);
    dialog.propose(QStringLiteral("schedule.DB"));
    dialog.show();
    QString startedIn;
    whenModalOf("QFileDialog", [&](QWidget *w) {
        auto *browse = qobject_cast<QFileDialog *>(w);
        QVERIFY(browse);
        QCOMPARE(browse->windowTitle(), QStringLiteral("Browse files"));
        startedIn = browse->directory().absolutePath();
        browse->setDirectory(sub);
        browse->selectFile(QDir(sub).filePath(file));
        static_cast<QDialog *>(browse)->accept();
    });
    QTest::mouseClick(dialog.BrowseBtn, Qt::LeftButton);
    QCOMPARE(dialog.type(), type);
    QCOMPARE(dialog.TabnameEdit->text(), nativePath(sub, file));
    QCOMPARE(dialog.initialDir(), sub);
    QVERIFY(!startedIn.isEmpty());
}

void TestExportDialog::choicesKeptAcrossRestart()
{
    store(QStringLiteral("TDestTableDlg/TabnameEdit_InitialDir"), m_out->path());
    {
        TDestTableDlg dialog;
        QVERIFY(!dialog.RecordCntEdit->isEnabled());
        dialog.show();
        QTest::mouseClick(dialog.DBaseBtn, Qt::LeftButton);
        QTest::mouseClick(dialog.FirstRecsBtn, Qt::LeftButton);
        QVERIFY(dialog.RecordCntEdit->isEnabled());
        QTest::keyClicks(dialog.RecordCntEdit, QStringLiteral("1x2-3"));
        QCOMPARE(dialog.RecordCntEdit->text(), QStringLiteral("123"));
        QTest::keyClick(dialog.RecordCntEdit, Qt::Key_Backspace);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }
    // The settings file is all that survives a restart.
    TDestTableDlg again;
    again.propose(QStringLiteral("history.DB"));
    QCOMPARE(again.type(), int(TDestTableDlg::DBase));
    QVERIFY(again.FirstRecsBtn->isChecked());
    QCOMPARE(again.RecordCntEdit->text(), QStringLiteral("12"));
    QCOMPARE(again.TabnameEdit->text(), nativePath(m_out->path(), "history.DBF"));
    QCOMPARE(again.choice().count, 12);
    // An empty count means every record.
    again.RecordCntEdit->clear();
    QCOMPARE(again.choice().count, 0);
}

void TestExportDialog::exportFromTheMainWindow()
{
    m_env->createTables();
    ScheduleBuilder schedule;
    for (int i = 0; i < 8; ++i)
        schedule.item(QStringLiteral("Item %1").arg(i))
            .due(QDate(2024, 4, 1 + i))
            .every(1, QStringLiteral("Months"));
    schedule.write();
    QVERIFY(startMainWindow());
    TfrmSched *w = Windows::frmSched;
    QAction *button = w->findChild<QAction *>(QStringLiteral("Export"));
    QVERIFY(button && button->isEnabled());
    w->TableSched->goToRow(2);

    const QString target = m_out->filePath(QStringLiteral("five.TXT"));
    auto fill = [&](int count) {
        whenModalOf("TDestTableDlg", [&, count](QWidget *d) {
            auto *dialog = qobject_cast<TDestTableDlg *>(d);
            QVERIFY(dialog);
            QCOMPARE(QFileInfo(dialog->TabnameEdit->text()).completeBaseName(),
                QStringLiteral("schedule"));
            QTest::mouseClick(dialog->AsciiBtn, Qt::LeftButton);
            dialog->TabnameEdit->setText(target);
            QTest::mouseClick(dialog->FirstRecsBtn, Qt::LeftButton);
            dialog->RecordCntEdit->setText(count ? QString::number(count) : QString());
            QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
        });
    };
    fill(5);
    button->trigger();
    QCOMPARE(m_env->messages.texts().value(0),
        QStringLiteral("Table %1 successfully created.").arg(target));
    QList<QByteArray> got = lines(target);
    QCOMPARE(got.size(), 5);
    QVERIFY(got[0].contains("\"Item 2\""));
    QVERIFY(got[4].contains("\"Item 6\""));

    // No to the replace question: the dialog stays and the file is kept.
    m_env->messages.clear();
    m_env->messages.answer({ false });
    bool stayed = false;
    fill(0);
    QTimer::singleShot(300, [&] {
        auto *dialog = qobject_cast<TDestTableDlg *>(QApplication::activeModalWidget());
        stayed = dialog != nullptr;
        if (dialog)
            dialog->reject();
    });
    button->trigger();
    QVERIFY(stayed);
    QCOMPARE(m_env->messages.texts(),
        QStringList(
            { QStringLiteral("File %1 already exists. Do you want to replace it?").arg(target) }));
    QCOMPARE(lines(target).size(), 5);

    // Yes, with an empty count: every record.
    m_env->messages.clear();
    fill(0);
    button->trigger();
    QCOMPARE(lines(target).size(), 8);
    QVERIFY(QFile::exists(m_out->filePath(QStringLiteral("five.SCH"))));
}

// A long export shows its progress; Cancel there ends it with no file, no
// message, and the list as it was.
void TestExportDialog::cancelledExportLeavesNoFile()
{
    m_env->createTables();
    {
        SQLite::Database db(
            Engine::resolve(TableFiles::Schedule).toStdString(), SQLite::OPEN_READWRITE);
        db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)"
                " INSERT INTO data (\"Description\", \"Frequency\") SELECT 'Item ' || i, 1 FROM n");
    }
    createAllWindows();
    TfrmSched *w = Windows::frmSched;
    OptionsStore::instance().update([](Options &o) {
        o.intro = false;
        o.displayReminder = false;
    });
    QVERIFY(w->FormCreate());
    QTRY_VERIFY_WITH_TIMEOUT(w->startupDone(), 5000);
    const QString target = m_out->filePath(QStringLiteral("big.DB"));
    whenModalOf("TDestTableDlg", [&](QWidget *d) {
        auto *dialog = qobject_cast<TDestTableDlg *>(d);
        QVERIFY(dialog);
        QTest::mouseClick(dialog->ParadoxBtn, Qt::LeftButton);
        dialog->TabnameEdit->setText(target);
        QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
    });
    bool cancelled = false;
    whenModalOf("QProgressDialog", [&](QWidget *d) {
        auto *progress = qobject_cast<QProgressDialog *>(d);
        if (progress) {
            progress->cancel();
            cancelled = true;
        }
    });
    w->findChild<QAction *>(QStringLiteral("Export"))->trigger();
    QVERIFY(cancelled);
    QCOMPARE(m_env->messages.texts(), QStringList());
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(w->TableSched->recordCount(), 20000);
}

QTEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
