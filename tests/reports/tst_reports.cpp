// The reports as they land on paper: positions recorded by a paint device of
// our own, pages, totals, filters, and the PDF read back by pdftotext.

#include "support/dataenv.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/tablefiles.h"
#include "data/viewreader.h"
#include "domain/options.h"
#include "platform/clock.h"
#include "reports/engine/dataset.h"
#include "reports/engine/layout.h"
#include "reports/engine/output.h"
#include "reports/engine/printing.h"
#include "reports/engine/text.h"
#include "reports/report.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTextItem>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace {
struct DrawnText
{
    QString text;
    double x; // left edge, 1/96 inch
    double y; // baseline
    double width;
    double points; // the size it comes out at on the device
};

// Records what a page draws, mapped back to 1/96 inch.
class RecordingEngine : public QPaintEngine
{
public:
    explicit RecordingEngine(double dpi)
        : QPaintEngine(QPaintEngine::AllFeatures)
        , m_dpi(dpi)
    { }
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override { }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
    Type type() const override { return User; }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QTransform t = state->transform();
        const double unit = m_dpi / 96.0;
        const QPointF at = t.map(p) / unit;
        // The font turns points into pixels at the device's resolution, then
        // the transform scales them: what comes out, in points, is this.
        texts.push_back({ item.text(), at.x(), at.y(), item.width() * t.m11() / unit,
            item.font().pointSizeF() * t.m11() });
    }
    void drawLines(const QLineF *lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            this->lines.push_back(state->transform().map(lines[i]));
    }

    std::vector<DrawnText> texts;
    std::vector<QLineF> lines;

private:
    double m_dpi;
};

class RecordingDevice : public QPaintDevice
{
public:
    explicit RecordingDevice(double dpi = 300)
        : engine(dpi)
        , m_dpi(dpi)
    { }
    ~RecordingDevice() override = default;
    QPaintEngine *paintEngine() const override { return &engine; }

    mutable RecordingEngine engine;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
        case PdmHeight:
            return int(12 * m_dpi);
        case PdmWidthMM:
        case PdmHeightMM:
            return 305;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return int(m_dpi);
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    double m_dpi;
};

// Draws one page at 300 dpi, in units of 1/96 inch as the page store expects.
RecordingEngine *drawn(RecordingDevice &device, const ReportEngine::PageStore &pages, int page)
{
    QPainter painter(&device);
    painter.scale(300.0 / 96, 300.0 / 96);
    pages.drawPage(painter, page);
    painter.end();
    return &device.engine;
}

const DrawnText *find(const std::vector<DrawnText> &texts, const QString &text)
{
    for (const DrawnText &t : texts)
        if (t.text == text)
            return &t;
    return nullptr;
}

QStringList textsOf(const std::vector<DrawnText> &texts)
{
    QStringList out;
    for (const DrawnText &t : texts)
        out.append(t.text);
    return out;
}

struct Item
{
    QString due; // ISO or empty
    QString description; // empty for none
    QVariant bill;
    QVariant pay;
    QString payNow;
    QString process;
    QString user2;
};

void insert(const QString &file, const QList<Item> &items)
{
    SQLite::Database db(Engine::resolve(file).toStdString(), SQLite::OPEN_READWRITE);
    SQLite::Statement add(db,
        "INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\", \"Pay Amount\","
        " \"PayNow\", \"Process Date\", \"Frequency\", \"Units\", \"User Field 2\", \"Budget\")"
        " VALUES (?, ?, ?, ?, ?, ?, 2, 'Weeks', ?, 100)");
    db.exec("BEGIN");
    for (const Item &i : items) {
        auto text = [&](int n, const QString &v) {
            if (v.isEmpty())
                add.bind(n);
            else
                add.bind(n, v.toStdString());
        };
        auto amount = [&](int n, const QVariant &v) {
            if (v.isNull())
                add.bind(n);
            else
                add.bind(n, v.toDouble());
        };
        text(1, i.due);
        text(2, i.description);
        amount(3, i.bill);
        amount(4, i.pay);
        text(5, i.payNow);
        text(6, i.process);
        text(7, i.user2);
        add.exec();
        add.reset();
    }
    db.exec("COMMIT");
}

