#pragma once

#include "commandline.h"

#include "domain/duelist.h"

#include <QDateTime>
#include <QList>
#include <QString>

class QTextStream;

// duesmith --due: the overdue and soon-due items of the data folder.
namespace DueReport {
// Reads the schedule of the working directory and writes the list to out in
// the format asked for, as it is read; problems go to err as one line.
// Returns the exit code. The table holds at most tableMemory bytes of its rows;
// a longer one reads the schedule twice.
constexpr qsizetype TableMemory = 8 * 1024 * 1024;
int run(const CommandLine &cmd, const QDateTime &now, QTextStream &out, QTextStream &err,
    qsizetype tableMemory = TableMemory);
// What is due in the working directory (overdue and within warning days, and
// within days when given); a folder without tables or a table that cannot be
// read is one line on err and nothing.
std::optional<QList<DueItem>> read(const QDateTime &now, std::optional<int> days, QTextStream &err);
} // namespace DueReport
