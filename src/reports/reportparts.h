#pragma once

#include "engine/band.h"
#include "report.h"

#include <QString>

// What the seven reports have in common.
namespace ReportParts {
using namespace ReportEngine;

inline TextStyle headingStyle()
{
    TextStyle s;
    s.bold = true;
    s.underline = true;
    return s;
}

inline TextStyle boldStyle()
{
    TextStyle s;
    s.bold = true;
    return s;
}

// The pay mark prints as a check mark; an unmarked item prints nothing.
Element payMark(double x, double y, double width);

// The page header's print date and title on the top line; `height` is the band's.
Band pageHeader(const QString &title, double height);
// Today's date in the short date format.
QString printDate();

// A date bound is there unless its input is blank.
bool hasBound(const QString &text);
// The filter for a date range on one date field; empty without bounds.
QString dateFilter(const QString &field, const QString &begin, const QString &end);

std::unique_ptr<Reports::Report> itemReport(
    const QString &entry, const QString &title, bool history, bool extended);
std::unique_ptr<Reports::Report> payFlagSummary();
std::unique_ptr<Reports::Report> dueDateSummary();
std::unique_ptr<Reports::Report> dueDateRangeSummary();
} // namespace ReportParts
