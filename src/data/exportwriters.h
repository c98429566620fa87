#pragma once

// Shared by the source files of the table export only.

#include "layouts.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace TableExport {
// Where a writer puts its files: temporary names in the destination's
// folder, and the names the user knows them by, for messages.
struct Target
{
    QString main; // temporary
    QString companion; // temporary; empty when the type has none
    QString shownMain;
    QString shownCompanion;
    QString tableName; // the destination's name without folder and extension
};

class Writer
{
public:
    virtual ~Writer() = default;
    virtual void begin(const QList<FieldDef> &fields, int records) = 0;
    // One value per field, in the order given to begin(); a null QVariant is blank.
    virtual void write(const std::vector<QVariant> &values) = 0;
    // Everything on disk (synced); throws on any failure.
    virtual void finish() = 0;
    int changed = 0; // texts the code page could not hold, written with "?"
    int blanked = 0; // numbers the format cannot hold, written blank
};

std::unique_ptr<Writer> paradoxWriter(const Target &target);
std::unique_ptr<Writer> dbaseWriter(const Target &target);
std::unique_ptr<Writer> textWriter(const Target &target);

// A new file written through a large buffer; every failure, the last flush
// and sync included, throws with the shown name and the system's reason.
class OutFile
{
public:
    OutFile(const QString &path, const QString &shownName);
    ~OutFile();
    OutFile(const OutFile &) = delete;
    OutFile &operator=(const OutFile &) = delete;

    void write(const char *data, qsizetype size);
    void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    void finish();

private:
    void flush();
    [[noreturn]] void fail(int error);

    int m_fd = -1;
    QString m_shown;
    QByteArray m_buffer;
};

// The text of a write failure: the file as the user named it, and why.
QString writeFailure(const QString &shownName, int error);
// The day number of a Paradox date: 1 January 0001 is day 1.
int paradoxDay(const QDate &date);
// An amount as plain decimal text with a point: exactly the stored value,
// at least two decimals; empty for a value that is not finite.
QByteArray plainAmount(double value, int minDecimals = 2);
} // namespace TableExport
