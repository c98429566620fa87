#include "projection.h"

#include "nextoccurrence.h"

#include "data/itemsnapshot.h"
#include "data/table.h"
#include "data/tablefiles.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

double amountOf(const QVariant &value)
{
    return value.isNull() ? 0.0 : value.toDouble();
}

// The heap keeps the earliest due date on top; on the same day the item given
// first comes first.
struct Later
{
    template <typename P> bool operator()(const P &a, const P &b) const
    {
        return a.day != b.day ? a.day > b.day : a.item > b.item;
    }
};

} // namespace

double Occurrence::expense() const
{
    return amountOf(record.billAmount);
}

double Occurrence::income() const
{
    return amountOf(record.payAmount);
}

Projection::Projection(
    std::vector<ScheduledItem> items, const QDate &today, const QDate &until, bool records)
    : m_today(today)
    , m_until(until)
    , m_lastDay(until.toJulianDay())
{
    const std::size_t n = items.size();
    m_keys.reserve(n);
    m_cycles.assign(n, 0);
    m_states.reserve(n);
    if (records)
        m_stored.reserve(n);
    m_heap.reserve(n);
    for (ScheduledItem &item : items) {
        m_keys.push_back(item.key);
        m_states.push_back(Recurrence::of(item.record));
        if (records)
            m_stored.push_back(std::move(item.record));
        push(int(m_keys.size() - 1));
    }
    m_firstDay = m_heap.empty() ? m_lastDay : m_heap.front().day;
    m_currentDay = m_firstDay;
}

void Projection::push(int item)
{
    const QDate &due = m_states[std::size_t(item)].due;
    if (!due.isValid() || due > m_until)
        return;
    m_heap.push_back({ due.toJulianDay(), item });
    std::push_heap(m_heap.begin(), m_heap.end(), Later());
}

bool Projection::step(Step &out)
{
    if (m_heap.empty()) {
        m_currentDay = m_lastDay;
        return false;
    }
    std::pop_heap(m_heap.begin(), m_heap.end(), Later());
    const Pending top = m_heap.back();
    m_heap.pop_back();
    const std::size_t i = std::size_t(top.item);
    m_currentDay = top.day;

    std::optional<Recurrence> following = m_states[i].next();
    out.day = top.day;
    out.item = top.item;
    out.cycle = m_cycles[i]++;
    out.overdue = top.day < m_today.toJulianDay();
    m_currentCycle = m_states[i];
    m_currentStep = out;

    // The item goes on only while its due date moves forward: a date that
    // cannot be formed, or a rule that steps back, ends it here.
    if (following && following->due.isValid() && following->due.toJulianDay() > top.day) {
        m_states[i] = *following;
        push(top.item);
    }
    return true;
}

ItemRecord Projection::record() const
{
    const ItemRecord &stored = m_stored.at(std::size_t(m_currentStep.item));
    return m_currentStep.cycle == 0 ? stored : m_currentCycle.laterCycleOf(stored);
}

bool Projection::next(Occurrence &out)
{
    Step s;
    if (!step(s))
        return false;
    out.key = m_keys[std::size_t(s.item)];
    out.cycle = s.cycle;
    out.overdue = s.overdue;
    out.record = record();
    return true;
}

double Projection::progress() const
{
    if (m_lastDay <= m_firstDay)
        return 1.0;
    return std::clamp(double(m_currentDay - m_firstDay) / double(m_lastDay - m_firstDay), 0.0, 1.0);
}

namespace {
// Every occurrence, or with onlyAhead each overdue item once (its first missed cycle).
std::vector<Occurrence> collect(
    std::vector<ScheduledItem> items, const QDate &today, const QDate &until, bool onlyAhead)
{
    Projection projection(std::move(items), today, until);
    std::vector<Occurrence> out;
    Occurrence o;
    while (projection.next(o))
        if (!onlyAhead || Projection::isAhead({ 0, 0, o.cycle, o.overdue }))
            out.push_back(std::move(o));
    return out;
}
} // namespace

std::vector<Occurrence> Projection::all(
    std::vector<ScheduledItem> items, const QDate &today, const QDate &until)
{
    return collect(std::move(items), today, until, false);
}

std::vector<Occurrence> Projection::ahead(
    std::vector<ScheduledItem> items, const QDate &today, const QDate &until)
{
    return collect(std::move(items), today, until, true);
}

std::vector<ScheduledItem> Projection::read(const QString &scheduleFile)
{
    Table table(scheduleFile);
    table.setIndexName(TableFiles::DueDateIndex);
    table.setReadOnly(true);
    table.open();
    std::vector<ScheduledItem> items;
    items.reserve(std::size_t(table.recordCount()));
    for (int row = 0; row < table.recordCount(); ++row) {
        table.goToRow(row);
        items.push_back({ table.currentKey(), ItemRecord::read(table) });
    }
    return items;
}

std::vector<ScheduledItem> Projection::snapshot(const QString &scheduleFile)
{
    const QStringList &names = ItemRecord::fieldNames();
    std::vector<ScheduledItem> items;
    ItemSnapshot::scan(scheduleFile, names, [&](const ItemSnapshot::Cursor &row) {
        ScheduledItem &item = items.emplace_back();
        item.key = row.key();
        for (int i = 0; i < names.size(); ++i)
            item.record.value(names[i]) = row.value(i);
    });
    return items;
}
