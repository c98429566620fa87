// The reports over large tables: "History Items - Standard" over a history of
// a million paid items (prepared and page 1 drawn, against a bare read of the
// same fields in due-date order; page 10,000 against page 1; resident memory
// while the preview holds it), and "Scheduled Items - Extended" over 100,000
// items written to PDF against drawing the same pages to an image.

#include "data/engine.h"
#include "data/layouts.h"
#include "reports/engine/output.h"
#include "reports/report.h"

#include <SQLiteCpp/Database.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int HistoryRecords = 1000000;
constexpr int ScheduleItems = 100000;

std::string itemRows(int count, bool history)
{
    return std::string("INSERT INTO data (\"Process Date\", \"Due Date\", \"Description\","
                       " \"Bill Amount\", \"Pay Amount\", \"Frequency\", \"Units\","
                       " \"Warning Days\", \"Budget\", \"Balance\", \"PayNow\", \"User Field 1\","
                       " \"User Field 2\")"
                       " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ")
        + std::to_string(count) + ") SELECT "
        + (history ? "date('2000-01-01', '+' || (i % 9000) || ' days')," : "NULL,")
        + " date('2000-01-01', '+' || ((i * 7919) % 9000) || ' days'),"
          " (CASE i % 2 WHEN 0 THEN 'payee ' ELSE 'Payee ' END) || ((i * 2654435761) % 1000003)"
          " || CASE WHEN i % 50 = 0 THEN ' with a longer note that needs a second line to be read'"
          " ELSE '' END,"
          " CASE WHEN i % 4 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
          " CASE WHEN i % 4 = 0 THEN (i % 90000) / 100.0 ELSE NULL END,"
          " i % 13, CASE i % 3 WHEN 0 THEN 'Months' WHEN 1 THEN 'Weeks' ELSE 'Days' END,"
          " i % 10, 100.0, (i % 1000) * 1.5, CASE WHEN i % 10 = 0 THEN char(252) END,"
          " 'account ' || (i % 97), 'ref ' || (i % 31) FROM n";
}

// The bare side: the fields the report prints, in "Due Date Index" order,
// stepped through on a connection opened for the purpose.
double bareRead(const std::string &path)
{
    const Clock::time_point t = Clock::now();
    sqlite3 *db = nullptr;
    double checksum = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        const char *sql = "SELECT \"Process Date\", \"Due Date\", \"Description\", \"Bill Amount\","
                          " \"Pay Amount\", \"Frequency\", \"Units\", \"Budget\", \"Balance\""
                          " FROM data ORDER BY \"Due Date\", \"Description\", rowid";
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                for (int c : { 0, 1, 2, 6 })
                    benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
                for (int c : { 3, 4, 7, 8 })
                    checksum += sqlite3_column_double(stmt, c);
                checksum += sqlite3_column_int(stmt, 5);
            }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    benchmark::DoNotOptimize(checksum);
    return secondsSince(t);
}

std::unique_ptr<Reports::Report> report(const QString &entry)
{
    for (auto &r : Reports::makeReports())
        if (r->entryText() == entry)
            return std::move(r);
    return nullptr;
}

