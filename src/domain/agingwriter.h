#pragma once

#include "aging.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Table;

namespace Aging {
// Replaces the rows of the aging table by Income, Expense and Total.
void write(Table *ageTable, const Sums &sums);

// Writes the amounts of the aging rows on a thread of its own, so the durable
// commit of a second file does not hold up the window after every save. The
// rows must be in place (as write() leaves them); the latest sums win.
class Writer
{
public:
    Writer();
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Queues the sums for the aging table file; pragmas give its journal and sync settings.
    void post(const QString &path, const std::string &pragmas, const Sums &sums);
    // Waits until everything queued is on file; false when a write failed
    // (the rows on file are then not the sums: write them again).
    bool flush();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_pending = false;
    bool m_busy = false;
    bool m_stop = false;
    bool m_failed = false;
    std::string m_path;
    std::string m_pragmas;
    Sums m_sums;
    std::thread m_thread; // last: it starts once everything above is in place
};
} // namespace Aging
