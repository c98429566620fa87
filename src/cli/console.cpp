#include "console.h"

#include "commandline.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
bool stdoutClosed = false;

// Writes all of bytes; false with errno set when a write fails.
bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}
} // namespace

void Console::guardStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == 1)
            stdoutClosed = true;
        // open() takes the lowest free descriptor, which is this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0)
            ::close(opened);
    }
}

void Console::ignoreBrokenPipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

Console::Output::Output()
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 Console::Output::writeData(const char *data, qint64 size)
{
    if (size > 0 && m_failure == 0) {
        if (stdoutClosed)
            m_failure = EBADF;
        else if (!writeAll(STDOUT_FILENO, QByteArray::fromRawData(data, size)))
            m_failure = errno;
    }
    return size;
}

int Console::finish(int code, const Output &out, const QString &err)
{
    writeAll(STDERR_FILENO, err.toUtf8());
    if (out.failure() == 0)
        return code;
    writeAll(STDERR_FILENO,
        QStringLiteral("duesmith: cannot write the output: %1\n")
            .arg(QString::fromLocal8Bit(std::strerror(out.failure())))
            .toUtf8());
    return ExitCode::BadInput;
}
