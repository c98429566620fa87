#pragma once

#include <QDateTime>

class QTextStream;

// duesmith --notify: one desktop notification of what is overdue or within
// its warning days in the data folder; nothing when nothing is.
namespace DueNotify {
// Reads the schedule of the working directory without writing anything and
// sends the notification on the session bus. While the notification is shown
// the program waits (at most `wait` milliseconds) for "Open Duesmith", which
// starts the window on the same folder. Problems go to err as one line.
// Returns the exit code.
int run(const QDateTime &now, QTextStream &out, QTextStream &err, int wait = 8 * 3600 * 1000);
} // namespace DueNotify
