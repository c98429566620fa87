// The projection of a schedule of 10,000 items over 365 days (the schedule
// read through a table handle, then every occurrence in due-date order)
// against a bare baseline: the same records read through SQLite's C interface
// and NextOccurrence applied to each item in a plain loop, as many times as
// the projection applies it. The cash-flow forecast of the same schedule, and
// of 10,000 daily items, against a bare program doing the read, the
// recurrence, the sort and the daily balance. With --peak=forecast or
// --peak=daily, the forecast is made once and its peak memory printed; with
// --peak=ics, the calendar file of the daily items over a month.

#include "data/engine.h"
#include "data/layouts.h"
#include "domain/cashflow.h"
#include "domain/icalendar.h"
#include "domain/itemrecord.h"
#include "domain/nextoccurrence.h"
#include "domain/projection.h"
#include "domain/projectiontable.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
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
void fillSchedule(const QString &file, bool daily)
{
    SQLite::Database db(Engine::resolve(file).toStdString(), SQLite::OPEN_READWRITE);
    if (daily) {
        BenchSupport::fillWithoutIndexes(db,
            "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\", "
            "\"Frequency\", \"Units\", \"Warning Days\") "
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < "
                + std::to_string(Items)
                + ") SELECT date('2024-03-15', '+' || (i % 7) || ' days'), 'Payee ' || i, "
                  "CASE WHEN i % 5 <> 0 THEN 1 + i % 50 END, CASE WHEN i % 5 = 0 THEN 90 END, "
                  "1, 'Days', 3 FROM n");
        return;
    }
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

// The forecast as the window makes it: the schedule read, projected into the
// table without records, and the running balance day by day.
long long forecast(const QString &file)
{
    std::vector<ScheduledItem> items = Projection::read(file);
    ProjectionTable table(items);
    Projection projection(std::move(items), Today, Until, false);
    table.fill(projection, QDate(), ProjectionTable::Use::Forecast);
    const CashFlow flow(Money(), Today, Until, std::move(table));
    benchmark::DoNotOptimize(flow.lowest());
    return static_cast<long long>(flow.table().size());
}

QDate isoDate(sqlite3_stmt *stmt, int c)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
    int y = 0, m = 0, d = 0;
    if (!text || std::sscanf(text, "%d-%d-%d", &y, &m, &d) != 3)
        return {};
    return QDate(y, m, d);
}

std::optional<double> optionalAt(sqlite3_stmt *stmt, int c)
{
    if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(stmt, c);
}

Recurrence::Unit unitAt(sqlite3_stmt *stmt, int c)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
    using U = Recurrence::Unit;
    static const std::pair<const char *, U> units[] = { { "Days", U::Days }, { "Weeks", U::Weeks },
        { "Half Months", U::HalfMonths }, { "Months", U::Months }, { "Years", U::Years } };
    for (const auto &[name, unit] : units)
        if (text && std::strcmp(text, name) == 0)
            return unit;
    return U::Other;
}

// The bare forecast: the fields the rule reads through SQLite's C interface
// into plain structs, each item's occurrences by the rule's arithmetic into one
// vector, sorted by day, then the balance at the end of each day.
long long bareForecast(const QString &file)
{
    std::vector<Recurrence> items;
    sqlite3 *db = nullptr;
    const std::string path = Engine::resolve(file).toStdString();
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db,
                "SELECT \"Due Date\", \"Bill Amount\", \"Pay Amount\", \"Frequency\", "
                "\"Units\", \"End Date\", \"Budget\", \"Balance\" FROM data "
                "ORDER BY \"Due Date\", \"PrimaryKey\"",
                -1, &stmt, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                Recurrence r;
                r.due = isoDate(stmt, 0);
                r.bill = optionalAt(stmt, 1);
                r.pay = optionalAt(stmt, 2);
                r.frequency = sqlite3_column_int64(stmt, 3);
                r.unit = unitAt(stmt, 4);
                r.end = isoDate(stmt, 5);
                r.budget = optionalAt(stmt, 6);
                r.balance = optionalAt(stmt, 7);
                items.push_back(r);
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);

    struct Occurrence
    {
        qint64 day;
        int item;
        double amount;
    };
    std::vector<Occurrence> all;
    for (int i = 0; i < int(items.size()); ++i) {
        Recurrence r = items[std::size_t(i)];
        while (r.due.isValid() && r.due <= Until) {
            all.push_back({ r.due.toJulianDay(), i, r.pay.value_or(0) - r.bill.value_or(0) });
            const std::optional<Recurrence> next = r.next();
            if (!next || !next->due.isValid() || next->due <= r.due)
                break;
            r = *next;
        }
    }
    std::sort(all.begin(), all.end(), [](const Occurrence &a, const Occurrence &b) {
        return a.day != b.day ? a.day < b.day : a.item < b.item;
    });
    std::vector<double> days(std::size_t(Today.daysTo(Until) + 1));
    double balance = 0;
    std::size_t o = 0;
    for (qint64 d = 0; d < qint64(days.size()); ++d) {
        for (; o < all.size() && all[o].day <= Today.toJulianDay() + d; ++o)
            balance += all[o].amount;
        days[std::size_t(d)] = balance;
    }
    benchmark::DoNotOptimize(days.data());
    return static_cast<long long>(all.size());
}

