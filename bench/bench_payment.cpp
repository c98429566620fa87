// A pay-bills run and a reschedule write-back of 10,000 items through the
// payment code, each against bare SQLite statements doing the same reads,
// inserts and deletes in one transaction over the same files and pragmas. The
// files are of a size a household reaches: a history of 1,000,000 paid items
// and a schedule of 100,000 items of which the 10,000 marked ones are paid.
// And the pay-bills window opening on 1,000 marked of 100,000 items, against
// a bare read of the marked rows.

#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"
#include "domain/paymentrun.h"
#include "payment/frmpayit.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
using BenchSupport::engineDurability;
constexpr int Items = 10000;
constexpr int ScheduleItems = 100000;
constexpr int HistoryRecords = 1000000;
// The page cache the payment code gives each file for a run, in KiB.
constexpr int RunCacheKiB = 64 * 1024;
long long historyBase = 0;
const QDate ProcessDate(2024, 3, 15);

const char *const HistoryColumns
    = R"("Pay Date", "Due Date", "Process Date", "Description", "Bill Amount", "Pay Amount", )"
      R"("Frequency", "Units", "End Date", "Warning Days", "Budget", "Balance", "User Field 1", )"
      R"("User Field 2", "User Field 3", "User Field 4")";
const char *const OccurrenceColumns
    = R"("Due Date", "Description", "Bill Amount", "Pay Amount", "Frequency", "Units", "End Date", )"
      R"("Warning Days", "Budget", "Balance", "User Field 1", "User Field 2", "User Field 3", )"
      R"("User Field 4", "Process Date")";
const char *const WriteBackColumns
    = R"("Due Date", "Description", "Bill Amount", "Pay Amount", "Frequency", "Units", "End Date", )"
      R"("Budget", "Balance", "Warning Days", "Pay Date", "User Field 1", "User Field 2", )"
      R"("User Field 3", "User Field 4")";

std::string placeholders(int n)
{
    std::string s = "?";
    for (int i = 1; i < n; ++i)
        s += ", ?";
    return s;
}

std::string pathOf(const char *file)
{
    return Engine::resolve(QString::fromLatin1(file)).toStdString();
}

