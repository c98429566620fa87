#include "layout.h"

#include "text.h"

#include "data/engineerror.h"
#include "data/formats.h"
#include "data/money.h"

#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace ReportEngine {

Element label(
    const QString &text, double x, double y, double width, Align align, const TextStyle &style)
{
    Element e;
    e.kind = Element::Kind::Label;
    e.text = text;
    e.x = x;
    e.y = y;
    e.width = width;
    e.align = align;
    e.style = style;
    e.height = std::ceil(ReportText::lineSpacing(style)) + 1;
    return e;
}

Element field(
    const QString &name, double x, double y, double width, Align align, const TextStyle &style)
{
    Element e = label({}, x, y, width, align, style);
    e.kind = Element::Kind::Field;
    e.field = name;
    return e;
}

Element sum(
    const QString &name, double x, double y, double width, Align align, const TextStyle &style)
{
    Element e = field(name, x, y, width, align, style);
    e.kind = Element::Kind::Sum;
    return e;
}

Element line(double x, double y, double length, double penWidth, const QColor &color)
{
    Element e;
    e.kind = Element::Kind::Line;
    e.x = x;
    e.y = y;
    e.width = length;
    e.height = penWidth;
    e.style.color = color;
    return e;
}

Element *Band::find(const QString &name)
{
    for (Element &e : elements)
        if (e.name == name)
            return &e;
    return nullptr;
}

QPageLayout defaultPageLayout()
{
    // Letter where it is the custom, A4 everywhere else.
    static const QLocale::Territory letter[] = { QLocale::UnitedStates, QLocale::Canada,
        QLocale::Mexico, QLocale::Chile, QLocale::Colombia, QLocale::Venezuela,
        QLocale::Philippines, QLocale::PuertoRico, QLocale::CostaRica, QLocale::Guatemala,
        QLocale::Panama, QLocale::DominicanRepublic, QLocale::ElSalvador, QLocale::Nicaragua };
    const QLocale::Territory here = QLocale().territory();
    const bool isLetter = std::find(std::begin(letter), std::end(letter), here) != std::end(letter);
    return QPageLayout(QPageSize(isLetter ? QPageSize::Letter : QPageSize::A4),
        QPageLayout::Portrait, QMarginsF(0, 10, 10, 10), QPageLayout::Millimeter);
}

namespace {
constexpr double Anywhere = 1e9;

// The style with its size reduced, in quarter points, until the text fits the width.
TextStyle fitted(const TextStyle &style, const QString &text, double width)
{
    if (ReportText::surelyFits(style, text, width))
        return style;
    TextStyle fit = style;
    while (fit.points > 1) {
        const double wide = ReportText::width(fit, text);
        if (wide <= width)
            break;
        fit.points = std::max(
            1.0, std::min(fit.points - 0.25, std::floor(fit.points * width / wide * 4) / 4));
    }
    return fit;
}

bool sameFont(const TextStyle &a, const TextStyle &b)
{
    return a.points == b.points && a.bold == b.bold && a.underline == b.underline
        && a.family == b.family;
}

// Where a page starts: its first record, how many records start or go on on
// it, and how far into its first record it begins (a record taller than a
// page goes on over the next pages).
struct PageStart
{
    int firstRow = 0;
    int rows = 0;
    double offset = 0;
};

struct Total
{
    QString field;
    bool money = false;
    Money value; // counts as whole units
};

// A band as it prints for one record: the lines of its growing fields and
// how far each element moves down.
struct Placed
{
    double height = 0;
    std::vector<QStringList> lines; // per element; empty unless it grows
    std::vector<double> shift; // per element
};

// What the layout pass needs of a field that grows, copied from the detail
// band so that a pass aside never touches the bands the pages are drawn with.
struct Grower
{
    double y = 0;
    double height = 0;
    double width = 0;
    TextStyle style;
    std::function<QString(const QVariant &)> format;
    FieldDef field;
};

class BandPages : public PageStore
{
public:
    explicit BandPages(Definition definition)
        : m_def(std::move(definition))
    { }
    ~BandPages() override;