std::unique_ptr<Reports::Report> report(const QString &entry)
{
    for (auto &r : Reports::makeReports())
        if (r->entryText().startsWith(entry))
            return std::move(r);
    return nullptr;
}

std::unique_ptr<ReportEngine::PageStore> run(
    const QString &entry, const Reports::Request &request = {})
{
    return report(entry)->prepare(request, {});
}

// The descriptions a report prints, page after page.
QStringList descriptions(const ReportEngine::PageStore &pages, double x)
{
    QStringList out;
    for (int p = 0; p < pages.pageCount(); ++p) {
        RecordingDevice device;
        for (const DrawnText &t : drawn(device, pages, p)->texts)
            if (std::abs(t.x - x) < 0.5 && t.y > 63)
                out.append(t.text);
    }
    return out;
}
// Rows read aside that stop after `held` rows until let go, then fail or end.
class HeldRows : public ReportEngine::RowData
{
public:
    HeldRows(int rows, int held)
        : RowData({ FieldDef{ QStringLiteral("N"), FieldType::Money } },
            std::vector<std::vector<QVariant>>(std::size_t(rows), { QVariant(1.0) }))
        , m_held(held)
    { }
    bool scansAside() const override { return true; }
    void scan(const std::vector<int> &fields, const Visit &visit) const override
    {
        RowData::scan(fields, [&](int row, const ScannedRow &values) {
            if (row == m_held) {
                std::unique_lock lock(m_lock);
                m_reached = true;
                m_goOn.notify_all();
                m_goOn.wait(lock, [&] { return m_free; });
                if (!m_failure.isEmpty())
                    throw EngineError(m_failure);
            }
            return visit(row, values);
        });
    }
    void waitUntilHeld()
    {
        std::unique_lock lock(m_lock);
        m_goOn.wait(lock, [&] { return m_reached; });
    }
    void letGo(const QString &failure = {})
    {
        {
            const std::lock_guard lock(m_lock);
            m_free = true;
            m_failure = failure;
        }
        m_goOn.notify_all();
    }

private:
    int m_held;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_goOn;
    mutable bool m_reached = false;
    bool m_free = false;
    QString m_failure;
};

std::unique_ptr<ReportEngine::PageStore> heldReport(std::shared_ptr<HeldRows> rows)
{
    using namespace ReportEngine;
    Definition report;
    // A body of 1,000 units: ten records a page.
    report.page = QPageLayout(QPageSize(QSizeF(8.5, 10.625), QPageSize::Inch),
        QPageLayout::Portrait, QMarginsF(), QPageLayout::Inch);
    report.pageHeader.height = 20;
    report.pageHeader.elements.push_back(label(QStringLiteral("Held"), 0, 0, 100));
    report.detail.height = 100;
    report.detail.elements.push_back(field(QStringLiteral("N"), 0, 0, 100));
    report.summary = Band{ 20, { sum(QStringLiteral("N"), 0, 0, 100) }, {} };
    report.data = std::move(rows);
    return prepare(std::move(report), {}, Pass::FirstPageFirst);
}
} // namespace

class TestReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void placesHeadingsAndFields_data();
    void placesHeadingsAndFields();
    void longDescriptionGrowsItsRecord();
    void pagesBreakBetweenRecords();
    void tallRecordGoesOnOverPages();
    void summariesAddUpGroups();
    void printedFiguresAreWhole();
    void dateRange_data();
    void dateRange();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
    void pdfHoldsTheReport();
    void pdfThatCannotBeWrittenLeavesNothing();
    void cancelLeavesNothing();
    void firstPageShowsWhileTheRestIsLaidOut();
    void paperFollowsLocale();
    void quickReadsAgreeWithValues_data();
    void quickReadsAgreeWithValues();

private:
    std::unique_ptr<DataEnv> m_env;
    std::unique_ptr<PinnedClock> m_clock;
};

