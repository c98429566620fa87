#include "report.h"
#include "reportparts.h"

#include "data/formats.h"
#include "data/layouts.h"
#include "platform/clock.h"

namespace ReportParts {

Element payMark(double x, double y, double width)
{
    TextStyle style;
    style.family = QStringLiteral("DejaVu Sans"); // has U+2713
    Element e = field(QStringLiteral("PayNow"), x, y, width, Align::Center, style);
    e.format = [](const QVariant &value) {
        return value.toString() == PayMark ? QString(QChar(0x2713)) : QString();
    };
    return e;
}

Band pageHeader(const QString &title, double height)
{
    Band band;
    band.height = height;
    Element date = label({}, 0, 0, 75);
    date.name = QStringLiteral("printDate");
    band.elements.push_back(date);
    TextStyle titleStyle;
    titleStyle.points = 12;
    titleStyle.bold = true;
    band.elements.push_back(label(title, 178, 0, 619 - 178, Align::Center, titleStyle));
    return band;
}

QString printDate()
{
    return Formats::date(Clock::current().today());
}

bool hasBound(const QString &text)
{
    // Only blanks is no bound, however many.
    return !text.trimmed().isEmpty();
}

QString dateFilter(const QString &field, const QString &begin, const QString &end)
{
    // A quote in what was typed stays inside the literal (doubled), so a
    // bound is always read as one value and never as more of the expression.
    auto quoted = [](QString text) {
        return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("''"))
            + QLatin1Char('\'');
    };
    const QString f = QStringLiteral("[") + field + QStringLiteral("]");
    const QString from
        = QStringLiteral("(") + f + QStringLiteral(" >= ") + quoted(begin) + QStringLiteral(")");
    const QString to
        = QStringLiteral("(") + f + QStringLiteral(" <= ") + quoted(end) + QStringLiteral(")");
    if (hasBound(begin) && hasBound(end))
        return from + QStringLiteral(" and ") + to;
    if (hasBound(begin))
        return from;
    if (hasBound(end))
        return to;
    return {};
}

} // namespace ReportParts

std::vector<std::unique_ptr<Reports::Report>> Reports::makeReports()
{
    using namespace ReportParts;
    std::vector<std::unique_ptr<Report>> reports;
    reports.push_back(itemReport(QStringLiteral("Scheduled Items - Standard"),
        QStringLiteral("Scheduled Items"), false, false));
    reports.push_back(
        itemReport(QStringLiteral("Scheduled Items - Extended (Includes User Fields)"),
            QStringLiteral("Scheduled Items - Extended"), false, true));
    reports.push_back(payFlagSummary());
    reports.push_back(dueDateSummary());
    reports.push_back(dueDateRangeSummary());
    reports.push_back(itemReport(
        QStringLiteral("History Items - Standard"), QStringLiteral("History Items"), true, false));
    reports.push_back(itemReport(QStringLiteral("History Items - Extended (Includes User Fields)"),
        QStringLiteral("History Items - Extended"), true, true));
    return reports;
}
