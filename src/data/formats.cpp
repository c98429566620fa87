#include "formats.h"

#include <QLocale>

QString Formats::shortDateFormat()
{
    const QLocale locale;
    if (locale.language() == QLocale::C)
        return QStringLiteral("yyyy-MM-dd");
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QString Formats::date(const QDate &date)
{
    return date.isValid() ? date.toString(shortDateFormat()) : QString();
}

QDate Formats::parseDate(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    QDate d = QDate::fromString(t, shortDateFormat());
    if (!d.isValid()) {
        // Single-digit days and months are fine too: M/d/yyyy takes 3/4/2024.
        QString loose = shortDateFormat();
        loose.replace(QLatin1String("dd"), QLatin1String("d")).replace(QLatin1String("MM"), QLatin1String("M"));
        d = QDate::fromString(t, loose);
    }
    return d;
}

QString Formats::money(double value)
{
    return QLocale().toCurrencyString(value);
}

QString Formats::moneyEdit(double value)
{
    QString text = QLocale().toString(value, 'f', 2);
    text.remove(QLocale().groupSeparator());
    if (text.contains(QLocale().decimalPoint())) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLocale().decimalPoint()))
            text.chop(1);
    }
    return text;
}

bool Formats::parseNumber(const QString &text, double &value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = locale.toDouble(text.trimmed(), &ok);
    if (ok)
        value = v;
    return ok;
}

QString Formats::wholeNumber(const QVariant &value)
{
    if (value.isNull())
        return {};
    const int v = value.toInt();
    return v == 0 ? QString() : QString::number(v);
}
