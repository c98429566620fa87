// The memorized payee list over a schedule of 100,000 items with 5,000
// distinct descriptions, 2,000 of them memorized: opening the window with both
// lists filled against the bare unmemorized-names query, and Memorize All of
// the other 3,000 names against the same inserts in one bare transaction.

#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"
#include "dialogs/frmpayee.h"
#include "platform/messages.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int Items = 100000;
constexpr int Descriptions = 5000;
constexpr int Memorized = 2000;

// Says yes to every question; shows errors.
class YesMessages : public Messages
{
public:
    void inform(const QString &text) override { print(text); }
    void warn(const QString &text) override { print(text); }
    void error(const QString &text) override { print(text); }
    bool confirmYesNo(const QString &) override { return true; }
    bool confirmOkCancel(const QString &) override { return true; }

private:
    static void print(const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }
};

const char *const UnmemorizedSql = "SELECT s.\"Description\" FROM data s"
                                   " LEFT OUTER JOIN p.data p ON s.\"Description\" = p.\"Payee\""
                                   " WHERE p.\"Payee\" IS NULL GROUP BY s.\"Description\""
                                   " ORDER BY s.\"Description\"";

struct World
{
    QTemporaryDir dir;
    std::string schedule, payee;
    // Bare connections, kept open across iterations as the engine's is.
    std::unique_ptr<SQLite::Database> bareQuery; // schedule.DB with payee.db attached
    std::unique_ptr<SQLite::Database> barePayee; // payee.db, the engine's durability
    std::unique_ptr<TFrmPayee> window;
};
World *world = nullptr;

std::vector<std::string> bareUnmemorized()
{
    std::vector<std::string> names;
    SQLite::Statement query(*world->bareQuery, UnmemorizedSql);
    while (query.executeStep())
        names.emplace_back(query.getColumn(0).getText());
    return names;
}

// Back to the first 2,000 names memorized.
void resetPayees()
{
    world->barePayee->exec("DELETE FROM data WHERE CAST(substr(\"Payee\", 7) AS INTEGER) >= "
        + std::to_string(Memorized));
}

void openWindow()
{
    world->window->show();
    QCoreApplication::processEvents();
    world->window->ListUnmemorized->viewport()->repaint();
    world->window->ListMemorized->viewport()->repaint();
}

void closeWindow()
{
    world->window->reject();
    QCoreApplication::processEvents();
}

void reportRatio(benchmark::State &state, double window, double baseline)
{
    const double n = double(state.iterations());
    state.counters["window_ms"] = 1000.0 * window / n;
    state.counters["sqlite_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? window / baseline : 0;
}

void BM_OpenWindow(benchmark::State &state)
{
    double window = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        const std::vector<std::string> names = bareUnmemorized();
        baseline += secondsSince(t);

        t = Clock::now();
        openWindow();
        const double took = secondsSince(t);
        window += took;
        state.SetIterationTime(took);
        if (world->window->unmemorizedNames().size() != qsizetype(names.size())
            || names.size() != std::size_t(Descriptions - Memorized)
            || world->window->ListMemorized->model()->rowCount() != Memorized)
            state.SkipWithError("the lists are not complete");
        closeWindow();
    }
    reportRatio(state, window, baseline);
}

void BM_MemorizeAll(benchmark::State &state)
{
    double window = 0, baseline = 0;
    for (auto _ : state) {
        const std::vector<std::string> names = bareUnmemorized();
        Clock::time_point t = Clock::now();
        {
            SQLite::Database &db = *world->barePayee;
            db.exec("BEGIN IMMEDIATE");
            SQLite::Statement insert(db, "INSERT INTO data (\"Payee\") VALUES (?)");
            for (const std::string &name : names) {
                insert.reset();
                insert.bind(1, name);
                insert.exec();
            }
            db.exec("COMMIT");
        }
        baseline += secondsSince(t);
        resetPayees();

        openWindow();
        t = Clock::now();
        world->window->MemorizeAllClick();
        QCoreApplication::processEvents();
        world->window->ListUnmemorized->viewport()->repaint();
        world->window->ListMemorized->viewport()->repaint();
        const double took = secondsSince(t);
        window += took;
        state.SetIterationTime(took);
        if (!world->window->unmemorizedNames().isEmpty()
            || world->window->TablePayee->recordCount() != Descriptions)
            state.SkipWithError("not every name was memorized");
        closeWindow();
        resetPayees();
    }
    reportRatio(state, window, baseline);
}

BENCHMARK(BM_OpenWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_MemorizeAll)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bench_payee"));

    World w;
    world = &w;
    BenchSupport::workIn(w.dir.path(), w.dir.path());
    YesMessages messages;
    Messages::install(&messages);

    const Clock::time_point t = Clock::now();
    Engine &engine = Engine::instance();
    engine.createTable(QStringLiteral("schedule.DB"), Layouts::item());
    engine.createTable(QStringLiteral("payee.db"), Layouts::payee());
    w.schedule = Engine::resolve(QStringLiteral("schedule.DB")).toStdString();
    w.payee = Engine::resolve(QStringLiteral("payee.db")).toStdString();
    {
        SQLite::Database db(w.schedule, SQLite::OPEN_READWRITE);
        fillWithoutIndexes(db,
            "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Frequency\","
            " \"Units\") WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                + std::to_string(Items)
                + ") SELECT date('2024-01-01', '+' || (i % 365) || ' days'),"
                  " 'Payee ' || ((i * 7919) % "
                + std::to_string(Descriptions) + "), (i % 50000) / 100.0, 1, 'Months' FROM n");
        SQLite::Database payee(w.payee, SQLite::OPEN_READWRITE);
        payee.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
            + std::to_string(Memorized - 1)
            + ") INSERT INTO data (\"Payee\") SELECT 'Payee ' || i FROM n");
    }
    std::fprintf(stderr, "schedule.DB with %d items and payee.db with %d names written in %.1f s\n",
        Items, Memorized, secondsSince(t));

    w.bareQuery = std::make_unique<SQLite::Database>(w.schedule, SQLite::OPEN_READONLY);
    {
        SQLite::Statement attach(*w.bareQuery, "ATTACH DATABASE ? AS p");
        attach.bind(1, w.payee);
        attach.exec();
    }
    w.barePayee = std::make_unique<SQLite::Database>(w.payee, SQLite::OPEN_READWRITE);
    w.barePayee->exec(engineDurability(QStringLiteral("payee.db")));
    w.barePayee->setBusyTimeout(1000);
    w.window = std::make_unique<TFrmPayee>();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w.window.reset();
    w.bareQuery.reset();
    w.barePayee.reset();
    Messages::install(nullptr);
    world = nullptr;
    return 0;
}
