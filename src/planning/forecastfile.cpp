#include "forecastfile.h"

#include "app/colours.h"

#include "data/formats.h"

#include <QIODevice>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace {
// A CSV field as RFC 4180 wants it: quoted when it holds a comma, a quote or
// a line break, inner quotes doubled.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString plainAmount(const Money &value)
{
    return QString::fromLatin1(value.text(2));
}

// Progress is asked every so many rows: often enough for a quick Cancel,
// seldom enough to cost nothing.
constexpr std::size_t AskEvery = 256;

// The rows of the table on pages: the heading and chart on the first, the
// column titles on each.
class PdfPages
{
public:
    PdfPages(QPdfWriter &pdf, const CashFlow &forecast)
        : m_pdf(pdf)
        , m_painter(&pdf)
        , m_forecast(forecast)
        , m_page(m_painter.viewport())
        , m_font(QStringLiteral("DejaVu Sans"), 9)
        , m_bold(m_font)
    {
        m_bold.setBold(true);
        m_painter.setFont(m_font);
        m_line = m_painter.fontMetrics().height() * 13 / 10;
        for (int c = 0; c < int(std::size(Widths)); ++c)
            m_widths[c] = m_page.width() * Widths[c] / 100;
        m_elide[0] = QFontMetrics(m_font, &pdf);
        m_elide[1] = QFontMetrics(m_bold, &pdf);
    }

    void heading(const ForecastFile::Heading &heading)
    {
        QFont big = m_font;
        big.setPointSize(14);
        big.setBold(true);
        m_painter.setFont(big);
        m_y = m_painter.fontMetrics().height();
        m_painter.drawText(0, m_y, heading.title);
        m_painter.setFont(m_font);
        m_y += m_line;
        m_painter.drawText(0, m_y, heading.summary);
        m_y += m_line / 2;
        // The chart as on screen, scaled to the page's width.
        const QSize shown = heading.chartSize;
        if (shown.width() > 0 && shown.height() > 0) {
            const int height
                = std::min(m_page.height() / 3, m_page.width() * shown.height() / shown.width());
            const QRect rect(0, m_y, m_page.width(), height);
            const double scale = std::min(
                double(rect.width()) / shown.width(), double(rect.height()) / shown.height());
            m_painter.save();
            m_painter.translate(rect.x() + (rect.width() - shown.width() * scale) / 2, rect.y());
            // A recording is replayed at its own resolution; the page's is finer.
            const double dpi = double(heading.chart.logicalDpiX()) / m_pdf.logicalDpiX();
            m_painter.scale(scale * dpi, scale * dpi);
            m_painter.drawPicture(0, 0, heading.chart);
            m_painter.restore();
            m_y = rect.bottom();
        }
        m_y += 2 * m_line;
        titles();
    }

    void row(std::size_t r)
    {
        if (m_y > m_page.height()) {
            m_pdf.newPage();
            m_y = m_line;
            titles();
        }
        QString cells[5];
        for (int c = 0; c < 5; ++c)
            cells[c] = ForecastFile::cell(m_forecast, r, c);
        draw(cells, false, r);
    }

private:
    static constexpr int Widths[] = { 21, 25, 18, 18, 18 }; // per cent of the page width

    void titles()
    {
        QString cells[5];
        for (int c = 0; c < 5; ++c)
            cells[c] = ForecastFile::columnTitles().value(c);
        m_painter.setFont(m_bold);
        draw(cells, true, std::size_t(-1));
        m_painter.setFont(m_font);
    }

    void draw(const QString (&cells)[5], bool bold, std::size_t row)
    {
        int x = 0;
        for (int c = 0; c < 5; ++c) {
            const QRect r(x, m_y - m_line + m_line / 4, m_widths[c] - 20, m_line);
            // Paper shows the colours of the screen: overdue dates and amounts in red.
            const QColor colour = bold ? QColor() : ForecastFile::cellColour(m_forecast, row, c);
            m_painter.setPen(colour.isValid() ? colour : QColor(Qt::black));
            // Drawn at a point: a rectangle would lay the text out once more.
            const QFontMetrics &metrics = m_elide[bold ? 1 : 0];
            QString text = cells[c];
            int width = metrics.horizontalAdvance(text);
            if (width > r.width()) {
                text = metrics.elidedText(text, Qt::ElideRight, r.width());
                width = metrics.horizontalAdvance(text);
            }
            const int baseline = r.top() + (r.height() - metrics.height()) / 2 + metrics.ascent();
            m_painter.drawText(c >= 2 ? r.right() + 1 - width : r.left(), baseline, text);
            x += m_widths[c];
        }
        m_y += m_line;
    }

