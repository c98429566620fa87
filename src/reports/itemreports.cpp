// The four reports that list items record by record: scheduled items and
// history, each standard and extended (with the user fields).

#include "engine/layout.h"
#include "report.h"
#include "reportparts.h"

#include "data/tablefiles.h"
#include "data/viewreader.h"
#include "domain/options.h"

#include <QColor>

namespace ReportParts {
namespace {

const QColor Grey(128, 128, 128);

// The index a sort entry names.
QString sortIndex(const QString &sort)
{
    if (sort == QLatin1String("Income"))
        return QStringLiteral("Pay Amount Index");
    if (sort == QLatin1String("Expense"))
        return QStringLiteral("Bill Amount Index");
    if (sort == QLatin1String("Pay Flag"))
        return QStringLiteral("PayNow Index");
    return sort + QStringLiteral(" Index");
}

class ItemReport : public Reports::Report
{
public:
    ItemReport(const QString &entry, const QString &title, bool history, bool extended)
        : m_entry(entry)
        , m_title(title)
        , m_history(history)
        , m_extended(extended)
    { }

    QString entryText() const override { return m_entry; }

    std::unique_ptr<PageStore> prepare(
        const Reports::Request &request, const Progress &progress) override
    {
        return ReportEngine::prepare(definition(request), progress);
    }

    std::unique_ptr<PageStore> prepareFirstPage(
        const Reports::Request &request, const Progress &progress) override
    {
        return ReportEngine::prepare(definition(request), progress, Pass::FirstPageFirst);
    }

private:
    Definition definition(const Reports::Request &request) const
    {
        Definition report;
        report.page = defaultPageLayout();
        report.pageHeader = header();
        report.detail = detail();
        report.summary = summary();
        report.beforePrint = [this, request](Definition &d) {
            // Read aside on a connection of its own: no key list first, and
            // the first page shows while the rest is laid out.
            d.data = std::make_shared<ViewData>(std::make_unique<ViewReader>(
                m_history ? TableFiles::History : TableFiles::Schedule, sortIndex(request.sort),
                dateFilter(request.dateField, request.begin, request.end)));
            d.pageHeader.find(QStringLiteral("sortLine"))->text
                = QStringLiteral("Sorted by ") + request.sort;
            d.pageHeader.find(QStringLiteral("printDate"))->text = printDate();
        };
        return report;
    }

    Band header() const
    {
        Band band = pageHeader(m_title, 63);
        Element sortLine = label({}, 254, 22, 543 - 254, Align::Center);
        sortLine.name = QStringLiteral("sortLine");
        band.elements.push_back(sortLine);
        const TextStyle h = headingStyle();
        auto add = [&](const char *text, double x, double w, Align a = Align::Left) {
            band.elements.push_back(label(QString::fromLatin1(text), x, 46, w, a, h));
        };
        if (m_history) {
            add("Process Date", 0, 73);
            add("Due Date", 79, 48);
            add("Description", 148, 105);
        } else {
            add("Pay?", m_extended ? 0 : 4, 37, Align::Center);
            add("Due Date", m_extended ? 46 : 54, 48);
            add("Description", 122, 105);
        }
        add("Expense", 360, 73, Align::Right);
        add("Income", 440, 69, Align::Right);
        add("Repeat Every...", 519, 80);
        add("Budget", 600, 77, Align::Right);
        add("Balance", 680, 73, Align::Right);
        return band;
    }

    Band detail() const
    {
        Band band;
        band.height = m_history ? 14 : 16;
        auto add = [&](const char *name, double x, double w, Align a = Align::Left) {
            band.elements.push_back(field(QString::fromLatin1(name), x, 0, w, a));
            return &band.elements.back();
        };
        if (m_history) {
            add("Process Date", 0, 63);
            add("Due Date", 79, 65);
            add("Description", 148, 213)->grows = true;
        } else {
            band.elements.push_back(payMark(0, 0, m_extended ? 37 : 45));
            add("Due Date", m_extended ? 46 : 54, 65);
            add("Description", 122, 231)->grows = true;
        }
        add("Bill Amount", 360, 73, Align::Right);
        add("Pay Amount", 440, 69, Align::Right);
        add("Frequency", 511, 24, Align::Right);
        add("Units", 536, 65);
        add("Budget", 600, 77, Align::Right);
        add("Balance", 680, 73, Align::Right);
        if (!m_extended)
            return band;

        // The second line: the user fields under their current titles, and a
        // grey rule under the record. A grown Description pushes it all down.
        band.height = 34;
        TextStyle caption = boldStyle();
        caption.color = Grey;
        for (int n = 1; n <= 4; ++n) {
            const double x = 120 + 160 * (n - 1);
            Element c = label({}, x, 14, 77, Align::Left, caption);
            c.name = QStringLiteral("caption%1").arg(n);
            band.elements.push_back(c);
            band.elements.push_back(field(QStringLiteral("User Field %1").arg(n), x + 80, 14, 73));
        }
        band.elements.push_back(line(-2, 30, 758, 1, Grey));
        band.beforePrint = [](Band &b) {
            for (int n = 1; n <= 4; ++n)
                b.find(QStringLiteral("caption%1").arg(n))->text
                    = OptionsStore::current().userTitle(n) + QLatin1Char(':');
        };
        return band;
    }

    static Band summary()
    {
        Band band;
        band.height = 20;
        band.elements.push_back(line(-2, 0, 758, 2));
        const TextStyle bold = boldStyle();
        band.elements.push_back(label(QStringLiteral("Totals"), 0, 4, 60, Align::Left, bold));
        band.elements.push_back(sum(QStringLiteral("Bill Amount"), 360, 4, 73, Align::Right, bold));
        band.elements.push_back(sum(QStringLiteral("Pay Amount"), 440, 4, 69, Align::Right, bold));
        band.elements.push_back(sum(QStringLiteral("Budget"), 600, 4, 77, Align::Right, bold));
        band.elements.push_back(sum(QStringLiteral("Balance"), 680, 4, 73, Align::Right, bold));
        return band;
    }

    QString m_entry;
    QString m_title;
    bool m_history;
    bool m_extended;
};
} // namespace

std::unique_ptr<Reports::Report> itemReport(
    const QString &entry, const QString &title, bool history, bool extended)
{
    return std::make_unique<ItemReport>(entry, title, history, extended);
}

} // namespace ReportParts
