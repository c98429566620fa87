// The table handle against bare SQLite doing the same work on a file in the
// same folder: opening a history of a million records in "Due Date Index"
// order, appending records one durable post at a time, and scanning a table.

#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int HistoryRecords = 1000000;
constexpr int ScanRecords = 100000;
constexpr int Appends = 10000;

std::string pathOf(const char *name)
{
    return Engine::resolve(QString::fromLatin1(name)).toStdString();
}

// Fills an item table with generated records in one statement.
void fillItems(const char *name, int count)
{
    Engine::instance().createTable(QString::fromLatin1(name), Layouts::item());
    SQLite::Database db(pathOf(name), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-200000");
    db.exec("BEGIN");
    db.exec("INSERT INTO data (\"Process Date\", \"Due Date\", \"Description\", \"Bill Amount\","
            " \"Pay Amount\", \"Frequency\", \"Units\", \"Warning Days\", \"Budget\", \"Balance\","
            " \"User Field 1\")"
            " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
        + std::to_string(count)
        + ") SELECT date('2000-01-01', '+' || (i % 9000) || ' days'),"
          " CASE WHEN i % 101 = 0 THEN NULL"
          " ELSE date('2000-01-01', '+' || ((i * 7919) % 9000) || ' days') END,"
          " (CASE i % 2 WHEN 0 THEN 'payee ' ELSE 'Payee ' END) || ((i * 2654435761) % 1000003),"
          " CASE WHEN i % 4 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
          " CASE WHEN i % 4 = 0 THEN (i % 90000) / 100.0 ELSE NULL END,"
          " i % 13, CASE i % 3 WHEN 0 THEN 'Months' WHEN 1 THEN 'Weeks' ELSE 'Days' END,"
          " i % 10, 100.0, (i % 1000) * 1.5, 'account ' || (i % 97) FROM n");
    db.exec("COMMIT");
}

void reportRatio(benchmark::State &state, double handle, double baseline)
{
    const double n = double(state.iterations());
    state.counters["handle_ms"] = 1000.0 * handle / n;
    state.counters["sqlite_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? handle / baseline : 0;
}

// What the bare baseline reads: the keys in the order of "Due Date Index".
std::vector<long long> dueDateKeys(const std::string &path)
{
    return keysInOrder(path, "\"Due Date\", \"Description\"");
}

void readFirst50(Table &t)
{
    int n = 0;
    for (t.first(); !t.eof() && n < 50; t.next(), ++n)
        for (int f = 0; f < t.fields().size(); ++f)
            benchmark::DoNotOptimize(t.value(f));
}

void BM_OpenHistoryFirst50(benchmark::State &state)
{
    const std::string path = pathOf("history.DB");
    double handle = 0, baseline = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        benchmark::DoNotOptimize(dueDateKeys(path));
        baseline += secondsSince(t);

        t = Clock::now();
        Table history(QStringLiteral("history.DB"));
        history.setIndexName(QStringLiteral("Due Date Index"));
        history.open();
        readFirst50(history);
        const double took = secondsSince(t);
        handle += took;
        state.SetIterationTime(took);
        if (history.recordCount() != HistoryRecords)
            state.SkipWithError("the handle does not see every record");
    }
    reportRatio(state, handle, baseline);
}

void BM_OpenHistoryMemory(benchmark::State &state)
{
    double grown = 0;
    for (auto _ : state) {
        const double before = residentMb();
        Table history(QStringLiteral("history.DB"));
        history.setIndexName(QStringLiteral("Due Date Index"));
        history.open();
        readFirst50(history);
        // Walk the whole view as a long scroll would, so the row cache fills.
        for (int i = 0; i < HistoryRecords; i += 97) {
            history.moveBy(97);
            benchmark::DoNotOptimize(history.value(2));
        }
        grown = residentMb() - before;
        state.SetIterationTime(0.001);
    }
    state.counters["rss_growth_MB"] = grown;
    state.counters["rss_MB"] = residentMb();
}

// Each post is its own durable transaction; so is each baseline INSERT. The
// baseline runs at the engine's synchronous=EXTRA, and once more at FULL to
// show what syncing the folder after each journal deletion costs. The three
// take turns in blocks of 500 posts, so a burst of disk traffic from elsewhere
// falls on all of them alike.
void BM_AppendOnePostEach(benchmark::State &state)
{
    constexpr int Block = 500;
    double handle = 0, baseline = 0, full = 0;
    struct Bare
    {
        SQLite::Database db;
        SQLite::Statement insert;
        Bare(const char *file, const char *synchronous)
            : db(pathOf(file), SQLite::OPEN_READWRITE)
            , insert(db,
                  "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", "
                  "\"Frequency\", \"Units\") VALUES (?, ?, ?, ?, ?)")
        {
            db.exec(std::string("PRAGMA journal_mode=DELETE; PRAGMA synchronous=") + synchronous);
        }
        double append(int from)
        {
            const Clock::time_point t = Clock::now();
            for (int i = from; i < from + Block; ++i) {
                insert.bind(
                    1, QDate(2024, 1, 1).addDays(i % 365).toString(Qt::ISODate).toStdString());
                insert.bind(2, "payee " + std::to_string(i));
                insert.bind(3, 10.0 + i);
                insert.bind(4, 1);
                insert.bind(5, "Months");
                insert.exec();
                insert.reset();
            }
            return secondsSince(t);
        }
    };
    for (auto _ : state) {
        state.PauseTiming();
        for (const char *f : { "append.DB", "append_sqlite.DB", "append_full.DB" }) {
            QFile::remove(QString::fromLatin1(f));
            Engine::instance().createTable(QString::fromLatin1(f), Layouts::item());
        }
        state.ResumeTiming();

        double took = 0;
        {
            Bare extra("append_sqlite.DB", "EXTRA");
            Bare fullSync("append_full.DB", "FULL");
            Table table(QStringLiteral("append.DB"));
            table.open();
            for (int from = 0; from < Appends; from += Block) {
                baseline += extra.append(from);
                full += fullSync.append(from);
                const Clock::time_point t = Clock::now();
                for (int i = from; i < from + Block; ++i) {
                    table.append();
                    table.setValue(QStringLiteral("Due Date"), QDate(2024, 1, 1).addDays(i % 365));
                    table.setValue(
                        QStringLiteral("Description"), QStringLiteral("payee %1").arg(i));
                    table.setValue(QStringLiteral("Bill Amount"), 10.0 + i);
                    table.setValue(QStringLiteral("Frequency"), 1);
                    table.setValue(QStringLiteral("Units"), QStringLiteral("Months"));
                    table.post();
                }
                took += secondsSince(t);
            }
            if (table.recordCount() != Appends)
                state.SkipWithError("records went missing");
        }
        handle += took;
        state.SetIterationTime(took);
    }
    reportRatio(state, handle, baseline);
    state.counters["sqlite_full_ms"] = full * 1000 / state.iterations();
    state.counters["extra_over_full"] = full > 0 ? baseline / full : 0;
    state.counters["handle_over_full"] = full > 0 ? handle / full : 0;
}

// A scan as a report does it: every record in index order, four fields each.
// The headline baseline reads just those four fields, as a caller writing bare
// SQL would; the statement reading every field of each record (the handle's
// own work) is reported beside it.
void BM_Scan(benchmark::State &state)
{
    const std::string path = pathOf("scan.DB");
    double handle = 0, baseline = 0, narrow = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        {
            SQLite::Database db(path, SQLite::OPEN_READONLY);
            SQLite::Statement stmt(db,
                "SELECT \"Due Date\", \"Bill Amount\", \"Pay Amount\", \"Description\" "
                "FROM data ORDER BY \"Due Date\", \"Description\", rowid");
            double sum = 0;
            while (stmt.executeStep()) {
                const SQLite::Column due = stmt.getColumn(0);
                if (due.getBytes() == 10) {
                    const char *d = due.getText();
                    auto num = [d](int at, int len) {
                        int v = 0;
                        for (int k = at; k < at + len; ++k)
                            v = v * 10 + (d[k] - '0');
                        return v;
                    };
                    benchmark::DoNotOptimize(QDate(num(0, 4), num(5, 2), num(8, 2)));
                }
                sum += stmt.getColumn(1).getDouble() - stmt.getColumn(2).getDouble();
                benchmark::DoNotOptimize(QString::fromUtf8(stmt.getColumn(3).getText()));
            }
            benchmark::DoNotOptimize(sum);
        }
        narrow += secondsSince(t);

        t = Clock::now();
        {
            SQLite::Database db(path, SQLite::OPEN_READONLY);
            SQLite::Statement stmt(
                db, "SELECT * FROM data ORDER BY \"Due Date\", \"Description\", rowid");
            const int n = stmt.getColumnCount();
            std::vector<QVariant> record(n);
            while (stmt.executeStep()) {
                for (int i = 0; i < n; ++i) {
                    const SQLite::Column c = stmt.getColumn(i);
                    if (c.isNull())
                        record[i] = QVariant();
                    else if (c.isText() && c.getBytes() == 10 && c.getText()[4] == '-') {
                        const char *d = c.getText();
                        auto num = [d](int at, int len) {
                            int v = 0;
                            for (int k = at; k < at + len; ++k)
                                v = v * 10 + (d[k] - '0');
                            return v;
                        };
                        record[i] = QDate(num(0, 4), num(5, 2), num(8, 2));
                    } else if (c.isText())
                        record[i] = QString::fromUtf8(c.getText());
                    else if (c.isFloat())
                        record[i] = c.getDouble();
                    else
                        record[i] = qlonglong(c.getInt64());
                }
                benchmark::DoNotOptimize(record.data());
            }
        }
        baseline += secondsSince(t);

        t = Clock::now();
        {
            Table table(QStringLiteral("scan.DB"));
            table.setIndexName(QStringLiteral("Due Date Index"));
            table.setReadOnly(true);
            table.open();
            const int due = table.fieldIndex(QStringLiteral("Due Date"));
            const int bill = table.fieldIndex(QStringLiteral("Bill Amount"));
            const int pay = table.fieldIndex(QStringLiteral("Pay Amount"));
            const int description = table.fieldIndex(QStringLiteral("Description"));
            double sum = 0;
            int rows = 0;
            for (table.first(); !table.eof(); table.next(), ++rows) {
                benchmark::DoNotOptimize(table.value(due));
                sum += table.value(bill).toDouble() - table.value(pay).toDouble();
                benchmark::DoNotOptimize(table.value(description));
            }
            benchmark::DoNotOptimize(sum);
            if (rows != ScanRecords)
                state.SkipWithError("the scan missed records");
        }
        const double took = secondsSince(t);
        handle += took;
        state.SetIterationTime(took);
    }
    reportRatio(state, handle, narrow);
    state.counters["whole_records_ms"] = baseline * 1000 / state.iterations();
    state.counters["ratio_whole_records"] = handle / baseline;
}

BENCHMARK(BM_OpenHistoryMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenHistoryFirst50)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Scan)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_AppendOnePostEach)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The files live beside the build, on the same disk as real data would.
    QTemporaryDir dir(
        QCoreApplication::applicationDirPath() + QStringLiteral("/bench_engine-XXXXXX"));
    QDir::setCurrent(dir.path());

    const Clock::time_point t = Clock::now();
    fillItems("history.DB", HistoryRecords);
    fillItems("scan.DB", ScanRecords);
    std::fprintf(stderr, "tables written in %.1f s\n", secondsSince(t));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
