#pragma once

#include "itemrecord.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

// The scheduled items that are due or soon due, chosen as the start-up
// reminder chooses them, read from the schedule file without writing anything.
struct DueItem
{
    qint64 key = 0;
    ItemRecord record; // Due Date, Description, both amounts and Warning Days
    // Days from today to the due date (negative when past); none without a date.
    std::optional<qint64> daysLeft;
    // Due today or earlier, or without a due date: the "Past Due" of the aging.
    bool pastDue = false;
    // Stored values that do not fit their fields; such a value reads as empty.
    QStringList problems;
};

namespace DueList {
// Listed when the due date is no later than today plus the warning days; an
// empty due date is always listed, and so is a record with a bad value.
bool lists(const QVariant &dueDate, int warningDays, const QDate &today);

// Every listed item of the schedule in the working directory, in due-date
// order, each given to take as it is read. With days, that many days stand
// for every item's own warning days. Throws EngineError when the schedule
// cannot be read.
void scan(const QDateTime &now, std::optional<int> days,
    const std::function<void(const DueItem &)> &take);
// All of them at once.
QList<DueItem> read(const QDateTime &now, std::optional<int> days);
} // namespace DueList
