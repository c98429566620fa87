#pragma once

#include <QFile>
#include <QString>

#include <functional>
#include <vector>

// Every file the program writes for the user (exports, reports, calendars,
// backups) goes through here. The program's own files in the data folder (the
// tables, their journals, the folder lock and the session) are never written,
// whatever name or link leads to them. A file is written under a temporary
// name in its destination's folder and renamed over the destination only when
// complete and synced; what a killed write left in that folder is removed by
// the next write there.
namespace Destination {
// Why the program must not write path; empty when it may.
QString refusal(const QString &path);
// Throws EngineError with the refusal.
void check(const QString &path);
// Removes the temporary files of writes into folder that no longer run.
void clearLeftovers(const QString &folder);
// Writes one file: fill writes the content to the device it is given.
// Throws EngineError; the destination is unchanged then.
void write(const QString &path, const std::function<void(QIODevice &)> &fill);
} // namespace Destination

// One file being written through the guard. Throws EngineError (the refusal,
// or why the temporary file cannot be made); the temporary file is removed
// again unless committed.
class DestinationFile
{
public:
    // tempSuffix: for libraries that insist on their own extension.
    explicit DestinationFile(
        const QString &path, const QString &tempSuffix = QStringLiteral(".tmp"));
    ~DestinationFile();
    DestinationFile(const DestinationFile &) = delete;
    DestinationFile &operator=(const DestinationFile &) = delete;

    // Where the file goes: a link's target when the destination is a link.
    const QString &path() const { return m_path; }
    const QString &tempPath() const { return m_temp; }
    // The temporary file, open for writing; writers that open it by name
    // need not use it.
    QFile &device() { return m_file; }

    // Syncs the temporary file and renames it into place.
    void commit();
    // Renames files into place in order: all of them, or, on a failure, none
    // (the files they replace are put back).
    static void commitAll(const std::vector<DestinationFile *> &files);

private:
    void sync();

    QString m_path;
    QString m_temp;
    QFile m_file;
    bool m_committed = false;
};
