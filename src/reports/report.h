#pragma once

#include "reports/engine/pagestore.h"

#include <QString>

#include <memory>
#include <vector>

namespace Reports {

// What the report chooser hands a report: the texts of its inputs as shown.
struct Request
{
    QString sort = QStringLiteral("Due Date");
    QString dateField = QStringLiteral("Due Date");
    QString begin; // short date format, blank or empty for no bound
    QString end;
};

class Report
{
public:
    virtual ~Report() = default;
    // The entry in the chooser's report list ("Scheduled Items - Standard").
    virtual QString entryText() const = 0;
    // Runs the preparation step and lays out every page. Throws EngineError
    // (the message the user sees) when the data cannot be read as asked;
    // returns nullptr when `progress` cancelled.
    virtual std::unique_ptr<ReportEngine::PageStore> prepare(
        const Request &request, const ReportEngine::Progress &progress)
        = 0;
    // As prepare(), but returns once the first page is laid out where the
    // report can lay out the rest aside while its pages are shown
    // (PageStore::complete()).
    virtual std::unique_ptr<ReportEngine::PageStore> prepareFirstPage(
        const Request &request, const ReportEngine::Progress &progress)
    {
        return prepare(request, progress);
    }
};

// The seven reports in the chooser's order.
std::vector<std::unique_ptr<Report>> makeReports();

} // namespace Reports
