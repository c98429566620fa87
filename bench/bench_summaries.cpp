// The main window over a schedule of 100,000 items: the aging computation and
// the two totals queries (the full path), each against one bare SQLite
// aggregate computing the same sums; the start-up reminder list against a
// bare INSERT ... SELECT doing the same copy; and an edit and a mark toggle in
// the list with everything the window does after the save (summaries, aging,
// redraw) against the bare UPDATE, commit and re-read of that row with the
// engine's durability. Each pair runs side by side in every iteration and
// reports its ratio.

#include "app/frmsched.h"
#include "app/itemgrid.h"
#include "app/itemmodel.h"
#include "app/summaries.h"
#include "data/engine.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/options.h"
#include "domain/reminderlist.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
constexpr int Items = 100000;
const QDateTime Now(QDate(2024, 3, 15), QTime(10, 0));

using Timer = std::chrono::steady_clock;

double secondsSince(Timer::time_point start)
{
    return std::chrono::duration<double>(Timer::now() - start).count();
}

// Messages go to the console: nobody is there to answer a box.
class ConsoleMessages : public Messages
{
public:
    void inform(const QString &text) override { print(text); }
    void warn(const QString &text) override { print(text); }
    void error(const QString &text) override { print(text); }
    bool confirmYesNo(const QString &text) override { return print(text), true; }
    bool confirmOkCancel(const QString &text) override { return print(text), true; }

private:
    static void print(const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

// Due dates from two months back to four months ahead (one in twenty empty),
// expenses and incomes with cents, warning days 0 to 10 or empty, one in ten marked.
void fillSchedule(const std::string &path)
{
    SQLite::Database db(path, SQLite::OPEN_READWRITE);
    db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
    db.exec("BEGIN");
    db.exec("INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\","
            " \"Frequency\", \"Units\", \"Warning Days\", \"PayNow\", \"User Field 1\")"
            " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
        + std::to_string(Items)
        + ")"
          " SELECT CASE WHEN i % 20 = 0 THEN NULL"
          "   ELSE date('2024-03-15', ((i * 7919) % 180 - 60) || ' days') END,"
          " 'Payee ' || ((i * 2654435761) % 997),"
          " CASE WHEN i % 3 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
          " CASE WHEN i % 3 = 0 THEN (i % 90001) / 100.0 ELSE NULL END,"
          " 1, 'Months', CASE WHEN i % 7 = 0 THEN NULL ELSE i % 11 END,"
          " CASE WHEN i % 10 = 0 THEN char(252) ELSE NULL END, 'account ' || (i % 97)"
          " FROM n");
    db.exec("COMMIT");
}

// The bare aggregate: the ten bucket sums in ten-thousandths.
std::string agingSql()
{
    // +"Due Date" has no affinity, so the stored text is compared as it is.
    const char *bucket[] = { "+\"Due Date\" IS NULL OR +\"Due Date\" <= ?1",
        "+\"Due Date\" > ?1 AND +\"Due Date\" <= ?2", "+\"Due Date\" > ?2 AND +\"Due Date\" <= ?3",
        "+\"Due Date\" > ?3 AND +\"Due Date\" <= ?4", "+\"Due Date\" > ?4" };
    std::string sql = "SELECT ";
    for (const char *amount : { "\"Bill Amount\"", "\"Pay Amount\"" })
        for (const char *b : bucket)
            sql += std::string("SUM(CASE WHEN ") + b + " THEN CAST(ROUND(" + amount
                + " * 10000) AS INTEGER) END), ";
    sql.resize(sql.size() - 2);
    return sql + " FROM data";
}

const char *const TotalsSql
    = "SELECT \"PayNow\", sum(\"Bill Amount\") AS TotalBillAmount,"
      " sum(\"Pay Amount\") AS TotalPayAmount, count(\"Description\") AS totalcount"
      " FROM data GROUP BY \"PayNow\" ORDER BY \"PayNow\"";
const char *const DueDateTotalsSql
    = "SELECT \"Due Date\", sum(\"Bill Amount\") AS TotalBillAmount,"
      " sum(\"Pay Amount\") AS TotalPayAmount, count(\"Description\") AS totalcount"
      " FROM data GROUP BY \"Due Date\" ORDER BY \"Due Date\"";

struct World
{
    QTemporaryDir dir;
    std::string schedule;
    std::string resched;
    std::unique_ptr<TfrmSched> window;
    // The bare connections stay open, as the engine's does.
    std::unique_ptr<SQLite::Database> bareSchedule;
    std::unique_ptr<SQLite::Database> bareResched;
};
World *world = nullptr;

// The window the benchmarks after the start-up one work on, started once.
TfrmSched *window()
{
    if (!world->window) {
        world->window = std::make_unique<TfrmSched>();
        TfrmSched *w = world->window.get();
        OptionsStore::instance().update([](Options &o) {
            o.intro = false;
            o.displayReminder = false;
        });
        if (!w->FormCreate())
            std::abort();
        // The size of the screenshots in docs/screens; the list shows about 30 rows.
        w->resize(1280, 800);
        w->show();
        while (!w->startupDone())
            QCoreApplication::processEvents();
    }
    return world->window.get();
}

long long bareAging()
{
    SQLite::Statement stmt(*world->bareSchedule, agingSql());
    const char *ends[] = { "2024-03-15", "2024-03-22", "2024-03-29", "2024-04-05" };
    for (int k = 0; k < 4; ++k)
        stmt.bind(k + 1, ends[k]);
    long long total = 0;
    if (stmt.executeStep())
        for (int c = 0; c < 10; ++c)
            total += stmt.getColumn(c).getInt64();
    return total;
}

int bareQuery(const char *sql)
{
    SQLite::Statement stmt(*world->bareSchedule, sql);
    int rows = 0;
    while (stmt.executeStep()) {
        for (int c = 0; c < 4; ++c)
            benchmark::DoNotOptimize(stmt.getColumn(c).getText());
        ++rows;
    }
    return rows;
}

int bareReminder()
{
    SQLite::Database &db = *world->bareResched;
    const std::string columns = "\"PayNow\", \"Due Date\", \"Pay Date\", \"Description\","
                                " \"Bill Amount\", \"Pay Amount\", \"Frequency\", \"Units\","
                                " \"End Date\", \"Warning Days\", \"Budget\", \"Balance\","
                                " \"User Field 1\", \"User Field 2\", \"User Field 3\","
                                " \"User Field 4\"";
    db.exec("BEGIN IMMEDIATE");
    db.exec("DELETE FROM main.data");
    SQLite::Statement copy(db,
        "INSERT INTO main.data (" + columns + ") SELECT " + columns
            + " FROM s.data WHERE \"Due Date\" IS NULL"
              " OR julianday(\"Due Date\") <= julianday(?1) + COALESCE(\"Warning Days\", 0)"
              " ORDER BY \"Due Date\", \"Description\", rowid");
    copy.bind(1, "2024-03-15");
    const int listed = copy.exec();
    db.exec("COMMIT");
    return listed;
}

// CPU time of the calling thread: how long the interface thread worked, apart
// from the time it waited for the disk.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void reportCpu(benchmark::State &state, double ours, double baseline)
{
    const double n = double(state.iterations());
    state.counters["ours_cpu_ms"] = 1000.0 * ours / n;
    state.counters["sqlite_cpu_ms"] = 1000.0 * baseline / n;
}

void reportRatio(benchmark::State &state, double ours, double baseline)
{
    const double n = double(state.iterations());
    state.counters["ours_ms"] = 1000.0 * ours / n;
    state.counters["sqlite_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? ours / baseline : 0;
}

template <typename Ours, typename Bare>
void sideBySide(benchmark::State &state, Ours ours, Bare bare)
{
    double oursTotal = 0, bareTotal = 0;
    for (auto _ : state) {
        Timer::time_point t = Timer::now();
        bare();
        bareTotal += secondsSince(t);

        t = Timer::now();
        ours();
        const double took = secondsSince(t);
        oursTotal += took;
        state.SetIterationTime(took);
    }
    reportRatio(state, oursTotal, bareTotal);
}

void BM_UpdateDueTotals(benchmark::State &state)
{
    sideBySide(
        state, [] { window()->UpdateDueTotals(); }, [] { benchmark::DoNotOptimize(bareAging()); });
}

// The same after every change of an amount, so the aging rows are rewritten each time.
void BM_UpdateDueTotalsAfterChange(benchmark::State &state)
{
    SQLite::Database editor(world->schedule, SQLite::OPEN_READWRITE);
    SQLite::Statement change(editor, "UPDATE data SET \"Bill Amount\" = ? WHERE rowid = 1");
    double oursTotal = 0, bareTotal = 0;
    int round = 0;
    for (auto _ : state) {
        change.bind(1, 10.0 + ++round);
        change.exec();
        change.reset();

        Timer::time_point t = Timer::now();
        benchmark::DoNotOptimize(bareAging());
        bareTotal += secondsSince(t);

        t = Timer::now();
        window()->UpdateDueTotals();
        const double took = secondsSince(t);
        oursTotal += took;
        state.SetIterationTime(took);
    }
    reportRatio(state, oursTotal, bareTotal);
}

void BM_QueryTotals(benchmark::State &state)
{
    TfrmSched *w = window();
    auto *model = static_cast<SummaryModel *>(w->DBGridPayDate->model());
    sideBySide(
        state,
        [w, model] {
            w->QueryTotals->reopen();
            model->reset();
        },
        [] { benchmark::DoNotOptimize(bareQuery(TotalsSql)); });
}

void BM_QueryDuedateTotals(benchmark::State &state)
{
    TfrmSched *w = window();
    auto *model = static_cast<SummaryModel *>(w->DBGridDueDate->model());
    sideBySide(
        state,
        [w, model] {
            w->QueryDuedateTotals->reopen();
            model->reset();
        },
        [] { benchmark::DoNotOptimize(bareQuery(DueDateTotalsSql)); });
}

void BM_BuildReminderList(benchmark::State &state)
{
    TfrmSched *w = window();
    int listed = 0, bareListed = 0;
    sideBySide(
        state, [w, &listed] { listed = ReminderList::build(w->Tableresched, w->TableSched2, Now); },
        [&bareListed] { bareListed = bareReminder(); });
    if (listed != bareListed)
        state.SkipWithError("the lists differ");
    state.counters["listed"] = listed;
}

// One row of the list edited the bare way: an autocommit UPDATE with the
// engine's durability and the row read again.
struct BareRow
{
    SQLite::Database db;
    SQLite::Statement setAmount;
    SQLite::Statement setMark;
    SQLite::Statement read;
    explicit BareRow(const std::string &path)
        : db(path, SQLite::OPEN_READWRITE)
        , setAmount(db, "UPDATE data SET \"Bill Amount\" = ? WHERE rowid = ?")
        , setMark(db, "UPDATE data SET \"PayNow\" = ? WHERE rowid = ?")
        , read(db, "SELECT * FROM data WHERE rowid = ?")
    {
        db.exec(BenchSupport::engineDurability(QStringLiteral("schedule.DB")));
    }
    void update(SQLite::Statement &stmt, long long key)
    {
        stmt.bind(2, static_cast<int64_t>(key));
        stmt.exec();
        stmt.reset();
        read.bind(1, static_cast<int64_t>(key));
        while (read.executeStep())
            for (int c = 0; c < read.getColumnCount(); ++c)
                benchmark::DoNotOptimize(read.getColumn(c).getText());
        read.reset();
    }
};

// What the window shows after a save: it repaints what the change made out of
// date (the list's rows and the summaries) when its events are processed. The
// program's event loop also deletes the editors a move closed; processEvents()
// outside a running loop leaves them, and the list would slow down with each one.
void redraw(TfrmSched *)
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// One save per iteration, timed on both sides: the bare statement, then ours
// (after its untimed preparation) with the window's redraw, each side's
// interface-thread CPU time kept beside the wall time.
template <typename BareSave, typename Prepare, typename OurSave>
void timeSaves(benchmark::State &state, BareSave bareSave, Prepare prepare, OurSave ourSave,
    const char *notPosted)
{
    TfrmSched *w = window();
    double oursTotal = 0, bareTotal = 0, oursCpu = 0, bareCpu = 0;
    int n = 0;
    for (auto _ : state) {
        ++n;
        Timer::time_point t = Timer::now();
        double cpu = threadCpuSeconds();
        bareSave(n);
        bareCpu += threadCpuSeconds() - cpu;
        bareTotal += secondsSince(t);

        prepare(n);
        redraw(w);
        t = Timer::now();
        cpu = threadCpuSeconds();
        ourSave(n);
        redraw(w);
        oursCpu += threadCpuSeconds() - cpu;
        const double took = secondsSince(t);
        oursTotal += took;
        state.SetIterationTime(took);
        if (w->TableSched->isEditing())
            state.SkipWithError(notPosted);
    }
    reportRatio(state, oursTotal, bareTotal);
    reportCpu(state, oursCpu, bareCpu);
}

// The n-th of up to 20 rows a user edits without scrolling: every other row
// of what the list shows, so leaving one lands on a row that is in view too.
int rowInView(ItemGrid *grid, int n)
{
    const int last = grid->rowAt(grid->viewport()->height() - 1);
    const int first = grid->rowAt(0);
    const int rows = std::clamp((last - first - 1) / 2, 1, 20);
    return first + (n % rows) * 2;
}

// An expense typed into a row of the list, then the row left: the post, the
// summaries and the aging kept up to date, the window redrawn.
void BM_EditAmountAndLeaveRow(benchmark::State &state)
{
    TfrmSched *w = window();
    ItemModel *model = w->DBGridSched->itemModel();
    const int amount = w->DBGridSched->columnOf(QStringLiteral("Bill Amount"));
    BareRow bare(world->schedule);
    const auto row = [w](int n) { return rowInView(w->DBGridSched, n); };
    timeSaves(
        state,
        [&](int n) {
            bare.setAmount.bind(1, 12.5 + n);
            bare.update(bare.setAmount, w->TableSched->keyAtRow(row(n) + 1000));
        },
        [&](int n) {
            // The aging rows of the last edit reach the file before the next one.
            w->flushAgingWrites();
            w->DBGridSched->setCurrentIndex(model->index(row(n), amount));
        },
        [&](int n) {
            model->setText(amount, QString::number(12.5 + n));
            w->DBGridSched->setCurrentIndex(model->index(row(n) + 1, amount));
        },
        "the row was not posted");
}

// The payment mark toggled on a row of the list (posted at once), with the same work after it.
void BM_ToggleMark(benchmark::State &state)
{
    TfrmSched *w = window();
    ItemModel *model = w->DBGridSched->itemModel();
    const int mark = w->DBGridSched->columnOf(QStringLiteral("PayNow"));
    BareRow bare(world->schedule);
    const auto row = [w](int n) { return rowInView(w->DBGridSched, n); };
    timeSaves(
        state,
        [&](int n) {
            if (n % 2)
                bare.setMark.bind(1, "\xc3\xbc");
            else
                bare.setMark.bind(1);
            bare.update(bare.setMark, w->TableSched->keyAtRow(row(n) + 1000));
        },
        [&](int n) { w->DBGridSched->setCurrentIndex(model->index(row(n), mark)); },
        [&](int) { w->DBGridSched->toggleMark(); }, "the mark was not posted");
}

// A hundred items marked one after another, as a user clicks down the list:
// the interface time of the whole series.
void BM_Mark100Items(benchmark::State &state)
{
    TfrmSched *w = window();
    ItemGrid *grid = w->DBGridSched;
    ItemModel *model = grid->itemModel();
    const int mark = grid->columnOf(QStringLiteral("PayNow"));
    BareRow bare(world->schedule);
    double oursTotal = 0, bareTotal = 0;
    for (auto _ : state) {
        Timer::time_point t = Timer::now();
        for (int i = 0; i < 100; ++i) {
            bare.setMark.bind(1, "\xc3\xbc");
            bare.update(bare.setMark, w->TableSched->keyAtRow(3000 + i));
        }
        bareTotal += secondsSince(t);

        double took = 0;
        for (int i = 0; i < 100; ++i) {
            grid->setCurrentIndex(model->index(300 + i, mark));
            QCoreApplication::processEvents();
            t = Timer::now();
            grid->toggleMark();
            redraw(w);
            took += secondsSince(t);
        }
        oursTotal += took;
        state.SetIterationTime(took);
    }
    reportRatio(state, oursTotal, bareTotal);
}

// Start-up to an idle main window: the window built, the tables checked and
// opened, the summaries and the aging computed, the first screen painted,
// against the bare reads behind it on a connection opened for the purpose:
// the list's keys, the two totals statements, the aging aggregate and the
// first screen of rows.
void BM_StartUp(benchmark::State &state)
{
    double oursTotal = 0, bareTotal = 0;
    for (auto _ : state) {
        Timer::time_point t = Timer::now();
        {
            SQLite::Database db(world->schedule, SQLite::OPEN_READONLY);
            SQLite::Statement keys(db,
                "SELECT \"PrimaryKey\" FROM data ORDER BY \"Due Date\", \"Description\", rowid");
            std::vector<long long> list;
            while (keys.executeStep())
                list.push_back(keys.getColumn(0).getInt64());
            benchmark::DoNotOptimize(list.data());
            for (const char *sql : { TotalsSql, DueDateTotalsSql }) {
                SQLite::Statement totals(db, sql);
                while (totals.executeStep())
                    for (int c = 0; c < 4; ++c)
                        benchmark::DoNotOptimize(totals.getColumn(c).getText());
            }
            SQLite::Statement aging(db, agingSql());
            const char *ends[] = { "2024-03-15", "2024-03-22", "2024-03-29", "2024-04-05" };
            for (int k = 0; k < 4; ++k)
                aging.bind(k + 1, ends[k]);
            while (aging.executeStep())
                benchmark::DoNotOptimize(aging.getColumn(0).getInt64());
            SQLite::Statement screen(
                db, "SELECT * FROM data ORDER BY \"Due Date\", \"Description\", rowid LIMIT 30");
            while (screen.executeStep())
                for (int c = 0; c < screen.getColumnCount(); ++c)
                    benchmark::DoNotOptimize(screen.getColumn(c).getText());
        }
        bareTotal += secondsSince(t);

        t = Timer::now();
        {
            TfrmSched w;
            OptionsStore::instance().update([](Options &o) {
                o.intro = false;
                o.displayReminder = false;
            });
            if (!w.FormCreate())
                state.SkipWithError("start-up failed");
            w.show();
            while (!w.startupDone())
                QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            const double took = secondsSince(t);
            oursTotal += took;
            state.SetIterationTime(took);
            if (w.TableSched->recordCount() != Items)
                state.SkipWithError("the list is not complete");
        }
    }
    reportRatio(state, oursTotal, bareTotal);
}

BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_UpdateDueTotals)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_UpdateDueTotalsAfterChange)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);
BENCHMARK(BM_QueryTotals)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_QueryDuedateTotals)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BuildReminderList)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_EditAmountAndLeaveRow)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ToggleMark)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Mark100Items)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_summaries"));

    World w;
    world = &w;
    BenchSupport::workIn(w.dir.path(), w.dir.path());
    ConsoleMessages messages;
    Messages::install(&messages);
    PinnedClock clock(Now);
    Clock::install(&clock);

    const Timer::time_point t = Timer::now();
    Engine &engine = Engine::instance();
    engine.createTable(QStringLiteral("schedule.DB"), Layouts::item());
    engine.createTable(QStringLiteral("history.DB"), Layouts::item());
    engine.createTable(QStringLiteral("resched.DB"), Layouts::item());
    engine.createTable(QStringLiteral("payee.db"), Layouts::payee());
    engine.createTable(QStringLiteral("age.db"), Layouts::aging());
    w.schedule = Engine::resolve(QStringLiteral("schedule.DB")).toStdString();
    w.resched = Engine::resolve(QStringLiteral("resched.DB")).toStdString();
    fillSchedule(w.schedule);
    std::fprintf(stderr, "schedule.DB with %d items written in %.1f s\n", Items, secondsSince(t));

    w.bareSchedule = std::make_unique<SQLite::Database>(w.schedule, SQLite::OPEN_READONLY);
    w.bareResched = std::make_unique<SQLite::Database>(w.resched, SQLite::OPEN_READWRITE);
    w.bareResched->exec(BenchSupport::engineDurability(QStringLiteral("resched.DB")));
    {
        SQLite::Statement attach(*w.bareResched, "ATTACH DATABASE ? AS s");
        attach.bind(1, w.schedule);
        attach.exec();
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w.bareSchedule.reset();
    w.bareResched.reset();
    w.window.reset();
    Messages::install(nullptr);
    Clock::install(nullptr);
    world = nullptr;
    return 0;
}