    int pageCount() const override;
    bool complete() const override;
    bool finish(const Progress &progress) const override;
    QPageLayout pageLayout() const override { return m_def.page; }
    void drawPage(QPainter &painter, int index) const override;

    // Finds what the detail prints and what the bands add up; throws
    // EngineError for a field the data lacks or a page too small.
    void bind();
    // Lays out every page on this thread; false when `progress` cancelled.
    bool layOut(const Progress &progress);
    // Lays out on a thread of its own; returns once the first page is laid
    // out (true) or `progress` cancelled (false). Throws the layout's error.
    bool layOutAside(const Progress &progress);

private:
    QString fieldText(const Element &e, int fieldIndex, const QVariant &value) const;
    // How the band prints for the values of its fields (by element).
    Placed place(const Band &band, const std::vector<QVariant> &values,
        const std::vector<int> &fieldIndex) const;
    // Draws what starts between visibleTop and visibleBottom (page coordinates).
    void drawBand(QPainter &painter, Band &band, double top, const Placed &placed,
        const std::vector<QVariant> &values, double visibleTop, double visibleBottom) const;
    QString totalText(const QString &field) const;
    // Prints one band at `top` (a detail band for `row`); returns its height.
    double print(QPainter &painter, Band &band, double top, int row, double from, double to) const;

    // The steps of the layout pass.
    void bindDetail();
    void bindTotals();
    // Places every record and adds up the sums; `goOn(rows)` is asked now
    // and then and stops the pass by returning false.
    bool pass(const std::function<bool(qint64 rows)> &goOn);
    double detailHeight(const ScannedRow &scanned) const;
    void placeRecord(int row, double height);
    void startPage(PageStart page);
    void addToTotals(const ScannedRow &values);
    void endPages(int rows);
    void fail(const QString &message)
    {
        const std::lock_guard lock(m_lock);
        m_error = message;
    }
    // Waits until `ready` holds (checked under the lock) or the pass ended.
    bool waitUntil(const std::function<bool()> &ready, const Progress &progress) const;

    mutable Definition m_def;
    double m_body = 0;
    std::vector<int> m_detailFields; // per detail element: its field in the data, or -1
    std::vector<Grower> m_growers; // detail fields that grow, in the order scanned
    std::vector<int> m_scanFields; // what the layout pass reads: growing fields, then sums
    std::vector<Total> m_totals; // read once the pass has ended

    // Where the pass has got to: the current page and how far down it.
    double m_y = 0;
    double m_step = 0; // how much of a tall record each page takes
    int m_rowsOnPage = 0;

