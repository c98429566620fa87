// Every file the program writes goes through one guard: never over its own
// files in the data folder, whatever name or link leads there, and what a
// killed write left in a folder goes with the next write into it.

#include "support/testsupport.h"

#include "app/calendarexport.h"
#include "app/desttabledlg.h"
#include "app/savefile.h"
#include "app/windows.h"
#include "data/backuprestore.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tableexport.h"
#include "data/tablefiles.h"
#include "main/windowset.h"
#include "planning/cashflowforecast.h"
#include "reports/engine/output.h"
#include "reports/report.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
// Every file of a folder with its bytes.
QMap<QString, QByteArray> contents(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        QFile f(QDir(dir).filePath(name));
        files.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?"));
    }
    return files;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestDestination : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_env->createTables();
        writeFile(QDir(m_env->dir()).filePath(QStringLiteral(".duesmith-lock")), "lock");
        m_out = std::make_unique<QTemporaryDir>();
        QVERIFY(m_out->isValid());
    }
    void cleanup()
    {
        destroyAllWindows();
        m_env.reset();
    }

    void everyWriterKeepsOffTheProgramsOwnFiles_data();
    void everyWriterKeepsOffTheProgramsOwnFiles();
    void refusedBeforeAnyQuestion();

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<QTemporaryDir> m_out;
};

void TestDestination::everyWriterKeepsOffTheProgramsOwnFiles_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("target");
    const QStringList writers = { "Paradox", "dBASE", "text", "calendar", "report PDF",
        "forecast CSV", "forecast PDF", "backup" };
    const QStringList targets = { "schedule.DB", "HISTORY.db", "link to schedule.DB",
        "link to HISTORY.db", "link to .duesmith-lock", "link to .duesmith-session",
        ".duesmith-lock", ".duesmith-session", "linked folder/payee.db", "ordinary" };
    for (const QString &writer : writers)
        for (const QString &target : targets)
            // An export adds its extension to a name that starts with a dot.
            if (!target.startsWith(QLatin1Char('.')) || writers.indexOf(writer) > 2)
                QTest::newRow(qPrintable(writer + " onto " + target)) << writer << target;
}

void TestDestination::everyWriterKeepsOffTheProgramsOwnFiles()
{
    QFETCH(QString, writer);
    QFETCH(QString, target);
    const QDir data(m_env->dir());
    const QDir out(m_out->path());
    QString path;
    if (target.startsWith(QLatin1String("link to "))) {
        path = out.filePath(QStringLiteral("link.DB"));
        QVERIFY(QFile::link(data.filePath(target.mid(8)), path));
    } else if (target.startsWith(QLatin1String("linked folder/"))) {
        QVERIFY(QFile::link(data.path(), out.filePath(QStringLiteral("data"))));
        path = out.filePath(QStringLiteral("data/payee.db"));
    } else if (target == QLatin1String("ordinary")) {
        path = out.filePath(QStringLiteral("written.out"));
    } else {
        path = data.filePath(target);
    }
    // Left by killed writes, one of them still running, and a file of the user's.
    const QStringList stale
        = { "~duesmith-0123abcd.tmp", "~duesmith-export-89abcdef.old", ".history.db.part" };
    const QStringList kept = { "~duesmith-fedcba98.tmp", "~duesmith-notes.txt" };
    for (const QString &name : stale + kept)
        writeFile(out.filePath(name), "left");
    const int running = ::open(QFile::encodeName(out.filePath(kept[0])).constData(), O_RDONLY);
    QVERIFY(running >= 0 && ::flock(running, LOCK_EX) == 0);
    const auto closeRunning = qScopeGuard([running] { ::close(running); });
    const auto before = contents(data.path());

    QString error;
    const auto attempt = [&error](const std::function<void()> &write) {
        try {
            write();
        } catch (const EngineError &e) {
            error = e.message();
        }
    };
    const int exportType = QStringList({ "Paradox", "dBASE", "text" }).indexOf(writer) + 1;
    Table schedule(TableFiles::Schedule);
    if (exportType > 0) {
        schedule.open();
        attempt([&] { TableExport::run(schedule, { path, TableExport::Type(exportType) }); });
    } else if (writer == QLatin1String("calendar")) {
        CalendarExport::Choice choice;
        choice.file = path;
        CalendarExport::write(choice, nullptr, &error);
    } else if (writer == QLatin1String("report PDF")) {
        const auto report = std::move(Reports::makeReports().front());
        attempt([&] { ReportEngine::writePdf(*report->prepare({}, {}), path); });
    } else if (writer.startsWith(QLatin1String("forecast"))) {
        createAllWindows();
        auto *window = qobject_cast<CashFlowForecast *>(Windows::FrmCashFlowForecast);
        window->show();
        QTRY_VERIFY(window->forecast() && !window->busy());
        if (!(writer.endsWith(QLatin1String("CSV")) ? window->exportCsv(path)
                                                    : window->savePdf(path)))
            error = m_env->messages.texts().value(0, QStringLiteral("failed"));
    } else {
        // The copy of history goes where the backup folder's link leads.
        const QString folder = out.filePath(QStringLiteral("backups"));
        QVERIFY(out.mkdir(QStringLiteral("backups")) && QFile::link(path, folder + "/history.db"));
        attempt([&] { BackupRestore::backup({ TableFiles::History }, folder); });
    }

    QCOMPARE(contents(data.path()), before);
    for (const QString &name : kept)
        QVERIFY2(out.exists(name), qPrintable(name));
    const QStringList temporary = out.entryList(
        { QStringLiteral("~duesmith-*"), QStringLiteral(".*.part") }, QDir::Files | QDir::Hidden);
    if (target != QLatin1String("ordinary")) {
        QVERIFY2(error.contains(QLatin1String("Choose another name or folder")), qPrintable(error));
        QCOMPARE(temporary.size(), stale.size() + kept.size());
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(temporary, kept);
}

void TestDestination::refusedBeforeAnyQuestion()
{
    const QString history = QDir(m_env->dir()).filePath(QStringLiteral("HISTORY.DB"));
    writeFile(m_out->filePath(QStringLiteral("old.pdf")), "old");
    m_env->messages.answer({ false });
    QVERIFY(!SaveFile::confirm(history));
    QVERIFY(!SaveFile::confirm(m_out->filePath(QStringLiteral("old.pdf"))));
    whenModalOf("TDestTableDlg", [&](QWidget *w) {
        auto *dialog = qobject_cast<TDestTableDlg *>(w);
        dialog->TabnameEdit->setText(history);
        dialog->OKBtn->click();
        dialog->CancelBtn->click();
    });
    TDestTableDlg::Choice choice;
    QVERIFY(!TDestTableDlg::execute(TableFiles::History, 1, 0, choice));
    QStringList kinds;
    for (const ScriptedMessages::Shown &shown : m_env->messages.shown())
        kinds.append(shown.kind);
    QCOMPARE(kinds, QStringList({ "error", "yesno", "error" }));
    const QStringList texts = m_env->messages.texts();
    QVERIFY(texts[0].startsWith(QDir::toNativeSeparators(history) + " is one of the tables"));
    QCOMPARE(texts[2], texts[0]);
}

QTEST_MAIN(TestDestination)
#include "tst_destination.moc"
