// Placeholder summaries; replaced by the summary grids and the aging computation.
#include "frmsched.h"

#include "data/query.h"
#include "data/table.h"

#include <QTableView>

void TfrmSched::buildSummaries()
{
    DBGridPayDate = new QTableView;
    DBGridDueDate = new QTableView;
    DBGridAge = new QTableView;
    QueryTotals->setSql(QStringLiteral(
        "SELECT \"PayNow\", sum(\"Bill Amount\") AS TotalBillAmount, sum(\"Pay Amount\") AS TotalPayAmount, "
        "count(\"Description\") AS totalcount FROM {schedule.DB} GROUP BY \"PayNow\" ORDER BY \"PayNow\""));
    QueryDuedateTotals->setSql(QStringLiteral(
        "SELECT \"Due Date\", sum(\"Bill Amount\") AS TotalBillAmount, sum(\"Pay Amount\") AS TotalPayAmount, "
        "count(\"Description\") AS totalcount FROM {schedule.DB} GROUP BY \"Due Date\" ORDER BY \"Due Date\""));
}

void TfrmSched::reopenSummaryQueries()
{
    QueryTotals->reopen();
    QueryDuedateTotals->reopen();
}

void TfrmSched::UpdateDueTotals() { }

void TfrmSched::showOverdueReminder() { }
