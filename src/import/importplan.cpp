#include "importplan.h"

#include "data/attachedfile.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/itemfields.h"
#include "data/itemstatements.h"
#include "data/layouts.h"
#include "data/recordrules.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "domain/itemrecord.h"
#include "domain/nextoccurrence.h"

#include <QCoreApplication>
#include <QHash>

#include <cstdlib>
#include <optional>

namespace {
const QString OneTime = QStringLiteral("One Time");
// Pages the write may keep in memory, in KiB: every index of the schedule is touched.
constexpr int WriteCacheKiB = 64 * 1024;
// Rows between two calls of the progress callback.
constexpr int ProgressStep = 256;

QString tr(const char *text)
{
    return QCoreApplication::translate("Import", text);
}

QString duplicateKey(const QString &description, const QDate &due)
{
    return description.trimmed().toCaseFolded() + QChar(u'\x1f') + due.toString(Qt::ISODate);
}

// The dates an item rule gives from start on, as the payment run would make them.
QList<QDate> ruleDates(
    const QDate &start, int frequency, const QString &units, const QDate &endDate, qsizetype count)
{
    QList<QDate> dates;
    ItemRecord item;
    item.dueDate = start;
    item.frequency = frequency;
    item.units = units;
    if (endDate.isValid())
        item.endDate = endDate;
    while (dates.size() < count) {
        const QDate due = item.dueDate.toDate();
        if (!due.isValid())
            break;
        dates.append(due);
        std::optional<ItemRecord> next = NextOccurrence(item);
        if (!next)
            break;
        item = *next;
    }
    return dates;
}

// The rules worth trying: those the first gap between two dates suggests.
QList<ImportPlan::Rule> candidates(const QDate &first, const QDate &second)
{
    QList<ImportPlan::Rule> rules;
    const qint64 days = first.daysTo(second);
    if (days <= 0 || days > 32767)
        return rules;
    const int months = (second.year() - first.year()) * 12 + second.month() - first.month();
    if (days % 7 == 0)
        rules.append({ int(days / 7), QStringLiteral("Weeks") });
    if (months > 0 && months % 12 == 0)
        rules.append({ months / 12, QStringLiteral("Years") });
    if (months > 0)
        rules.append({ months, QStringLiteral("Months") });
    for (int halves : { 2 * months - 1, 2 * months, 2 * months + 1 })
        if (halves > 0)
            rules.append({ halves, QStringLiteral("Half Months") });
    rules.append({ int(days), QStringLiteral("Days") });
    return rules;
}

// Where each of ImportPlan::fields() sits in the item layout.
const std::vector<int> &positions()
{
    static const std::vector<int> list = [] {
        const Layout &layout = Layouts::item();
        std::vector<int> p;
        for (const QString &name : ImportPlan::fields())
            p.push_back(int(layout.field(name) - layout.fields.constData()));
        return p;
    }();
    return list;
}

// The values of ImportPlan::fields(), by name.
struct FieldValues
{
    QVariantList values = QVariantList(ImportPlan::fields().size());
    void insert(const QString &field, const QVariant &value)
    {
        if (const qsizetype at = ImportPlan::fields().indexOf(field); at >= 0)
            values[at] = value;
    }
    QVariant value(const QString &field) const
    {
        return values.value(ImportPlan::fields().indexOf(field));
    }
};

void addProblem(ImportRow &row, const QString &problem)
{
    if (!problem.isEmpty() && !row.problems.contains(problem))
        row.problems.append(problem);
}

QString ruleText(int frequency, const QString &units)
{
    return frequency == 0 ? OneTime : QStringLiteral("%1 %2").arg(frequency).arg(units);
}

// The item's rule for the source's: as stated, as its dates give it, or the nearest.
void setRule(ImportRow &row, const SourceSchedule &source, FieldValues &values)
{
    int frequency = source.frequency;
    QString units = source.units.trimmed();
    if (units.isEmpty()) {
        QList<QDate> dates = source.occurrences;
        if (dates.isEmpty() && source.nextDue.isValid())
            dates.append(source.nextDue);
        const ImportPlan::Rule rule = ImportPlan::matchRule(dates, source.endDate);
        frequency = rule.frequency;
        units = rule.units;
        if (!rule.exact) {
            row.ruleMatched = false;
            const QString stated = source.recurrenceText.isEmpty()
                ? tr("The source's rule")
                : QStringLiteral("\"%1\"").arg(source.recurrenceText);
            addProblem(row,
                tr("%1 has no equal here; the nearest is every %2")
                    .arg(stated, ruleText(frequency, units)));
        }
    }
    // An item that does not repeat is stored as the list stores it.
    if (frequency == 0 || units.isEmpty() || units.compare(OneTime, Qt::CaseInsensitive) == 0) {
        frequency = 0;
        units = OneTime;
    }
    values.insert(QStringLiteral("Frequency"), frequency);
    values.insert(QStringLiteral("Units"), units);
}

FieldValues sourceValues(ImportRow &row, const SourceSchedule &source)
{
    FieldValues values;
    for (auto it = source.itemFields.cbegin(); it != source.itemFields.cend(); ++it)
        values.insert(it.key(), it.value());
    values.insert(QStringLiteral("Description"), source.description.trimmed());
    if (source.nextDue.isValid())
        values.insert(QStringLiteral("Due Date"), source.nextDue);
    else
        addProblem(row, tr("No due date"));
    if (source.endDate.isValid())
        values.insert(QStringLiteral("End Date"), source.endDate);
    if (source.amount) {
        // Below zero the books pay out: an expense; above zero an income.
        const QString field = source.amount->sign() < 0 ? QStringLiteral("Bill Amount")
                                                        : QStringLiteral("Pay Amount");
        const Money amount = source.amount->sign() < 0 ? -*source.amount : *source.amount;
        values.insert(field, amount.toDouble());
    }
    setRule(row, source, values);
    return values;
}
} // namespace

