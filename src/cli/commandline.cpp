#include "commandline.h"

namespace {
// Toolkit options that take a value in the next argument.
bool toolkitOptionWithValue(const QString &arg)
{
    static const QStringList valued = { QStringLiteral("-platform"),
        QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
        QStringLiteral("-plugin"), QStringLiteral("-style"), QStringLiteral("-stylesheet"),
        QStringLiteral("-session"), QStringLiteral("-display"), QStringLiteral("-geometry"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowtitle"),
        QStringLiteral("-qwindowicon"), QStringLiteral("-title") };
    return valued.contains(arg);
}

bool isCount(const QString &text)
{
    if (text.isEmpty() || text.size() > 4)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}
} // namespace

CommandLine CommandLine::parse(const QStringList &args)
{
    CommandLine cmd;
    bool help = false, version = false, due = false, csv = false, json = false;
    bool notify = false;
    bool toolkit = false;
    auto fail = [&cmd](const QString &why) {
        cmd.mode = Mode::Usage;
        cmd.error = why;
        return cmd;
    };
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            inlineValue = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            help = true;
        } else if (arg == QLatin1String("--version")) {
            version = true;
        } else if (arg == QLatin1String("--csv")) {
            csv = true;
        } else if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--due")) {
            due = true;
            if (inlineValue) {
                if (!isCount(*inlineValue))
                    return fail(QStringLiteral("--due takes a number of days from 0 to 9999"));
                cmd.days = inlineValue->toInt();
            } else if (i + 1 < args.size() && isCount(args[i + 1])) {
                cmd.days = args[++i].toInt();
            }
        } else if (arg == QLatin1String("--notify")) {
            notify = true;
        } else if (arg == QLatin1String("--data-dir")) {
            if (inlineValue)
                cmd.dataDir = *inlineValue;
            else if (i + 1 < args.size())
                cmd.dataDir = args[++i];
            else
                return fail(QStringLiteral("--data-dir needs a folder"));
            if (cmd.dataDir.isEmpty())
                return fail(QStringLiteral("--data-dir needs a folder"));
        } else if (!arg.startsWith(QLatin1String("--")) && arg.startsWith(QLatin1Char('-'))
            && arg.size() > 1) {
            toolkit = true;
            if (toolkitOptionWithValue(arg))
                ++i;
        } else {
            return fail(QStringLiteral("unknown option '%1'").arg(args[i]));
        }
    }
    if (help)
        cmd.mode = Mode::Help;
    else if (version)
        cmd.mode = Mode::Version;
    else if (due && notify)
        return fail(QStringLiteral("choose one of --due and --notify"));
    else if (due)
        cmd.mode = Mode::Due;
    else if (notify)
        cmd.mode = Mode::Notify;
    if ((csv || json) && cmd.mode != Mode::Due)
        return fail(QStringLiteral("--csv and --json go with --due"));
    if (csv && json)
        return fail(QStringLiteral("choose one of --csv and --json"));
    if (toolkit && (cmd.mode == Mode::Due || cmd.mode == Mode::Notify))
        return fail(QStringLiteral("unknown option for %1")
                        .arg(due ? QStringLiteral("--due") : QStringLiteral("--notify")));
    cmd.format = csv ? Format::Csv : json ? Format::Json : Format::Table;
    return cmd;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: duesmith [--data-dir DIR]\n"
        "       duesmith --due [DAYS] [--csv | --json] [--data-dir DIR]\n"
        "       duesmith --notify [--data-dir DIR]\n"
        "       duesmith --help | --version\n"
        "\n"
        "Keeps your household bills and incomes. Without options it opens its window\n"
        "on the tables in the working directory.\n"
        "\n"
        "  --data-dir DIR  use the tables in the folder DIR\n"
        "  --due [DAYS]    list the items that are overdue or fall due within DAYS days\n"
        "                  (by default each item's own warning days), then exit; the\n"
        "                  tables are only read, even while Duesmith is open\n"
        "  --notify        show a desktop notification of what is overdue or within its\n"
        "                  warning days (nothing when nothing is); its \"Open Duesmith\"\n"
        "                  opens the window on the same folder\n"
        "  --csv           with --due: comma-separated values (RFC 4180)\n"
        "  --json          with --due: JSON\n"
        "  --help          show this help and exit\n"
        "  --version       show the version and exit\n"
        "\n"
        "Exit status of --due: 0 when nothing is past due, 1 when an item is due today\n"
        "or earlier, 2 when the folder or its tables cannot be read or an option is wrong.\n"
        "Exit status of --notify: 0 when sent or nothing is due, 2 when the tables cannot\n"
        "be read or no notification service answers on the session bus.\n");
}
