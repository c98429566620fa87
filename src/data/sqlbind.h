#pragma once

#include <QVariant>

namespace SQLite {
class Statement;
}

// Binds a field value in its stored form: empty as NULL, dates as ISO text.
void bindVariant(SQLite::Statement &stmt, int index, const QVariant &value);
