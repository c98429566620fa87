#pragma once

#include "money.h"

#include <QString>

#include <array>
#include <string>

struct sqlite3;

// The statements of the aging summary: the bucket sums over the schedule and
// the amounts of the three rows of age.db.
namespace AgingStatements {
// Amount k (0..5) of row order (0 income, 1 expense, 2 total) at 3k + order.
using Amounts = std::array<Money, 18>;

// Exact sums of the expense and the income of the schedule file in five
// due-date buckets: expense 0..4, then income 0..4. The bucket ends
// are ISO dates; an empty due date counts in the first bucket.
std::array<Money, 10> bucketSums(const QString &scheduleFile, const std::string (&ends)[4]);

// Sets the amounts of the three rows of the aging file by one statement:
// atomic by itself, and a commit of that file alone. Each is stored exactly
// (bindMoney), whatever its size: these are sums, not entered values.
void setAmounts(const QString &ageFile, const Amounts &amounts);

// A connection of its own to an aging file, for a thread that writes the
// amounts while the program's connection goes on; no exceptions.
class OwnConnection
{
public:
    OwnConnection() = default;
    ~OwnConnection();
    OwnConnection(const OwnConnection &) = delete;
    OwnConnection &operator=(const OwnConnection &) = delete;

    // Opens the file (again when it is another one) with the given PRAGMA
    // statements and sets the amounts; false when anything failed.
    bool setAmounts(const std::string &path, const std::string &pragmas, const Amounts &amounts);

private:
    sqlite3 *m_db = nullptr;
    std::string m_path;
};
} // namespace AgingStatements
