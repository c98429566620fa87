// The projection of a schedule of 10,000 items over 365 days (the schedule
// read through a table handle, then every occurrence in due-date order)
// against a bare baseline: the same records read through SQLite's C interface
// and NextOccurrence applied to each item in a plain loop, as many times as
// the projection applies it. The cash-flow forecast of the same schedule, and
// of 10,000 daily items, against a bare program doing the read, the
// recurrence, the sort and the daily balance. The calendar file of the daily
// items over a month against a bare program writing the same octets with
// stdio. With --peak=forecast or --peak=daily, the forecast is made once and
// its peak memory printed; with --peak=ics or --peak=ics-bare, the calendar
// file; with --peak=pdf, the forecast's PDF. --compare=DIR writes both
// sides' calendar files of both schedules into DIR, to be compared.

#include "data/engine.h"
#include "data/layouts.h"
#include "domain/cashflow.h"
#include "domain/icalendar.h"
#include "domain/itemrecord.h"
#include "domain/nextoccurrence.h"
#include "domain/projection.h"
#include "domain/projectiontable.h"
#include "planning/forecastfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
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

// The forecast as the window makes it: the schedule read on the worker through
// a connection of its own, projected into the table without records, and the
// running balance day by day.
long long forecast(const QString &file)
{
    std::vector<ScheduledItem> items = Projection::snapshot(file);
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

// The bare calendar file: the rule's fields and the printed ones through
// SQLite's C interface, each item's UID hash made once, the items' next
// occurrences in a heap by day, and each event's text (escaped, folded at 75
// octets) written with stdio. Amounts as the C locale writes them, as ours
// does in the benchmark.
namespace BareIcs {
struct Item
{
    Recurrence rule;
    std::string payee; // as stored
    std::string units;
    std::string hash; // of payee, units and frequency
    long long frequency = 0;
    int warning = 0;
    bool hasWarning = false;
};

std::string columnText(sqlite3_stmt *stmt, int c)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
    return text ? std::string(text) : std::string();
}

// 1234.5 as 1,234.50; the C locale's currency has no symbol.
void money(std::string &out, double value)
{
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.2f", value < 0 ? -value : value);
    const std::size_t whole = std::strchr(digits, '.') - digits;
    if (value < 0)
        out += '-';
    for (std::size_t i = 0; i < whole; ++i) {
        if (i > 0 && (whole - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    out += digits + whole;
}

void dateText(std::string &out, const QDate &d, const char *format = "%04d-%02d-%02d")
{
    char text[16];
    std::snprintf(text, sizeof text, format, d.year(), d.month(), d.day());
    out += text;
}

void escaped(std::string &out, const std::string &text)
{
    for (char c : text) {
        if (c == '\\' || c == ';' || c == ',')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
            out += c;
    }
}

// One content line, folded at 75 octets and never inside a UTF-8 sequence.
void fold(std::FILE *out, const std::string &line)
{
    std::size_t start = 0, room = 75;
    while (line.size() - start > room) {
        std::size_t cut = start + room;
        while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        std::fwrite(line.data() + start, 1, cut - start, out);
        std::fputs("\r\n ", out);
        start = cut;
        room = 74;
    }
    std::fwrite(line.data() + start, 1, line.size() - start, out);
    std::fputs("\r\n", out);
}

std::vector<Item> read(const QString &file)
{
    std::vector<Item> items;
    sqlite3 *db = nullptr;
    const std::string path = Engine::resolve(file).toStdString();
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db,
                "SELECT \"Due Date\", \"Bill Amount\", \"Pay Amount\", \"Frequency\", "
                "\"Units\", \"End Date\", \"Budget\", \"Balance\", \"Description\", "
                "\"Warning Days\" FROM data ORDER BY \"Due Date\", \"Description\", rowid",
                -1, &stmt, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                Item item;
                Recurrence &r = item.rule;
                r.due = ::isoDate(stmt, 0);
                r.bill = optionalAt(stmt, 1);
                r.pay = optionalAt(stmt, 2);
                r.frequency = sqlite3_column_int64(stmt, 3);
                r.unit = unitAt(stmt, 4);
                r.end = ::isoDate(stmt, 5);
                r.budget = optionalAt(stmt, 6);
                r.balance = optionalAt(stmt, 7);
                item.payee = columnText(stmt, 8);
                item.units = columnText(stmt, 4);
                item.frequency = r.frequency;
                item.hasWarning = sqlite3_column_type(stmt, 9) != SQLITE_NULL;
                item.warning = sqlite3_column_int(stmt, 9);
                const std::string name
                    = item.payee + '\x1f' + item.units + '\x1f' + std::to_string(item.frequency);
                item.hash = QCryptographicHash::hash(
                    QByteArrayView(name.data(), qsizetype(name.size())), QCryptographicHash::Sha256)
                                .toHex()
                                .left(20)
                                .toStdString();
                items.push_back(std::move(item));
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return items;
}

void event(std::FILE *out, const Item &item, const Recurrence &r, const QDate &day, bool overdue,
    int repeat, std::string &line)
{
    std::string title = overdue ? "Overdue: " : "";
    title += item.payee.empty() ? std::string("(no payee)") : item.payee;
    const std::optional<double> &amount = r.bill ? r.bill : r.pay;
    if (amount) {
        title += " \u2014 ";
        money(title, *amount);
    }
    fold(out, "BEGIN:VEVENT");
    line = "UID:";
    dateText(line, r.due, "%04d%02d%02d");
    line += '-' + item.hash;
    if (repeat > 1)
        line += '-' + std::to_string(repeat);
    line += "@duesmith.example.org";
    fold(out, line);
    fold(out, "DTSTAMP:20240315T090000Z");
    line = "DTSTART;VALUE=DATE:";
    dateText(line, day, "%04d%02d%02d");
    fold(out, line);
    line = "DTEND;VALUE=DATE:";
    dateText(line, day.addDays(1), "%04d%02d%02d");
    fold(out, line);
    line = "SUMMARY:";
    escaped(line, title);
    fold(out, line);
    std::string text = "Payee: " + item.payee + "\nDue Date: ";
    dateText(text, r.due);
    const auto amountLine = [&text](const char *label, const std::optional<double> &value) {
        if (value) {
            text += label;
            money(text, *value);
        }
    };
    amountLine("\nExpense Amount: ", r.bill);
    amountLine("\nIncome Amount: ", r.pay);
    text += "\nRepeat Every: ";
    if (item.frequency != 0)
        text += std::to_string(item.frequency) + ' ';
    text += item.units;
    if (r.end.isValid()) {
        text += "\nEnd Date: ";
        dateText(text, r.end);
    }
    if (item.hasWarning)
        text += "\nWarning Days: " + std::to_string(item.warning);
    amountLine("\nBudget Amount: ", r.budget);
    amountLine("\nBalance: ", r.balance);
    line = "DESCRIPTION:";
    escaped(line, text);
    fold(out, line);
    fold(out, "TRANSP:TRANSPARENT");
    fold(out, "BEGIN:VALARM");
    fold(out, "ACTION:DISPLAY");
    line = "DESCRIPTION:";
    escaped(line, title);
    fold(out, line);
    const int warn = overdue ? 0 : std::max(0, item.warning);
    fold(out, warn == 0 ? std::string("TRIGGER:PT0S") : "TRIGGER:-P" + std::to_string(warn) + 'D');
    fold(out, "END:VALARM");
    fold(out, "END:VEVENT");
}

// The events from today to until, in due-date order; returns their number.
long long write(const QString &file, const char *path, const QDate &today, const QDate &until)
{
    std::vector<Item> items = read(file);
    std::FILE *out = std::fopen(path, "wb");
    if (!out)
        return -1;
    static char buffer[1 << 16];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    for (const char *l : { "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Duesmith//Duesmith//EN",
             "CALSCALE:GREGORIAN", "METHOD:PUBLISH", "X-WR-CALNAME:Duesmith" })
        fold(out, l);
    struct Next
    {
        qint64 day;
        int item;
        int cycle;
        bool operator>(const Next &o) const { return day != o.day ? day > o.day : item > o.item; }
    };
    std::vector<Next> heap;
    std::vector<Recurrence> state;
    for (int i = 0; i < int(items.size()); ++i) {
        state.push_back(items[std::size_t(i)].rule);
        if (state.back().due.isValid() && state.back().due <= until)
            heap.push_back({ state.back().due.toJulianDay(), i, 0 });
    }
    std::make_heap(heap.begin(), heap.end(), std::greater<>());
    long long events = 0;
    qint64 day = 0;
    std::unordered_map<std::string, int> taken; // the UIDs given on the day
    std::string line;
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), std::greater<>());
        const Next n = heap.back();
        heap.pop_back();
        const Item &item = items[std::size_t(n.item)];
        Recurrence &r = state[std::size_t(n.item)];
        const bool overdue = r.due < today;
        if (!overdue || n.cycle == 0) {
            if (n.day != day) {
                day = n.day;
                taken.clear();
            }
            event(out, item, r, overdue ? today : r.due, overdue, ++taken[item.hash], line);
            ++events;
        }
        const std::optional<Recurrence> next = r.next();
        if (next && next->due.isValid() && next->due > r.due && next->due <= until) {
            r = *next;
            heap.push_back({ r.due.toJulianDay(), n.item, n.cycle + 1 });
            std::push_heap(heap.begin(), heap.end(), std::greater<>());
        }
    }
    fold(out, "END:VCALENDAR");
    std::fclose(out);
    return events;
}
} // namespace BareIcs