void TestReports::init()
{
    m_env = std::make_unique<DataEnv>();
    m_env->createTables();
    m_clock = std::make_unique<PinnedClock>(QDateTime(QDate(2024, 3, 15), QTime(9, 0)));
    Clock::install(m_clock.get());
    OptionsStore::instance().reset();
    insert(TableFiles::Schedule,
        { { "2024-03-01", "Rent", 800.0, {}, PayMark, {}, "north" },
            { "2024-03-10", "Salary", {}, 2500.5, {}, {}, {} },
            { "2024-04-02", "Water", 40.25, {}, {}, {}, {} } });
    insert(TableFiles::History, { { "2024-02-01", "Gas", 55.0, {}, {}, "2024-02-03", {} } });
}

void TestReports::cleanup()
{
    Clock::install(nullptr);
    m_env.reset();
}

namespace {
struct Expected
{
    const char *text;
    double x;
    double width;
    Qt::Alignment align;
    double points = 8;
};
const Qt::Alignment L = Qt::AlignLeft, C = Qt::AlignHCenter, R = Qt::AlignRight;

// Where page 1 of each report shows a text: left edge and width of its room.
std::vector<Expected> expected(const QString &entry)
{
    if (entry == QLatin1String("Scheduled Items - Standard"))
        return { { "3/15/2024", 0, 75, L }, { "Scheduled Items", 178, 441, C, 12 },
            { "Sorted by Due Date", 254, 289, C }, { "Pay?", 4, 37, C }, { "Due Date", 54, 48, L },
            { "Expense", 360, 73, R }, { "Income", 440, 69, R }, { "Budget", 600, 77, R },
            { "Balance", 680, 73, R }, { "\u2713", 0, 45, C }, { "3/1/2024", 54, 65, L },
            { "Rent", 122, 231, L }, { "$800.00", 360, 73, R }, { "$2,500.50", 440, 69, R },
            { "2", 511, 24, R }, { "Weeks", 536, 65, L }, { "$100.00", 600, 77, R },
            { "Totals", 0, 60, L }, { "$840.25", 360, 73, R }, { "$300.00", 600, 77, R } };
    if (entry == QLatin1String("Scheduled Items - Extended (Includes User Fields)"))
        return { { "Scheduled Items - Extended", 178, 441, C, 12 }, { "Pay?", 0, 37, C },
            { "Due Date", 46, 48, L }, { "\u2713", 0, 37, C }, { "3/1/2024", 46, 65, L },
            { "User Field 1:", 120, 77, L }, { "Due Until:", 280, 77, L },
            { "north", 360, 73, L } };
    if (entry == QLatin1String("History Items - Standard"))
        return { { "History Items", 178, 441, C, 12 }, { "Process Date", 0, 73, L },
            { "Due Date", 79, 48, L }, { "Description", 148, 105, L }, { "2/3/2024", 0, 63, L },
            { "2/1/2024", 79, 65, L }, { "Gas", 148, 213, L }, { "$55.00", 360, 73, R } };
    if (entry == QLatin1String("Summary by Pay Flag"))
        return { { "Summary by Pay Flag", 178, 441, C, 12 }, { "Pay?", 218, 35, C },
            { "Expense", 296, 73, R }, { "Remainder", 467, 60, L }, { "Count", 547, 33, L },
            { "\u2713", 216, 37, C }, { "($800.00)", 458, 69, R }, { "$1,660.25", 456, 71, R },
            { "3", 530, 51, R } };
    return { { "Summary by Due Date Range", 178, 441, C, 12 }, { "Type", 112, 80, L },
        { "Past Due", 194, 80, R }, { "1 to 7 Days", 274, 80, R }, { "8 to 14 Days", 354, 80, R },
        { "15 to 21 Days", 434, 80, R }, { "22+ Days", 514, 80, R }, { "Total", 594, 80, R } };
}
} // namespace

void TestReports::placesHeadingsAndFields_data()
{
    QTest::addColumn<QString>("entry");
    for (const char *entry :
        { "Scheduled Items - Standard", "Scheduled Items - Extended (Includes User Fields)",
            "History Items - Standard", "Summary by Pay Flag", "Summary by Due Date Range" })
        QTest::newRow(entry) << QString::fromLatin1(entry);
}

