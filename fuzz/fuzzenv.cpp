#include "fuzzenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
QTemporaryDir *folder = nullptr;
}

void FuzzEnv::setUp()
{
    if (folder)
        return;
    static int argc = 1;
    static char name[] = "duesmith-fuzz";
    static char *argv[] = { name, nullptr };
    new QCoreApplication(argc, argv); // lives as long as the process
    QCoreApplication::setApplicationName(QStringLiteral("duesmith"));
    folder = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/duesmith-fuzz-XXXXXX"));
    if (!folder->isValid())
        fail("no temporary folder");
    QDir::setCurrent(folder->path());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(
        QSettings::IniFormat, QSettings::UserScope, folder->path() + QStringLiteral("/settings"));
    // The folder goes when the run ends, however many inputs it saw.
    std::atexit([] { delete folder; });
}

QString FuzzEnv::dir()
{
    return folder->path();
}

QByteArray FuzzEnv::bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

void FuzzEnv::writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fail("cannot write", path);
}

QByteArray FuzzEnv::readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail("cannot read", path);
    return f.readAll();
}

void FuzzEnv::fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "FUZZ PROPERTY FAILED: %s %s\n", what, qPrintable(detail));
    std::abort();
}