const QStringList &ImportPlan::fields()
{
    static const QStringList list = [] {
        QStringList f = ItemFields::entered();
        f.removeAll(QStringLiteral("Pay Date"));
        return f;
    }();
    return list;
}

void ImportPlan::loadExisting()
{
    m_existing.clear();
    Table schedule(TableFiles::Schedule);
    schedule.setReadOnly(true);
    schedule.open();
    const std::vector<int> wanted = { schedule.fieldIndexOrThrow(QStringLiteral("Description")),
        schedule.fieldIndexOrThrow(QStringLiteral("Due Date")) };
    schedule.scan(wanted, [this](int, const std::vector<QVariant> &values) {
        m_existing.insert(duplicateKey(values[0].toString(), values[1].toDate()));
        return true;
    });
}

ImportRow ImportPlan::rowFor(const SourceSchedule &source) const
{
    ImportRow row;
    row.record = source.record;
    row.sourceRule = source.recurrenceText;
    addProblem(row, source.problem);
    const FieldValues given = sourceValues(row, source);

    const Layout &layout = Layouts::item();
    const QVariantList &values = given.values;
    // The list editor's own rules on the whole record; when they refuse it,
    // each field on its own, so that every fault is shown.
    try {
        const std::vector<QVariant> record = RecordRules::convertedRecord(layout, fields(), values);
        for (int p : positions())
            row.values.append(record[std::size_t(p)]);
        row.valid = true;
    } catch (const EngineError &e) {
        for (int i = 0; i < fields().size(); ++i) {
            try {
                row.values.append(RecordRules::converted(*layout.field(fields()[i]), values[i]));
            } catch (const EngineError &fault) {
                addProblem(row, fault.message());
                row.values.append(values[i]);
            }
        }
        addProblem(row, e.message());
    }
    const QDate due = given.value(QStringLiteral("Due Date")).toDate();
    if (due.isValid() && m_existing.contains(duplicateKey(source.description, due))) {
        row.duplicate = true;
        addProblem(row, tr("Likely a duplicate: an item with this payee and due date exists"));
    }
    row.ticked = row.valid && row.ruleMatched && row.problems.isEmpty();
    return row;
}

