#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The start-up checks of the data folder (the working directory), and the work
// that makes it ready. check() only reads: when it refuses, no file in the
// folder has changed.
namespace DataFolder {
// The folder used when none is named: $XDG_DATA_HOME/duesmith, or
// ~/.local/share/duesmith when that is unset or not an absolute path.
QString defaultPath();

// The five live tables, under the names the program creates them with.
const QStringList &liveTables();

struct Plan
{
    bool firstRun = false; // none of the five tables is there
    QStringList missing; // auxiliary tables to create empty
    bool replaceSession = false; // the session file is not a database
};

// Throws an EngineError naming the file or folder when the folder must not be used.
Plan check();
// First run: copies the templates in for the upgrade to turn into tables.
// Otherwise creates each missing auxiliary table empty with its layout (the
// user is told once when it is the history) and replaces a damaged session file.
void prepare(const Plan &plan, const QString &programFolder,
    const std::function<void(const QString &)> &notice);
// After the upgrade: checks every table's layout and rebuilds the indexes
// that are missing or differ.
void finish();
} // namespace DataFolder
