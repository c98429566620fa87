#pragma once

#include <QVariant>

#include <memory>
#include <string>

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

// Binds a field value in its stored form: empty as NULL, dates as ISO text.
void bindVariant(SQLite::Statement &stmt, int index, const QVariant &value);

// An amount in ten-thousandths, rounded half away from zero: money is summed
// exactly in this form.
qint64 fixedMoney(double amount);

// Prepares a statement that may use ds_fixed4(x), the SQL form of fixedMoney
// (NULL stays NULL), making the function known on the connection when needed.
std::unique_ptr<SQLite::Statement> prepareWithMoney(SQLite::Database &db, const std::string &sql);
