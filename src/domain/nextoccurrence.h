#pragma once

#include "itemrecord.h"

#include <QDate>

#include <optional>

// The occurrence that follows a paid item, or nothing when the item ends: it
// does not repeat, or its next due date passes its end date. The new due date
// counts from the paid occurrence's own due date; the balance is reduced by
// the amount paid and the amount starts again from the budget. Pay Date,
// Process Date and PayNow are left empty. A repeating item without a due
// date, or one whose next due date would leave the years 1 to 9999,
// continues with an empty due date for the user to fill in.
std::optional<ItemRecord> NextOccurrence(const ItemRecord &paid);

// The part of a record the rule reads and changes, in plain values, so that a
// long projection need not go through the record's variants at every step.
// NextOccurrence is this step applied to a record.
struct Recurrence
{
    enum class Unit : quint8 { Days, Weeks, HalfMonths, Months, Years, Other };

    qint64 frequency = 0; // 0: does not repeat
    Unit unit = Unit::Other;
    QDate due; // invalid when empty
    QDate end;
    std::optional<double> bill; // empty when empty or not a number
    std::optional<double> pay;
    std::optional<double> balance;
    std::optional<double> budget;

    static Recurrence of(const ItemRecord &record);
    // The cycle after this one is paid, or nothing when the item ends.
    std::optional<Recurrence> next() const;
    // The record of this cycle, a later one of the stored record: what paying
    // each cycle in turn by NextOccurrence would give.
    ItemRecord laterCycleOf(const ItemRecord &stored) const;
};
