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
// The values a blank record is given, field by field. warnDays is the
// default warning the options hold as typed; a text that is not a whole
// number throws EngineError.
QList<std::pair<QString, QVariant>> defaults(const QString &warnDays);
} // namespace NewItem