void forecastAgainstBare(benchmark::State &state, const QString &file)
{
    double ours = 0, bare = 0;
    long long count = 0;
    for (auto _ : state) {
        auto start = BenchSupport::Clock::now();
        count = forecast(file);
        const double spent = BenchSupport::secondsSince(start);
        ours += spent;
        state.SetIterationTime(spent);
        start = BenchSupport::Clock::now();
        const long long bareCount = bareForecast(file);
        bare += BenchSupport::secondsSince(start);
        if (bareCount != count)
            state.SkipWithError("the baseline found a different number of occurrences");
    }
    const double n = double(state.iterations());
    state.counters["occurrences"] = double(count);
    state.counters["ours_ms"] = ours * 1000 / n;
    state.counters["bare_ms"] = bare * 1000 / n;
    state.counters["ratio"] = bare > 0 ? ours / bare : 0;
}

void BM_Forecast(benchmark::State &state)
{
    forecastAgainstBare(state, QStringLiteral("schedule.DB"));
}

void BM_ForecastDaily(benchmark::State &state)
{
    forecastAgainstBare(state, QStringLiteral("daily.DB"));
}

BENCHMARK(BM_Forecast)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ForecastDaily)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Megabytes from /proc/self/status.
double statusMb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toDouble()
                / 1024.0;
    return 0;
}

// The peak resident memory of one run of work above what the process held
// before it: the peak is reset first (clear_refs), so the filling of the
// tables does not count.
void printPeak(const char *name, const std::function<long long()> &work)
{
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5");
    reset.close();
    const double idle = statusMb("VmRSS:");
    const long long count = work();
    std::printf("%s: %lld occurrences, idle %.1f MB, peak %.1f MB (+%.1f MB)\n", name, count, idle,
        statusMb("VmHWM:"), statusMb("VmHWM:") - idle);
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
    for (const auto &[file, daily] : { std::pair{ QStringLiteral("schedule.DB"), false },
             std::pair{ QStringLiteral("daily.DB"), true } }) {
        Engine::instance().createTable(file, Layouts::item());
        fillSchedule(file, daily);
    }
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--peak=ics") {
            // The calendar file of the 10,000 daily items over a month, to /dev/null.
            printPeak("ics", [] {
                QFile sink(QStringLiteral("/dev/null"));
                sink.open(QIODevice::WriteOnly);
                Projection p(
                    Projection::read(QStringLiteral("daily.DB")), Today, Today.addMonths(1));
                const auto start = BenchSupport::Clock::now();
                const qint64 events
                    = ICalendar::write(sink, p, Options(), QDateTime(Today, QTime(9, 0)));
                std::printf("ics: %.0f ms\n", BenchSupport::secondsSince(start) * 1000);
                return static_cast<long long>(events);
            });
            return 0;
        }
        if (arg == "--peak=forecast" || arg == "--peak=daily") {
            const QString file = arg.endsWith("daily") ? QStringLiteral("daily.DB")
                                                       : QStringLiteral("schedule.DB");
            printPeak("bare", [&] { return bareForecast(file); });
            printPeak("ours", [&] { return forecast(file); });
            return 0;
        }
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