// Runs statements on one table file through a connection of its own.
void onFile(const char *file, const std::string &sql)
{
    SQLite::Database db(pathOf(file), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA journal_mode=DELETE");
    db.exec(sql);
}

// The history a run adds to: a million paid items, written once.
void fillHistory()
{
    SQLite::Database db(pathOf("history.DB"), SQLite::OPEN_READWRITE);
    BenchSupport::fillWithoutIndexes(db,
        std::string("INSERT INTO data (") + HistoryColumns
            + ") WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
            + std::to_string(HistoryRecords)
            + ") SELECT NULL, date('2000-01-01', '+' || ((i * 7919) % 9000) || ' days'),"
              " date('2000-01-01', '+' || (i % 9000) || ' days'),"
              " 'Payee ' || ((i * 2654435761) % 1000003), (i % 50000) / 100.0, NULL, i % 13, "
              "'Months',"
              " NULL, i % 10, 100.0, (i % 1000) * 1.5, 'account ' || (i % 97), NULL, NULL, NULL"
              " FROM n");
    SQLite::Statement last(db, "SELECT max(rowid) FROM data");
    if (last.executeStep())
        historyBase = last.getColumn(0).getInt64();
}

// The history once, for the benchmarks that write into it.
void ensureHistory()
{
    static bool filled = false;
    if (!filled)
        fillHistory();
    filled = true;
}

// Takes away what the last run added to the history.
void trimHistory()
{
    onFile("history.DB", "DELETE FROM data WHERE rowid > " + std::to_string(historyBase));
}

// One-time, monthly, half-monthly and weekly items whose next due date
// passes their end date, a quarter each, a third with a pay date; every tenth
// is marked, so the run pays 10,000 of the 100,000.
void fillSchedule()
{
    onFile("schedule.DB",
        "DELETE FROM data; "
        "INSERT INTO data (\"Pay Date\", \"Due Date\", \"Description\", \"Bill Amount\", "
        "\"Frequency\", \"Units\", \"End Date\", \"Warning Days\", \"Budget\", \"Balance\", "
        "\"User Field 1\", \"PayNow\") "
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < "
            + std::to_string(ScheduleItems)
            + ") SELECT CASE i % 3 WHEN 0 THEN date('2024-01-01', '+' || (i % 365) || ' days') "
              "END, "
              "date('2024-01-01', '+' || (i % 365) || ' days'), 'Payee ' || i, 10 + i % 500, "
              "CASE i % 4 WHEN 0 THEN 0 ELSE 1 END, "
              "CASE i % 4 WHEN 0 THEN 'One Time' WHEN 1 THEN 'Months' WHEN 2 THEN 'Half Months' "
              "ELSE 'Weeks' END, "
              "CASE i % 4 WHEN 3 THEN date('2024-01-01', '+' || (i % 365) || ' days') END, 3, "
              "CASE i % 8 WHEN 1 THEN 50 END, CASE i % 8 WHEN 2 THEN 1000 END, 'acct ' || i, "
              "CASE WHEN (i * 7) % 10 = 3 THEN char(252) END FROM n");
    trimHistory();
    onFile("resched.DB", "DELETE FROM data");
}

// The next occurrences of a run, as the reschedule screen receives them,
// beside the 90,000 items the run left in the schedule.
void fillResched()
{
    fillSchedule();
    onFile("schedule.DB", "DELETE FROM data WHERE \"PayNow\" IS NOT NULL");
    onFile("resched.DB",
        "DELETE FROM data; "
        "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Frequency\", "
        "\"Units\", "
        "\"Warning Days\", \"Budget\", \"User Field 1\", \"Process Date\") "
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < "
            + std::to_string(Items)
            + ") SELECT date('2024-04-01', '+' || (i % 365) || ' days'), 'Payee ' || i, "
              "10 + i % 500, 1, CASE i % 2 WHEN 0 THEN 'Months' ELSE 'Half Months' END, 3, "
              "CASE i % 8 WHEN 1 THEN 50 END, 'acct ' || i, '2024-03-15' FROM n");
}

// The baseline's connection: the three files attached to a main database in
// the working directory, as the engine does, with the same pragmas.
// The journal mode and synchronous setting come from the engine, so both sides
// write with the same durability; the page cache is the run's or SQLite's default.
class Bare
{
public:
    explicit Bare(bool runCache)
        : db(QDir::current().absoluteFilePath(QStringLiteral(".bare-session")).toStdString(),
            SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
    {
        const std::pair<const char *, const char *> files[]
            = { { "schedule.DB", "s" }, { "history.DB", "h" }, { "resched.DB", "r" } };
        for (const auto &[file, alias] : files) {
            const std::string durability = engineDurability(QString::fromLatin1(file));
            db.exec("ATTACH DATABASE '" + pathOf(file) + "' AS " + alias);
            std::string pragmas;
            for (std::size_t at = 0; at < durability.size();) {
                const std::size_t end = durability.find(';', at);
                // "PRAGMA x=y;" becomes "PRAGMA alias.x=y;"
                pragmas += "PRAGMA " + std::string(alias) + "."
                    + durability.substr(at + 7, end - at - 7) + ";";
                at = end + 1;
            }
            if (runCache)
                pragmas += "PRAGMA " + std::string(alias) + ".cache_size=-"
                    + std::to_string(RunCacheKiB) + ";";
            db.exec(pragmas);
        }
    }
    SQLite::Database db;
};

// Binds a column of a result row as it is, whatever its type.
void bindColumn(SQLite::Statement &stmt, int param, const SQLite::Statement &row, int column)
{
    const SQLite::Column value = row.getColumn(column);
    switch (value.getType()) {
    case SQLITE_INTEGER:
        stmt.bind(param, static_cast<int64_t>(value.getInt64()));
        break;
    case SQLITE_FLOAT:
        stmt.bind(param, value.getDouble());
        break;
    case SQLITE_NULL:
        stmt.bind(param);
        break;
    default:
        stmt.bind(param, value.getText());
        break;
    }
}

// A stand-in for the recurrence rules: the same writes, simpler arithmetic.
QDate nextDue(const QDate &due, int frequency, const std::string &units)
{
    if (units == "Weeks")
        return due.addDays(7 * frequency);
    if (units == "Half Months")
        return due.day() < 16 ? due.addDays(15) : due.addMonths(1).addDays(-15);
    return due.addMonths(frequency);
}

void barePay(Bare &bare)
{
    SQLite::Database &db = bare.db;
    SQLite::Transaction tx(db, SQLite::TransactionBehavior::IMMEDIATE);
    db.exec("DELETE FROM r.data");
    SQLite::Statement rows(db,
        std::string("SELECT rowid, ") + HistoryColumns
            + ", \"PayNow\" FROM s.data WHERE \"PayNow\" = char(252) "
              "ORDER BY \"Due Date\", \"Description\"");
    SQLite::Statement toHistory(db,
        std::string("INSERT INTO h.data (") + HistoryColumns + ") VALUES (" + placeholders(16)
            + ")");
    SQLite::Statement toResched(db,
        std::string("INSERT INTO r.data (") + OccurrenceColumns + ") VALUES (" + placeholders(15)
            + ")");
    SQLite::Statement remove(db, "DELETE FROM s.data WHERE rowid = ?");
    const std::string processDate = ProcessDate.toString(Qt::ISODate).toStdString();
    while (rows.executeStep()) {
        // Columns: 0 rowid, 1 Pay Date, 2 Due Date, 3 Process Date, 4 Description, ...
        toHistory.reset();
        for (int c = 1; c <= 16; ++c)
            bindColumn(toHistory, c, rows, c);
        toHistory.bind(3, processDate);
        toHistory.exec();

        const int frequency = rows.getColumn(7).getInt();
        if (frequency != 0) {
            const QDate due = QDate::fromString(
                QString::fromStdString(rows.getColumn(2).getString()), Qt::ISODate);
            const QDate next = nextDue(due, frequency, rows.getColumn(8).getString());
            const QDate end = QDate::fromString(
                QString::fromStdString(rows.getColumn(9).getString()), Qt::ISODate);
            if (!end.isValid() || next <= end) {
                toResched.reset();
                toResched.bind(1, next.toString(Qt::ISODate).toStdString());
                // Description .. User Field 4 sit two columns further on in the row.
                for (int p = 2; p <= 14; ++p)
                    bindColumn(toResched, p, rows, p + 2);
                toResched.bind(15, processDate);
                toResched.exec();
            }
        }
        remove.reset();
        remove.bind(1, rows.getColumn(0).getInt64());
        remove.exec();
    }
    tx.commit();
}

void bareWriteBack(Bare &bare)
{
    SQLite::Database &db = bare.db;
    SQLite::Transaction tx(db, SQLite::TransactionBehavior::IMMEDIATE);
    SQLite::Statement rows(db,
        std::string("SELECT ") + WriteBackColumns
            + " FROM r.data ORDER BY \"Due Date\", \"Description\"");
    SQLite::Statement toSchedule(db,
        std::string("INSERT INTO s.data (") + WriteBackColumns + ") VALUES (" + placeholders(15)
            + ")");
    while (rows.executeStep()) {
        toSchedule.reset();
        for (int c = 0; c < 15; ++c)
            bindColumn(toSchedule, c + 1, rows, c);
        toSchedule.exec();
    }
    db.exec("DELETE FROM r.data");
    tx.commit();
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void report(benchmark::State &state, double engine, double bare)
{
    const double n = double(state.iterations());
    state.counters["engine_ms"] = engine * 1000 / n;
    state.counters["bare_ms"] = bare * 1000 / n;
    state.counters["ratio"] = bare > 0 ? engine / bare : 0;
    state.counters["items_per_s"] = benchmark::Counter(double(Items) * n / engine);
}

// The wizard's run: the marked items of a filtered handle in due-date order.
// Both sides read the keys of the marked items in due-date order inside the
// timed part: the handle when it opens, the baseline in its SELECT.
void BM_PayRun(benchmark::State &state)
{
    ensureHistory();
    Bare bare(true);
    Bare bareDefaultCache(false);
    double engine = 0, baseline = 0, baselineDefault = 0;
    for (auto _ : state) {
        fillSchedule();
        auto t0 = std::chrono::steady_clock::now();
        Table list(QStringLiteral("schedule.DB"));
        list.setIndexName(QStringLiteral("Due Date Index"));
        list.setFilter(QStringLiteral("[PayNow] = '") + PayMark + QStringLiteral("'"));
        list.setFiltered(true);
        list.open();
        list.disableControls();
        const PaymentRun::Outcome outcome = PaymentRun::pay(list, ProcessDate);
        const double spent = seconds(t0);
        engine += spent;
        state.SetIterationTime(spent);
        list.close();
        if (outcome.paid != Items)
            state.SkipWithError("not every item was paid");

        fillSchedule();
        t0 = std::chrono::steady_clock::now();
        barePay(bare);
        baseline += seconds(t0);
        {
            SQLite::Statement count(bare.db, "SELECT count(*) FROM r.data");
            if (!count.executeStep() || count.getColumn(0).getInt() != outcome.continuing)
                state.SkipWithError("the baseline did not build the same next occurrences");
        }

        fillSchedule();
        t0 = std::chrono::steady_clock::now();
        barePay(bareDefaultCache);
        baselineDefault += seconds(t0);
    }
    report(state, engine, baseline);
    state.counters["bare_default_cache_ms"] = baselineDefault * 1000 / double(state.iterations());
}

// The reschedule screen's write-back of every next occurrence.
void BM_WriteBack(benchmark::State &state)
{
    ensureHistory();
    Bare bare(true);
    Bare bareDefaultCache(false);
    double engine = 0, baseline = 0, baselineDefault = 0;
    for (auto _ : state) {
        fillResched();
        auto t0 = std::chrono::steady_clock::now();
        Table resched(QStringLiteral("resched.DB"));
        resched.setIndexName(QStringLiteral("Due Date Index"));
        resched.open();
        resched.disableControls();
        const int written = PaymentRun::writeBack(resched);
        const double spent = seconds(t0);
        engine += spent;
        state.SetIterationTime(spent);
        resched.close();
        if (written != Items)
            state.SkipWithError("not every occurrence was written back");

        fillResched();
        t0 = std::chrono::steady_clock::now();
        bareWriteBack(bare);
        baseline += seconds(t0);

        fillResched();
        t0 = std::chrono::steady_clock::now();
        bareWriteBack(bareDefaultCache);
        baselineDefault += seconds(t0);
    }
    report(state, engine, baseline);
    state.counters["bare_default_cache_ms"] = baselineDefault * 1000 / double(state.iterations());
}

// Every hundredth item marked, the rest as fillSchedule() leaves them.
void fillScheduleForOpening()
{
    fillSchedule();
    onFile(
        "schedule.DB", "UPDATE data SET \"PayNow\" = CASE WHEN rowid % 100 = 7 THEN char(252) END");
}

// The marked rows in the list's order, every column read.
int bareMarkedRows(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
        "SELECT * FROM data WHERE \"PayNow\" = char(252)"
        " ORDER BY \"Due Date\", \"Description\", rowid",
        -1, &stmt, nullptr);
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    return rows;
}

// This thread's processor time in seconds: steadier than the clock on a
// loaded machine.
double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// From exec() until the window is drawn with its list and totals. The main
// window's list keeps the schedule open meanwhile, as it does in the program;
// the bare connection stays open too.
void BM_OpenPayBills(benchmark::State &state)
{
    fillScheduleForOpening();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(pathOf("schedule.DB").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    Table mainList(QStringLiteral("schedule.DB"));
    mainList.setIndexName(QStringLiteral("Due Date Index"));
    mainList.open();
    TFrmPayit window;
    window.CheckBoxToolTip->setChecked(false);
    double opening = 0, baseline = 0, openingCpu = 0, baselineCpu = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        double cpu0 = threadCpu();
        const int marked = bareMarkedRows(db);
        baseline += seconds(t0);
        baselineCpu += threadCpu() - cpu0;

        double spent = 0;
        t0 = std::chrono::steady_clock::now();
        cpu0 = threadCpu();
        QTimer::singleShot(0, &window, [&] {
            QCoreApplication::processEvents();
            spent = seconds(t0);
            openingCpu += threadCpu() - cpu0;
            window.reject();
        });
        window.exec();
        opening += spent;
        state.SetIterationTime(spent);
        QCoreApplication::processEvents();
        if (marked != ScheduleItems / 100 || window.TableSched->isOpen())
            state.SkipWithError("the marked rows were not all read");
    }
    sqlite3_close(db);
    report(state, opening, baseline);
    const double n = double(state.iterations());
    state.counters["engine_cpu_ms"] = openingCpu * 1000 / n;
    state.counters["bare_cpu_ms"] = baselineCpu * 1000 / n;
    state.counters["cpu_ratio"] = baselineCpu > 0 ? openingCpu / baselineCpu : 0;
}

BENCHMARK(BM_PayRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WriteBack)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenPayBills)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    BenchSupport::workIn(dir.path(), dir.path());
    Engine &engine = Engine::instance();
    for (const char *file : { "schedule.DB", "history.DB", "resched.DB" })
        engine.createTable(QString::fromLatin1(file), Layouts::item());
    engine.createTable(QStringLiteral("payee.db"), Layouts::payee());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
