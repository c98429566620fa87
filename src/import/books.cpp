#include "books.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace Books {
SourceBook read(const QString &path, const ReadProgress &progress)
{
    QString error;
    const QByteArray bytes = SourceFile::read(path, &error);
    if (!error.isEmpty())
        return { QString(), {}, error };
    return readBytes(bytes, QFileInfo(path).fileName(), progress);
}

SourceBook readBytes(const QByteArray &, const QString &name, const ReadProgress &)
{
    return {
        QString(), {},
        QCoreApplication::translate("Books", "%1 is not a file Duesmith can import from.").arg(name)
    };
}

QString fileFilter()
{
    return QCoreApplication::translate("Books", "Finance programs (*.xhb *.kmy *.gnucash *.mmb)");
}
} // namespace Books