    // Shared with a pass aside. Every page started is in m_pages; the last
    // one's row count is known once the next starts or the pass ends.
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<PageStart> m_pages;
    bool m_ended = false;
    std::optional<QString> m_error;
    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_rowsRead = 0;
    std::thread m_aside;
    // Drawing from two threads (the preview and a PDF being written) takes turns.
    mutable std::mutex m_drawing;
};

BandPages::~BandPages()
{
    m_stop = true;
    if (m_aside.joinable())
        m_aside.join();
}

int BandPages::pageCount() const
{
    const std::lock_guard lock(m_lock);
    const int started = int(m_pages.size());
    return m_ended ? started : std::max(0, started - 1);
}

bool BandPages::complete() const
{
    const std::lock_guard lock(m_lock);
    return m_ended;
}

bool BandPages::waitUntil(const std::function<bool()> &ready, const Progress &progress) const
{
    std::unique_lock lock(m_lock);
    while (!m_ended && !ready()) {
        m_changed.wait_for(lock, std::chrono::milliseconds(50));
        if (m_ended || ready() || !progress)
            continue;
        const qint64 rows = m_rowsRead;
        lock.unlock();
        const bool goOn = progress(rows, 0);
        lock.lock();
        if (!goOn)
            return false;
    }
    return true;
}

bool BandPages::finish(const Progress &progress) const
{
    if (!waitUntil([] { return false; }, progress))
        return false;
    const std::lock_guard lock(m_lock);
    if (m_error)
        throw EngineError(*m_error);
    return true;
}

QString BandPages::fieldText(const Element &e, int fieldIndex, const QVariant &value) const
{
    if (e.format)
        return e.format(value);
    if (fieldIndex < 0)
        return {};
    return Formats::display(m_def.data->fields().at(fieldIndex), value);
}

Placed BandPages::place(
    const Band &band, const std::vector<QVariant> &values, const std::vector<int> &fieldIndex) const
{
    Placed p;
    p.height = band.height;
    const std::size_t n = band.elements.size();
    p.shift.assign(n, 0);
    p.lines.resize(n);
    struct Growth
    {
        double below;
        double extra;
    };
    std::vector<Growth> growth;
    for (std::size_t i = 0; i < n; ++i) {
        const Element &e = band.elements[i];
        if (!e.grows || e.kind != Element::Kind::Field)
            continue;
        const QString text = fieldText(e, fieldIndex.empty() ? -1 : fieldIndex[i], values[i]);
        p.lines[i] = ReportText::wrap(e.style, text, e.width);
        const double needed = p.lines[i].size() * ReportText::lineSpacing(e.style) + 1;
        if (needed > e.height)
            growth.push_back({ e.y + e.height, needed - e.height });
    }
    double most = 0;
    for (const Growth &g : growth) {
        most = std::max(most, g.extra);
        for (std::size_t i = 0; i < n; ++i)
            if (band.elements[i].y >= g.below)
                p.shift[i] = std::max(p.shift[i], g.extra);
    }
    p.height += most;
    return p;
}

// As place() makes it, without building lines: the band grows by the most
// any of its growing fields needs.
double BandPages::detailHeight(const ScannedRow &scanned) const
{
    double most = 0;
    for (std::size_t g = 0; g < m_growers.size(); ++g) {
        const Grower &e = m_growers[g];
        const int i = int(g);
        // A stored text shows as it is: most fit one line by their bytes.
        int count = 0;
        if (const auto utf8 = e.format ? std::nullopt : scanned.utf8(i))
            count = ReportText::surelyOneLine(e.style, *utf8, e.width) ? 1 : 0;
        if (count == 0) {
            const QVariant v = scanned.value(i);
            const QString text = e.format ? e.format(v) : Formats::display(e.field, v);
            count = ReportText::lineCount(e.style, text, e.width);
        }
        most = std::max(most, count * ReportText::lineSpacing(e.style) + 1 - e.height);
    }
    return m_def.detail.height + most;
}

void BandPages::bindDetail()
{
    const DataSet &data = *m_def.data;
    const std::vector<Element> &detail = m_def.detail.elements;
    double lineStep = 0;
    for (const Element &e : detail) {
        const bool reads = e.kind == Element::Kind::Field && !e.field.isEmpty();
        m_detailFields.push_back(reads ? data.fieldIndexOrThrow(e.field) : -1);
        if (!reads || !e.grows)
            continue;
        m_growers.push_back(
            { e.y, e.height, e.width, e.style, e.format, data.fields().at(m_detailFields.back()) });
        m_scanFields.push_back(m_detailFields.back());
        lineStep = std::max(lineStep, ReportText::lineSpacing(e.style));
    }
    // A record taller than a page starts at the top of one and goes on at the
    // top of the next ones, each time cut between two lines of its text.
    m_step = lineStep > 0 && lineStep < m_body ? std::floor(m_body / lineStep) * lineStep : m_body;
}

void BandPages::bindTotals()
{
    const DataSet &data = *m_def.data;
    const Band *summary = m_def.summary ? &*m_def.summary : nullptr;
    for (const Band *band : { static_cast<const Band *>(&m_def.pageHeader),
             static_cast<const Band *>(&m_def.detail), summary }) {
        if (!band)
            continue;
        for (const Element &e : band->elements) {
            if (e.kind != Element::Kind::Sum
                || std::any_of(m_totals.begin(), m_totals.end(), [&](const Total &t) {
                       return t.field.compare(e.field, Qt::CaseInsensitive) == 0;
                   }))
                continue;
            const int f = data.fieldIndexOrThrow(e.field);
            m_totals.push_back({ e.field, data.fields().at(f).type == FieldType::Money, {} });
            m_scanFields.push_back(f);
        }
    }
}

void BandPages::bind()
{
    const QRectF paint = m_def.page.paintRect(QPageLayout::Inch);
    m_body = paint.height() * 96 - m_def.pageHeader.height;
    if (m_body <= 0)
        throw EngineError(QStringLiteral("The page is too small for the report."));
    bindDetail();
    bindTotals();
}

void BandPages::startPage(PageStart page)
{
    {
        const std::lock_guard lock(m_lock);
        if (!m_pages.empty())
            m_pages.back().rows = m_rowsOnPage;
        m_pages.push_back(page);
    }
    m_rowsOnPage = page.rows;
    m_changed.notify_all();
}

void BandPages::placeRecord(int row, double height)
{
    if (m_y > 0 && m_y + height > m_body) {
        startPage({ row, 0, 0 });
        m_y = 0;
    }
    ++m_rowsOnPage;
    if (height <= m_body) {
        m_y += height;
        return;
    }
    double shown = m_step;
    while (height - shown > m_body) {
        startPage({ row, 1, shown });
        shown += m_step;
    }
    startPage({ row, 1, shown });
    m_y = height - shown;
}

// An amount of at most four decimals (nearly all of them) is its units
// exactly: the same sum as Money::fromDouble gives, without its text.
Money amountOf(double d)
{
    const double units = std::nearbyint(d * 10000);
    if (std::fabs(d) < 1e10 && units / 10000 == d)
        return Money::fromUnits(Money::Units(units));
    return Money::fromVariant(d).value_or(Money());
}

Money amountOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::Double)
        return amountOf(value.toDouble());
    return Money::fromVariant(value).value_or(Money());
}

