// The three reports that summarise the schedule: totals per pay flag, totals
// per due date, and the expense aging by due-date range.

#include "engine/layout.h"
#include "report.h"
#include "reportparts.h"

#include "data/filter.h"
#include "data/itemstatements.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/aging.h"
#include "domain/options.h"
#include "domain/totals.h"

namespace ReportParts {
namespace {

FieldDef money(const QString &name)
{
    FieldDef f;
    f.name = name;
    f.type = FieldType::Money;
    return f;
}

// The totals of the schedule grouped by one field, with each row's remainder
// worked out as it is read.
std::shared_ptr<DataSet> totalsData(const QString &groupField, const QString &filter)
{
    const Layout &items = Layouts::item();
    const CompiledFilter where = compileFilter(filter, items.fields);
    Query query(ItemStatements::totals(groupField, where.where));
    query.setParams(where.params);
    query.open();
    FieldDef count;
    count.name = TotalsColumn::Count;
    count.type = FieldType::Counter;
    QList<FieldDef> fields{ *items.field(groupField), money(TotalsColumn::Bill),
        money(TotalsColumn::Pay), count, money(TotalsColumn::Remainder) };
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(query.rowCount());
    for (int r = 0; r < query.rowCount(); ++r) {
        const QVariant bill = query.value(r, TotalsColumn::Bill);
        const QVariant pay = query.value(r, TotalsColumn::Pay);
        rows.push_back({ query.value(r, 0), bill, pay, query.value(r, TotalsColumn::Count),
            Totals::remainder(bill, pay) });
    }
    return std::make_shared<RowData>(std::move(fields), std::move(rows));
}

class TotalsReport : public Reports::Report
{
public:
    // By pay flag, or by due date within the chooser's range.
    explicit TotalsReport(bool byDueDate)
        : m_byDueDate(byDueDate)
    { }

    QString entryText() const override
    {
        return m_byDueDate ? QStringLiteral("Summary by Due Date")
                           : QStringLiteral("Summary by Pay Flag");
    }

    std::unique_ptr<PageStore> prepare(
        const Reports::Request &request, const Progress &progress) override
    {
        Definition report;
        report.page = defaultPageLayout();
        report.pageHeader = header();
        report.detail = detail();
        report.summary = summary();
        report.beforePrint = [this, request](Definition &d) {
            const QString group
                = m_byDueDate ? QStringLiteral("Due Date") : QStringLiteral("PayNow");
            const QString filter = m_byDueDate
                ? dateFilter(QStringLiteral("Due Date"), request.begin, request.end)
                : QString();
            d.data = totalsData(group, filter);
            d.pageHeader.find(QStringLiteral("printDate"))->text = printDate();
        };
        return ReportEngine::prepare(std::move(report), progress);
    }

private:
    Band header() const
    {
        Band band = pageHeader(entryText(), 49);
        const TextStyle h = headingStyle();
        if (m_byDueDate)
            band.elements.push_back(label(QStringLiteral("Due Date"), 218, 34, 48, Align::Left, h));
        else
            band.elements.push_back(label(QStringLiteral("Pay?"), 218, 34, 35, Align::Center, h));
        band.elements.push_back(label(QStringLiteral("Expense"), 296, 34, 73, Align::Right, h));
        band.elements.push_back(label(QStringLiteral("Income"), 376, 34, 69, Align::Right, h));
        band.elements.push_back(label(QStringLiteral("Remainder"), 467, 34, 60, Align::Left, h));
        band.elements.push_back(label(QStringLiteral("Count"), 547, 34, 33, Align::Left, h));
        return band;
    }

    Band detail() const
    {
        Band band;
        band.height = 16;
        if (m_byDueDate)
            band.elements.push_back(field(QStringLiteral("Due Date"), 216, 0, 73));
        else
            band.elements.push_back(payMark(216, 0, 37));
        band.elements.push_back(field(TotalsColumn::Bill, 296, 0, 73, Align::Right));
        band.elements.push_back(field(TotalsColumn::Pay, 376, 0, 69, Align::Right));
        band.elements.push_back(field(TotalsColumn::Remainder, 458, 0, 69, Align::Right));
        band.elements.push_back(field(TotalsColumn::Count, 532, 0, 49, Align::Right));
        return band;
    }

    static Band summary()
    {
        Band band;
        band.height = 20;
        band.elements.push_back(line(216, 0, 365, 2));
        const TextStyle bold = boldStyle();
        band.elements.push_back(label(QStringLiteral("Totals"), 216, 4, 60, Align::Left, bold));
        band.elements.push_back(sum(TotalsColumn::Bill, 296, 4, 73, Align::Right, bold));
        band.elements.push_back(sum(TotalsColumn::Pay, 376, 4, 69, Align::Right, bold));
        band.elements.push_back(sum(TotalsColumn::Remainder, 456, 4, 71, Align::Right, bold));
        band.elements.push_back(sum(TotalsColumn::Count, 530, 4, 51, Align::Right, bold));
        return band;
    }

    bool m_byDueDate;
};

class AgingReport : public Reports::Report
{
public:
    QString entryText() const override { return QStringLiteral("Summary by Due Date Range"); }

    std::unique_ptr<PageStore> prepare(const Reports::Request &, const Progress &progress) override
    {
        Definition report;
        report.page = defaultPageLayout();
        report.pageHeader = pageHeader(entryText(), 49);
        report.detail.height = 16;
        report.detail.elements.push_back(
            field(QStringLiteral("Type"), 112, 0, 80, Align::Left, boldStyle()));
        const QStringList fields = Aging::fieldNames();
        for (int k = 0; k < 6; ++k)
            report.detail.elements.push_back(
                field(fields.value(k + 1), 194 + 80 * k, 0, 80, Align::Right));
        report.beforePrint = [](Definition &d) {
            const QStringList titles = Aging::titles(OptionsStore::current().agingInterval);
            auto table = std::make_unique<Table>(TableFiles::Aging);
            table->setReadOnly(true);
            table->setIndexFieldNames(QStringLiteral("Order"));
            table->open();
            d.data = std::make_shared<TableData>(std::move(table));
            d.pageHeader.find(QStringLiteral("printDate"))->text = printDate();
            const TextStyle h = headingStyle();
            d.pageHeader.elements.push_back(label(titles.value(0), 112, 34, 80, Align::Left, h));
            for (int k = 0; k < 6; ++k)
                d.pageHeader.elements.push_back(
                    label(titles.value(k + 1), 194 + 80 * k, 34, 80, Align::Right, h));
        };
        return ReportEngine::prepare(std::move(report), progress);
    }
};
} // namespace

std::unique_ptr<Reports::Report> payFlagSummary()
{
    return std::make_unique<TotalsReport>(false);
}

std::unique_ptr<Reports::Report> dueDateSummary()
{
    return std::make_unique<TotalsReport>(true);
}

std::unique_ptr<Reports::Report> dueDateRangeSummary()
{
    return std::make_unique<AgingReport>();
}

} // namespace ReportParts