    QPdfWriter &m_pdf;
    QPainter m_painter;
    const CashFlow &m_forecast;
    QRect m_page;
    QFont m_font;
    QFont m_bold;
    QFontMetrics m_elide[2] = { QFontMetrics(QFont()), QFontMetrics(QFont()) };
    int m_widths[5] = {};
    int m_line = 0;
    int m_y = 0;
};
} // namespace

const QStringList &ForecastFile::columnTitles()
{
    static const QStringList titles
        = { QStringLiteral("Due Date"), QStringLiteral("Payee"), QStringLiteral("Expense Amount"),
              QStringLiteral("Income Amount"), QStringLiteral("Balance") };
    return titles;
}

QString ForecastFile::cell(const CashFlow &forecast, std::size_t row, int column)
{
    const ProjectionTable &table = forecast.table();
    const ProjectionTable::Amounts &a = table.amounts(row);
    switch (column) {
    case 0:
        return Formats::date(table.date(row))
            + (table.overdue(row) ? QStringLiteral(" (overdue)") : QString());
    case 1:
        return table.payee(row);
    case 2:
        return a.expense.sign() != 0 ? Formats::money(a.expense) : QString();
    case 3:
        return a.income.sign() != 0 ? Formats::money(a.income) : QString();
    case 4:
        return Formats::money(forecast.balance(row));
    default:
        return {};
    }
}

QColor ForecastFile::cellColour(const CashFlow &forecast, std::size_t row, int column)
{
    switch (column) {
    case 0:
        return forecast.table().overdue(row) ? Colours::Red : QColor();
    case 2:
        return Colours::Maroon;
    case 3:
        return Colours::Green;
    case 4:
        return forecast.balance(row).sign() < 0 ? Colours::Red : QColor();
    default:
        return {};
    }
}

bool ForecastFile::writePdf(
    QIODevice &out, const CashFlow &forecast, const Heading &heading, const Progress &progress)
{
    QPdfWriter pdf(&out);
    pdf.setTitle(heading.title);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(300);
    PdfPages pages(pdf, forecast);
    pages.heading(heading);
    const std::size_t rows = forecast.table().size();
    for (std::size_t r = 0; r < rows; ++r) {
        if (r % AskEvery == 0 && progress && !progress(qint64(r), qint64(rows)))
            return false;
        pages.row(r);
    }
    return true;
}

bool ForecastFile::writeCsv(QIODevice &out, const CashFlow &forecast, const Progress &progress)
{
    QStringList header = columnTitles();
    header.append(QStringLiteral("Overdue"));
    QByteArray text = header.join(QLatin1Char(',')).toUtf8() + "\r\n";
    const ProjectionTable &table = forecast.table();
    // Written as it goes, so that a long forecast is never held twice.
    for (std::size_t r = 0; r < table.size(); ++r) {
        if (r % AskEvery == 0 && progress && !progress(qint64(r), qint64(table.size())))
            return false;
        const ProjectionTable::Amounts &a = table.amounts(r);
        text += QStringList{ table.date(r).toString(Qt::ISODate), csvField(table.payee(r)),
            a.expense.sign() != 0 ? plainAmount(a.expense) : QString(),
            a.income.sign() != 0 ? plainAmount(a.income) : QString(),
            plainAmount(forecast.balance(r)), table.overdue(r) ? QStringLiteral("Yes") : QString() }
                    .join(QLatin1Char(','))
                    .toUtf8()
            + "\r\n";
        if (text.size() > 65536) {
            if (out.write(text) != text.size())
                return true; // the commit reports it
            text.clear();
        }
    }
    out.write(text);
    return true;
}
