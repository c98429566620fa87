#include "commandline.h"

#include <algorithm>

namespace {
// The toolkit's own options, left to it when the window opens. Anything else
// with one dash is refused here: the toolkit would end the program on it.
bool toolkitOption(const QString &arg, bool *takesValue)
{
    static const QStringList valued = { QStringLiteral("-platform"),
        QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
        QStringLiteral("-plugin"), QStringLiteral("-style"), QStringLiteral("-stylesheet"),
        QStringLiteral("-session"), QStringLiteral("-display"), QStringLiteral("-geometry"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowtitle"),
        QStringLiteral("-qwindowicon"), QStringLiteral("-title"), QStringLiteral("-name") };
    static const QStringList flags = { QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
        QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync") };
    const QString name = arg.section(QLatin1Char('='), 0, 0);
    *takesValue = valued.contains(arg);
    return valued.contains(name) || flags.contains(arg);
}

using Mode = CommandLine::Mode;
using ModeOption = std::pair<QString, Mode>;

// The options that choose a mode; when several are given, the first of this
// list wins.
const QList<ModeOption> &modeOptions()
{
    static const QList<ModeOption> modes = {
        { QStringLiteral("--help"), Mode::Help },
        { QStringLiteral("-h"), Mode::Help },
        { QStringLiteral("--version"), Mode::Version },
        { QStringLiteral("--due"), Mode::Due },
        { QStringLiteral("--notify"), Mode::Notify },
    };
    return modes;
}

std::optional<Mode> modeOf(const QString &arg)
{
    const QList<ModeOption> &modes = modeOptions();
    const auto mode = std::find_if(
        modes.cbegin(), modes.cend(), [&arg](const ModeOption &m) { return m.first == arg; });
    return mode == modes.cend() ? std::nullopt : std::optional<Mode>(mode->second);
}

// What is said of an option nobody knows, with the one meant when a dash is
// missing: -due for --due, and the like.
QString unknownOption(const QString &given, const QString &arg)
{
    QString why = QStringLiteral("unknown option '%1'").arg(given);
    const QString doubled = QLatin1Char('-') + arg;
    if (!arg.startsWith(QLatin1String("--"))
        && (doubled == QLatin1String("--csv") || doubled == QLatin1String("--json")
            || doubled == QLatin1String("--data-dir") || modeOf(doubled)))
        why += QStringLiteral("; did you mean %1?").arg(doubled);
    return why;
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
    QList<Mode> asked;
    bool csv = false, json = false, toolkit = false;
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
        const std::optional<Mode> mode = modeOf(arg);
        if (mode)
            asked.append(*mode);
        bool takesValue = false;
        if (arg == QLatin1String("--due")) {
            if (inlineValue) {
                if (!isCount(*inlineValue))
                    return fail(QStringLiteral("--due takes a number of days from 0 to 9999"));
                cmd.days = inlineValue->toInt();
            } else if (i + 1 < args.size() && isCount(args[i + 1])) {
                cmd.days = args[++i].toInt();
            }
        } else if (mode) {
            if (inlineValue)
                return fail(QStringLiteral("%1 takes no value").arg(arg));
        } else if (arg == QLatin1String("--csv")) {
            csv = true;
        } else if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--data-dir")) {
            if (inlineValue)
                cmd.dataDir = *inlineValue;
            else if (i + 1 < args.size())
                cmd.dataDir = args[++i];
            else
                return fail(QStringLiteral("--data-dir needs a folder"));
            if (cmd.dataDir.isEmpty())
                return fail(QStringLiteral("--data-dir needs a folder"));
        } else if (toolkitOption(arg, &takesValue)) {
            toolkit = true;
            if (takesValue && ++i >= args.size())
                return fail(QStringLiteral("%1 needs a value").arg(arg));
        } else {
            return fail(unknownOption(args[i], arg));
        }
    }
    const QString wrong = cmd.settle(asked, csv, json, toolkit);
    return wrong.isEmpty() ? cmd : fail(wrong);
}

QString CommandLine::settle(const QList<Mode> &asked, bool csv, bool json, bool toolkit)
{
    if (asked.contains(Mode::Due) && asked.contains(Mode::Notify))
        return QStringLiteral("choose one of --due and --notify");
    for (const auto &[name, chosen] : modeOptions()) {
        if (asked.contains(chosen)) {
            mode = chosen;
            break;
        }
    }
    if ((csv || json) && mode != Mode::Due)
        return QStringLiteral("--csv and --json go with --due");
    if (csv && json)
        return QStringLiteral("choose one of --csv and --json");
    if (toolkit && (mode == Mode::Due || mode == Mode::Notify))
        return QStringLiteral("unknown option for %1")
            .arg(mode == Mode::Due ? QStringLiteral("--due") : QStringLiteral("--notify"));
    format = csv ? Format::Csv : json ? Format::Json : Format::Table;
    return {};
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
        "on the tables in $XDG_DATA_HOME/duesmith (~/.local/share/duesmith when\n"
        "XDG_DATA_HOME is not set), a folder it creates on the first start.\n"
        "\n"
        "  --data-dir DIR  use the tables in the folder DIR instead (any mode)\n"
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
        "or earlier, 2 when the folder or its tables cannot be read, an option is wrong\n"
        "or the output cannot be written.\n"
        "Exit status of --notify: 0 when sent or nothing is due, 2 when the tables cannot\n"
        "be read or no notification service answers on the session bus.\n");
}
