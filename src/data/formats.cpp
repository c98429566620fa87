#include "formats.h"

#include <QLocale>

#include <cmath>

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

namespace {
QDate fromFormat(const QString &text, const QString &format)
{
    QDate d = QDate::fromString(text, format);
    if (!d.isValid()) {
        // Single-digit days and months are fine too: M/d/yyyy takes 3/4/2024.
        QString loose = format;
        loose.replace(QLatin1String("dd"), QLatin1String("d"))
            .replace(QLatin1String("MM"), QLatin1String("M"));
        d = QDate::fromString(text, loose);
    }
    return d;
}
} // namespace

QDate Formats::parseDate(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QString format = shortDateFormat();
    QDate d = fromFormat(t, format);
    if (!d.isValid() && format.contains(QLatin1String("yyyy"))) {
        // A two-digit year, as the locale's own short format writes it, falls
        // in the hundred years from 50 years ago.
        QString narrow = format;
        narrow.replace(QLatin1String("yyyy"), QLatin1String("yy"));
        d = fromFormat(t, narrow);
        if (d.isValid()) {
            const int first = QDate::currentDate().year() - 50;
            int year = first - first % 100 + d.year() % 100;
            if (year < first)
                year += 100;
            d = QDate(year, d.month(), d.day());
        }
    }
    // Years outside 1 to 9999 cannot be written as dates.
    if (d.isValid() && (d.year() < 1 || d.year() > 9999))
        return {};
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

QString Formats::display(const FieldDef &field, const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (field.type) {
    case FieldType::Date:
        return date(value.toDate());
    case FieldType::Money: {
        // A value that is no number (from a file changed elsewhere) shows empty;
        // totals may lie beyond the bound of one amount.
        bool ok = false;
        const double v = value.toDouble(&ok);
        return ok && std::isfinite(v) ? money(v) : QString();
    }
    case FieldType::SmallInt:
        if (field.blankZero)
            return wholeNumber(value);
        break;
    case FieldType::Text:
    case FieldType::Counter:
        break;
    }
    return value.toString();
}

QString Formats::editText(const FieldDef &field, const QVariant &value)
{
    if (!value.isNull() && field.type == FieldType::Money) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        return ok && std::isfinite(v) ? moneyEdit(v) : QString();
    }
    return display(field, value);
}

bool Formats::alignsRight(FieldType type)
{
    return type == FieldType::Money || type == FieldType::SmallInt;
}
