// The reports over large tables, each against its bare side: "History Items -
// Standard" over a million paid items and "Scheduled Items - Standard" over
// 100,000 items as the preview gets them (page 1 drawn while the rest is laid
// out aside, then the whole layout) against an ordered read of the printed
// fields; page 10,000 against page 1; "Scheduled Items - Extended" written to
// PDF on a thread of its own against a bare QPdfWriter program drawing the
// same fields. Memory is the peak (VmHWM) against the idle process.

#include "data/engine.h"
#include "data/formats.h"
#include "data/layouts.h"
#include "reports/engine/output.h"
#include "reports/report.h"

#include <SQLiteCpp/Database.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <time.h>
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

// Processor time of the whole process (the layout aside included), seconds.
double cpuNow()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
double bareCpu = 0; // the last bareRead()'s processor time

// The chooser's defaults: the widest date range on "Due Date".
Reports::Request defaults()
{
    Reports::Request r;
    r.begin = Formats::date(QDate(1900, 1, 1));
    r.end = Formats::date(QDate(2099, 12, 31));
    return r;
}

// The bare side: the fields the report prints, in "Due Date Index" order
// within the same date range, stepped through on a connection opened for the
// purpose. `visit` sees each row's statement (for the PDF's bare side).
double bareRead(
    const std::string &path, bool history, const std::function<void(sqlite3_stmt *)> &visit = {})
{
    const Clock::time_point t = Clock::now();
    const double cpu = cpuNow();
    sqlite3 *db = nullptr;
    double checksum = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        const std::string sql = std::string("SELECT ")
            + (history ? "\"Process Date\"" : "\"PayNow\"")
            + ", \"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\","
              " \"Frequency\", \"Units\", \"Budget\", \"Balance\", \"User Field 1\","
              " \"User Field 2\", \"User Field 3\", \"User Field 4\" FROM data"
              " WHERE \"Due Date\" >= '1900-01-01' AND \"Due Date\" <= '2099-12-31'"
              " ORDER BY \"Due Date\", \"Description\", rowid";
        const int columns = visit ? 13 : 9; // the user fields print in the extended form only
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                if (visit) {
                    visit(stmt);
                    continue;
                }
                for (int c = 0; c < columns; ++c)
                    if (c == 3 || c == 4 || c == 7 || c == 8)
                        checksum += sqlite3_column_double(stmt, c);
                    else
                        benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
            }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    benchmark::DoNotOptimize(checksum);
    bareCpu = cpuNow() - cpu;
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
    std::string schedule;
    double rssBefore = 0;
    std::unique_ptr<ReportEngine::PageStore> preview; // the history report, as the preview holds it
};
World *world = nullptr;

// The preview's way: page 1 laid out and drawn while the rest is laid out
// aside, then the wait for the whole layout; against the bare ordered read.
void firstPageThenWhole(
    benchmark::State &state, const QString &entry, const std::string &file, bool history)
{
    const auto chosen = report(entry);
    double first = 0, whole = 0, bare = 0, cpu = 0, cpuBare = 0;
    int pages = 0;
    for (auto _ : state) {
        world->preview.reset();
        bare += bareRead(file, history);
        cpuBare += bareCpu;
        const double cpuFrom = cpuNow();
        const Clock::time_point t = Clock::now();
        world->preview = chosen->prepareFirstPage(defaults(), {});
        drawToImage(*world->preview, 0);
        const double shown = secondsSince(t);
        world->preview->finish();
        const double took = secondsSince(t);
        cpu += cpuNow() - cpuFrom;
        first += shown;
        whole += took;
        state.SetIterationTime(took);
        pages = world->preview->pageCount();
    }
    const double n = double(state.iterations());
    state.counters["first_page_ms"] = 1000.0 * first / n;
    state.counters["layout_ms"] = 1000.0 * whole / n;
    state.counters["sqlite_ms"] = 1000.0 * bare / n;
    state.counters["ratio"] = bare > 0 ? whole / bare : 0;
    state.counters["cpu_ms"] = 1000.0 * cpu / n;
    state.counters["sqlite_cpu_ms"] = 1000.0 * cpuBare / n;
    state.counters["cpu_ratio"] = cpuBare > 0 ? cpu / cpuBare : 0;
    state.counters["pages"] = pages;
    state.counters["hwm_MB"] = vmHwmMb();
    state.counters["rss_before_MB"] = world->rssBefore;
}

void BM_HistoryPreviewFirstPage(benchmark::State &state)
{
    firstPageThenWhole(state, QStringLiteral("History Items - Standard"), world->history, true);
}

void BM_ScheduledPreviewFirstPage(benchmark::State &state)
{
    firstPageThenWhole(state, QStringLiteral("Scheduled Items - Standard"), world->schedule, false);
}

