#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class QRect;
class QSettings;

// Values as the settings file spells them. Switches are "True" and "False",
// read without regard to case or surrounding blanks.
namespace StoredText {
QString boolText(bool value);
std::optional<bool> parseBool(const QString &text);
// A whole number in decimal, blanks around it allowed.
std::optional<int> parseInt(const QString &text);
// "a,b,c" with exactly `count` whole numbers.
std::optional<QList<int>> parseInts(const QString &text, qsizetype count);
// The stored text of a value, if there is one. An unquoted value with commas
// in a hand-edited file comes back from QSettings as a list: joined again.
std::optional<QString> readText(const QSettings &store, const QString &key);
// A window's stored rectangle (left, top, right, bottom; right and bottom
// exclusive) moved and shrunk onto the available area it mostly lies on, or
// onto `fallback` when it lies on none: a rectangle from another monitor
// set-up must not lose the window. Empty for an empty rectangle.
std::optional<QRect> placeOnScreen(
    const QList<int> &edges, const QList<QRect> &available, const std::optional<QRect> &fallback);
} // namespace StoredText

// The user's options as one value.
struct Options
{
    // Days per aging band and the warning days a new item starts with; the
    // store keeps both within 0..MaxDays.
    int agingInterval = 7;
    int defaultWarn = 0;
    // Titles of the four user fields, at most TitleLength characters each.
    std::array<QString, 4> userTitles
        = { QStringLiteral("User Field 1"), QStringLiteral("User Field 2"),
              QStringLiteral("User Field 3"), QStringLiteral("User Field 4") };
    bool displayReminder = true; // the overdue list at start-up
    bool intro = true; // the introduction prompt at start-up
    bool backupReminder = true; // the backup question when closing
    bool confirmExit = true; // the exit question when closing

    static constexpr int TitleLength = 25;
    static constexpr int MaxDays = 999;

    // Days as the Options dialog takes them: a whole number clamped to
    // 0..MaxDays; text that is no number is 0 (and number, when given, false).
    static int wholeDays(const QString &text, bool *number = nullptr);

    // The title of user field n (1..4); empty for any other n.
    QString userTitle(int n) const;

    bool operator==(const Options &) const = default;
};

// Holds the options of this run and tells its listeners when they change.
// They are stored with the main window's settings, in its section and under
// the names of the controls that once held them.
class OptionsStore : public QObject
{
    Q_OBJECT
public:
    static OptionsStore &instance();
    static const Options &current() { return instance().m_options; }

    // Replaces the options, the day counts clamped to 0..MaxDays; emits
    // changed() when they differ.
    void set(const Options &options);
    // Changes a copy of the current options and stores it.
    void update(const std::function<void(Options &)> &change);
    // Back to the values a new installation starts with.
    void reset() { set(Options()); }

    // One stored value: its name in the settings section, its text, and a
    // setter that returns false when the text does not fit.
    struct Value
    {
        QString name;
        std::function<QString()> get;
        std::function<bool(const QString &)> set;
    };
    // The day settings are read once, as the Options dialog reads them, and
    // kept as numbers; each stored text that was no number is described once here.
    QList<Value> values();
    // The descriptions gathered since the last call.
    QStringList takeSettingProblems();

Q_SIGNALS:
    void changed(const Options &options);

private:
    OptionsStore() = default;
    Options m_options;
    QStringList m_settingProblems;
};