void TestReports::placesHeadingsAndFields()
{
    QFETCH(QString, entry);
    OptionsStore::instance().update(
        [](Options &o) { o.userTitles[1] = QStringLiteral("Due Until"); });
    const auto pages = run(entry);
    QVERIFY(pages);
    RecordingDevice device;
    const auto &texts = drawn(device, *pages, 0)->texts;
    for (const Expected &e : expected(entry)) {
        const QString text = QString::fromUtf8(e.text);
        const DrawnText *t = find(texts, text);
        QVERIFY2(t,
            qPrintable(text + QStringLiteral(" not in ") + textsOf(texts).join(QLatin1Char('|'))));
        const double at = e.align == L ? t->x
            : e.align == R             ? t->x + t->width - e.width
                                       : t->x + t->width / 2 - e.width / 2;
        QVERIFY2(std::abs(at - e.x) < 0.75, qPrintable(text + QStringLiteral(" at %1").arg(at)));
        QVERIFY2(std::abs(t->points - e.points) < 0.05,
            qPrintable(text + QStringLiteral(" in %1 pt").arg(t->points)));
    }
}

void TestReports::longDescriptionGrowsItsRecord()
{
    const QString longText = QStringLiteral(
        "Insurance for the house, the car and the boat, paid in one sum every year before the "
        "end of the month");
    insert(TableFiles::Schedule, { { "2024-03-02", longText, 1.0, {}, {}, {}, "south" } });
    const auto pages = run(QStringLiteral("Scheduled Items - Extended"));
    RecordingDevice device;
    const auto &texts = drawn(device, *pages, 0)->texts;
    // The lines at the Description's x give back the whole text.
    QStringList lines;
    for (const DrawnText &t : texts)
        if (std::abs(t.x - 122) < 0.5 && t.y > 63)
            lines.append(t.text);
    QCOMPARE(lines.mid(1, lines.size() - 3).join(QLatin1Char(' ')), longText);
    const int count = int(lines.size()) - 3;
    QVERIFY(count >= 3);
    // Its second line and the next record move down by the extra lines.
    const double extra = (count - 1) * ReportText::lineSpacing({});
    const double top = find(texts, QStringLiteral("3/2/2024"))->y;
    const double caption = find(texts, QStringLiteral("south"))->y;
    QVERIFY2(
        std::abs(caption - top - 14 - extra) < 1.5, qPrintable(QString::number(caption - top)));
    const double next = find(texts, QStringLiteral("3/10/2024"))->y;
    QVERIFY2(std::abs(next - top - 34 - extra) < 1.5, qPrintable(QString::number(next - top)));
}

void TestReports::pagesBreakBetweenRecords()
{
    QList<Item> items;
    QStringList expected;
    for (int i = 0; i < 150; ++i) {
        const QString d = i % 7 == 0
            ? QStringLiteral("record %1 with a description long enough to need a second line "
                             "and then a third one as well")
                  .arg(i, 3, 10, QLatin1Char('0'))
            : QStringLiteral("record %1").arg(i, 3, 10, QLatin1Char('0'));
        items.append({ "2023-01-01", d, 1.0, {}, {}, "2023-01-01", {} });
        expected.append(d);
    }
    insert(TableFiles::History, items);
    expected.append(QStringLiteral("Gas"));
    expected.sort(Qt::CaseInsensitive);
    Reports::Request request;
    request.sort = QStringLiteral("Description");
    const auto pages = run(QStringLiteral("History Items - Standard"), request);
    QVERIFY(pages->pageCount() >= 3);
    const double bottom = pages->pageLayout().paintRect(QPageLayout::Inch).height() * 96;
    QStringList seen;
    for (int p = 0; p < pages->pageCount(); ++p) {
        RecordingDevice device;
        QStringList page;
        for (const DrawnText &t : drawn(device, *pages, p)->texts) {
            QVERIFY(t.y < bottom);
            if (std::abs(t.x - 148) < 0.5 && t.y > 63)
                page.append(t.text);
        }
        // The page starts with the first line of a record.
        QVERIFY(std::any_of(expected.begin(), expected.end(),
            [&](const QString &d) { return d.startsWith(page.first()); }));
        seen.append(page);
        QCOMPARE(find(device.engine.texts, QStringLiteral("Totals")) != nullptr,
            p == pages->pageCount() - 1);
    }
    QCOMPARE(seen.join(QLatin1Char(' ')), expected.join(QLatin1Char(' ')));
}

