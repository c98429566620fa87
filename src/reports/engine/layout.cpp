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
#include <cmath>
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

class BandPages : public PageStore
{
public:
    explicit BandPages(Definition definition)
        : m_def(std::move(definition))
    { }

    int pageCount() const override { return int(m_pages.size()); }
    QPageLayout pageLayout() const override { return m_def.page; }
    void drawPage(QPainter &painter, int index) const override;

    bool layOut(const Progress &progress);

private:
    QString fieldText(const Element &e, int fieldIndex, const QVariant &value) const;
    // How the band prints for the values of its fields (by element).
    Placed place(const Band &band, const std::vector<QVariant> &values,
        const std::vector<int> &fieldIndex, bool withLines) const;
    double detailHeight(const std::vector<QVariant> &scanned) const;
    // Draws what starts between visibleTop and visibleBottom (page coordinates).
    void drawBand(QPainter &painter, Band &band, double top, const Placed &placed,
        const std::vector<QVariant> &values, double visibleTop, double visibleBottom) const;
    QString totalText(const QString &field) const;

    mutable Definition m_def;
    std::vector<PageStart> m_pages;
    double m_body = 0;
    std::vector<int> m_detailFields; // per detail element: its field in the data, or -1
    std::vector<int> m_growing; // detail elements that grow
    std::vector<int> m_scanFields; // what the layout pass reads: growing fields, then sums
    std::vector<Total> m_totals;
};

QString BandPages::fieldText(const Element &e, int fieldIndex, const QVariant &value) const
{
    if (e.format)
        return e.format(value);
    if (fieldIndex < 0)
        return {};
    return Formats::display(m_def.data->fields().at(fieldIndex), value);
}