void BandPages::addToTotals(const ScannedRow &values)
{
    const int grown = int(m_growers.size());
    for (std::size_t t = 0; t < m_totals.size(); ++t) {
        const int i = grown + int(t);
        if (m_totals[t].money)
            if (const auto d = values.number(i)) {
                m_totals[t].value += amountOf(*d);
                continue;
            }
        const QVariant v = values.value(i);
        if (v.isNull())
            continue;
        m_totals[t].value += m_totals[t].money
            ? amountOf(v)
            : Money::fromUnits(Money::Units(v.toLongLong()) * 10000);
    }
}

void BandPages::endPages(int rows)
{
    if (m_def.summary && m_y > 0 && m_y + m_def.summary->height > m_body)
        startPage({ rows, 0, 0 });
    {
        const std::lock_guard lock(m_lock);
        m_pages.back().rows = m_rowsOnPage;
        m_ended = true;
    }
    m_changed.notify_all();
}

bool BandPages::pass(const std::function<bool(qint64 rows)> &goOn)
{
    const DataSet &data = *m_def.data;
    startPage({});
    bool stopped = false;
    int rows = 0;
    if (m_scanFields.empty() && !data.scansAside()) {
        for (rows = 0; rows < data.rowCount(); ++rows) {
            placeRecord(rows, m_def.detail.height);
            if ((rows & 4095) == 4095 && !goOn(rows + 1))
                return false;
        }
    } else {
        data.scan(m_scanFields, [&](int row, const ScannedRow &values) {
            placeRecord(row, m_growers.empty() ? m_def.detail.height : detailHeight(values));
            addToTotals(values);
            rows = row + 1;
            if ((row & 4095) == 4095 && !goOn(rows)) {
                stopped = true;
                return false;
            }
            return true;
        });
    }
    if (stopped)
        return false;
    endPages(rows);
    return true;
}

