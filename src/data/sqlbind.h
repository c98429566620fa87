#pragma once

#include <QVariant>

#include <memory>
#include <optional>
#include <string>

class Money;
struct sqlite3_stmt;
struct sqlite3_value;

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

// Binds a field value in its stored form: empty as NULL, dates as ISO text.
void bindVariant(SQLite::Statement &stmt, int index, const QVariant &value);

// An exact amount in its stored form: a double when one is exactly the
// amount, otherwise its decimal text as a BLOB (text in a money column would
// be turned into an inexact number). Returns SQLite's result code.
int bindMoney(sqlite3_stmt *stmt, int index, const Money &amount);
// A money column's value: a double as stored, or the exact amount (Money)
// that a BLOB or text holds.
QVariant moneyColumn(sqlite3_stmt *stmt, int column);

// A stored value as ds_sum4(x) counts it: a number within the amounts'
// bound; anything else (text, infinite, out of bound) counts as nothing.
std::optional<Money> summedAmount(sqlite3_value *value);

// Prepares a statement that may use ds_sum4(x), the exact sum of amounts
// (NULL when none; otherwise its decimal text as a BLOB, which Query reads as
// Money), making the function known on the connection when needed.
std::unique_ptr<SQLite::Statement> prepareWithMoney(SQLite::Database &db, const std::string &sql);
