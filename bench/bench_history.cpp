// The history window over a history of a million paid items: opening its list
// and sorting it by Description, each against the bare SQLite query that lists
// the keys in the same order, and the resident memory of the open window.

#include "app/itemgrid.h"
#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"
#include "history/frmhistory.h"
#include "platform/busypointer.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int Records = 1000000;

struct World
{
    QTemporaryDir dir;
    std::string path;
    std::unique_ptr<TFrmHistory> window;
    double rssBefore = 0;
};
World *world = nullptr;

void openWindow()
{
    world->window->show();
    QCoreApplication::processEvents();
    world->window->DBGridSched->viewport()->repaint();
}

void closeWindow()
{
    world->window->reject();
    QCoreApplication::processEvents();
    BusyPointer::set(false);
}

void reportRatio(benchmark::State &state, double window, double baseline)
{
    const double n = double(state.iterations());
    state.counters["window_ms"] = 1000.0 * window / n;
    state.counters["sqlite_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? window / baseline : 0;
}

// The first time the window is shown in the process: nothing of it has been
// laid out or painted before. Runs before every other benchmark.
void BM_FirstOpenListDueDate(benchmark::State &state)
{
    double window = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        benchmark::DoNotOptimize(keysInOrder(world->path, "\"Due Date\", \"Description\""));
        baseline = secondsSince(t);

        t = Clock::now();
        openWindow();
        window = secondsSince(t);
        state.SetIterationTime(window);
        if (world->window->TableSched->recordCount() != Records)
            state.SkipWithError("the list is not complete");
        closeWindow();
    }
    state.counters["window_ms"] = 1000.0 * window;
    state.counters["sqlite_ms"] = 1000.0 * baseline;
    state.counters["ratio"] = baseline > 0 ? window / baseline : 0;
}

void BM_OpenListDueDate(benchmark::State &state)
{
    double window = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        benchmark::DoNotOptimize(keysInOrder(world->path, "\"Due Date\", \"Description\""));
        baseline += secondsSince(t);

        t = Clock::now();
        openWindow();
        const double took = secondsSince(t);
        window += took;
        state.SetIterationTime(took);
        if (world->window->TableSched->recordCount() != Records)
            state.SkipWithError("the list is not complete");
        closeWindow();
    }
    reportRatio(state, window, baseline);
}

void BM_SortByDescription(benchmark::State &state)
{
    openWindow();
    ItemGrid *grid = world->window->DBGridSched;
    const int description = grid->columnOf(QStringLiteral("Description"));
    const int due = grid->columnOf(QStringLiteral("Due Date"));
    double window = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        benchmark::DoNotOptimize(keysInOrder(world->path, "\"Description\""));
        baseline += secondsSince(t);

        t = Clock::now();
        grid->sortByColumn(description);
        grid->viewport()->repaint();
        const double took = secondsSince(t);
        window += took;
        state.SetIterationTime(took);
        grid->sortByColumn(due);
    }
    closeWindow();
    reportRatio(state, window, baseline);
}

void BM_ResidentMemoryOpen(benchmark::State &state)
{
    double rss = 0;
    for (auto _ : state) {
        openWindow();
        // Scroll through the list as a user would, so the row cache is in use.
        ItemGrid *grid = world->window->DBGridSched;
        for (int row = 0; row < Records; row += Records / 50)
            grid->scrollTo(grid->model()->index(row, 0));
        grid->viewport()->repaint();
        rss = residentMb();
        state.SetIterationTime(0.001);
        closeWindow();
    }
    state.counters["rss_MB"] = rss;
    state.counters["rss_before_MB"] = world->rssBefore;
}

BENCHMARK(BM_FirstOpenListDueDate)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResidentMemoryOpen)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenListDueDate)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_SortByDescription)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_history"));

    World w;
    world = &w;
    BenchSupport::workIn(w.dir.path(), w.dir.path());

    const Clock::time_point t = Clock::now();
    Engine::instance().createTable(QStringLiteral("history.DB"), Layouts::item());
    w.path = Engine::resolve(QStringLiteral("history.DB")).toStdString();
    // The file is written by a child process, so that the memory SQLite takes
    // for building the indexes is not counted against the window.
    const pid_t child = fork();
    if (child == 0) {
        try {
            fillHistory(w.path, Records);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "history.DB could not be written\n");
        return 1;
    }
    std::fprintf(
        stderr, "history.DB with %d records written in %.1f s\n", Records, secondsSince(t));

    w.window = std::make_unique<TFrmHistory>();
    w.window->CheckBoxToolTip->setChecked(false);
    w.rssBefore = residentMb();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w.window.reset();
    world = nullptr;
    return 0;
}