void TestReports::tallRecordGoesOnOverPages()
{
    // Line feeds make a record taller than a page: it starts on a page of its
    // own, goes on at the top of the next, and nothing of it is lost.
    insert(TableFiles::History,
        { { "2024-02-02", "tall" + QStringLiteral("\nx").repeated(120), 1.0, {}, {}, "2024-02-03",
            {} } });
    const auto pages = run(QStringLiteral("History Items - Standard"));
    QCOMPARE(pages->pageCount(), 3);
    const QStringList lines = descriptions(*pages, 148);
    QCOMPARE(lines.size(), 122);
    QCOMPARE(lines.first(), QStringLiteral("Gas"));
    QCOMPARE(lines.at(1), QStringLiteral("tall"));
    QCOMPARE(lines.count(QStringLiteral("x")), 120);
    RecordingDevice last;
    QVERIFY(find(drawn(last, *pages, 2)->texts, QStringLiteral("Totals")));
}

void TestReports::summariesAddUpGroups()
{
    // Groups with blank sums on either side.
    insert(TableFiles::Schedule,
        { { "2024-03-10", "Fee", 5.0, 1.0, {}, {}, {} },
            { "2024-04-02", "Phone", {}, {}, {}, {}, {} } });
    RecordingDevice byFlag;
    const auto flag = run(QStringLiteral("Summary by Pay Flag"));
    const QStringList flagTexts = textsOf(drawn(byFlag, *flag, 0)->texts);
    // Unmarked: bills 45.25, pay 2501.50, four items. Marked: the rent alone,
    // no income: the remainder is minus its expense.
    for (const char *t :
        { "$45.25", "$2,501.50", "$2,456.25", "($800.00)", "$845.25", "$1,656.25", "4", "1", "5" })
        QVERIFY2(flagTexts.contains(QString::fromUtf8(t)), t);

    RecordingDevice byDue;
    const auto due = run(QStringLiteral("Summary by Due Date"));
    const auto &dueTexts = drawn(byDue, *due, 0)->texts;
    auto rowOf = [&](const char *date) {
        QStringList row;
        const DrawnText *d = find(dueTexts, QString::fromLatin1(date));
        for (const DrawnText &t : dueTexts)
            if (d && std::abs(t.y - d->y) < 0.5)
                row.append(t.text);
        return row.join(QLatin1Char('|'));
    };
    QCOMPARE(rowOf("3/10/2024"), QStringLiteral("3/10/2024|$5.00|$2,501.50|$2,496.50|2"));
    QCOMPARE(rowOf("4/2/2024"), QStringLiteral("4/2/2024|$40.25|($40.25)|2"));
}

// Amounts print whole however wide they are (smaller where they do not fit
// their box), and a Frequency of 0 prints blank, as the lists show it.
void TestReports::printedFiguresAreWhole()
{
    insert(TableFiles::Schedule,
        { { "2024-02-01", "Wide", 999999999999.99, 123456789.0, {}, {}, {} },
            { "2024-02-02", "Once", 1.0, {}, {}, {}, {} } });
    {
        SQLite::Database db(
            Engine::resolve(TableFiles::Schedule).toStdString(), SQLite::OPEN_READWRITE);
        db.exec("UPDATE data SET Frequency = 0, Units = 'One Time' WHERE Description = 'Once'");
    }
    RecordingDevice device;
    const auto pages = run(QStringLiteral("Scheduled Items - Standard"));
    const auto &texts = drawn(device, *pages, pages->pageCount() - 1)->texts;
    // The right edge and width of each amount's box: expense, income, budget, balance.
    const std::pair<double, double> boxes[]
        = { { 433, 73 }, { 509, 69 }, { 677, 77 }, { 753, 73 } };
    QStringList amounts;
    for (const DrawnText &t : texts) {
        if (!t.text.startsWith(QLatin1Char('$')))
            continue;
        amounts.append(t.text);
        for (const auto &[right, width] : boxes)
            if (std::abs(t.x + t.width - right) < 2)
                QVERIFY2(t.width <= width + 0.5, qPrintable(t.text));
    }
    for (const char *a : { "$999,999,999,999.99", "$123,456,789.00" })
        QVERIFY2(amounts.contains(QString::fromLatin1(a)), qPrintable(amounts.join(u' ')));
    const DrawnText *once = find(texts, QStringLiteral("Once"));
    QVERIFY(once);
    QStringList row;
    for (const DrawnText &t : texts)
        if (std::abs(t.y - once->y) < 0.5)
            row.append(t.text);
    QCOMPARE(row.join(QLatin1Char('|')), QStringLiteral("2/2/2024|Once|$1.00|One Time|$100.00"));
}