bool ImportPlan::build(const QList<SourceSchedule> &schedules, const ReadProgress &progress)
{
    m_rows.clear();
    m_rows.reserve(schedules.size());
    QSet<QString> seen;
    for (const SourceSchedule &source : schedules) {
        if (progress && m_rows.size() % ProgressStep == 0
            && !progress(int(m_rows.size() * 1000 / schedules.size())))
            return false;
        ImportRow row = rowFor(source);
        // The same schedule twice in one file is as likely a duplicate.
        if (source.nextDue.isValid()) {
            const QString key = duplicateKey(source.description, source.nextDue);
            if (seen.contains(key) && !row.duplicate) {
                row.duplicate = true;
                row.ticked = false;
                addProblem(row, tr("Likely a duplicate: the same payee and due date come earlier"));
            }
            seen.insert(key);
        }
        m_rows.append(std::move(row));
    }
    return true;
}

void ImportPlan::setTicked(int row, bool ticked)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].ticked = ticked && m_rows[row].canTick();
}

void ImportPlan::setAcceptNearest(int row, bool accept)
{
    if (row < 0 || row >= m_rows.size() || m_rows[row].ruleMatched)
        return;
    m_rows[row].acceptNearest = accept;
    m_rows[row].ticked = accept && m_rows[row].canTick();
}

int ImportPlan::tickedCount() const
{
    int n = 0;
    for (const ImportRow &row : m_rows)
        n += row.imported() ? 1 : 0;
    return n;
}

QString ImportPlan::commit(const ReadProgress &progress) const
{
    struct Cancelled
    {
    };

    int imported = 0;
    AttachedFile schedule(TableFiles::Schedule, WriteCacheKiB);
    try {
        inTransaction([&] {
            ItemInsert insert(schedule, fields());
            int done = 0;
            for (const ImportRow &row : m_rows) {
                if (progress && ++done % ProgressStep == 0
                    && !progress(int(qint64(done) * 1000 / m_rows.size())))
                    throw Cancelled();
                if (!row.imported())
                    continue;
                // The values passed the record rules when the row was made;
                // the insert checks the whole record again as it is written.
                insert.insert(row.values);
                ++imported;
            }
        });
    } catch (const Cancelled &) {
        return {};
    }
    return Import::summary(imported, int(m_rows.size()) - imported);
}

ImportPlan::Rule ImportPlan::matchRule(const QList<QDate> &occurrences, const QDate &endDate)
{
    if (occurrences.size() < 2)
        return { 0, OneTime, true };
    const QList<QDate> wanted = occurrences.mid(0, 12);
    Rule best;
    int bestSame = -1;
    qint64 bestOff = 0;
    for (Rule rule : candidates(wanted[0], wanted[1])) {
        const QList<QDate> got
            = ruleDates(wanted[0], rule.frequency, rule.units, endDate, wanted.size());
        if (got == wanted) {
            rule.exact = true;
            return rule;
        }
        int same = 0;
        qint64 off = 0;
        for (qsizetype i = 0; i < wanted.size(); ++i) {
            if (i < got.size() && got[i] == wanted[i])
                ++same;
            off += i < got.size() ? std::llabs(got[i].daysTo(wanted[i])) : 366;
        }
        if (bestSame < 0 || off < bestOff || (off == bestOff && same > bestSame)) {
            best = rule;
            bestSame = same;
            bestOff = off;
        }
    }
    if (bestSame < 0) // dates that do not move forward: nothing to go by
        return { 0, OneTime, false };
    return best;
}

QString Import::summary(int imported, int skipped)
{
    const QString items
        = imported == 1 ? tr("1 item imported") : tr("%1 items imported").arg(imported);
    return tr("%1, %2 skipped").arg(items).arg(skipped);
}
