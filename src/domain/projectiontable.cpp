#include "projectiontable.h"

#include <bit>
#include <limits>

namespace {
bool sameValue(bool has, double value, const std::optional<double> &now)
{
    return now ? has && std::bit_cast<quint64>(value) == std::bit_cast<quint64>(*now) : !has;
}

Money delta(const ProjectionTable::Amounts &a)
{
    return a.income - a.expense;
}
} // namespace

ProjectionTable::ProjectionTable(const std::vector<ScheduledItem> &items)
{
    m_keys.reserve(items.size());
    m_payees.reserve(items.size());
    for (const ScheduledItem &item : items) {
        m_keys.push_back(item.key);
        m_payees.push_back(item.record.description.toString());
    }
    m_latest.assign(items.size(), -1);
}

void ProjectionTable::clear()
{
    m_amounts.clear();
    m_latest.assign(m_latest.size(), -1);
    m_chunks.clear();
    m_size = 0;
    m_blockStart.clear();
}

void ProjectionTable::append(Row row)
{
    if ((m_size & (ChunkRows - 1)) == 0)
        m_chunks.push_back(std::make_unique_for_overwrite<Row[]>(ChunkRows));
    m_chunks.back()[m_size & (ChunkRows - 1)] = row;
    ++m_size;
}

int ProjectionTable::amountsOf(int item, const Recurrence &cycle, bool keepBalance)
{
    int &latest = m_latest[std::size_t(item)];
    if (latest >= 0) {
        const Amounts &a = m_amounts[std::size_t(latest)];
        if (sameValue(a.hasExpense, a.bill, cycle.bill) && sameValue(a.hasIncome, a.pay, cycle.pay)
            && (!keepBalance || sameValue(a.hasBalance, a.balance, cycle.balance)))
            return latest;
    }
    Amounts a;
    a.item = item;
    a.hasExpense = cycle.bill.has_value();
    a.hasIncome = cycle.pay.has_value();
    a.bill = cycle.bill.value_or(0.0);
    a.pay = cycle.pay.value_or(0.0);
    a.expense = Money::fromDouble(a.bill);
    a.income = Money::fromDouble(a.pay);
    if (keepBalance) {
        a.hasBalance = cycle.balance.has_value();
        a.balance = cycle.balance.value_or(0.0);
    }
    m_amounts.push_back(a);
    latest = int(m_amounts.size() - 1);
    return latest;
}

bool ProjectionTable::fill(
    Projection &projection, const QDate &from, Use use, const std::function<bool(double)> &goOn)
{
    clear();
    m_today = projection.today().toJulianDay();
    const qint64 first = from.isValid() ? from.toJulianDay() : std::numeric_limits<qint64>::min();
    Money sum;
    Projection::Step s;
    for (std::size_t step = 1; projection.step(s); ++step) {
        if (step % 4096 == 0 && goOn && !goOn(projection.progress())) {
            clear();
            return false;
        }
        if (s.day < first || (use == Use::Forecast && !Projection::isAhead(s)))
            continue;
        const int a = amountsOf(s.item, projection.cycle(), use == Use::Calendar);
        if (m_size % Block == 0)
            m_blockStart.push_back(sum);
        append({ qint32(s.day), qint32(a) });
        sum += delta(m_amounts[std::size_t(a)]);
    }
    return true;
}

ProjectionTable ProjectionTable::of(
    const std::vector<ScheduledItem> &items, const QDate &today, const QDate &until)
{
    ProjectionTable table(items);
    Projection projection(items, today, until, false);
    table.fill(projection, QDate(), Use::Forecast);
    return table;
}

Money ProjectionTable::sumThrough(std::size_t row) const
{
    Money sum = m_blockStart[row / Block];
    for (std::size_t r = row - row % Block; r <= row; ++r)
        sum += delta(amounts(r));
    return sum;
}

std::size_t ProjectionTable::firstOnOrAfter(qint64 wanted) const
{
    std::size_t low = 0, high = m_size;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (day(mid) < wanted)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

std::pair<std::size_t, std::size_t> ProjectionTable::rowsOn(const QDate &date) const
{
    const qint64 jd = date.toJulianDay();
    return { firstOnOrAfter(jd), firstOnOrAfter(jd + 1) };
}
