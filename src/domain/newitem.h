#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>

// What a new item record starts with.
namespace NewItem {
// A new record still takes its defaults while none of these holds a value.
const QStringList &blankFields();
// The values a blank record is given, field by field, with the options'
// default warning days.
QList<std::pair<QString, QVariant>> defaults(int warnDays);
} // namespace NewItem
