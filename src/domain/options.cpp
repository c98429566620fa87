#include "options.h"

#include "data/engineerror.h"

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

int Options::agingDays() const
{
    bool ok = false;
    const int n = agingInterval.trimmed().toInt(&ok);
    if (!ok)
        throw EngineError(QStringLiteral("'%1' is not a valid integer value").arg(agingInterval));
    return n;
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

void OptionsStore::set(const Options &options)
{
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

QList<OptionsStore::Value> OptionsStore::values()
{
    QList<Value> list;
    auto text = [this](const QString &name, QString Options::*member, qsizetype maxLength) {
        return Value{ name + QStringLiteral("_Text"), [this, member] { return m_options.*member; },
            [this, member, maxLength](const QString &value) {
                update([&](Options &o) { o.*member = value.left(maxLength); });
                return true;
            } };
    };
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
    // A line edit takes any text; the title edits held at most TitleLength characters.
    constexpr qsizetype Unlimited = 32767;
    list.append(text(QStringLiteral("EditAgingInterval"), &Options::agingInterval, Unlimited));
    list.append(text(QStringLiteral("EditDefaultWarn"), &Options::defaultWarn, Unlimited));
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
