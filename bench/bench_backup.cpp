// Backup and restore of a history of a million paid items through the
// Backup/Restore window (busy pointer, progress window, checks), each against
// the bare SQLite statement that does the same copy: VACUUM INTO (with the
// file synced) for the backup, one INSERT ... SELECT of the same fields in one
// transaction for the restore.

#include "data/engine.h"
#include "data/layouts.h"
#include "data/tablefiles.h"
#include "platform/messages.h"
#include "tools/frmbackup.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int Records = 1000000;

// Answers nothing and shows nothing; remembers the last message.
class SilentMessages : public Messages
{
public:
    void inform(const QString &text) override { last = text; }
    void warn(const QString &text) override { last = text; }
    void error(const QString &text) override { last = text; }
    bool confirmYesNo(const QString &) override { return true; }
    bool confirmOkCancel(const QString &) override { return true; }
    QString last;
};

struct World
{
    QTemporaryDir dir;
    QString data;
    QString backups; // the window's copies
    QString bare; // the bare copies
    std::unique_ptr<TFrmBackup> window;
    SilentMessages messages;
};
World *world = nullptr;

void syncPath(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void reportRatio(benchmark::State &state, double ours, double baseline)
{
    const double n = double(state.iterations());
    state.counters["ours_ms"] = 1000.0 * ours / n;
    state.counters["sqlite_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? ours / baseline : 0;
}

void onlyHistory(TFrmBackup *w)
{
    for (QCheckBox *box :
        { w->CheckBoxBackSched, w->CheckBoxBackPayee, w->CheckBoxRestSched, w->CheckBoxRestPayee })
        box->setChecked(false);
}

// Counts the progress windows shown.
class ProgressWatch : public QObject
{
public:
    int shown = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog *>(watched))
            ++shown;
        return false;
    }
};
ProgressWatch *watch = nullptr;

bool progressShown()
{
    const bool shown = watch->shown > 0;
    watch->shown = 0;
    return shown;
}

void BM_BackupHistory(benchmark::State &state)
{
    const std::string source = Engine::resolve(TableFiles::History).toStdString();
    const std::string bareCopy = (world->bare + QStringLiteral("/history.db")).toStdString();
    double ours = 0, baseline = 0;
    bool progress = true;
    for (auto _ : state) {
        QFile::remove(QString::fromStdString(bareCopy));
        Clock::time_point t = Clock::now();
        {
            SQLite::Database db(source, SQLite::OPEN_READONLY);
            SQLite::Statement vacuum(db, "VACUUM INTO ?");
            vacuum.bind(1, bareCopy);
            vacuum.exec();
        }
        // VACUUM INTO leaves its file unsynced; a backup is not one until it is on disk.
        syncPath(bareCopy);
        syncPath(world->bare.toStdString());
        baseline += secondsSince(t);

        world->window->show();
        world->window->DirectoryEdit1->setText(world->backups);
        t = Clock::now();
        world->window->OkBtnClick();
        const double took = secondsSince(t);
        ours += took;
        state.SetIterationTime(took);
        progress = progress && progressShown();
        if (world->messages.last != QStringLiteral("Backup Complete.        "))
            state.SkipWithError(qPrintable(world->messages.last));
    }
    reportRatio(state, ours, baseline);
    state.counters["progress_shown"] = progress ? 1 : 0;
}

void BM_RestoreHistory(benchmark::State &state)
{
    const std::string live = Engine::resolve(TableFiles::History).toStdString();
    const std::string copy = (world->backups + QStringLiteral("/history.db")).toStdString();
    QStringList fields;
    for (const FieldDef &f : Layouts::item().fields)
        if (f.type != FieldType::Counter && f.name != QLatin1String("PayNow"))
            fields.append(Engine::quote(f.name));
    const std::string list = fields.join(QStringLiteral(", ")).toStdString();
    const std::string durability = engineDurability(TableFiles::History);
    double ours = 0, baseline = 0;
    bool progress = true;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        {
            SQLite::Database db(live, SQLite::OPEN_READWRITE);
            // The page cache the restore gives the live file.
            db.exec(durability + "PRAGMA cache_size=-65536;");
            SQLite::Statement attach(db, "ATTACH DATABASE ? AS b");
            attach.bind(1, copy);
            attach.exec();
            db.exec("BEGIN IMMEDIATE; DELETE FROM main.data; INSERT INTO main.data (" + list
                + ") SELECT " + list + " FROM b.data; COMMIT");
        }
        baseline += secondsSince(t);

        world->window->show();
        world->window->DirectoryEdit2->setText(world->backups);
        t = Clock::now();
        world->window->ButtonRestoreOKClick();
        const double took = secondsSince(t);
        ours += took;
        state.SetIterationTime(took);
        progress = progress && progressShown();
        if (world->messages.last != QStringLiteral("Restore Complete.        "))
            state.SkipWithError(qPrintable(world->messages.last));
    }
    reportRatio(state, ours, baseline);
    state.counters["progress_shown"] = progress ? 1 : 0;
}

BENCHMARK(BM_BackupHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RestoreHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_backup"));

    World w;
    world = &w;
    w.data = w.dir.filePath(QStringLiteral("data"));
    w.backups = w.dir.filePath(QStringLiteral("backups"));
    w.bare = w.dir.filePath(QStringLiteral("bare"));
    for (const QString &d : { w.data, w.backups, w.bare })
        QDir().mkpath(d);
    BenchSupport::workIn(w.data, w.dir.path());
    Messages::install(&w.messages);
    ProgressWatch progressWatch;
    watch = &progressWatch;
    app.installEventFilter(&progressWatch);

    const Clock::time_point t = Clock::now();
    for (const QString &f : { TableFiles::Schedule, TableFiles::History, TableFiles::Payee })
        Engine::instance().createTable(f, *Layouts::forFile(f));
    fillHistory(Engine::resolve(TableFiles::History).toStdString(), Records);
    std::fprintf(
        stderr, "history.DB with %d records written in %.1f s\n", Records, secondsSince(t));

    w.window = std::make_unique<TFrmBackup>();
    onlyHistory(w.window.get());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w.window.reset();
    Messages::install(nullptr);
    world = nullptr;
    return 0;
}
