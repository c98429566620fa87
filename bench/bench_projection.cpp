// The projection of a schedule of 10,000 items over 365 days (the schedule
// read through a table handle, then every occurrence in due-date order)
// against a bare baseline: the same records read through SQLite's C interface
// and NextOccurrence applied to each item in a plain loop, as many times as
// the projection applies it.

#include "data/engine.h"
#include "data/layouts.h"
#include "domain/itemrecord.h"
#include "domain/nextoccurrence.h"
#include "domain/projection.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
constexpr int Items = 10000;
const QDate Today(2024, 3, 15);
const QDate Until = Today.addDays(365);

// Every unit and a spread of frequencies: a seventh daily (1 to 7 days),
// weekly, half-monthly, monthly, yearly and one-time items, due within the
// next month; some with a budget and balance, some ending within the year.
void fillSchedule()
{
    SQLite::Database db(Engine::resolve(QStringLiteral("schedule.DB")).toStdString(),
        SQLite::OPEN_READWRITE);
    BenchSupport::fillWithoutIndexes(db,
        "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\", "
        "\"Frequency\", \"Units\", \"End Date\", \"Warning Days\", \"Budget\", \"Balance\") "
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < "
            + std::to_string(Items)
            + ") SELECT date('2024-03-15', '+' || (i % 31) || ' days'), 'Payee ' || i, "
              "CASE WHEN i % 5 <> 0 THEN 10 + i % 500 END, CASE WHEN i % 5 = 0 THEN 900 END, "
              "CASE i % 7 WHEN 0 THEN 1 + i % 7 WHEN 5 THEN 0 ELSE 1 + i % 3 END, "
              "CASE i % 7 WHEN 0 THEN 'Days' WHEN 1 THEN 'Weeks' WHEN 2 THEN 'Half Months' "
              "WHEN 3 THEN 'Months' WHEN 4 THEN 'Years' WHEN 5 THEN 'One Time' ELSE 'Months' "
              "END, "
              "CASE WHEN i % 11 = 0 THEN date('2024-09-01') END, 3, "
              "CASE WHEN i % 8 = 1 THEN 50 END, CASE WHEN i % 8 = 2 THEN 5000 END FROM n");
}

QVariant dateAt(sqlite3_stmt *stmt, int c)
{
    if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
        return {};
    return QDate::fromString(
        QString::fromLatin1(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))),
        Qt::ISODate);
}

QVariant moneyAt(sqlite3_stmt *stmt, int c)
{
    return sqlite3_column_type(stmt, c) == SQLITE_NULL ? QVariant()
                                                       : QVariant(sqlite3_column_double(stmt, c));
}

QVariant textAt(sqlite3_stmt *stmt, int c)
{
    return sqlite3_column_type(stmt, c) == SQLITE_NULL
        ? QVariant()
        : QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))));
}

// The bare side: the records in due-date order into a vector sized once, then
// each item's occurrences by NextOccurrence until it ends or passes the year.
long long bareProjection()
{
    sqlite3 *db = nullptr;
    std::vector<ItemRecord> items;
    items.reserve(Items);
    const std::string path = Engine::resolve(QStringLiteral("schedule.DB")).toStdString();
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db,
                "SELECT \"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\", "
                "\"Frequency\", \"Units\", \"End Date\", \"Warning Days\", \"Budget\", "
                "\"Balance\" FROM data ORDER BY \"Due Date\", \"PrimaryKey\"",
                -1, &stmt, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                ItemRecord r;
                r.dueDate = dateAt(stmt, 0);
                r.description = textAt(stmt, 1);
                r.billAmount = moneyAt(stmt, 2);
                r.payAmount = moneyAt(stmt, 3);
                r.frequency = int(sqlite3_column_int(stmt, 4));
                r.units = textAt(stmt, 5);
                r.endDate = dateAt(stmt, 6);
                r.warningDays = int(sqlite3_column_int(stmt, 7));
                r.budget = moneyAt(stmt, 8);
                r.balance = moneyAt(stmt, 9);
                items.push_back(std::move(r));
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);

    long long occurrences = 0;
    for (const ItemRecord &item : items) {
        ItemRecord current = item;
        while (current.dueDate.toDate() <= Until) {
            ++occurrences;
            std::optional<ItemRecord> next = NextOccurrence(current);
            if (!next)
                break;
            current = std::move(*next);
        }
    }
    return occurrences;
}

long long projection()
{
    Projection p(Projection::read(QStringLiteral("schedule.DB")), Today, Until);
    Occurrence o;
    long long occurrences = 0;
    while (p.next(o))
        ++occurrences;
    return occurrences;
}

void BM_Projection(benchmark::State &state)
{
    double ours = 0, bare = 0;
    long long count = 0;
    for (auto _ : state) {
        auto start = BenchSupport::Clock::now();
        count = projection();
        const double spent = BenchSupport::secondsSince(start);
        ours += spent;
        state.SetIterationTime(spent);
        start = BenchSupport::Clock::now();
        const long long bareCount = bareProjection();
        bare += BenchSupport::secondsSince(start);
        if (bareCount != count)
            state.SkipWithError("the baseline applied the rule a different number of times");
    }
    const double n = double(state.iterations());
    state.counters["occurrences"] = double(count);
    state.counters["ours_ms"] = ours * 1000 / n;
    state.counters["bare_ms"] = bare * 1000 / n;
    state.counters["ratio"] = bare > 0 ? ours / bare : 0;
}

BENCHMARK(BM_Projection)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    Engine::instance().createTable(QStringLiteral("schedule.DB"), Layouts::item());
    fillSchedule();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
