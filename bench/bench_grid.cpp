// The main item list over a schedule of 100,000 items: opening it and drawing
// its first screen, a title sort, and editing an amount and leaving the row,
// each against bare SQLite doing the reading or writing behind it.

#include "app/itemgrid.h"
#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int Items = 100000;

std::string schedulePath()
{
    return Engine::resolve(QStringLiteral("schedule.DB")).toStdString();
}

void fillSchedule()
{
    Engine::instance().createTable(QStringLiteral("schedule.DB"), Layouts::item());
    SQLite::Database db(schedulePath(), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-200000");
    db.exec("BEGIN");
    db.exec("INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\","
            " \"Frequency\", \"Units\", \"Warning Days\", \"Budget\", \"Balance\", \"User Field "
            "1\", \"PayNow\")"
            " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
        + std::to_string(Items)
        + ") SELECT date('2024-01-01', '+' || ((i * 7919) % 1500) || ' days'),"
          " (CASE i % 2 WHEN 0 THEN 'payee ' ELSE 'Payee ' END) || ((i * 2654435761) % 1000003),"
          " CASE WHEN i % 4 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
          " CASE WHEN i % 4 = 0 THEN (i % 90000) / 100.0 ELSE NULL END,"
          " 1 + i % 12, CASE i % 3 WHEN 0 THEN 'Months' WHEN 1 THEN 'Weeks' ELSE 'Days' END,"
          " i % 10, 100.0, (i % 1000) * 1.5, 'account ' || (i % 97),"
          " CASE WHEN i % 10 = 0 THEN char(252) ELSE NULL END FROM n");
    db.exec("COMMIT");
}

std::vector<long long> keysInOrder(const char *orderBy)
{
    SQLite::Database db(schedulePath(), SQLite::OPEN_READONLY);
    SQLite::Statement stmt(
        db, std::string("SELECT \"PrimaryKey\" FROM data ORDER BY ") + orderBy + ", rowid");
    std::vector<long long> keys;
    while (stmt.executeStep())
        keys.push_back(stmt.getColumn(0).getInt64());
    return keys;
}

void reportRatio(benchmark::State &state, double list, double baseline)
{
    const double n = double(state.iterations());
    state.counters["list_ms"] = 1000.0 * list / n;
    state.counters["sqlite_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? list / baseline : 0;
}

// The main window's list: its columns over "Due Date Index".
struct MainList
{
    Table table{ QStringLiteral("schedule.DB") };
    ItemGrid grid;

    MainList()
    {
        table.setIndexName(QStringLiteral("Due Date Index"));
        grid.setTable(&table);
        grid.setColumns({
            { QStringLiteral("PayNow"), QStringLiteral("Pay?"), 40 },
            { QStringLiteral("Due Date"), {}, 84 },
            { QStringLiteral("Description"), {}, 167 },
            { QStringLiteral("Bill Amount"), QStringLiteral("Expense Amount"), 61 },
            { QStringLiteral("Pay Amount"), QStringLiteral("Income Amount"), 62 },
            { QStringLiteral("Frequency"), QStringLiteral("Repeat Every"), 65 },
            { QStringLiteral("Units"), {}, 74 },
            { QStringLiteral("End Date"), {}, 61 },
            { QStringLiteral("Warning Days"), {}, 64 },
            { QStringLiteral("Budget"), QStringLiteral("Budget Amount"), 64 },
            { QStringLiteral("Balance"), {}, 64 },
            { QStringLiteral("User Field 1"), {}, 80 },
            { QStringLiteral("User Field 2"), {}, 80 },
            { QStringLiteral("User Field 3"), {}, 80 },
            { QStringLiteral("User Field 4"), {}, 80 },
        });
        grid.resize(1000, 600);
    }
    void open()
    {
        table.open();
        grid.syncFromTable();
        benchmark::DoNotOptimize(grid.grab());
    }
};

void BM_OpenMainList(benchmark::State &state)
{
    double list = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        benchmark::DoNotOptimize(keysInOrder("\"Due Date\", \"Description\""));
        baseline += secondsSince(t);

        t = Clock::now();
        MainList main;
        main.open();
        const double took = secondsSince(t);
        list += took;
        state.SetIterationTime(took);
        if (main.table.recordCount() != Items)
            state.SkipWithError("the list is not complete");
    }
    reportRatio(state, list, baseline);
}

void BM_TitleSort(benchmark::State &state)
{
    MainList main;
    main.open();
    const int description = main.grid.columnOf(QStringLiteral("Description"));
    const int due = main.grid.columnOf(QStringLiteral("Due Date"));
    double list = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        benchmark::DoNotOptimize(keysInOrder("\"Description\""));
        baseline += secondsSince(t);

        t = Clock::now();
        main.grid.sortByColumn(description);
        benchmark::DoNotOptimize(main.grid.grab());
        const double took = secondsSince(t);
        list += took;
        state.SetIterationTime(took);

        state.PauseTiming();
        main.grid.sortByColumn(due);
        state.ResumeTiming();
    }
    reportRatio(state, list, baseline);
}

// Typing an amount into a visible row and moving to the next row: the post,
// then the list drawn again, against one UPDATE committed and the visible
// rows read again.
void BM_EditAmountAndLeaveRow(benchmark::State &state)
{
    MainList main;
    main.open();
    ItemModel *model = main.grid.itemModel();
    const int amount = main.grid.columnOf(QStringLiteral("Bill Amount"));
    const int visible = main.grid.rowAt(main.grid.viewport()->height() - 1);
    SQLite::Database db(schedulePath(), SQLite::OPEN_READWRITE);
    db.exec(engineDurability(QStringLiteral("schedule.DB")));
    SQLite::Statement update(db, "UPDATE data SET \"Bill Amount\" = ? WHERE rowid = ?");
    SQLite::Statement rows(
        db, "SELECT * FROM data ORDER BY \"Due Date\", \"Description\", rowid LIMIT ?");
    const std::vector<long long> keys = keysInOrder("\"Due Date\", \"Description\"");
    double list = 0, baseline = 0;
    int n = 0;
    for (auto _ : state) {
        ++n;
        const int row = n % std::max(1, visible - 1);
        Clock::time_point t = Clock::now();
        update.bind(1, 12.5 + n);
        update.bind(2, static_cast<int64_t>(keys[size_t(row) + 5]));
        update.exec();
        update.reset();
        rows.bind(1, visible + 1);
        while (rows.executeStep())
            for (int c = 0; c < rows.getColumnCount(); ++c)
                benchmark::DoNotOptimize(rows.getColumn(c).getText());
        rows.reset();
        baseline += secondsSince(t);

        main.grid.setCurrentIndex(model->index(row, amount));
        t = Clock::now();
        model->setText(amount, QString::number(12.5 + n));
        main.grid.setCurrentIndex(model->index(row + 1, amount));
        benchmark::DoNotOptimize(main.grid.grab());
        const double took = secondsSince(t);
        list += took;
        state.SetIterationTime(took);
        if (main.table.isEditing())
            state.SkipWithError("the row was not posted");
    }
    reportRatio(state, list, baseline);
}

BENCHMARK(BM_OpenMainList)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_TitleSort)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_EditAmountAndLeaveRow)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QApplication app(argc, argv);
    QTemporaryDir dir(
        QCoreApplication::applicationDirPath() + QStringLiteral("/bench_grid-XXXXXX"));
    QDir::setCurrent(dir.path());

    const Clock::time_point t = Clock::now();
    fillSchedule();
    std::fprintf(stderr, "schedule.DB with %d items written in %.1f s\n", Items, secondsSince(t));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