bool BandPages::layOut(const Progress &progress)
{
    const qint64 total = m_def.data->scansAside() ? 0 : m_def.data->rowCount();
    if (progress && !progress(0, total))
        return false;
    if (!pass([&](qint64 rows) { return !progress || progress(rows, total); }))
        return false;
    return !progress || progress(total, total);
}

bool BandPages::layOutAside(const Progress &progress)
{
    m_aside = std::thread([this] {
        try {
            pass([this](qint64 rows) {
                m_rowsRead = rows;
                return !m_stop;
            });
        } catch (const EngineError &e) {
            fail(e.message());
        } catch (const std::exception &e) {
            fail(QString::fromLocal8Bit(e.what()));
        }
        {
            const std::lock_guard lock(m_lock);
            m_ended = true;
        }
        m_changed.notify_all();
    });
    if (!waitUntil([this] { return m_pages.size() > 1; }, progress))
        return false;
    const std::lock_guard lock(m_lock);
    if (m_error)
        throw EngineError(*m_error);
    return true;
}

QString BandPages::totalText(const QString &field) const
{
    // The sums are the pass's until it has ended.
    if (!complete())
        return {};
    for (const Total &t : m_totals)
        if (t.field.compare(field, Qt::CaseInsensitive) == 0)
            return t.money ? Formats::money(t.value) : QString::fromLatin1(t.value.text());
    return {};
}

void BandPages::drawBand(QPainter &painter, Band &band, double top, const Placed &placed,
    const std::vector<QVariant> &values, double visibleTop, double visibleBottom) const
{
    const auto visible = [&](double y) { return y > visibleTop - 0.5 && y < visibleBottom - 0.5; };
    const bool isDetail = &band == &m_def.detail;
    // Font and pen change only when they must: each change costs a PDF a lookup.
    std::optional<TextStyle> font;
    std::optional<QColor> pen;
    for (std::size_t i = 0; i < band.elements.size(); ++i) {
        const Element &e = band.elements[i];
        const double y = top + e.y + placed.shift[i];
        if (e.kind == Element::Kind::Line) {
            if (!visible(y))
                continue;
            QPen rule(e.style.color, e.height);
            rule.setCapStyle(Qt::FlatCap);
            painter.setPen(rule);
            pen.reset();
            painter.drawLine(
                QPointF(e.x, y + e.height / 2), QPointF(e.x + e.width, y + e.height / 2));
            continue;
        }
        QString text;
        switch (e.kind) {
        case Element::Kind::Label:
            text = e.text;
            break;
        case Element::Kind::Field:
            if (!placed.lines.empty() && !placed.lines[i].isEmpty())
                break;
            text = isDetail ? fieldText(e, m_detailFields[i], values[i]) : QString();
            break;
        case Element::Kind::Sum:
            text = totalText(e.field);
            break;
        case Element::Kind::Line:
            break;
        }
        const bool wrapped = !placed.lines.empty() && !placed.lines[i].isEmpty();
        if (!wrapped && text.isEmpty())
            continue;
        // An amount wider than its box prints smaller rather than lose a digit.
        const bool amount = e.kind == Element::Kind::Sum
            || (isDetail && e.kind == Element::Kind::Field && m_detailFields[i] >= 0
                && m_def.data->fields().at(m_detailFields[i]).type == FieldType::Money);
        const TextStyle style = amount && !wrapped ? fitted(e.style, text, e.width) : e.style;
        if (!font || !sameFont(*font, style)) {
            painter.setFont(ReportText::deviceFont(style, painter.device()));
            font = style;
        }
        if (!pen || *pen != e.style.color) {
            painter.setPen(e.style.color);
            pen = e.style.color;
        }
        int flags = Qt::AlignTop;
        flags |= e.align == Align::Right ? Qt::AlignRight
            : e.align == Align::Center   ? Qt::AlignHCenter
                                         : Qt::AlignLeft;
        if (wrapped) {
            const double spacing = ReportText::lineSpacing(e.style);
            for (int l = 0; l < placed.lines[i].size(); ++l)
                if (visible(y + l * spacing))
                    painter.drawText(QRectF(e.x, y + l * spacing, e.width, spacing + 2),
                        flags | Qt::TextSingleLine, placed.lines[i][l]);
        } else if (visible(y)) {
            painter.drawText(QRectF(e.x, y, e.width, e.height), flags | Qt::TextSingleLine, text);
        }
    }
}