void TestReports::dateRange_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("printed");
    const QString sched = QStringLiteral("Scheduled Items - Standard");
    const QString sum = QStringLiteral("Summary by Due Date");
    const QString due = QStringLiteral("Due Date");
    QTest::newRow("defaults") << sched << due << "1/1/1900"
                              << "12/31/2099" << QStringList{ "Rent", "Salary", "Water" };
    QTest::newRow("bounds included") << sched << due << "3/1/2024"
                                     << "3/10/2024" << QStringList{ "Rent", "Salary" };
    QTest::newRow("end only") << sched << due << ""
                              << "3/9/2024" << QStringList{ "Rent" };
    QTest::newRow("blank bounds") << sched << due << " "
                                  << "" << QStringList{ "Undated", "Rent", "Salary", "Water" };
    QTest::newRow("begin only, blank date left out") << sched << due << "3/10/2024"
                                                     << "  " << QStringList{ "Salary", "Water" };
    QTest::newRow("process date") << sched << QStringLiteral("Process Date") << "1/1/2024"
                                  << "12/31/2024" << QStringList{};
    QTest::newRow("summary in March")
        << sum << due << "3/1/2024"
        << "3/31/2024" << QStringList{ "3/1/2024", "3/10/2024", "$2,500.50" };
}

void TestReports::dateRange()
{
    QFETCH(QString, entry);
    QFETCH(QString, field);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(QStringList, printed);
    insert(TableFiles::Schedule, { { {}, "Undated", 3.0, {}, {}, {}, {} } });
    Reports::Request request;
    request.dateField = field;
    request.begin = begin;
    request.end = end;
    const auto pages = run(entry, request);
    RecordingDevice device;
    const auto &texts = drawn(device, *pages, 0)->texts;
    if (entry.startsWith(QLatin1String("Summary"))) {
        const QStringList all = textsOf(texts);
        for (const QString &p : printed)
            QVERIFY2(all.contains(p), qPrintable(p));
        // Only March: the totals are the March rows'.
        QVERIFY(!all.contains(QStringLiteral("4/2/2024")));
        QVERIFY(all.contains(QStringLiteral("$800.00")));
        return;
    }
    QCOMPARE(descriptions(*pages, 122), printed);
}

void TestReports::refusesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("sort");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("message");
    const QString sched = QStringLiteral("Scheduled Items - Standard");
    QTest::newRow("begin not a date") << sched << "Due Date"
                                      << "13/45/2024"
                                      << "7"
                                      << "'13/45/2024' is not a valid date";
    QTest::newRow("quote in a bound") << sched << "Due Date"
                                      << "1/1/2024') or ([Description] = 'x"
                                      << "7"
                                      << "is not a valid date";
    QTest::newRow("summary bound") << "Summary by Due Date"
                                   << "Due Date"
                                   << "soon"
                                   << "7"
                                   << "'soon' is not a valid date";
    QTest::newRow("no such index") << "History Items - Standard"
                                   << "Nonsense"
                                   << ""
                                   << "7"
                                   << "Index does not exist";
}

