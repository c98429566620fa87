// The main window's summaries: the two totals queries, the aging rows, and the
// start-up reminder list.
#include "frmsched.h"

#include "domain/reminderlist.h"
#include "summaries.h"
#include "windows.h"

#include "data/attachedfile.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/itemstatements.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/options.h"
#include "platform/clock.h"

#include <QDateTime>

#include <QDialog>
#include <QTableView>

namespace {
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
    QueryTotals->setSql(ItemStatements::totals(QStringLiteral("PayNow")));
    QueryDuedateTotals->setSql(ItemStatements::totals(QStringLiteral("Due Date")));
    m_summaries = new SummaryViews(
        QueryTotals.get(), QueryDuedateTotals.get(), TableAge,
        [] { return OptionsStore::current().agingDays(); }, this);
    m_summaries->attach(DBGridPayDate, DBGridDueDate, DBGridAge);
}

void TfrmSched::reopenSummaryQueries()
{
    SummaryViews *views = m_summaries;
    reopen(QueryTotals.get(), views->payNow());
    reopen(QueryDuedateTotals.get(), views->dueDate());
}

void TfrmSched::UpdateDueTotals()
{
    SummaryViews *views = m_summaries;
    const int interval = OptionsStore::current().agingDays();
    const QDateTime now = Clock::current().now();
    views->agingState.known = false;
    views->agingWriter.flush(); // whatever it held is written again below
    const Aging::Sums sums = Aging::compute(TableSched->fileName(), interval, now);
    views->agingState = { true, interval, now.date(), sums };
    views->aging()->showRows(Aging::rows(sums));
    Aging::write(TableAge, sums);
    Aging::setTitles(TableAge, interval);
    views->aging()->titlesChanged();
}

void TfrmSched::updateSummaries(
    const std::vector<QVariant> &before, const std::vector<QVariant> &after)
{
    SummaryViews *views = m_summaries;
    for (auto [query, model] : { std::pair{ QueryTotals.get(), views->payNow() },
             std::pair{ QueryDuedateTotals.get(), views->dueDate() } }) {
        int left = -1, joined = -1;
        const bool kept = (before.empty() || Totals::apply(*query, *TableSched, before, -1, &left))
            && (after.empty() || Totals::apply(*query, *TableSched, after, 1, &joined));
        if (kept)
            model->rowsChanged(before.empty() ? joined : left, after.empty() ? left : joined);
        else
            reopen(query, model);
    }

    // The aging moves with the record unless the day or the interval changed
    // since it was computed; then it is computed again over the whole schedule.
    const int interval = OptionsStore::current().agingDays();
    const QDateTime now = Clock::current().now();
    SummaryViews::AgingState &state = views->agingState;
    if (!state.known || state.interval != interval || state.day != now.date()) {
        UpdateDueTotals();
        return;
    }
    const int due = TableSched->fieldIndexOrThrow(QStringLiteral("Due Date"));
    const int bill = TableSched->fieldIndexOrThrow(QStringLiteral("Bill Amount"));
    const int pay = TableSched->fieldIndexOrThrow(QStringLiteral("Pay Amount"));
    const Aging::Cutoffs cutoffs = Aging::cutoffs(interval, now.date());
    const Aging::Sums old = state.sums;
    if (!before.empty())
        Aging::add(state.sums, cutoffs, before[due], before[bill], before[pay], -1);
    if (!after.empty())
        Aging::add(state.sums, cutoffs, after[due], after[bill], after[pay], 1);
    // Most changes (a mark, a payee, a date within its bucket) leave the aging as it was.
    if (state.sums.income == old.income && state.sums.expense == old.expense)
        return;
    views->aging()->showRows(Aging::rows(state.sums));
    if (views->agingPragmas.empty())
        views->agingPragmas = AttachedFile(TableAge->path()).durabilityPragmas();
    // The file follows on the writer's thread; its durable commit does not
    // hold up the window.
    views->agingWriter.post(TableAge->path(), views->agingPragmas, state.sums);
}

void TfrmSched::flushAgingWrites()
{
    SummaryViews *views = m_summaries;
    if (!views->agingWriter.flush()) {
        // The rows on file are not the sums shown: they are written again here.
        views->agingState.known = false;
        UpdateDueTotals();
    }
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
