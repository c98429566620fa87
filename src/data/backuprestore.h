#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Copies of the user's own tables in a folder of the user's choice, and the
// way back. Live tables are named as in TableFiles; their copies in a backup
// folder are "schedule.db", "history.db" and "payee.db" (found regardless of
// case). Every failure throws EngineError with a message that names the table.
namespace BackupRestore {
// The name a live table's copy has in a backup folder.
QString backupName(const QString &liveFile);

// Work done so far out of the whole; called often during long steps.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Copies each live table into dir through the engine, first into a temporary
// file there that is checked (integrity, same record count); only when every
// copy passed are they renamed over the earlier ones. On failure no earlier
// copy has been touched and no temporary file is left.
void backup(const QStringList &liveFiles, const QString &dir, const Progress &progress = {});

// Checks that every copy in dir can be restored into its live table without
// changing anything: the folder is not the data folder, each copy exists, is a
// readable table and has only fields the live table has. Throws naming the copy.
void checkSource(const QStringList &liveFiles, const QString &dir);

// Replaces the records of each live table by those of its copy in dir, all in
// one transaction: matched by field name, with new keys and no payment mark.
// Runs checkSource() first. Handles on the live tables must be closed.
void restore(const QStringList &liveFiles, const QString &dir, const Progress &progress = {});
} // namespace BackupRestore
