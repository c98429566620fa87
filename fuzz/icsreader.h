#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A small iCalendar reader to check the writer against: content lines
// unfolded (RFC 5545 3.1) and TEXT values unescaped (3.3.11).
namespace IcsReader {
struct Property
{
    QString name; // upper case as written, without parameters
    QString params; // ";VALUE=DATE" and the like, as written
    QString value; // raw
};
// The content lines of a file, or the fault that makes it no iCalendar text:
// a line not ending in CRLF, a physical line over 75 octets, bytes that are
// no UTF-8, a line without a name and colon.
std::optional<QList<Property>> read(const QByteArray &file, QString *fault);
// A TEXT value's text; empty for an escape the format does not have.
std::optional<QString> unescape(const QString &value);
} // namespace IcsReader
