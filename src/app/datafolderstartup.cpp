#include "datafolderstartup.h"

#include "data/datafolder.h"
#include "data/engineerror.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "data/upgrade.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"
#include "platform/singleinstance.h"

#include <QDir>
#include <QFileInfo>

DataFolderStartup::DataFolderStartup() = default;

DataFolderStartup::~DataFolderStartup() = default;

void DataFolderStartup::prepare()
{
    const QFileInfo folder(QDir::currentPath());
    if (!folder.isWritable())
        throw EngineError(
            QStringLiteral("The folder %1 cannot be written. Duesmith keeps its tables "
                           "there; start it from a folder you can write to.")
                .arg(QDir::toNativeSeparators(folder.absoluteFilePath())));
    // One program per data folder, and nothing read before the lock is held.
    lockFolder();
    const DataFolder::Plan plan = DataFolder::check();
    DataFolder::prepare(
        plan, Help::programFolder(), [](const QString &text) { Messages::current().inform(text); });
    Upgrade::stepA();
    Upgrade::Hooks hooks;
    hooks.announce = [] {
        Messages::current().inform(
            QStringLiteral("Your Duesmith database will now be updated to the latest version."));
    };
    hooks.setBusy = [](bool on) { BusyPointer::set(on); };
    Upgrade::stepB(hooks);
    {
        // The last step needs the work table to itself.
        Table resched(TableFiles::Resched);
        resched.setExclusive(true);
        resched.open();
        Upgrade::stepC();
    }

    // Every table must be readable and of its layout before anything is shown.
    DataFolder::finish();
}

void DataFolderStartup::lockFolder()
{
    m_lock = std::make_unique<FolderLock>(QDir::currentPath());
    switch (m_lock->take()) {
    case FolderLock::Result::Taken:
        break;
    case FolderLock::Result::Busy:
        throw EngineError(
            QStringLiteral("Duesmith is already running with the tables in the folder "
                           "%1. Use that window, or close it before starting Duesmith again.")
                .arg(QDir::toNativeSeparators(QDir::currentPath())));
    case FolderLock::Result::Unusable:
        throw EngineError(
            QStringLiteral("Duesmith cannot lock the folder %1 (%2: %3), so it cannot make "
                           "sure that no other Duesmith uses the same tables.")
                .arg(QDir::toNativeSeparators(QDir::currentPath()), FolderLock::fileName(),
                    m_lock->error()));
    }
}
