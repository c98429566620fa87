#pragma once

#include "layouts.h"

#include <QString>

#include <functional>

class Table;

// Copies the records of a table handle into a new table file of another
// kind: a Paradox table (.DB), a dBASE table (.DBF with its .CPG) or
// delimited text (.TXT with its .SCH schema). Every field of the handle is
// written under its own name, in the file's field order.
//
// The files are written under temporary names in the destination's folder and
// renamed into place only when complete, so a failed export leaves no partial
// file and keeps the file it was to replace.
namespace TableExport {
enum class Type { Paradox = 1, DBase = 2, Ascii = 3 };

// ".DB", ".DBF", ".TXT"
QString extension(Type type);
// The schema beside a text table and the code-page file beside a dBASE table;
// empty for Paradox.
QString companionFile(Type type, const QString &mainFile);
// The file a destination name stands for: a text table named ".SCH" is its
// ".TXT", and a name without an extension gets the type's.
QString mainFile(Type type, const QString &fileName);

struct Request
{
    QString fileName; // absolute
    Type type = Type::Paradox;
    int first = 0; // the row of the handle to start at
    int count = 0; // 0: every row from the first
};

// Called now and then with the records written so far; returning false
// cancels the export, which then leaves no file behind.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Result
{
    QString mainFile;
    int records = 0;
    // Text values that the Paradox or dBASE code page could not hold
    // exactly (characters written as "?").
    int changedValues = 0;
    // Numbers the format cannot store (a Paradox small integer of -32768),
    // written blank.
    int blankedValues = 0;
    bool cancelled = false; // by the progress callback: nothing was written
};

// Throws EngineError with a message for the user; nothing is left behind then.
// Memory stays the same whatever the number of records.
Result run(const Table &source, const Request &request, const Progress &progress = {});

// The dBASE names of a field list: at most ten letters, digits or
// underscores, unique regardless of case.
QStringList dbaseFieldNames(const QList<FieldDef> &fields);
} // namespace TableExport
