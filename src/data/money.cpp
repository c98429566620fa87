#include "money.h"

#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

namespace {
using Units = Money::Units;

// 10^30 in whole units is far beyond any sum and still far within 128 bits,
// which gives the parser room for its digits.
constexpr int MaxDigits = 34;

Units power10(int n)
{
    Units p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// digits × 10^exponent in ten-thousandths, rounded half away from zero.
std::optional<Units> scaled(const char *digits, int count, int exponent, bool negative)
{
    // Leading zeros carry nothing.
    while (count > 0 && *digits == '0')
        ++digits, --count;
    const int shift = exponent + 4;
    if (count == 0)
        return Units(0);
    if (count + shift > MaxDigits)
        return std::nullopt;
    Units units = 0;
    const int kept = shift >= 0 ? count : count + shift;
    for (int i = 0; i < kept; ++i)
        units = units * 10 + (digits[i] - '0');
    if (shift > 0)
        units *= power10(shift);
    else if (kept < count && kept >= 0 && digits[kept] >= '5')
        ++units;
    // Rounding can carry a value just short of the bound onto it.
    if (units >= power10(MaxDigits))
        return std::nullopt;
    return negative ? -units : units;
}
} // namespace

Money Money::fromDouble(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e30)
        return {};
    // Most stored amounts are whole ten-thousandths below a billion: there the
    // nearest whole number of units is the decimal the double stands for when
    // it turns back into the same double, and the text is not needed.
    if (std::fabs(value) < 1e9) {
        const double units = std::nearbyint(value * 10000);
        if (units / 10000 == value)
            return fromUnits(Units(qint64(units)));
    }
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    return fromText(QByteArrayView(buffer, result.ptr - buffer)).value_or(Money());
}

std::optional<Money> Money::fromText(QByteArrayView text)
{
    const char *p = text.data();
    const char *end = p + text.size();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+'))
        negative = *p++ == '-';
    // The digits without the point, and where the point was.
    char digits[128];
    int count = 0, beforePoint = -1;
    bool any = false;
    for (; p < end; ++p) {
        if (*p >= '0' && *p <= '9') {
            any = true;
            if (count == 0 && *p == '0' && beforePoint < 0)
                continue; // leading zeros of the whole part
            if (count >= int(sizeof digits))
                return std::nullopt;
            digits[count++] = *p;
        } else if (*p == '.' && beforePoint < 0) {
            beforePoint = count;
        } else {
            break;
        }
    }
    if (!any)
        return std::nullopt;
    if (beforePoint < 0)
        beforePoint = count;
    int exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const auto [ptr, ec] = std::from_chars(p + (p < end && *p == '+'), end, exponent);
        if (ec != std::errc() || exponent < -400 || exponent > 400)
            return std::nullopt;
        p = ptr;
    }
    if (p != end)
        return std::nullopt;
    const std::optional<Units> units
        = scaled(digits, count, exponent - (count - beforePoint), negative);
    if (!units)
        return std::nullopt;
    return fromUnits(*units);
}

std::optional<Money> Money::fromVariant(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return fromUnits(Units(value.toLongLong()) * 10000);
    case QMetaType::QString:
        return fromText(value.toString().trimmed().toLatin1());
    case QMetaType::QByteArray:
        return fromText(value.toByteArray());
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<Money>())
        return value.value<Money>();
    bool ok = false;
    const double d = value.toDouble(&ok);
    return ok ? std::optional<Money>(fromDouble(d)) : std::nullopt;
}

std::optional<Money> Money::fromSql(sqlite3_value *value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        return std::nullopt;
    case SQLITE_INTEGER:
        return fromUnits(Units(sqlite3_value_int64(value)) * 10000);
    case SQLITE_FLOAT:
        return fromDouble(sqlite3_value_double(value));
    default:
        return fromText(QByteArrayView(
            static_cast<const char *>(sqlite3_value_blob(value)), sqlite3_value_bytes(value)));
    }
}

double Money::toDouble() const
{
    // Through the text, so the double is the one nearest to the amount.
    const QByteArray t = text();
    double d = 0;
    std::from_chars(t.constData(), t.constData() + t.size(), d);
    return d;
}

QByteArray Money::text(int minDecimals) const
{
    Units u = m_units < 0 ? -m_units : m_units;
    char buffer[48];
    char *p = buffer + sizeof buffer;
    int decimals = 4;
    // Trailing zeros of the decimals go, down to the least asked for.
    while (decimals > minDecimals && u % 10 == 0) {
        u /= 10;
        --decimals;
    }
    for (int i = 0; i < decimals; ++i) {
        *--p = char('0' + int(u % 10));
        u /= 10;
    }
    if (decimals > 0)
        *--p = '.';
    do {
        *--p = char('0' + int(u % 10));
        u /= 10;
    } while (u > 0);
    if (m_units < 0)
        *--p = '-';
    return QByteArray(p, buffer + sizeof buffer - p);
}

Money Money::rounded(int decimals) const
{
    if (decimals >= 4)
        return *this;
    const Units step = power10(4 - std::max(decimals, 0));
    const Units magnitude = m_units < 0 ? -m_units : m_units;
    const Units r = (magnitude + step / 2) / step * step;
    return fromUnits(m_units < 0 ? -r : r);
}

std::optional<double> Money::exactDouble() const
{
    // Below 10^13 a double is within a thousandth of a cent of its decimal,
    // so it also shows every cent; larger sums are kept as text.
    constexpr Units limit = Units(10000000000000LL) * 10000;
    if (m_units >= limit || m_units <= -limit)
        return std::nullopt;
    const double d = toDouble();
    if (fromDouble(d) == *this)
        return d;
    return std::nullopt;
}

QVariant Money::toVariant() const
{
    // Code that reads a sum as a number or as text still gets its value.
    static std::once_flag registered;
    std::call_once(registered, [] {
        QMetaType::registerConverter<Money, double>(&Money::toDouble);
        QMetaType::registerConverter<Money, QString>(
            [](const Money &m) { return QString::fromLatin1(m.text()); });
    });
    return QVariant::fromValue(*this);
}
