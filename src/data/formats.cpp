#include "formats.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <limits>

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

namespace {
// The decimals of the locale's currency: those its own format shows for 1.
int currencyDecimals(const QLocale &locale)
{
    const QString one = locale.toCurrencyString(1.0);
    for (int d = 4; d > 0; --d)
        if (one.contains(locale.toString(1.0, 'f', d)))
            return d;
    return 0;
}

// Whole units with the locale's grouping; beyond 64 bits in threes.
QString groupedWhole(const QLocale &locale, Money::Units whole)
{
    if (whole <= std::numeric_limits<qlonglong>::max())
        return locale.toString(qlonglong(whole));
    QString digits;
    for (; whole > 0; whole /= 10)
        digits.prepend(QChar(u'0' + int(whole % 10)));
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, locale.groupSeparator());
    return digits;
}
} // namespace

QString Formats::money(const Money &value)
{
    const QLocale locale;
    const int decimals = currencyDecimals(locale);
    const Money shown = value.rounded(decimals);
    const Money::Units units = shown.sign() < 0 ? -shown.units() : shown.units();
    QString number = groupedWhole(locale, units / 10000);
    if (decimals > 0) {
        const QByteArray fraction = QByteArray::number(qlonglong(units % 10000) + 10000);
        number += locale.decimalPoint() + QString::fromLatin1(fraction.mid(1, decimals));
    }
    // The locale's own pattern (symbol, sign, brackets) around the digits.
    const QString pattern = locale.toCurrencyString(shown.sign() < 0 ? -1.0 : 1.0);
    const QString one = locale.toString(1.0, 'f', decimals);
    QString text = pattern;
    const qsizetype at = pattern.indexOf(one);
    if (at < 0)
        return locale.toCurrencyString(value.toDouble());
    return text.replace(at, one.size(), number);
}

QString Formats::amount(const QVariant &value)
{
    if (value.isNull())
        return {};
    if (value.metaType() == QMetaType::fromType<Money>())
        return money(value.value<Money>());
    // A value that is no number (from a file changed elsewhere) shows empty.
    bool ok = false;
    const double v = value.toDouble(&ok);
    return ok && std::isfinite(v) ? money(v) : QString();
}

std::optional<Money> Formats::parseMoney(const QString &text)
{
    const QLocale locale;
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')'))) {
        negative = true;
        t = t.mid(1, t.size() - 2).trimmed();
    }
    if (t.startsWith(locale.negativeSign()) || t.startsWith(QLatin1Char('-'))) {
        negative = !negative;
        t = t.mid(1).trimmed();
    }
    const QString symbol = locale.currencySymbol();
    if (!symbol.isEmpty() && t.startsWith(symbol))
        t = t.mid(symbol.size()).trimmed();
    else if (!symbol.isEmpty() && t.endsWith(symbol))
        t = t.left(t.size() - symbol.size()).trimmed();
    if (t.startsWith(locale.negativeSign()) || t.startsWith(QLatin1Char('-'))) {
        negative = !negative;
        t = t.mid(1).trimmed();
    }
    // Group separators only between groups of three digits of the whole part.
    const QString point = locale.decimalPoint();
    const qsizetype pointAt = t.indexOf(point);
    QString whole = pointAt < 0 ? t : t.left(pointAt);
    const QString fraction = pointAt < 0 ? QString() : t.mid(pointAt + point.size());
    const QString group = locale.groupSeparator();
    if (!group.isEmpty() && whole.contains(group)) {
        const QStringList parts = whole.split(group);
        for (qsizetype i = 0; i < parts.size(); ++i)
            if (parts[i].isEmpty() || parts[i].size() > 3 || (i > 0 && parts[i].size() != 3))
                return std::nullopt;
        whole = parts.join(QString());
    }
    const auto isDigits = [](const QString &s) {
        return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    if (!isDigits(whole) || !isDigits(fraction))
        return std::nullopt;
    const QByteArray plain = (negative ? QByteArrayLiteral("-") : QByteArray()) + whole.toLatin1()
        + (fraction.isEmpty() ? QByteArray() : QByteArrayLiteral(".") + fraction.toLatin1());
    return Money::fromText(plain);
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
    case FieldType::Money:
        return amount(value);
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
