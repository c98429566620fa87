// The main window's summaries over a schedule of 100,000 items: the aging
// computation and the two totals queries, each against one bare SQLite
// aggregate computing the same sums, and the start-up reminder list against a
// bare INSERT ... SELECT doing the same copy. Each pair runs side by side in
// every iteration and reports its ratio.

#include "app/frmsched.h"
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
#include <QDir>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

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
    const char *bucket[] = { "d IS NULL OR d <= ?1", "d > ?1 AND d <= ?2", "d > ?2 AND d <= ?3",
        "d > ?3 AND d <= ?4", "d > ?4" };
    std::string sql = "SELECT ";
    for (const char *amount : { "\"Bill Amount\"", "\"Pay Amount\"" })
        for (const char *b : bucket)
            sql += std::string("SUM(CASE WHEN ") + b + " THEN CAST(ROUND(" + amount
                + " * 10000) AS INTEGER) END), ";
    sql.resize(sql.size() - 2);
    return sql + " FROM (SELECT \"Due Date\" AS d, \"Bill Amount\", \"Pay Amount\" FROM data)";
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
        state, [] { world->window->UpdateDueTotals(); },
        [] { benchmark::DoNotOptimize(bareAging()); });
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
        world->window->UpdateDueTotals();
        const double took = secondsSince(t);
        oursTotal += took;
        state.SetIterationTime(took);
    }
    reportRatio(state, oursTotal, bareTotal);
}

void BM_QueryTotals(benchmark::State &state)
{
    TfrmSched *w = world->window.get();
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
    TfrmSched *w = world->window.get();
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
    TfrmSched *w = world->window.get();
    int listed = 0, bareListed = 0;
    sideBySide(
        state, [w, &listed] { listed = ReminderList::build(w->Tableresched, w->TableSched2, Now); },
        [&bareListed] { bareListed = bareReminder(); });
    if (listed != bareListed)
        state.SkipWithError("the lists differ");
    state.counters["listed"] = listed;
}

BENCHMARK(BM_UpdateDueTotals)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_UpdateDueTotalsAfterChange)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);
BENCHMARK(BM_QueryTotals)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_QueryDuedateTotals)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BuildReminderList)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_summaries"));

    World w;
    world = &w;
    QDir::setCurrent(w.dir.path());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, w.dir.path());
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

    w.window = std::make_unique<TfrmSched>();
    OptionsStore::instance().update([&](Options &o) {
        o.intro = false;
        o.displayReminder = false;
    });
    if (!w.window->FormCreate())
        return 1;

    w.bareSchedule = std::make_unique<SQLite::Database>(w.schedule, SQLite::OPEN_READONLY);
    w.bareResched = std::make_unique<SQLite::Database>(w.resched, SQLite::OPEN_READWRITE);
    w.bareResched->exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL");
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
    w.window->QueryTotals->close();
    w.window->QueryDuedateTotals->close();
    w.window.reset();
    Messages::install(nullptr);
    Clock::install(nullptr);
    world = nullptr;
    return 0;
}
