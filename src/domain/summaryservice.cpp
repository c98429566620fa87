#include "summaryservice.h"

#include "options.h"
#include "totals.h"

#include "data/attachedfile.h"
#include "data/query.h"
#include "data/table.h"

#include <utility>

SummaryService::SummaryService(Table *schedule, Query *totals, Query *dueDateTotals,
    Table *ageTable, std::function<QDateTime()> now, QObject *parent)
    : QObject(parent)
    , m_schedule(schedule)
    , m_totals(totals)
    , m_dueDateTotals(dueDateTotals)
    , m_ageTable(ageTable)
    , m_now(std::move(now))
{ }

void SummaryService::reopen(Query *query)
{
    // The views read the rows again also when the query failed.
    try {
        query->reopen();
    } catch (...) {
        Q_EMIT totalsReset(query);
        throw;
    }
    Q_EMIT totalsReset(query);
}

void SummaryService::reopenTotals()
{
    reopen(m_totals);
    reopen(m_dueDateTotals);
}

void SummaryService::recount()
{
    const int interval = OptionsStore::current().agingInterval;
    const QDateTime now = m_now();
    m_known = false;
    m_writer.flush(); // whatever it held is written again below
    m_sums = Aging::compute(m_schedule->fileName(), interval, now);
    m_interval = interval;
    m_day = now.date();
    m_cutoffs = Aging::cutoffs(interval, m_day);
    m_known = true;
    Q_EMIT agingChanged(Aging::rows(m_sums));
    Aging::write(m_ageTable, m_sums);
    Aging::setTitles(m_ageTable, interval);
    Q_EMIT agingTitlesChanged();
}

void SummaryService::recordChanged(
    const std::vector<QVariant> &before, const std::vector<QVariant> &after)
{
    for (Query *query : { m_totals, m_dueDateTotals }) {
        int left = -1, joined = -1;
        const bool kept = (before.empty() || Totals::apply(*query, *m_schedule, before, -1, &left))
            && (after.empty() || Totals::apply(*query, *m_schedule, after, 1, &joined));
        if (kept)
            Q_EMIT totalsRowsChanged(
                query, before.empty() ? joined : left, after.empty() ? left : joined);
        else
            reopen(query);
    }

    // The aging moves with the record unless the day or the interval changed
    // since it was computed; then it is computed again over the whole schedule.
    const int interval = OptionsStore::current().agingInterval;
    const QDateTime now = m_now();
    if (!m_known || m_interval != interval || m_day != now.date()) {
        recount();
        return;
    }
    const int due = m_schedule->fieldIndexOrThrow(QStringLiteral("Due Date"));
    const int bill = m_schedule->fieldIndexOrThrow(QStringLiteral("Bill Amount"));
    const int pay = m_schedule->fieldIndexOrThrow(QStringLiteral("Pay Amount"));
    const Aging::Sums old = m_sums;
    if (!before.empty())
        Aging::add(m_sums, m_cutoffs, before[due], before[bill], before[pay], -1);
    if (!after.empty())
        Aging::add(m_sums, m_cutoffs, after[due], after[bill], after[pay], 1);
    // Most changes (a mark, a payee, a date within its bucket) leave the aging as it was.
    if (m_sums.income == old.income && m_sums.expense == old.expense)
        return;
    Q_EMIT agingChanged(Aging::rows(m_sums));
    if (m_pragmas.empty())
        m_pragmas = AttachedFile(m_ageTable->path()).durabilityPragmas();
    // The file follows on the writer's thread; its durable commit does not
    // hold up the window.
    m_writer.post(m_ageTable->path(), m_pragmas, m_sums);
}

void SummaryService::flush()
{
    if (!m_writer.flush()) {
        // The rows on file are not the sums shown: they are written again here.
        m_known = false;
        recount();
    }
}
