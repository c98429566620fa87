#include "tableexport.h"
#include "exportwriters.h"

#include "destination.h"
#include "engineerror.h"
#include "table.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace TableExport {
namespace {
constexpr int ProgressEvery = 64;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool hasUpperSuffix(const QString &file)
{
    const QString suffix = QFileInfo(file).suffix();
    return suffix.isEmpty() || suffix != suffix.toLower();
}

QString withSuffix(const QString &file, const QString &suffix)
{
    const QFileInfo info(file);
    const QString name = info.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    return info.dir().filePath(base + suffix);
}

// Refuses a destination that cannot be written before anything is made.
void checkDestination(const QString &main, const QString &companion)
{
    for (const QString &file : { main, companion })
        Destination::check(file);
    const QFileInfo info(main);
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists() || !folder.isDir())
        throw EngineError(
            QStringLiteral("The folder %1 does not exist.").arg(native(info.absolutePath())));
    for (const QString &file : { main, companion }) {
        if (!file.isEmpty() && QFileInfo(file).isDir())
            throw EngineError(QStringLiteral("%1 is a folder. Choose a file name for the table.")
                                  .arg(native(file)));
    }
}

// The destination's files under temporary names until commit(); whatever is
// not committed is removed again.
class FileSet
{
public:
    FileSet(Type type, const QString &main, const QString &companion)
        : m_main(main, type == Type::DBase ? QStringLiteral(".dbf") : QStringLiteral(".tmp"))
    {
        if (!companion.isEmpty())
            m_companion = std::make_unique<DestinationFile>(companion);
    }

    Target target(const QString &tableName) const
    {
        return { m_main.tempPath(), m_companion ? m_companion->tempPath() : QString(),
            native(m_main.path()), m_companion ? native(m_companion->path()) : QString(),
            tableName };
    }

    // The companion goes in first and the main file last: whenever the new
    // main file can be seen, its companion is already beside it.
    void commit()
    {
        if (m_companion)
            DestinationFile::commitAll({ m_companion.get(), &m_main });
        else
            m_main.commit();
    }

private:
    DestinationFile m_main;
    std::unique_ptr<DestinationFile> m_companion;
};
} // namespace

QString extension(Type type)
{
    switch (type) {
    case Type::Paradox:
        return QStringLiteral(".DB");
    case Type::DBase:
        return QStringLiteral(".DBF");
    case Type::Ascii:
        return QStringLiteral(".TXT");
    }
    return {};
}

QString mainFile(Type type, const QString &fileName)
{
    const QFileInfo info(fileName);
    if (info.suffix().isEmpty() || info.fileName().startsWith(QLatin1Char('.')))
        return fileName + extension(type);
    if (type == Type::Ascii
        && info.suffix().compare(QLatin1String("SCH"), Qt::CaseInsensitive) == 0)
        return withSuffix(
            fileName, hasUpperSuffix(fileName) ? QStringLiteral(".TXT") : QStringLiteral(".txt"));
    return fileName;
}

QString companionFile(Type type, const QString &mainFile)
{
    const bool upper = hasUpperSuffix(mainFile);
    switch (type) {
    case Type::Paradox:
        return {};
    case Type::DBase:
        return withSuffix(mainFile, upper ? QStringLiteral(".CPG") : QStringLiteral(".cpg"));
    case Type::Ascii:
        return withSuffix(mainFile, upper ? QStringLiteral(".SCH") : QStringLiteral(".sch"));
    }
    return {};
}

