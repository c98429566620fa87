#include "cli/commandline.h"
#include "cli/console.h"
#include "cli/duereport.h"
#include "cli/notify.h"
#include "data/datafolder.h"
#include "main/windowentry.h"
#include "platform/installpaths.h"
#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#include <dlfcn.h>

#ifndef DS_MODULE_FROM_BIN
#define DS_MODULE_FROM_BIN "../lib/duesmith"
#endif

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
    Console::ignoreBrokenPipe();
    QCoreApplication core(argc, argv);
    Console::Output output;
    QString errText;
    QTextStream out(&output);
    QTextStream err(&errText);
    int code = ExitCode::BadInput;
    switch (cmd.mode) {
    case CommandLine::Mode::Usage:
        // One line, as every other failure: scripts read the first line.
        err << QStringLiteral("duesmith: %1 (see duesmith --help)\n").arg(cmd.error);
        break;
    case CommandLine::Mode::Help:
        out << CommandLine::usage()
            << QStringLiteral("\nHelp pages: %1\n")
                   .arg(QDir::toNativeSeparators(
                       InstallPaths::resourceFolder() + QStringLiteral("/ds_help/index.hta")));
        code = ExitCode::Ok;
        break;
    case CommandLine::Mode::Version:
        out << QStringLiteral("duesmith %1\n").arg(QStringLiteral(DS_VERSION));
        code = ExitCode::Ok;
        break;
    case CommandLine::Mode::Due:
        code = DueReport::run(cmd, QDateTime::currentDateTime(), out, err);
        break;
    case CommandLine::Mode::Notify:
        code = DueNotify::run(QDateTime::currentDateTime(), out, err);
        break;
    case CommandLine::Mode::Window:
        break;
    }
    out.flush();
    err.flush();
    return Console::finish(code, output, errText);
}

// Whether the window has a screen to open on; without one the toolkit would
// abort the program.
bool haveDisplay(const QStringList &args)
{
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return std::any_of(args.cbegin(), args.cend(), [](const QString &a) {
        return a == QLatin1String("-platform") || a.startsWith(QLatin1String("-platform="));
    });
}

// Makes the data folder the working directory: --data-dir, or the user's
// data folder, made on the first start. Empty when that worked, else the line
// to print.
QString enterDataFolder(const CommandLine &cmd)
{
    QString folder = cmd.dataDir;
    if (folder.isEmpty()) {
        folder = DataFolder::defaultPath();
        const bool first = !QFileInfo::exists(folder);
        if (!QDir().mkpath(folder))
            return QStringLiteral("duesmith: the folder %1 cannot be created")
                .arg(QDir::toNativeSeparators(folder));
        // Household money is nobody else's business.
        if (first)
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString shown = QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath());
    if (!QFileInfo::exists(folder))
        return QStringLiteral("duesmith: the folder %1 does not exist").arg(shown);
    if (!QFileInfo(folder).isDir() || !QDir::setCurrent(folder))
        return QStringLiteral("duesmith: %1 is not a folder that can be opened").arg(shown);
    return {};
}

// The window module: beside the program in its build folder, else in the
// installed library folder relative to the program's own. Never relative to
// the working directory, which is the data folder.
QStringList windowModulePaths()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (program.isEmpty())
        return {};
    const QDir folder = QFileInfo(program).dir();
    const QString name = QStringLiteral("duesmith-window.so");
    return { folder.filePath(name),
        QDir::cleanPath(folder.filePath(QStringLiteral(DS_MODULE_FROM_BIN "/") + name)) };
}

// Loads the window module and opens the window; a module that is missing or
// cannot be loaded ends the program with one line.
int runWindow(int argc, char **argv)
{
    const QStringList paths = windowModulePaths();
    if (paths.isEmpty()) {
        std::fprintf(stderr, "duesmith: the window cannot open: the program's folder is unknown\n");
        return ExitCode::BadInput;
    }
    QString path = paths.constLast();
    for (const QString &candidate : paths)
        if (QFileInfo::exists(candidate)) {
            path = candidate;
            break;
        }
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "duesmith: the window cannot open: %s is missing\n",
            qPrintable(QDir::toNativeSeparators(path)));
        return ExitCode::BadInput;
    }
    // Kept loaded to the end: the toolkit's exit handlers run code in it.
    void *module = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    void *entry = module ? ::dlsym(module, DS_WINDOW_ENTRY) : nullptr;
    if (!entry) {
        const char *why = ::dlerror();
        std::fprintf(stderr, "duesmith: the window cannot open: %s\n",
            QString::fromLocal8Bit(why ? why : "no entry").simplified().toLocal8Bit().constData());
        return ExitCode::BadInput;
    }
    return reinterpret_cast<WindowEntry>(entry)(argc, argv);
}
} // namespace

int main(int argc, char **argv)
{
    Console::guardStandardStreams();
    // Read before anything else: listing what is due must not take the lock
    // that keeps a second window off, and no toolkit may see an option it
    // would end the program on.
    const QStringList args = argumentsOf(argc, argv);
    const CommandLine cmd = CommandLine::parse(args);
    if (cmd.mode == CommandLine::Mode::Window && !haveDisplay(args)) {
        std::fprintf(stderr,
            "duesmith: no display to open the window on (duesmith --due lists what is due)\n");
        return ExitCode::BadInput;
    }
    if (cmd.mode != CommandLine::Mode::Usage && cmd.mode != CommandLine::Mode::Help
        && cmd.mode != CommandLine::Mode::Version) {
        if (const QString problem = enterDataFolder(cmd); !problem.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(problem));
            return ExitCode::BadInput;
        }
    }
    if (cmd.mode != CommandLine::Mode::Window)
        return runCommand(cmd, argc, argv);

    // A second copy of the program ends at once, quietly.
    SingleInstance instance(QStringLiteral("DUESMITH"));
    if (!instance.tryLock())
        return 0;

    return runWindow(argc, argv);
}
