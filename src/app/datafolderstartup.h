#pragma once

#include <memory>

class FolderLock;

// Makes the working folder ready for the main window: writable, locked for
// this program, the tables of a first run provided, missing or damaged tables
// refused or recreated, upgraded, and every table checked against its layout.
// Holds the folder lock for as long as it lives.
class DataFolderStartup
{
public:
    DataFolderStartup();
    ~DataFolderStartup();
    DataFolderStartup(const DataFolderStartup &) = delete;
    DataFolderStartup &operator=(const DataFolderStartup &) = delete;

    // Runs every step in order; throws EngineError with the message to show
    // at the first problem, leaving the folder as that step found it.
    void prepare();

private:
    void lockFolder();

    std::unique_ptr<FolderLock> m_lock;
};
