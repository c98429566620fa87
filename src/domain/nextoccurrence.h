#pragma once

#include "itemrecord.h"

#include <optional>

// The occurrence that follows a paid item, or nothing when the item ends: it
// does not repeat, or its next due date passes its end date. The new due date
// counts from the paid occurrence's own due date; the balance is reduced by
// the amount paid and the amount starts again from the budget. Pay Date,
// Process Date and PayNow are left empty. A repeating item without a due
// date, or one whose next due date would leave the years 1 to 9999,
// continues with an empty due date for the user to fill in.
std::optional<ItemRecord> NextOccurrence(const ItemRecord &paid);
