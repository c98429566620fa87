// The main window's summaries: the two totals queries, the aging rows, and the
// start-up reminder list.
#include "frmsched.h"

#include "domain/reminderlist.h"
#include "summaries.h"
#include "windows.h"

#include "data/query.h"
#include "data/table.h"
#include "platform/clock.h"

#include <QDialog>
#include <QTableView>

namespace {
const QString TotalsSql
    = QStringLiteral("SELECT \"PayNow\", sum(\"Bill Amount\") AS TotalBillAmount,"
                     " sum(\"Pay Amount\") AS TotalPayAmount, count(\"Description\") AS totalcount"
                     " FROM {schedule.DB} GROUP BY \"PayNow\" ORDER BY \"PayNow\"");
const QString DueDateTotalsSql
    = QStringLiteral("SELECT \"Due Date\", sum(\"Bill Amount\") AS TotalBillAmount,"
                     " sum(\"Pay Amount\") AS TotalPayAmount, count(\"Description\") AS totalcount"
                     " FROM {schedule.DB} GROUP BY \"Due Date\" ORDER BY \"Due Date\"");

// Re-opens a query and lets its grid read the new rows, also when it failed.
void reopen(Query *query, SummaryModel *model)
{
    try {
        query->reopen();
    } catch (...) {
        model->reset();
        throw;
    }
    model->reset();
}
} // namespace

void TfrmSched::buildSummaries()
{
    DBGridPayDate = new QTableView;
    DBGridPayDate->setObjectName(QStringLiteral("DBGridPayDate"));
    DBGridDueDate = new QTableView;
    DBGridDueDate->setObjectName(QStringLiteral("DBGridDueDate"));
    DBGridAge = new QTableView;
    DBGridAge->setObjectName(QStringLiteral("DBGridAge"));
    QueryTotals->setSql(TotalsSql);
    QueryDuedateTotals->setSql(DueDateTotalsSql);
    auto *views = new SummaryViews(
        QueryTotals, QueryDuedateTotals, TableAge, [this] { return agingInterval(); }, this);
    views->attach(DBGridPayDate, DBGridDueDate, DBGridAge);
    m_summaries = views;
}

void TfrmSched::reopenSummaryQueries()
{
    auto *views = static_cast<SummaryViews *>(m_summaries);
    reopen(QueryTotals, views->payNow());
    reopen(QueryDuedateTotals, views->dueDate());
}

void TfrmSched::UpdateDueTotals()
{
    const int interval = agingInterval();
    const Aging::Sums sums
        = Aging::compute(TableSched->fileName(), interval, Clock::current().now());
    Aging::write(TableAge, sums);
    Aging::setTitles(TableAge, interval);
    static_cast<SummaryViews *>(m_summaries)->aging()->titlesChanged();
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