void TestReports::refusesWhatItCannotRead()
{
    QFETCH(QString, entry);
    QFETCH(QString, sort);
    QFETCH(QString, begin);
    QFETCH(QString, interval);
    QFETCH(QString, message);
    OptionsStore::instance().update([&](Options &o) { o.agingInterval = interval.toInt(); });
    Reports::Request request;
    request.sort = sort;
    request.begin = begin;
    try {
        run(entry, request);
        QFAIL("no error");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

void TestReports::pdfHoldsTheReport()
{
    const auto pages = run(QStringLiteral("Scheduled Items - Standard"));
    const QString folder = m_env->dir() + QStringLiteral("/out");
    QDir().mkpath(folder);
    auto pdfText = [](const QString &tool, const QString &path) {
        QProcess p;
        p.start(tool,
            tool == QLatin1String("pdftotext") ? QStringList{ path, QStringLiteral("-") }
                                               : QStringList{ path });
        p.waitForFinished();
        return QString::fromUtf8(p.readAllStandardOutput());
    };

    // Saved as PDF, and printed to a PDF file: the same report under its job title.
    const QString saved = folder + QStringLiteral("/report.pdf");
    ReportEngine::writePdf(*pages, saved);
    const QString printed = folder + QStringLiteral("/printed.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printed);
    QVERIFY(ReportEngine::print(*pages, printer));
    for (const QString &path : { saved, printed }) {
        const QString out = pdfText(QStringLiteral("pdftotext"), path);
        for (const char *t :
            { "Scheduled Items", "Sorted by Due Date", "Totals", "$840.25", "$2,500.50" })
            QVERIFY2(
                out.contains(QString::fromLatin1(t)), qPrintable(path + QLatin1Char(':') + out));
        QVERIFY(
            pdfText(QStringLiteral("pdfinfo"), path).contains(QStringLiteral("Marrowfin Report")));
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files),
        (QStringList{ QStringLiteral("printed.pdf"), QStringLiteral("report.pdf") }));
}

void TestReports::pdfThatCannotBeWrittenLeavesNothing()
{
    const auto pages = run(QStringLiteral("Summary by Pay Flag"));
    const QString folder = m_env->dir() + QStringLiteral("/missing");
    const QString path = folder + QStringLiteral("/report.pdf");
    try {
        ReportEngine::writePdf(*pages, path);
        QFAIL("no error");
    } catch (const EngineError &e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QVERIFY(!QFile::exists(path));

    // Cancelled half-way: no file, no temporary left beside it.
    const QString kept = m_env->dir() + QStringLiteral("/kept.pdf");
    QFile old(kept);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ReportEngine::writePdf(*pages, kept, [](qint64, qint64) { return false; });
    QFile again(kept);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("old"));
    QCOMPARE(QDir(m_env->dir()).entryList({ QStringLiteral("*.pdf*") }, QDir::Files),
        QStringList{ QStringLiteral("kept.pdf") });
}

void TestReports::cancelLeavesNothing()
{
    QList<Item> items;
    for (int i = 0; i < 10000; ++i)
        items.append({ "2023-01-01", QStringLiteral("item"), 1.0, {}, {}, "2023-01-01", {} });
    insert(TableFiles::History, items);
    qint64 calls = 0;
    const auto none
        = report(QStringLiteral("History Items - Standard"))->prepare({}, [&](qint64 done, qint64) {
              ++calls;
              return done < 5000;
          });
    QVERIFY(!none);
    QVERIFY(calls >= 2);
    // Nothing of it stays open.
    QVERIFY(Engine::instance().handlesOn(TableFiles::History).isEmpty());
}

void TestReports::firstPageShowsWhileTheRestIsLaidOut()
{
    // Ten records a page; the pass is held at record 35 until let go.
    for (const QString &failure : { QString(), QStringLiteral("The disk went away") }) {
        auto rows = std::make_shared<HeldRows>(95, 35);
        const auto pages = heldReport(rows);
        const auto release = qScopeGuard([&] { rows->letGo(); });
        QVERIFY(pages);
        rows->waitUntilHeld();
        QVERIFY(!pages->complete());
        QCOMPARE(pages->pageCount(), 3);
        RecordingDevice first;
        QCOMPARE(textsOf(drawn(first, *pages, 0)->texts).count(QStringLiteral("$1.00")), 10);
        RecordingDevice notYet;
        QVERIFY(drawn(notYet, *pages, 3)->texts.empty());
        rows->letGo(failure);
        if (!failure.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(EngineError, pages->finish());
            continue;
        }
        QVERIFY(pages->finish());
        QVERIFY(pages->complete());
        QCOMPARE(pages->pageCount(), 10);
        RecordingDevice last;
        QVERIFY(textsOf(drawn(last, *pages, 9)->texts).contains(QStringLiteral("$95.00")));
    }
}

void TestReports::paperFollowsLocale()
{
    for (const auto &[locale, size] :
        { std::pair{ QLocale(QLocale::English, QLocale::Canada), QPageSize::Letter },
            std::pair{ QLocale(QLocale::German, QLocale::Germany), QPageSize::A4 } }) {
        QLocale::setDefault(locale);
        const QPageLayout page = run(QStringLiteral("Summary by Pay Flag"))->pageLayout();
        QCOMPARE(page.pageSize().id(), size);
        QCOMPARE(page.orientation(), QPageLayout::Portrait);
        QCOMPARE(page.margins().left(), 0.0);
    }
}

void TestReports::quickReadsAgreeWithValues_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("amount");
    const char *rows[][3] = { { "empty, no amount", "''", "NULL" },
        { "numbers stored", "12345", "42" },
        { "exact decimal blob", "'Exact'", "CAST('123456789012345678.1234' AS BLOB)" },
        { "beyond ASCII",
            "'\u00dcn\u00efc\u00f6d\u00e9 caf\u00e9 \u00c6r\u00f8sk\u00f8bing stra\u00dfe "
            "\u6771\u4eac \U0001F600 Z\u00fcrich'",
            "0.1" },
        { "line breaks", "'first' || char(13, 10) || 'second' || char(9) || 'x'", "-7.125" },
        { "a NUL inside, beyond a double", "CAST(X'41420043440045' AS TEXT)", "9e999" },
        { "not UTF-8, text for an amount", "CAST(X'C328FF41E282' AS TEXT)", "'12.50'" },
        { "a blob for text, huge", "X'414243'", "1e300" },
        { "many words",
            "'the quick brown fox jumps over the lazy dog and Wwwwwwwwwwwwwwwwwwwwwwww again'",
            "0.00005" } };
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2]);
}

