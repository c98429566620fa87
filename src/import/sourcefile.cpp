#include "sourceschedule.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("SourceFile", text);
}

bool isGzip(const QByteArray &bytes)
{
    return bytes.size() >= 2 && uchar(bytes[0]) == 0x1f && uchar(bytes[1]) == 0x8b;
}
} // namespace

namespace SourceFile {
QByteArray unpacked(const QByteArray &bytes, QString *error, qint64 maxBytes)
{
    if (!isGzip(bytes))
        return bytes;
    z_stream z{};
    // 16 + MAX_WBITS: a gzip header and trailer, not zlib's own.
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        *error = tr("The file cannot be unpacked.");
        return {};
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    QByteArray out;
    int status = Z_OK;
    char chunk[64 * 1024];
    while (status != Z_STREAM_END) {
        z.next_out = reinterpret_cast<Bytef *>(chunk);
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            inflateEnd(&z);
            *error = tr("The file is damaged: its compressed data cannot be read.");
            return {};
        }
        out.append(chunk, qsizetype(sizeof chunk - z.avail_out));
        if (out.size() > maxBytes) {
            inflateEnd(&z);
            *error = tr("The file is too large to import.");
            return {};
        }
        if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
            // Input ran out before the end of the stream: a cut-off file.
            inflateEnd(&z);
            *error = tr("The file is damaged: it ends before its compressed data does.");
            return {};
        }
    }
    inflateEnd(&z);
    return out;
}

QByteArray read(const QString &path, QString *error, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("%1 cannot be opened: %2").arg(QFileInfo(path).fileName(), file.errorString());
        return {};
    }
    if (file.size() > maxBytes) {
        *error = tr("%1 is too large to import.").arg(QFileInfo(path).fileName());
        return {};
    }
    const QByteArray bytes = file.readAll();
    QString why;
    QByteArray out = unpacked(bytes, &why, maxBytes);
    if (!why.isEmpty())
        *error = QFileInfo(path).fileName() + QLatin1String(": ") + why;
    return out;
}
} // namespace SourceFile