Placed BandPages::place(const Band &band, const std::vector<QVariant> &values,
    const std::vector<int> &fieldIndex, bool withLines) const
{
    Placed p;
    p.height = band.height;
    const std::size_t n = band.elements.size();
    p.shift.assign(n, 0);
    if (withLines)
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
        int count = 1;
        if (withLines) {
            p.lines[i] = ReportText::wrap(e.style, text, e.width);
            count = int(p.lines[i].size());
        } else {
            count = ReportText::lineCount(e.style, text, e.width);
        }
        const double needed = count * ReportText::lineSpacing(e.style) + 1;
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

double BandPages::detailHeight(const std::vector<QVariant> &scanned) const
{
    if (m_growing.empty())
        return m_def.detail.height;
    std::vector<QVariant> values(m_def.detail.elements.size());
    for (std::size_t g = 0; g < m_growing.size(); ++g)
        values[m_growing[g]] = scanned[g];
    return place(m_def.detail, values, m_detailFields, false).height;
}

bool BandPages::layOut(const Progress &progress)
{
    const DataSet &data = *m_def.data;
    const QRectF paint = m_def.page.paintRect(QPageLayout::Inch);
    m_body = paint.height() * 96 - m_def.pageHeader.height;
    if (m_body <= 0)
        throw EngineError(QStringLiteral("The page is too small for the report."));

    const std::vector<Element> &detail = m_def.detail.elements;
    for (std::size_t i = 0; i < detail.size(); ++i) {
        const Element &e = detail[i];
        const bool reads = e.kind == Element::Kind::Field && !e.field.isEmpty();
        m_detailFields.push_back(reads ? data.fieldIndexOrThrow(e.field) : -1);
        if (reads && e.grows) {
            m_growing.push_back(int(i));
            m_scanFields.push_back(m_detailFields.back());
        }
    }
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

    const int rows = data.rowCount();
    if (progress && !progress(0, rows))
        return false;
    m_pages.push_back({});
    double y = 0;
    // A record taller than a page starts at the top of one and goes on at the
    // top of the next ones, each time cut between two lines of its text.
    double lineStep = 0;
    for (int g : m_growing)
        lineStep = std::max(lineStep, ReportText::lineSpacing(detail[g].style));
    const double step
        = lineStep > 0 && lineStep < m_body ? std::floor(m_body / lineStep) * lineStep : m_body;
    auto placeRecord = [&](int row, double h) {
        if (y > 0 && y + h > m_body) {
            m_pages.push_back({ row, 0, 0 });
            y = 0;
        }
        ++m_pages.back().rows;
        if (h <= m_body) {
            y += h;
            return;
        }
        double shown = step;
        while (h - shown > m_body) {
            m_pages.push_back({ row, 1, shown });
            shown += step;
        }
        m_pages.push_back({ row, 1, shown });
        y = h - shown;
    };

    bool cancelled = false;
    const std::size_t grown = m_growing.size();
    if (m_scanFields.empty()) {
        for (int row = 0; row < rows; ++row) {
            placeRecord(row, m_def.detail.height);
            if ((row & 4095) == 4095 && progress && !progress(row + 1, rows))
                return false;
        }
    } else {
        data.scan(m_scanFields, [&](int row, const std::vector<QVariant> &values) {
            placeRecord(row, detailHeight(values));
            for (std::size_t t = 0; t < m_totals.size(); ++t) {
                const QVariant &v = values[grown + t];
                if (v.isNull())
                    continue;
                m_totals[t].value += m_totals[t].money
                    ? Money::fromVariant(v).value_or(Money())
                    : Money::fromUnits(Money::Units(v.toLongLong()) * 10000);
            }
            if ((row & 4095) == 4095 && progress && !progress(row + 1, rows)) {
                cancelled = true;
                return false;
            }
            return true;
        });
    }
    if (cancelled)
        return false;
    if (m_def.summary && y > 0 && y + m_def.summary->height > m_body)
        m_pages.push_back({ rows, 0, 0 });
    return !progress || progress(rows, rows);
}

QString BandPages::totalText(const QString &field) const
{
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
    for (std::size_t i = 0; i < band.elements.size(); ++i) {
        const Element &e = band.elements[i];
        const double y = top + e.y + placed.shift[i];
        if (e.kind == Element::Kind::Line) {
            if (!visible(y))
                continue;
            QPen pen(e.style.color, e.height);
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
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
        painter.setFont(ReportText::deviceFont(style, painter.device()));
        painter.setPen(e.style.color);
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
    if (index < 0 || index >= pageCount())
        return;
    const PageStart &page = m_pages[index];
    const DataSet &data = *m_def.data;
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);

    auto print = [&](Band &band, double top, int row, double from, double to) {
        if (band.beforePrint)
            band.beforePrint(band);
        std::vector<QVariant> values(band.elements.size());
        const bool isDetail = &band == &m_def.detail;
        if (isDetail)
            for (std::size_t i = 0; i < values.size(); ++i)
                if (m_detailFields[i] >= 0)
                    values[i] = data.value(row, m_detailFields[i]);
        const Placed placed
            = place(band, values, isDetail ? m_detailFields : std::vector<int>(), true);
        drawBand(painter, band, top, placed, values, from, to);
        return placed.height;
    };

    print(m_def.pageHeader, 0, -1, -Anywhere, Anywhere);
    const double top = m_def.pageHeader.height;
    // A record taller than a page shows here what starts between the top of
    // the body and where the next page takes it up; the clip is a safeguard.
    double from = -Anywhere, to = Anywhere;
    if (page.offset > 0)
        from = top;
    const bool continues = index + 1 < pageCount() && page.rows > 0
        && m_pages[index + 1].firstRow == page.firstRow + page.rows - 1
        && m_pages[index + 1].offset > 0;
    if (continues)
        to = top - page.offset + m_pages[index + 1].offset;
    if (page.offset > 0 || continues)
        painter.setClipRect(QRectF(-1000, top, 100000, m_body), Qt::IntersectClip);
    double y = top - page.offset;
    for (int r = page.firstRow; r < page.firstRow + page.rows; ++r)
        y += print(m_def.detail, y, r, r == page.firstRow ? from : -Anywhere,
            r == page.firstRow + page.rows - 1 ? to : Anywhere);
    if (m_def.summary && index == pageCount() - 1)
        print(*m_def.summary, y, -1, -Anywhere, Anywhere);
    painter.restore();
}
} // namespace

std::unique_ptr<PageStore> prepare(Definition definition, const Progress &progress)
{
    if (definition.beforePrint)
        definition.beforePrint(definition);
    if (!definition.data)
        throw EngineError(QStringLiteral("The report has no data."));
    if (!definition.page.isValid())
        definition.page = defaultPageLayout();
    auto pages = std::make_unique<BandPages>(std::move(definition));
    if (!pages->layOut(progress))
        return nullptr;
    return pages;
}

} // namespace ReportEngine
