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
