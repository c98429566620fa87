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
// Where a "save as" proposes to save the first time: the user's Documents folder,
// made when it is missing (the home folder when it cannot be made).
QString documentsFolder();
} // namespace InstallPaths
