#include "singleinstance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString &name)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    m_path = folder + QLatin1Char('/') + name + QStringLiteral(".lock");
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SingleInstance::tryLock()
{
    if (m_fd >= 0)
        return true;
    const int fd
        = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // the lock in the data folder still keeps a second program off it
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

FolderLock::FolderLock(const QString &folder)
    : m_path(QDir(folder).absoluteFilePath(fileName()))
{ }

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FolderLock::Result FolderLock::take()
{
    if (m_fd >= 0)
        return Result::Taken;
    const int fd = ::open(
        QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Unusable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return Result::Busy;
        m_error = QString::fromLocal8Bit(std::strerror(err));
        return Result::Unusable;
    }
    m_fd = fd;
    return Result::Taken;
}
