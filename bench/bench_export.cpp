// Export of 100,000 scheduled items to each of the three types, against the
// bare SQLite read of the same records (in the list's order) plus the
// library's own write of the same values: shapelib's attribute writers,
// pxlib's field writers into a table built in memory (the way that does not
// cost a system call per byte), and a plain buffered file write for text.

#include "data/engine.h"
#include "data/layouts.h"
#include "data/table.h"
#include "data/tableexport.h"
#include "data/tablefiles.h"

#include <benchmark/benchmark.h>
#include <shapefil.h>
#include <sqlite3.h>

extern "C" {
#include <paradox.h>
}

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "benchsupport.h"

namespace {
using namespace BenchSupport;
constexpr int Records = 100000;

struct World
{
    QTemporaryDir dir;
    std::string path;
    std::unique_ptr<Table> table;
};
World *world = nullptr;

void fillSchedule(const std::string &path)
{
    SQLite::Database db(path, SQLite::OPEN_READWRITE);
    fillWithoutIndexes(db,
        "INSERT INTO data (\"Pay Date\", \"Due Date\", \"Description\", \"Bill Amount\","
        " \"Pay Amount\", \"Frequency\", \"Units\", \"Warning Days\", \"End Date\","
        " \"User Field 1\", \"User Field 2\", \"PayNow\", \"Budget\", \"Balance\")"
        " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
            + std::to_string(Records)
            + ")"
              " SELECT date('2024-01-01', '+' || (i % 300) || ' days'),"
              " CASE WHEN i % 20 = 0 THEN NULL ELSE date('2024-01-01', '+' || (i % 200) || ' "
              "days') END,"
              " 'Payee \"' || (i % 997) || '\", Main St.',"
              " CASE WHEN i % 4 = 0 THEN NULL ELSE (i % 50000) / 100.0 END,"
              " CASE WHEN i % 4 = 0 THEN (i % 90000) / 100.0 ELSE NULL END,"
              " i % 13, CASE i % 3 WHEN 0 THEN 'Months' WHEN 1 THEN 'Weeks' ELSE 'Days' END,"
              " CASE WHEN i % 5 = 0 THEN NULL ELSE i % 10 END,"
              " CASE WHEN i % 7 = 0 THEN date('2030-12-31') ELSE NULL END,"
              " 'account ' || (i % 97), CASE WHEN i % 2 = 0 THEN 'M' || char(252) || 'ller' END,"
              " CASE WHEN i % 10 = 0 THEN char(252) END, 100.0, (i % 1000) * 1.5"
              " FROM n");
}

// ---- the bare side: every record in the list's order, every column.

template <typename Row> void readAll(Row row)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(world->path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT * FROM data ORDER BY \"Due Date\", \"Description\", rowid", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        row(stmt);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

const char *text(sqlite3_stmt *stmt, int c)
{
    return reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
}

// Both sides make their files durable: the export syncs before it renames.
void syncAndClose(FILE *f)
{
    std::fflush(f);
    ::fsync(::fileno(f));
    std::fclose(f);
}

void syncFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::fsync(fd);
    ::close(fd);
}

const QList<FieldDef> &fields()
{
    return Layouts::item().fields;
}

void bareText(const std::string &out)
{
    FILE *f = std::fopen(out.c_str(), "wb");
    readAll([f](sqlite3_stmt *stmt) {
        for (int c = 0; c < fields().size(); ++c) {
            if (c)
                std::fputc(',', f);
            const bool isText = fields()[c].type == FieldType::Text;
            if (isText)
                std::fputc('"', f);
            if (sqlite3_column_type(stmt, c) != SQLITE_NULL)
                std::fputs(text(stmt, c), f);
            if (isText)
                std::fputc('"', f);
        }
        std::fputs("\r\n", f);
    });
    syncAndClose(f);
}

void bareDbase(const std::string &out)
{
    DBFHandle dbf = DBFCreateEx(out.c_str(), "LDID/87");
    for (int c = 0; c < fields().size(); ++c) {
        const FieldDef &f = fields()[c];
        char name[16];
        std::snprintf(name, sizeof name, "F%d", c);
        switch (f.type) {
        case FieldType::Date:
            DBFAddNativeFieldType(dbf, name, 'D', 8, 0);
            break;
        case FieldType::Text:
            DBFAddField(dbf, name, FTString, f.size, 0);
            break;
        case FieldType::Money:
            DBFAddField(dbf, name, FTDouble, 19, 4);
            break;
        default:
            DBFAddField(dbf, name, FTInteger, 11, 0);
        }
    }
    int record = 0;
    readAll([&](sqlite3_stmt *stmt) {
        for (int c = 0; c < fields().size(); ++c) {
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                DBFWriteNULLAttribute(dbf, record, c);
                continue;
            }
            switch (fields()[c].type) {
            case FieldType::Date: {
                char ymd[9];
                const char *iso = text(stmt, c);
                std::memcpy(ymd, iso, 4);
                std::memcpy(ymd + 4, iso + 5, 2);
                std::memcpy(ymd + 6, iso + 8, 2);
                ymd[8] = 0;
                DBFWriteAttributeDirectly(dbf, record, c, ymd);
                break;
            }
            case FieldType::Text:
                DBFWriteStringAttribute(dbf, record, c, text(stmt, c));
                break;
            case FieldType::Money:
                DBFWriteDoubleAttribute(dbf, record, c, sqlite3_column_double(stmt, c));
                break;
            default:
                DBFWriteIntegerAttribute(dbf, record, c, sqlite3_column_int(stmt, c));
            }
        }
        ++record;
    });
    DBFClose(dbf);
    syncFile(out);
}