// The calendar file as the program keeps it up to date for a month ahead: the
// records read through a connection of their own, projected with records,
// each event's text made and written.
long long oursIcs(const QString &file, const char *path)
{
    QFile sink(QString::fromLocal8Bit(path));
    if (!sink.open(QIODevice::WriteOnly))
        return -1;
    Projection p(Projection::snapshot(file), Today, Today.addMonths(1));
    return static_cast<long long>(
        ICalendar::write(sink, p, Options(), QDateTime(Today, QTime(9, 0), Qt::UTC)));
}

void BM_CalendarFile(benchmark::State &state)
{
    double ours = 0, bare = 0, oursCpu = 0, bareCpu = 0;
    long long count = 0;
    for (auto _ : state) {
        auto start = BenchSupport::Clock::now();
        std::clock_t cpu = std::clock();
        count = oursIcs(QStringLiteral("daily.DB"), "/dev/null");
        const double spent = BenchSupport::secondsSince(start);
        oursCpu += double(std::clock() - cpu) / CLOCKS_PER_SEC;
        ours += spent;
        state.SetIterationTime(spent);
        start = BenchSupport::Clock::now();
        cpu = std::clock();
        const long long bareCount
            = BareIcs::write(QStringLiteral("daily.DB"), "/dev/null", Today, Today.addMonths(1));
        bareCpu += double(std::clock() - cpu) / CLOCKS_PER_SEC;
        bare += BenchSupport::secondsSince(start);
        if (bareCount != count)
            state.SkipWithError("the baseline wrote a different number of events");
    }
    const double n = double(state.iterations());
    state.counters["events"] = double(count);
    state.counters["ours_ms"] = ours * 1000 / n;
    state.counters["bare_ms"] = bare * 1000 / n;
    state.counters["ours_cpu_ms"] = oursCpu * 1000 / n;
    state.counters["bare_cpu_ms"] = bareCpu * 1000 / n;
    state.counters["ratio"] = bare > 0 ? ours / bare : 0;
}

