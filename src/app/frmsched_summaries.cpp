// The main window's summaries: the two totals queries, the aging rows, and the
// start-up reminder list.
#include "frmsched.h"

#include "domain/reminderlist.h"
#include "summaries.h"
#include "windows.h"

#include "data/itemstatements.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/options.h"
#include "domain/summaryservice.h"
#include "platform/clock.h"

#include <QDateTime>

#include <QDialog>
#include <QTableView>

void TfrmSched::buildSummaries()
{
    DBGridPayDate = new QTableView;
    DBGridPayDate->setObjectName(QStringLiteral("DBGridPayDate"));
    DBGridDueDate = new QTableView;
    DBGridDueDate->setObjectName(QStringLiteral("DBGridDueDate"));
    DBGridAge = new QTableView;
    DBGridAge->setObjectName(QStringLiteral("DBGridAge"));
    QueryTotals->setSql(ItemStatements::totals(QStringLiteral("PayNow")));
    QueryDuedateTotals->setSql(ItemStatements::totals(QStringLiteral("Due Date")));
    m_summaryService = new SummaryService(
        TableSched, QueryTotals.get(), QueryDuedateTotals.get(), TableAge,
        [] { return Clock::current().now(); }, this);
    m_summaries = new SummaryViews(
        m_summaryService, QueryTotals.get(), QueryDuedateTotals.get(), TableAge,
        [] { return OptionsStore::current().agingInterval; }, this);
    m_summaries->attach(DBGridPayDate, DBGridDueDate, DBGridAge);
}

void TfrmSched::reopenSummaryQueries()
{
    m_summaryService->reopenTotals();
}

void TfrmSched::UpdateDueTotals()
{
    m_summaryService->recount();
}

void TfrmSched::flushAgingWrites()
{
    m_summaryService->flush();
}

void TfrmSched::showOverdueReminder()
{
    const int listed = ReminderList::build(Tableresched, TableSched2, Clock::current().now());
    if (listed == 0)
        return;
    if (!Windows::frmReminder) {
        // Nobody to show the list to: it must not outlive this step.
        Tableresched->open();
        Tableresched->emptyTable();
        Tableresched->close();
        return;
    }
    Windows::frmReminder->exec();
}
