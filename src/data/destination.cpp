#include "destination.h"

#include "engine.h"
#include "engineerror.h"
#include "tablefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

EngineError failure(const QString &what, const QString &path, int error)
{
    return EngineError(QStringLiteral("%1 %2: %3").arg(what, native(path), reason(error)));
}

// The file a write to path would change: links followed, the folder canonical.
QString finalPath(const QString &path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo link(p);
        if (!link.isSymLink())
            break;
        const QString next = link.symLinkTarget();
        if (next.isEmpty())
            break;
        p = next;
    }
    const QFileInfo info(p);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(p) : QDir(folder).filePath(info.fileName());
}

bool sameFolder(const QString &a, const QString &b)
{
    struct stat sa
    {
    }, sb{};
    return ::stat(encoded(a).constData(), &sa) == 0 && ::stat(encoded(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// What a file of the data folder is to the program, for the refusal; empty
// for a file that is not the program's own.
QString ownFile(const QString &name)
{
    static const QString tables[] = { TableFiles::Schedule, TableFiles::History,
        TableFiles::Resched, TableFiles::Payee, TableFiles::Aging };
    // The files SQLite keeps beside a table: writing over a hot journal
    // would corrupt the table when it is next opened.
    static const QString beside[]
        = { QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm") };
    const auto is
        = [&name](const QString &own) { return name.compare(own, Qt::CaseInsensitive) == 0; };
    for (const QString &table : tables) {
        if (is(table))
            return QStringLiteral("one of the tables Duesmith is working with");
        for (const QString &suffix : beside)
            if (is(table + suffix))
                return QStringLiteral("the journal of a table Duesmith is working with");
    }
    if (is(QStringLiteral(".duesmith-lock")))
        return QStringLiteral("the lock that keeps a second Duesmith out of its data folder");
    for (const QString &suffix : { QString(), QStringLiteral("-journal") })
        if (is(Engine::sessionFileName() + suffix))
            return QStringLiteral("the session file of Duesmith's data folder");
    return {};
}

// The program's temporary names: "~duesmith-" and eight hex digits, and
// the names earlier versions gave their backup copies and exports.
bool isTemporaryName(const QString &name)
{
    static const QRegularExpression ours(
        QStringLiteral("^~duesmith-(export-)?[0-9a-f]{8}\\.[A-Za-z0-9.]+$"));
    static const QRegularExpression backupPart(
        QStringLiteral("^\\.(schedule|history|payee)\\.db\\.part$"),
        QRegularExpression::CaseInsensitiveOption);
    return ours.match(name).hasMatch() || backupPart.match(name).hasMatch();
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

QString Destination::refusal(const QString &path)
{
    if (path.trimmed().isEmpty())
        return {};
    const QFileInfo given(QFileInfo(path).absoluteFilePath());
    const QString target = finalPath(given.absoluteFilePath());
    const QFileInfo info(target);
    if (!sameFolder(info.absolutePath(), QDir::currentPath()))
        return {};
    const QString what = ownFile(info.fileName());
    if (what.isEmpty())
        return {};
    const bool direct = given.fileName() == info.fileName()
        && sameFolder(given.absolutePath(), info.absolutePath());
    const QString shown = native(given.absoluteFilePath());
    return (direct ? QStringLiteral("%1 is %3.").arg(shown, what)
                   : QStringLiteral("%1 leads to %2, %3.").arg(shown, native(target), what))
        + QStringLiteral(" Choose another name or folder.");
}

void Destination::check(const QString &path)
{
    const QString why = refusal(path);
    if (!why.isEmpty())
        throw EngineError(why);
}

void Destination::clearLeftovers(const QString &folder)
{
    const QDir dir(folder);
    const QStringList names
        = dir.entryList({ QStringLiteral("~duesmith-*"), QStringLiteral(".*.part") },
            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (!isTemporaryName(name))
            continue;
        const QByteArray file = encoded(dir.filePath(name));
        const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st
        {
        };
        // A write in progress holds its temporary file locked; a killed one no longer does.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(file.constData());
        ::close(fd);
    }
}

void Destination::write(const QString &path, const std::function<void(QIODevice &)> &fill)
{
    DestinationFile file(path);
    fill(file.device());
    file.commit();
}

DestinationFile::DestinationFile(const QString &path, const QString &tempSuffix)
{
    Destination::check(path);
    m_path = finalPath(path);
    const QDir folder = QFileInfo(m_path).dir();
    Destination::clearLeftovers(folder.path());
    struct stat existing
    {
    };
    const bool replaces
        = ::stat(encoded(m_path).constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // No dot in the stem: the dBASE library replaces everything after one.
        const QString temp = folder.filePath(
            QStringLiteral("~duesmith-%1")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
            + tempSuffix);
        const QByteArray name = encoded(temp);
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw failure(QStringLiteral("Cannot create"), m_path, errno);
        }
        // Locked, so that a write into the same folder by another program
        // never takes it for a leftover; the name must still be ours then.
        struct stat opened
        {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0
            || ::stat(name.constData(), &named) != 0 || opened.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        if (replaces)
            ::fchmod(fd, existing.st_mode & 07777);
        m_temp = temp;
        m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
        return;
    }
    throw EngineError(
        QStringLiteral("Cannot create a temporary file in %1.").arg(native(folder.path())));
}

DestinationFile::~DestinationFile()
{
    if (!m_committed && !m_temp.isEmpty())
        ::unlink(encoded(m_temp).constData());
    m_file.close();
}

void DestinationFile::sync()
{
    if (m_file.error() != QFileDevice::NoError || !m_file.flush())
        throw EngineError(
            QStringLiteral("Cannot write %1: %2").arg(native(m_path), m_file.errorString()));
    if (::fsync(m_file.handle()) != 0)
        throw failure(QStringLiteral("Cannot write"), m_path, errno);
}

void DestinationFile::commit()
{
    commitAll({ this });
}

void DestinationFile::commitAll(const std::vector<DestinationFile *> &files)
{
    for (DestinationFile *file : files)
        file->sync();
    struct Done
    {
        DestinationFile *file;
        QString saved; // the file it replaced, under a second name
    };
    std::vector<Done> done;
    const auto undo = [&done] {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            const QByteArray path = encoded(it->file->m_path);
            if (it->saved.isEmpty())
                ::unlink(path.constData());
            else
                ::rename(encoded(it->saved).constData(), path.constData());
        }
    };
    for (DestinationFile *file : files) {
        const QByteArray path = encoded(file->m_path);
        QString saved;
        // One file replaces its predecessor in one step; a set keeps each
        // predecessor until the whole set is in place.
        if (files.size() > 1 && QFileInfo::exists(file->m_path)) {
            saved = file->m_temp + QStringLiteral(".old");
            ::unlink(encoded(saved).constData());
            if (::link(path.constData(), encoded(saved).constData()) != 0
                && !QFile::copy(file->m_path, saved)) {
                const int error = errno;
                undo();
                throw failure(QStringLiteral("Cannot write"), file->m_path, error);
            }
        }
        if (::rename(encoded(file->m_temp).constData(), path.constData()) != 0) {
            const int error = errno;
            if (!saved.isEmpty())
                ::unlink(encoded(saved).constData());
            undo();
            throw failure(QStringLiteral("Cannot write"), file->m_path, error);
        }
        done.push_back({ file, saved });
    }
    QSet<QString> folders;
    for (const Done &d : done) {
        if (!d.saved.isEmpty())
            ::unlink(encoded(d.saved).constData());
        d.file->m_committed = true;
        d.file->m_file.close();
        folders.insert(QFileInfo(d.file->m_path).absolutePath());
    }
    for (const QString &folder : std::as_const(folders))
        syncFolder(folder);
}
