#pragma once

#include <QString>

// Where the files the program ships with (help pages, template tables) are:
// beside the program when it runs from its build folder or an unpacked
// folder, otherwise in the installed share folder (../share/duesmith from bin/).
namespace InstallPaths {
// The folder of shipped files for a program in programFolder.
QString resourceFolder(const QString &programFolder);
// The same for this program.
QString resourceFolder();
} // namespace InstallPaths