void BandPages::drawPage(QPainter &painter, int index) const
{
    const std::lock_guard drawing(m_drawing);
    PageStart page, next;
    bool last = false;
    {
        const std::lock_guard lock(m_lock);
        const int count = m_ended ? int(m_pages.size()) : int(m_pages.size()) - 1;
        if (index < 0 || index >= count)
            return;
        page = m_pages[std::size_t(index)];
        last = m_ended && index == count - 1;
        if (!last)
            next = m_pages[std::size_t(index) + 1];
    }
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    print(painter, m_def.pageHeader, 0, -1, -Anywhere, Anywhere);
    const double top = m_def.pageHeader.height;
    // A record taller than a page shows here what starts between the top of
    // the body and where the next page takes it up; the clip is a safeguard.
    double from = -Anywhere, to = Anywhere;
    if (page.offset > 0)
        from = top;
    const bool continues = !last && page.rows > 0 && next.firstRow == page.firstRow + page.rows - 1
        && next.offset > 0;
    if (continues)
        to = top - page.offset + next.offset;
    if (page.offset > 0 || continues)
        painter.setClipRect(QRectF(-1000, top, 100000, m_body), Qt::IntersectClip);
    double y = top - page.offset;
    for (int r = page.firstRow; r < page.firstRow + page.rows; ++r)
        y += print(painter, m_def.detail, y, r, r == page.firstRow ? from : -Anywhere,
            r == page.firstRow + page.rows - 1 ? to : Anywhere);
    if (m_def.summary && last)
        print(painter, *m_def.summary, y, -1, -Anywhere, Anywhere);
    painter.restore();
}

double BandPages::print(
    QPainter &painter, Band &band, double top, int row, double from, double to) const
{
    if (band.beforePrint)
        band.beforePrint(band);
    std::vector<QVariant> values(band.elements.size());
    const bool isDetail = &band == &m_def.detail;
    if (isDetail)
        for (std::size_t i = 0; i < values.size(); ++i)
            if (m_detailFields[i] >= 0)
                values[i] = m_def.data->value(row, m_detailFields[i]);
    const Placed placed = place(band, values, isDetail ? m_detailFields : std::vector<int>());
    drawBand(painter, band, top, placed, values, from, to);
    return placed.height;
}
} // namespace

std::unique_ptr<PageStore> prepare(Definition definition, const Progress &progress, Pass pass)
{
    if (definition.beforePrint)
        definition.beforePrint(definition);
    if (!definition.data)
        throw EngineError(QStringLiteral("The report has no data."));
    if (!definition.page.isValid())
        definition.page = defaultPageLayout();
    const bool aside = pass == Pass::FirstPageFirst && definition.data->scansAside();
    auto pages = std::make_unique<BandPages>(std::move(definition));
    pages->bind();
    if (!(aside ? pages->layOutAside(progress) : pages->layOut(progress)))
        return nullptr;
    return pages;
}

} // namespace ReportEngine