void bareParadox(const std::string &out)
{
    pxdoc_t *doc = PX_new();
    const int n = int(fields().size());
    auto *list = static_cast<pxfield_t *>(std::calloc(size_t(n), sizeof(pxfield_t)));
    int recordSize = 0;
    for (int c = 0; c < n; ++c) {
        const FieldDef &f = fields()[c];
        list[c].px_fname = ::strdup(f.name.toLatin1().constData());
        switch (f.type) {
        case FieldType::Date:
            list[c].px_ftype = pxfDate, list[c].px_flen = 4;
            break;
        case FieldType::Text:
            list[c].px_ftype = pxfAlpha, list[c].px_flen = f.size;
            break;
        case FieldType::Money:
            list[c].px_ftype = pxfCurrency, list[c].px_flen = 8;
            break;
        case FieldType::SmallInt:
            list[c].px_ftype = pxfShort, list[c].px_flen = 2;
            break;
        case FieldType::Counter:
            list[c].px_ftype = pxfAutoInc, list[c].px_flen = 4;
            break;
        }
        recordSize += list[c].px_flen;
    }
    const size_t perBlock = (16 * 1024 - 6) / size_t(recordSize);
    const size_t size = 0x1000 + (Records / perBlock + 2) * 16 * 1024;
    char *buffer = static_cast<char *>(std::calloc(1, size));
    FILE *mem = ::fmemopen(buffer, size, "w+");
    PX_create_fp(doc, list, n, mem, pxfFileTypNonIndexDB);
    PX_set_parameter(doc, "tablename", "schedule");
    std::vector<char> record(static_cast<size_t>(recordSize));
    readAll([&](sqlite3_stmt *stmt) {
        std::memset(record.data(), 0, record.size());
        int offset = 0;
        for (int c = 0; c < n; ++c) {
            char *field = record.data() + offset;
            offset += list[c].px_flen;
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
                continue;
            switch (fields()[c].type) {
            case FieldType::Date: {
                int y = 0, m = 0, d = 0;
                std::sscanf(text(stmt, c), "%d-%d-%d", &y, &m, &d);
                PX_put_data_long(doc, field, 4, int(PX_GregorianToSdn(y, m, d) - 1721425));
                break;
            }
            case FieldType::Text:
                PX_put_data_alpha(doc, field, list[c].px_flen, const_cast<char *>(text(stmt, c)));
                break;
            case FieldType::Money:
                PX_put_data_double(doc, field, 8, sqlite3_column_double(stmt, c));
                break;
            case FieldType::SmallInt:
                PX_put_data_short(doc, field, 2, short(sqlite3_column_int(stmt, c)));
                break;
            case FieldType::Counter:
                PX_put_data_long(doc, field, 4, sqlite3_column_int(stmt, c));
                break;
            }
        }
        PX_put_record(doc, record.data());
    });
    const size_t used = size_t(doc->px_head->px_headersize)
        + size_t(doc->px_head->px_fileblocks) * size_t(doc->px_head->px_maxtablesize) * 0x400;
    PX_delete(doc);
    std::fclose(mem);
    FILE *f = std::fopen(out.c_str(), "wb");
    std::fwrite(buffer, 1, used, f);
    syncAndClose(f);
    std::free(buffer);
}

