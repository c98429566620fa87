#include "options.h"

#include <QRect>
#include <QSettings>

#include <algorithm>
#include <utility>

QString StoredText::boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> StoredText::parseBool(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

std::optional<int> StoredText::parseInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<QList<int>> StoredText::parseInts(const QString &text, qsizetype count)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return std::nullopt;
    QList<int> values;
    for (const QString &part : parts) {
        const std::optional<int> value = parseInt(part);
        if (!value)
            return std::nullopt;
        values.append(*value);
    }
    return values;
}

std::optional<QString> StoredText::readText(const QSettings &store, const QString &key)
{
    if (!store.contains(key))
        return std::nullopt;
    const QVariant value = store.value(key);
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    if (!value.canConvert<QString>())
        return std::nullopt;
    return value.toString();
}

namespace {
qint64 overlapArea(const QRect &screen, qint64 left, qint64 top, qint64 right, qint64 bottom)
{
    const qint64 w = std::min<qint64>(right, qint64(screen.x()) + screen.width())
        - std::max<qint64>(left, screen.x());
    const qint64 h = std::min<qint64>(bottom, qint64(screen.y()) + screen.height())
        - std::max<qint64>(top, screen.y());
    return w > 0 && h > 0 ? w * h : 0;
}
} // namespace

std::optional<QRect> StoredText::placeOnScreen(
    const QList<int> &edges, const QList<QRect> &available, const std::optional<QRect> &fallback)
{
    if (edges.size() != 4)
        return std::nullopt;
    const qint64 left = edges[0], top = edges[1], right = edges[2], bottom = edges[3];
    if (right <= left || bottom <= top)
        return std::nullopt;

    std::optional<QRect> best;
    qint64 bestArea = 0;
    for (const QRect &screen : available) {
        const qint64 area = overlapArea(screen, left, top, right, bottom);
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (!best)
        best = fallback;
    if (!best)
        return std::nullopt;

    const QRect avail = *best;
    const int width = int(std::min<qint64>(right - left, avail.width()));
    const int height = int(std::min<qint64>(bottom - top, avail.height()));
    const int x
        = int(std::clamp<qint64>(left, avail.x(), qint64(avail.x()) + avail.width() - width));
    const int y
        = int(std::clamp<qint64>(top, avail.y(), qint64(avail.y()) + avail.height() - height));
    return QRect(x, y, width, height);
}

int Options::wholeDays(const QString &text, bool *number)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (number)
        *number = ok;
    return ok ? std::clamp(n, 0, MaxDays) : 0;
}

QString Options::userTitle(int n) const
{
    return n >= 1 && n <= 4 ? userTitles[std::size_t(n - 1)] : QString();
}

OptionsStore &OptionsStore::instance()
{
    static OptionsStore store;
    return store;
}

void OptionsStore::set(const Options &given)
{
    Options options = given;
    options.agingInterval = std::clamp(options.agingInterval, 0, Options::MaxDays);
    options.defaultWarn = std::clamp(options.defaultWarn, 0, Options::MaxDays);
    if (options == m_options)
        return;
    m_options = options;
    Q_EMIT changed(m_options);
}

void OptionsStore::update(const std::function<void(Options &)> &change)
{
    Options changedOptions = m_options;
    change(changedOptions);
    set(changedOptions);
}

QStringList OptionsStore::takeSettingProblems()
{
    return std::exchange(m_settingProblems, {});
}

QList<OptionsStore::Value> OptionsStore::values()
{
    QList<Value> list;
    auto flag = [this](const QString &name, bool Options::*member) {
        return Value{ name + QStringLiteral("_Checked"),
            [this, member] { return StoredText::boolText(m_options.*member); },
            [this, member](const QString &value) {
                const std::optional<bool> on = StoredText::parseBool(value);
                if (!on)
                    return false;
                update([&](Options &o) { o.*member = *on; });
                return true;
            } };
    };
    auto days = [this](const QString &name, int Options::*member, const QString &label) {
        return Value{ name + QStringLiteral("_Text"),
            [this, member] { return QString::number(m_options.*member); },
            [this, member, label](const QString &value) {
                bool number = false;
                const int n = Options::wholeDays(value, &number);
                if (!number)
                    m_settingProblems.append(
                        QStringLiteral("The saved %1 '%2' is not a number of days; 0 is used "
                                       "until it is changed in Options.")
                            .arg(label, value.left(40)));
                update([&](Options &o) { o.*member = n; });
                return true;
            } };
    };
    list.append(days(QStringLiteral("EditAgingInterval"), &Options::agingInterval,
        QStringLiteral("Aging Interval")));
    list.append(days(QStringLiteral("EditDefaultWarn"), &Options::defaultWarn,
        QStringLiteral("Default Warning Days")));
    // The title edits held at most TitleLength characters.
    for (int n = 1; n <= 4; ++n) {
        const std::size_t i = std::size_t(n - 1);
        list.append({ QStringLiteral("UserTitle%1_Text").arg(n),
            [this, i] { return m_options.userTitles[i]; },
            [this, i](const QString &value) {
                update([&](Options &o) { o.userTitles[i] = value.left(Options::TitleLength); });
                return true;
            } });
    }
    list.append(flag(QStringLiteral("CheckBoxDisplayReminder"), &Options::displayReminder));
    list.append(flag(QStringLiteral("CheckBoxIntro"), &Options::intro));
    list.append(flag(QStringLiteral("CheckBoxBackupReminder"), &Options::backupReminder));
    list.append(flag(QStringLiteral("CheckBoxConfirmExit"), &Options::confirmExit));
    return list;
}