// A page as the preview shows it at 100 %: the sheet at 96 dpi.
void drawToImage(const ReportEngine::PageStore &pages, int page)
{
    const QRect sheet = pages.pageLayout().fullRectPixels(96);
    QImage image(sheet.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(pages.pageLayout().paintRectPixels(96).topLeft());
    pages.drawPage(painter, page);
}

double vmHwmMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

struct World
{
    QTemporaryDir dir;
    std::string history;
    double rssBefore = 0;
    std::unique_ptr<ReportEngine::PageStore> preview; // the history report, as the preview holds it
};
World *world = nullptr;

void BM_HistoryPreviewFirstPage(benchmark::State &state)
{
    const auto history = report(QStringLiteral("History Items - Standard"));
    double ours = 0, bare = 0;
    int pages = 0;
    for (auto _ : state) {
        world->preview.reset();
        bare += bareRead(world->history);
        const Clock::time_point t = Clock::now();
        world->preview = history->prepare({}, {});
        drawToImage(*world->preview, 0);
        const double took = secondsSince(t);
        ours += took;
        state.SetIterationTime(took);
        pages = world->preview->pageCount();
    }
    const double n = double(state.iterations());
    state.counters["report_ms"] = 1000.0 * ours / n;
    state.counters["sqlite_ms"] = 1000.0 * bare / n;
    state.counters["ratio"] = bare > 0 ? ours / bare : 0;
    state.counters["pages"] = pages;
    state.counters["rss_MB"] = residentMb();
    state.counters["hwm_MB"] = vmHwmMb();
    state.counters["rss_before_MB"] = world->rssBefore;
}

void BM_HistoryPage10000VsPage1(benchmark::State &state)
{
    if (!world->preview)
        world->preview = report(QStringLiteral("History Items - Standard"))->prepare({}, {});
    const ReportEngine::PageStore &pages = *world->preview;
    double first = 0, far = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        drawToImage(pages, 0);
        first += secondsSince(t);
        t = Clock::now();
        drawToImage(pages, 9999);
        const double took = secondsSince(t);
        far += took;
        state.SetIterationTime(took);
    }
    const double n = double(state.iterations());
    state.counters["page10000_ms"] = 1000.0 * far / n;
    state.counters["page1_ms"] = 1000.0 * first / n;
    state.counters["ratio"] = first > 0 ? far / first : 0;
    state.counters["rss_MB"] = residentMb();
    state.counters["hwm_MB"] = vmHwmMb();
}

void BM_ScheduledExtendedPdf(benchmark::State &state)
{
    world->preview.reset();
    const auto extended
        = report(QStringLiteral("Scheduled Items - Extended (Includes User Fields)"));
    const auto pages = extended->prepare({}, {});
    const QString path = world->dir.path() + QStringLiteral("/scheduled.pdf");
    double pdf = 0, image = 0;
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        for (int p = 0; p < pages->pageCount(); ++p)
            drawToImage(*pages, p);
        image += secondsSince(t);
        t = Clock::now();
        ReportEngine::writePdf(*pages, path);
        const double took = secondsSince(t);
        pdf += took;
        state.SetIterationTime(took);
    }
    const double n = double(state.iterations());
    state.counters["pages"] = pages->pageCount();
    state.counters["pdf_pages_per_s"] = pages->pageCount() * n / pdf;
    state.counters["image_pages_per_s"] = pages->pageCount() * n / image;
    state.counters["ratio"] = image > 0 ? pdf / image : 0;
    state.counters["pdf_MB"] = QFile(path).size() / 1048576.0;
}

BENCHMARK(BM_HistoryPreviewFirstPage)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_HistoryPage10000VsPage1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScheduledExtendedPdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
} // namespace

int main(int argc, char **argv)
{
    BenchSupport::drawOffscreen();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("bench_reports"));

    World w;
    world = &w;
    BenchSupport::workIn(w.dir.path(), w.dir.path());

    const Clock::time_point t = Clock::now();
    Engine::instance().createTable(QStringLiteral("history.DB"), Layouts::item());
    Engine::instance().createTable(QStringLiteral("schedule.DB"), Layouts::item());
    w.history = Engine::resolve(QStringLiteral("history.DB")).toStdString();
    const std::string schedule = Engine::resolve(QStringLiteral("schedule.DB")).toStdString();
    // The files are written by a child process, so that the memory SQLite takes
    // for building the indexes is not counted against the reports.
    const pid_t child = fork();
    if (child == 0) {
        try {
            SQLite::Database h(w.history, SQLite::OPEN_READWRITE);
            fillWithoutIndexes(h, itemRows(HistoryRecords, true));
            SQLite::Database s(schedule, SQLite::OPEN_READWRITE);
            fillWithoutIndexes(s, itemRows(ScheduleItems, false));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the tables could not be written\n");
        return 1;
    }
    std::fprintf(stderr, "history.DB (%d) and schedule.DB (%d) written in %.1f s\n", HistoryRecords,
        ScheduleItems, secondsSince(t));
    w.rssBefore = residentMb();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w.preview.reset();
    world = nullptr;
    return 0;
}
