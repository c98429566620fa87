#pragma once

#include <QString>

// The table files in the data folder, spelled as the program has always
// written them; lookups ignore case, so "schedule.db" finds the same file.
namespace TableFiles {
inline const QString Schedule = QStringLiteral("schedule.DB");
inline const QString History = QStringLiteral("history.DB");
// The work table of the payment cycle, the reminder and the copy command.
inline const QString Resched = QStringLiteral("resched.DB");
inline const QString Payee = QStringLiteral("payee.db");
inline const QString Aging = QStringLiteral("age.db");

// The empty tables shipped beside the program that new live tables are copied from.
inline const QString ScheduleTemplate = QStringLiteral("newsched.DB");
inline const QString AgingTemplate = QStringLiteral("newage.db");
inline const QString PayeeTemplate = QStringLiteral("newpayee.DB");

// The name of the due-date order every item table has.
inline const QString DueDateIndex = QStringLiteral("Due Date Index");
} // namespace TableFiles
