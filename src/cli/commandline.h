#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for. Options of the toolkit (-platform, -style,
// ...) are left to it when the window opens.
struct CommandLine
{
    enum class Mode { Window, Due, Notify, Help, Version, Usage };
    enum class Format { Table, Csv, Json };

    Mode mode = Mode::Window;
    Format format = Format::Table;
    std::optional<int> days; // --due DAYS; none: each item's own warning days
    QString dataDir; // --data-dir; empty: the user's data folder
    QString error; // with Mode::Usage: what was wrong

    // args without the program name.
    static CommandLine parse(const QStringList &args);
    // The usage text, ending in a newline.
    static QString usage();

private:
    // Chooses the mode and format from the options given; what is wrong with
    // their combination, or nothing.
    QString settle(const QList<Mode> &asked, bool csv, bool json, bool toolkit);
};

// Exit codes of the command-line modes.
namespace ExitCode {
constexpr int Ok = 0;
constexpr int PastDue = 1;
constexpr int BadInput = 2;
} // namespace ExitCode