Result run(const Table &source, const Request &request, const Progress &progress)
{
    if (!source.isOpen())
        throw EngineError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const QString main = mainFile(request.type, QFileInfo(request.fileName).absoluteFilePath());
    const QString companion = companionFile(request.type, main);
    checkDestination(main, companion);

    const int total = source.recordCount();
    const int first = std::clamp(request.first, 0, total);
    int records = total - first;
    if (request.count > 0)
        records = std::min(records, request.count);

    FileSet files(request.type, main, companion);
    const Target target = files.target(QFileInfo(main).completeBaseName());
    std::unique_ptr<Writer> writer = request.type == Type::Paradox ? paradoxWriter(target)
        : request.type == Type::DBase                              ? dbaseWriter(target)
                                                                   : textWriter(target);
    const QList<FieldDef> &fields = source.fields();
    writer->begin(fields, records);
    std::vector<QVariant> values(fields.size());
    for (int row = first; row < first + records; ++row) {
        if ((row - first) % ProgressEvery == 0 && progress) {
            if (!progress(row - first, records))
                return { main, 0, 0, 0, true };
            // The callback lets the program's events run; none may change
            // the rows under the export.
            if (!source.isOpen() || source.recordCount() != total)
                throw EngineError(QStringLiteral("The table changed while it was being "
                                                 "exported; %1 was not written.")
                                      .arg(native(main)));
        }
        for (int f = 0; f < fields.size(); ++f)
            values[f] = source.rowValue(row, f);
        writer->write(values);
    }
    writer->finish();
    files.commit();
    return { main, records, writer->changed, writer->blanked };
}

QStringList dbaseFieldNames(const QList<FieldDef> &fields)
{
    QStringList names;
    for (const FieldDef &field : fields) {
        QString name;
        for (QChar c : field.name)
            name.append(c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('_'))
                    ? c
                    : QLatin1Char('_'));
        if (name.isEmpty() || !name[0].isLetter())
            name.prepend(QLatin1Char('F'));
        // Long names lose their separators before they lose letters:
        // "User Field 1" becomes UserField1, "Bill Amount" BillAmount.
        if (name.size() > 10)
            name.remove(QLatin1Char('_'));
        name.truncate(10);
        auto taken = [&names](const QString &n) {
            return std::any_of(names.begin(), names.end(),
                [&n](const QString &o) { return o.compare(n, Qt::CaseInsensitive) == 0; });
        };
        for (int i = 2; taken(name); ++i) {
            const QString number = QString::number(i);
            name = name.left(10 - number.size()) + number;
        }
        names.append(name);
    }
    return names;
}

// ---- shared helpers of the writers

QString writeFailure(const QString &shownName, int error)
{
    return QStringLiteral("Cannot write %1: %2").arg(shownName, systemReason(error));
}

int paradoxDay(const QDate &date)
{
    return int(date.toJulianDay() - 1721425);
}

QByteArray plainAmount(double value, int minDecimals)
{
    if (!std::isfinite(value))
        return {};
    // The shortest decimal that reads back as the stored double: the amount
    // as it was entered, never shifted by arithmetic on it. -0 is 0.
    char buffer[400];
    const auto end = std::to_chars(
        buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value, std::chars_format::fixed)
                         .ptr;
    QByteArray text(buffer, end - buffer);
    qsizetype decimals = text.contains('.') ? text.size() - text.indexOf('.') - 1 : 0;
    if (decimals == 0 && minDecimals > 0)
        text.append('.');
    for (; decimals < minDecimals; ++decimals)
        text.append('0');
    return text;
}

OutFile::OutFile(const QString &path, const QString &shownName)
    : m_shown(shownName)
{
    m_fd = ::open(
        QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int error = errno;
        throw EngineError(
            QStringLiteral("Cannot create %1: %2").arg(shownName, systemReason(error)));
    }
    m_buffer.reserve(1 << 20);
}

OutFile::~OutFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void OutFile::write(const char *data, qsizetype size)
{
    if (m_buffer.size() + size > (1 << 20))
        flush();
    if (size >= (1 << 20)) {
        m_buffer.append(data, size);
        flush();
        return;
    }
    m_buffer.append(data, size);
}

void OutFile::flush()
{
    const char *p = m_buffer.constData();
    qsizetype left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        p += n;
        left -= n;
    }
    m_buffer.clear();
}

void OutFile::finish()
{
    flush();
    if (::fsync(m_fd) != 0)
        fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        fail(errno);
}

void OutFile::fail(int error)
{
    throw EngineError(writeFailure(m_shown, error));
}
} // namespace TableExport
