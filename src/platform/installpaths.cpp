#include "installpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef DS_SHARE_FROM_BIN
#define DS_SHARE_FROM_BIN "../share/duesmith"
#endif

namespace {
bool holdsHelp(const QString &folder)
{
    return QFileInfo(QDir(folder).filePath(QStringLiteral("ds_help"))).isDir();
}
} // namespace

QString InstallPaths::resourceFolder(const QString &programFolder)
{
    if (holdsHelp(programFolder))
        return programFolder;
    const QString shared
        = QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral(DS_SHARE_FROM_BIN)));
    if (holdsHelp(shared))
        return shared;
    // Nothing shipped anywhere: pages and templates are reported missing beside the program.
    return programFolder;
}

QString InstallPaths::resourceFolder()
{
    return resourceFolder(QCoreApplication::applicationDirPath());
}

QString InstallPaths::documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents))
        return documents;
    return QDir::homePath();
}
