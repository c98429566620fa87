// The import of 10,000 schedules from delimited text (detection, reading,
// every row checked by the record rules and for duplicates, the one write)
// against a bare parse of the same text plus the same inserts in one
// transaction, on the same file with the engine's durability.

#include "data/engine.h"
#include "data/layouts.h"
#include "data/tablefiles.h"
#include "import/delimitedtext.h"
#include "import/importplan.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDate>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int Schedules = 10000;

QByteArray csv()
{
    static const char *const units[] = { "Months", "Weeks", "monthly", "Years", "biweekly" };
    QByteArray out("Payee,Due Date,Amount,Repeat,Units,Warning Days\r\n");
    const QDate start(2024, 4, 1);
    for (int i = 0; i < Schedules; ++i) {
        const QDate due = start.addDays(i % 400);
        out += "Payee " + QByteArray::number(i) + ',' + QByteArray::number(due.month()) + '/'
            + QByteArray::number(due.day()) + '/' + QByteArray::number(due.year()) + ','
            + (i % 5 == 0 ? "" : "-") + QByteArray::number(10 + i % 990) + '.'
            + QByteArray::number(10 + i % 90) + ",1," + units[i % 5] + ','
            + QByteArray::number(i % 10) + "\r\n";
    }
    return out;
}

void emptySchedule(sqlite3 *db)
{
    sqlite3_exec(db, "DELETE FROM data", nullptr, nullptr, nullptr);
}

// The bare side: lines and fields split where the commas are (the text has no
// quotes), dates and amounts converted, one prepared INSERT in one transaction.
int bareImport(sqlite3 *db, const QByteArray &bytes)
{
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db,
        "INSERT INTO data (\"Description\", \"Due Date\", \"Bill Amount\", \"Pay Amount\", "
        "\"Frequency\", \"Units\", \"Warning Days\") VALUES (?, ?, ?, ?, ?, ?, ?)",
        -1, &insert, nullptr);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    int rows = 0;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype l = 1; l < lines.size(); ++l) {
        const QList<QByteArray> f = lines[l].trimmed().split(',');
        if (f.size() < 6)
            continue;
        const QList<QByteArray> d = f[1].split('/');
        const QDate due(d[2].toInt(), d[0].toInt(), d[1].toInt());
        const double amount = f[2].toDouble();
        const QByteArray iso = due.toString(Qt::ISODate).toLatin1();
        const QByteArray unit = f[4] == "monthly" ? "Months" : f[4] == "biweekly" ? "Weeks" : f[4];
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, f[0].constData(), int(f[0].size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, iso.constData(), int(iso.size()), SQLITE_TRANSIENT);
        if (amount < 0) {
            sqlite3_bind_double(insert, 3, -amount);
            sqlite3_bind_null(insert, 4);
        } else {
            sqlite3_bind_null(insert, 3);
            sqlite3_bind_double(insert, 4, amount);
        }
        sqlite3_bind_int(insert, 5, f[4] == "biweekly" ? 2 : f[3].toInt());
        sqlite3_bind_text(insert, 6, unit.constData(), int(unit.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 7, f[5].toInt());
        sqlite3_step(insert);
        ++rows;
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(insert);
    return rows;
}

void BM_ImportCsv(benchmark::State &state)
{
    const QByteArray bytes = csv();
    const std::string path = Engine::resolve(TableFiles::Schedule).toStdString();
    const std::string durability = engineDurability(TableFiles::Schedule);
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, durability.c_str(), nullptr, nullptr, nullptr);
    double ours = 0, baseline = 0;
    for (auto _ : state) {
        emptySchedule(db);
        Clock::time_point t = Clock::now();
        const int bare = bareImport(db, bytes);
        baseline += secondsSince(t);
        emptySchedule(db);

        t = Clock::now();
        ImportPlan plan;
        plan.loadExisting();
        plan.build(DelimitedText::read(bytes, DelimitedText::detect(bytes)).schedules);
        const QString summary = plan.commit();
        const double took = secondsSince(t);
        ours += took;
        state.SetIterationTime(took);
        if (summary != QStringLiteral("%1 items imported, 0 skipped").arg(bare))
            state.SkipWithError(qPrintable(summary));
    }
    sqlite3_close(db);
    const double n = double(state.iterations());
    state.counters["ours_ms"] = 1000.0 * ours / n;
    state.counters["bare_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? ours / baseline : 0;
}

BENCHMARK(BM_ImportCsv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench_import"));
    QTemporaryDir dir;
    BenchSupport::workIn(dir.path(), dir.path());
    Engine::instance().createTable(TableFiles::Schedule, Layouts::item());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