BENCHMARK(BM_CalendarFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

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
    // The PDF needs fonts, which come with a GUI application.
    const bool pdf = argc > 1 && std::strcmp(argv[1], "--peak=pdf") == 0;
    if (pdf)
        BenchSupport::drawOffscreen();
    const std::unique_ptr<QCoreApplication> app(
        pdf ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv));
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
            printPeak("ics", [] { return oursIcs(QStringLiteral("daily.DB"), "/dev/null"); });
            // The records through the table engine and through a connection of their own.
            for (const bool own : { false, true }) {
                const auto start = BenchSupport::Clock::now();
                const std::size_t records = own
                    ? Projection::snapshot(QStringLiteral("daily.DB")).size()
                    : Projection::read(QStringLiteral("daily.DB")).size();
                std::printf("%s of %zu records: %.1f ms\n", own ? "snapshot" : "read", records,
                    BenchSupport::secondsSince(start) * 1000);
            }
            return 0;
        }
        if (arg == "--peak=ics-bare") {
            printPeak("ics, bare", [] {
                return BareIcs::write(
                    QStringLiteral("daily.DB"), "/dev/null", Today, Today.addMonths(1));
            });
            return 0;
        }
        if (arg.startsWith("--compare=")) {
            // Both calendar files of both schedules into a folder, to be compared.
            const QByteArray folder = arg.mid(10);
            for (const char *name : { "daily", "schedule" }) {
                const QString file = QString::fromLatin1(name) + QStringLiteral(".DB");
                const QByteArray ours = folder + '/' + name + "-ours.ics";
                const QByteArray bare = folder + '/' + name + "-bare.ics";
                std::printf("%s: %lld / %lld events\n", name, oursIcs(file, ours.constData()),
                    BareIcs::write(file, bare.constData(), Today, Today.addMonths(1)));
            }
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
