#pragma once

#include <QString>

// Keeps a second copy of the program from starting. The lock is an flock on a
// file in the user's runtime folder: the kernel drops it when the holder dies,
// so a killed process never blocks the next start.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &name);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // false when another process holds the lock
    bool tryLock();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};

// Keeps a second program off one data folder, whatever its runtime folder:
// an flock on a file in the data folder itself, held for the life of the
// program. The kernel drops it when the holder dies, so the lock of a killed
// process is taken over.
class FolderLock
{
public:
    enum class Result { Taken, Busy, Unusable };

    explicit FolderLock(const QString &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    Result take();
    // Why the lock file could not be used, after Unusable.
    QString error() const { return m_error; }
    QString lockPath() const { return m_path; }
    static QString fileName() { return QStringLiteral(".duesmith-lock"); }

private:
    QString m_path;
    QString m_error;
    int m_fd = -1;
};