// The layout pass reads descriptions and amounts without QVariant where it
// can; whatever is stored, that must say what value() says.
void TestReports::quickReadsAgreeWithValues()
{
    QFETCH(QString, description);
    QFETCH(QString, amount);
    SQLite::Database(Engine::resolve(TableFiles::Schedule).toStdString(), SQLite::OPEN_READWRITE)
        .exec(QStringLiteral("INSERT INTO data (\"Due Date\", \"Description\", \"Bill Amount\","
                             " \"Frequency\") VALUES ('2024-05-01', %1, %2, 1)")
                  .arg(description, amount)
                  .toStdString());
    const ViewReader reader(TableFiles::Schedule, QStringLiteral("Due Date Index"), {});
    QCOMPARE(reader.fields().at(2).name + reader.fields().at(3).name,
        QStringLiteral("DescriptionBill Amount"));
    struct Read
    {
        QVariant text, bill;
        std::optional<QByteArray> utf8;
        std::optional<double> number;
    };
    std::vector<Read> reads;
    reader.scan({ 2, 3 }, [&](qint64, const ScannedRow &row) {
        const auto utf8 = row.utf8(0);
        reads.push_back({ row.value(0), row.value(1),
            utf8 ? std::optional<QByteArray>(utf8->toByteArray()) : std::nullopt, row.number(1) });
        return true;
    });
    QCOMPARE(reads.size(), std::size_t(4));
    for (const Read &r : reads) {
        const QString shown = r.text.toString();
        if (r.utf8)
            QCOMPARE(QString::fromUtf8(*r.utf8), shown);
        if (r.number) {
            QCOMPARE(r.bill.typeId(), QMetaType::Double);
            QCOMPARE(r.bill.toDouble(), *r.number);
        }
        // Counted as drawn, however it was found.
        for (const double width : { 40.0, 231.0 }) {
            const int lines = int(ReportText::wrap({}, shown, width).size());
            QCOMPARE(ReportText::lineCount({}, shown, width), lines);
            if (r.utf8 && ReportText::surelyOneLine({}, *r.utf8, width))
                QCOMPARE(lines, 1);
        }
    }
}

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