// This thread's processor time in seconds: steadier than the clock on a
// loaded machine.
double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Peak resident memory (VmHWM) is counted from here: the kernel resets it.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double statusMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toDouble()
                / 1024.0;
    return 0;
}

void BM_Export(benchmark::State &state)
{
    const auto type = TableExport::Type(state.range(0));
    const QString ours = QDir(world->dir.path())
                             .filePath(QStringLiteral("out/ours") + TableExport::extension(type));
    const std::string bare
        = QDir(world->dir.path()).filePath(QStringLiteral("out/bare")).toStdString();
    double exported = 0, baseline = 0, oursPeak = 0, barePeak = 0, oursCpu = 0, bareCpu = 0;
    for (auto _ : state) {
        const double idle = statusMb("VmRSS:");
        resetPeak();
        Clock::time_point t = Clock::now();
        double cpu = threadCpu();
        switch (type) {
        case TableExport::Type::Paradox:
            bareParadox(bare + ".db");
            break;
        case TableExport::Type::DBase:
            bareDbase(bare + ".dbf");
            break;
        case TableExport::Type::Ascii:
            bareText(bare + ".txt");
            break;
        }
        baseline += secondsSince(t);
        bareCpu += threadCpu() - cpu;
        barePeak = std::max(barePeak, statusMb("VmHWM:") - idle);

        resetPeak();
        t = Clock::now();
        cpu = threadCpu();
        // As the window runs it: with a progress callback that looks at a clock.
        Clock::time_point lastLook = t;
        const auto result
            = TableExport::run(*world->table, { ours, type, 0, 0 }, [&lastLook](qint64, qint64) {
                  const Clock::time_point now = Clock::now();
                  if (now - lastLook > std::chrono::milliseconds(50))
                      lastLook = now;
                  return true;
              });
        const double took = secondsSince(t);
        oursCpu += threadCpu() - cpu;
        oursPeak = std::max(oursPeak, statusMb("VmHWM:") - idle);
        exported += took;
        state.SetIterationTime(took);
        if (result.records != Records)
            state.SkipWithError("not every record was exported");
    }
    const double n = double(state.iterations());
    state.counters["export_ms"] = 1000.0 * exported / n;
    state.counters["bare_ms"] = 1000.0 * baseline / n;
    state.counters["ratio"] = baseline > 0 ? exported / baseline : 0;
    state.counters["export_cpu_ms"] = 1000.0 * oursCpu / n;
    state.counters["bare_cpu_ms"] = 1000.0 * bareCpu / n;
    state.counters["cpu_ratio"] = bareCpu > 0 ? oursCpu / bareCpu : 0;
    // Above the resident memory before the iteration, in MB.
    state.counters["peak_mb"] = oursPeak;
    state.counters["bare_peak_mb"] = barePeak;
}

BENCHMARK(BM_Export)
    ->ArgName("type")
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench_export"));
    World w;
    world = &w;
    QDir(w.dir.path()).mkdir(QStringLiteral("out"));
    BenchSupport::workIn(w.dir.path(), w.dir.path());
    Engine::instance().createTable(TableFiles::Schedule, Layouts::item());
    w.path = QDir(w.dir.path()).filePath(TableFiles::Schedule).toStdString();
    fillSchedule(w.path);
    w.table = std::make_unique<Table>(TableFiles::Schedule);
    w.table->setIndexName(TableFiles::DueDateIndex);
    w.table->open();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    w.table.reset();
    return 0;
}