// prepare() as the other callers use it: every page laid out, then page 1.
void BM_ScheduledPrepareWhole(benchmark::State &state)
{
    world->preview.reset();
    const auto chosen = report(QStringLiteral("Scheduled Items - Standard"));
    double ours = 0, bare = 0, cpu = 0, cpuBare = 0;
    for (auto _ : state) {
        bare += bareRead(world->schedule, false);
        cpuBare += bareCpu;
        const double cpuFrom = cpuNow();
        const Clock::time_point t = Clock::now();
        const auto pages = chosen->prepare(defaults(), {});
        drawToImage(*pages, 0);
        const double took = secondsSince(t);
        cpu += cpuNow() - cpuFrom;
        ours += took;
        state.SetIterationTime(took);
    }
    const double n = double(state.iterations());
    state.counters["report_ms"] = 1000.0 * ours / n;
    state.counters["sqlite_ms"] = 1000.0 * bare / n;
    state.counters["ratio"] = bare > 0 ? ours / bare : 0;
    state.counters["cpu_ms"] = 1000.0 * cpu / n;
    state.counters["sqlite_cpu_ms"] = 1000.0 * cpuBare / n;
    state.counters["cpu_ratio"] = cpuBare > 0 ? cpu / cpuBare : 0;
}

void BM_HistoryPage10000VsPage1(benchmark::State &state)
{
    if (!world->preview || world->preview->pageCount() < 10000) {
        world->preview
            = report(QStringLiteral("History Items - Standard"))->prepare(defaults(), {});
    }
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

// The bare side of the PDF: a program that reads the printed fields in order
// and draws their texts at their places with QPdfWriter, as many records a
// page as the report fits, knowing nothing of bands.
void barePdf(const QString &path, const QPageLayout &layout, int pages, int rows)
{
    QPdfWriter writer(path);
    writer.setPageLayout(layout);
    QPainter painter(&writer);
    const double unit = writer.resolution() / 96.0;
    painter.scale(unit, unit);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8 * 96.0 / writer.logicalDpiY());
    painter.setFont(font);
    const int perPage = (rows + pages - 1) / pages;
    const double xs[] = { 0, 46, 122, 360, 440, 511, 536, 600, 680, 200, 360, 520, 680 };
    int row = 0;
    bareRead(world->schedule, false, [&](sqlite3_stmt *stmt) {
        if (row > 0 && row % perPage == 0)
            writer.newPage();
        const double y = 63 + (row % perPage) * 34.0;
        for (int c = 0; c < 13; ++c) {
            const QString text = c == 3 || c == 4 || c == 7 || c == 8
                ? QString::number(sqlite3_column_double(stmt, c), 'f', 2)
                : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
            painter.drawText(QPointF(xs[c], y + (c >= 9 ? 26 : 12)), text);
        }
        ++row;
    });
}

void BM_ScheduledExtendedPdf(benchmark::State &state)
{
    world->preview.reset();
    const auto extended
        = report(QStringLiteral("Scheduled Items - Extended (Includes User Fields)"));
    const auto pages = extended->prepare(defaults(), {});
    const QString path = world->dir.path() + QStringLiteral("/scheduled.pdf");
    const QString bare = world->dir.path() + QStringLiteral("/bare.pdf");
    double pdf = 0, writer = 0, cpuPdf = 0, cpuWriter = 0;
    const double before = vmHwmMb();
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        double cpu = cpuNow();
        barePdf(bare, pages->pageLayout(), pages->pageCount(), ScheduleItems);
        writer += secondsSince(t);
        cpuWriter += cpuNow() - cpu;
        cpu = cpuNow();
        t = Clock::now();
        // As the preview writes it: on a thread of its own.
        std::thread aside([&] { ReportEngine::writePdf(*pages, path); });
        aside.join();
        const double took = secondsSince(t);
        cpuPdf += cpuNow() - cpu;
        pdf += took;
        state.SetIterationTime(took);
    }
    const double n = double(state.iterations());
    state.counters["pages"] = pages->pageCount();
    state.counters["pdf_pages_per_s"] = pages->pageCount() * n / pdf;
    state.counters["bare_pages_per_s"] = pages->pageCount() * n / writer;
    state.counters["ratio"] = writer > 0 ? pdf / writer : 0;
    state.counters["cpu_ratio"] = cpuWriter > 0 ? cpuPdf / cpuWriter : 0;
    state.counters["pdf_MB"] = QFile(path).size() / 1048576.0;
    state.counters["bare_pdf_MB"] = QFile(bare).size() / 1048576.0;
    state.counters["hwm_before_MB"] = before;
    state.counters["hwm_MB"] = vmHwmMb();
}

BENCHMARK(BM_HistoryPreviewFirstPage)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ScheduledPreviewFirstPage)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ScheduledPrepareWhole)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HistoryPage10000VsPage1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScheduledExtendedPdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
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
    w.schedule = Engine::resolve(QStringLiteral("schedule.DB")).toStdString();
    const std::string &schedule = w.schedule;
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
