#pragma once

#include <QDate>

class Table;

// The two writes of the payment cycle, each one transaction over the files it
// touches, so an error or a crash at any moment leaves them as they were.
namespace PaymentRun {
struct Outcome
{
    int paid = 0;
    int continuing = 0; // next occurrences waiting in resched.DB
};

// Pays every marked record of the list, in the list's order: a history record
// with the process date, the next occurrence into resched.DB (emptied first),
// and the item leaves schedule.DB. The next occurrences carry the process date
// as the mark of a run whose occurrences are not yet written back.
Outcome pay(Table &list, const QDate &processDate);

// Appends every record of the work table, in the handle's order, to
// schedule.DB without payment mark or process date, and empties the work table.
int writeBack(Table &resched);

// Whether resched.DB holds the next occurrences of a paid run that were never
// written back (the program stopped while the reschedule screen was open).
bool hasPendingOccurrences();
} // namespace PaymentRun
