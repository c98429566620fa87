#include "app/frmsched.h"
#include "app/windows.h"
#include "cli/commandline.h"
#include "cli/duereport.h"
#include "cli/notify.h"
#include "main/windowset.h"
#include "platform/application.h"
#include "platform/busypointer.h"
#include "platform/installpaths.h"
#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {
QStringList argumentsOf(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

// The modes that print and exit: no window, no display, no single-instance lock.
int runCommand(const CommandLine &cmd, int argc, char **argv)
{
    QCoreApplication core(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    switch (cmd.mode) {
    case CommandLine::Mode::Usage:
        err << QStringLiteral("duesmith: %1\n\n").arg(cmd.error) << CommandLine::usage();
        return ExitCode::BadInput;
    case CommandLine::Mode::Help:
        out << CommandLine::usage()
            << QStringLiteral("\nHelp pages: %1\n")
                   .arg(QDir::toNativeSeparators(
                       InstallPaths::resourceFolder() + QStringLiteral("/ds_help/index.hta")));
        return ExitCode::Ok;
    case CommandLine::Mode::Version:
        out << QStringLiteral("duesmith %1\n").arg(QStringLiteral(DS_VERSION));
        return ExitCode::Ok;
    case CommandLine::Mode::Due:
        return DueReport::run(cmd, QDateTime::currentDateTime(), out, err);
    case CommandLine::Mode::Notify:
        return DueNotify::run(QDateTime::currentDateTime(), out, err);
    case CommandLine::Mode::Window:
        break;
    }
    return ExitCode::BadInput;
}
} // namespace

int main(int argc, char **argv)
{
    // Read before anything else: listing what is due must not take the lock
    // that keeps a second window off.
    const CommandLine cmd = CommandLine::parse(argumentsOf(argc, argv));
    if (!cmd.dataDir.isEmpty() && cmd.mode != CommandLine::Mode::Usage
        && cmd.mode != CommandLine::Mode::Help && cmd.mode != CommandLine::Mode::Version) {
        const QString dir = QDir::toNativeSeparators(QFileInfo(cmd.dataDir).absoluteFilePath());
        if (!QFileInfo::exists(cmd.dataDir)) {
            std::fprintf(stderr, "duesmith: the folder %s does not exist\n", qPrintable(dir));
            return ExitCode::BadInput;
        }
        if (!QFileInfo(cmd.dataDir).isDir() || !QDir::setCurrent(cmd.dataDir)) {
            std::fprintf(
                stderr, "duesmith: %s is not a folder that can be opened\n", qPrintable(dir));
            return ExitCode::BadInput;
        }
    }
    if (cmd.mode != CommandLine::Mode::Window)
        return runCommand(cmd, argc, argv);

    // A second copy of the program ends at once, quietly.
    SingleInstance instance(QStringLiteral("DUESMITH"));
    if (!instance.tryLock())
        return 0;

    Application app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.duesmith"));
    BusyPointer::set(true);

    createAllWindows();
    TfrmSched *main = Windows::frmSched;
    if (!main->FormCreate()) {
        destroyAllWindows();
        return 1;
    }
    main->showMaximized();
    const int code = app.exec();
    destroyAllWindows();
    return code;
}
