#pragma once

#include "sourceschedule.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

// One schedule of the source as the item it would become, with what stands
// in its way. Rows that do not pass the record rules can never be ticked.
struct ImportRow
{
    int record = 0;
    // In the order of ImportPlan::fields().
    QVariantList values;
    QStringList problems;
    // The source's rule as it stated it, for the preview.
    QString sourceRule;
    // The stored record passes the record rules.
    bool valid = false;
    // The item's rule gives the source's own dates; otherwise the values carry
    // the nearest rule and the row waits for the user to accept it.
    bool ruleMatched = true;
    bool acceptNearest = false;
    bool duplicate = false;
    bool ticked = false;

    bool canTick() const { return valid && (ruleMatched || acceptNearest); }
    bool imported() const { return ticked && canTick(); }
};

// The import seen before anything is written: every schedule of the source as
// an item with its problems, and the one write of the ticked rows.
class ImportPlan
{
public:
    // The item fields an import fills, in the order of the lists.
    static const QStringList &fields();

    // Reads the descriptions and due dates of schedule.DB to spot likely duplicates.
    void loadExisting();
    // Builds the rows; a row with no problem starts ticked. progress (0..1000)
    // may cancel, then returns false and the plan holds what was built so far.
    bool build(const QList<SourceSchedule> &schedules, const ReadProgress &progress = {});

    const QList<ImportRow> &rows() const { return m_rows; }
    void setTicked(int row, bool ticked);
    void setAcceptNearest(int row, bool accept);
    int tickedCount() const;

    // Writes every ticked row into schedule.DB in one transaction: all or
    // none. Returns the summary ("24 items imported, 2 skipped"); throws
    // EngineError, with nothing written, when any row is refused or the write
    // fails, and returns an empty text when progress cancelled it.
    QString commit(const ReadProgress &progress = {}) const;

    // One row as the plan makes it (public for the rule tests and the preview).
    ImportRow rowFor(const SourceSchedule &source) const;

    // The item rule (frequency, units) whose dates from occurrences.first()
    // are occurrences, or the nearest one when none is. Units empty when the
    // occurrences give no rule at all.
    struct Rule
    {
        int frequency = 0;
        QString units;
        bool exact = false;
    };
    static Rule matchRule(const QList<QDate> &occurrences, const QDate &endDate);

private:
    QSet<QString> m_existing; // description (folded) and ISO due date
    QList<ImportRow> m_rows;
};

namespace Import {
// "24 items imported, 2 skipped".
QString summary(int imported, int skipped);
} // namespace Import
