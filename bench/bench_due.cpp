// duesmith --due on a schedule of 100,000 items, as a separate process, against
// sqlite3 -json (or -list) of the same selection: the printed fields of the
// listed items (no due date, or due within their warning days) in the same
// order. Both write to /dev/null; memory is each process's peak resident set,
// as /usr/bin/time reports it.

#include "data/engine.h"
#include "data/layouts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "benchsupport.h"

namespace {
constexpr int Items = 100000;
QString folder;

// Due dates from two months back to four months ahead of today (one in twenty
// empty), expenses and incomes with cents, warning days 0 to 10 or empty.
void fillSchedule(const std::string &path)
{
    SQLite::Database db(path, SQLite::OPEN_READWRITE);
    BenchSupport::fillWithoutIndexes(db,
        "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\","
        " \"Frequency\", \"Units\", \"Warning Days\", \"User Field 1\")"
        " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
            + std::to_string(Items)
            + ") SELECT CASE WHEN i % 20 = 0 THEN NULL"
              "   ELSE date('now', 'localtime', ((i * 7919) % 180 - 60) || ' days') END,"
              " 'Payee ' || ((i * 2654435761) % 997),"
              " CASE WHEN i % 3 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
              " CASE WHEN i % 3 = 0 THEN (i % 90001) / 100.0 ELSE NULL END,"
              " 1, 'Months', CASE WHEN i % 7 = 0 THEN NULL ELSE i % 11 END, 'account ' || (i % 97)"
              " FROM n");
}

struct Run
{
    double seconds = 0;
    double cpuSeconds = 0; // user and system, the child's and what it waited for
    double peakMb = 0;
};

// Runs a program with its output to /dev/null; its time and peak memory. The
// peak is read by /usr/bin/time: a child's own maxrss would start from this
// process's.
Run spawn(const std::vector<std::string> &program)
{
    const std::string peakFile = folder.toStdString() + "/peak.txt";
    std::vector<std::string> args = { "/usr/bin/time", "-f", "%M", "-o", peakFile };
    args.insert(args.end(), program.begin(), program.end());
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // posix_spawn, unlike fork, starts the child without this process's memory.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = BenchSupport::Clock::now();
    pid_t pid = 0;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = BenchSupport::secondsSince(start);
    QFile peak(QString::fromStdString(peakFile));
    peak.open(QIODevice::ReadOnly);
    // The last line: a failing exit status (past due: 1) is told before it.
    const auto secondsOf = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return { seconds, secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime),
        peak.readAll().trimmed().split('\n').last().toDouble() / 1024.0 };
}

std::string selection()
{
    return "SELECT \"PrimaryKey\" AS key, \"Due Date\" AS dueDate, \"Description\" AS payee,"
           " \"Bill Amount\" AS expenseAmount, \"Pay Amount\" AS incomeAmount,"
           " \"Warning Days\" AS warningDays FROM data WHERE \"Due Date\" IS NULL"
           " OR \"Due Date\" <= date('now', 'localtime', coalesce(\"Warning Days\", 0) || ' days')"
           " ORDER BY \"Due Date\", \"Description\", rowid";
}

void dueAgainstSqlite(benchmark::State &state, const char *format, const char *sqliteMode)
{
    const std::string program
        = QDir(QCoreApplication::applicationDirPath()).filePath("../duesmith").toStdString();
    const std::string dir = folder.toStdString();
    std::vector<std::string> ours = { program, "--due", "--data-dir", dir };
    if (*format)
        ours.insert(ours.begin() + 2, format);
    const std::vector<std::string> bare
        = { "/usr/bin/sqlite3", "-readonly", sqliteMode, dir + "/schedule.DB", selection() };
    double oursTime = 0, bareTime = 0, oursCpu = 0, bareCpu = 0, oursPeak = 0, barePeak = 0;
    for (auto _ : state) {
        const Run o = spawn(ours);
        const Run b = spawn(bare);
        state.SetIterationTime(o.seconds);
        oursTime += o.seconds;
        bareTime += b.seconds;
        oursCpu += o.cpuSeconds;
        bareCpu += b.cpuSeconds;
        oursPeak = std::max(oursPeak, o.peakMb);
        barePeak = std::max(barePeak, b.peakMb);
    }
    const double n = double(state.iterations());
    state.counters["ours_ms"] = oursTime * 1000 / n;
    state.counters["bare_ms"] = bareTime * 1000 / n;
    state.counters["ratio"] = bareTime > 0 ? oursTime / bareTime : 0;
    state.counters["ours_cpu_ms"] = oursCpu * 1000 / n;
    state.counters["bare_cpu_ms"] = bareCpu * 1000 / n;
    state.counters["cpu_ratio"] = bareCpu > 0 ? oursCpu / bareCpu : 0;
    state.counters["ours_peak_mb"] = oursPeak;
    state.counters["bare_peak_mb"] = barePeak;
}

void BM_DueJson(benchmark::State &state)
{
    dueAgainstSqlite(state, "--json", "-json");
}

void BM_DueTable(benchmark::State &state)
{
    dueAgainstSqlite(state, "", "-list");
}

BENCHMARK(BM_DueJson)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_DueTable)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    folder = dir.path();
    // --folder=DIR: the schedule made there and kept, to run by hand.
    if (argc > 1 && QByteArray(argv[1]).startsWith("--folder="))
        folder = QString::fromLocal8Bit(argv[1] + 9);
    if (!dir.isValid() || !QDir().mkpath(folder) || !QDir::setCurrent(folder))
        return 1;
    if (folder != dir.path()) {
        Engine::instance().createTable(QStringLiteral("schedule.DB"), Layouts::item());
        fillSchedule(Engine::resolve(QStringLiteral("schedule.DB")).toStdString());
        return 0;
    }
    Engine::instance().createTable(QStringLiteral("schedule.DB"), Layouts::item());
    fillSchedule(Engine::resolve(QStringLiteral("schedule.DB")).toStdString());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
