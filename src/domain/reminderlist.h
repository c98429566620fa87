#pragma once

#include <QDateTime>

class Table;

// The start-up list of items that are due, or within their own warning days.
namespace ReminderList {
// Empties the work table and copies into it, in due-date order, every item of
// the schedule whose due date is no later than today plus its warning days
// (an empty due date is always listed). Closes both handles; returns the
// number of items listed.
int build(Table *work, Table *schedule, const QDateTime &now);
} // namespace ReminderList
