#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMetaType>
#include <QVariant>

#include <compare>
#include <optional>

struct sqlite3_value;

// An exact amount in ten-thousandths, 128 bits wide: a sum of any number of
// amounts at the entry bound stays exact (the bound keeps what is entered
// within doubles; a sum of a thousand such amounts is already beyond them).
class Money
{
public:
    __extension__ typedef __int128 Units;

    constexpr Money() = default;
    static constexpr Money fromUnits(Units units)
    {
        Money m;
        m.m_units = units;
        return m;
    }
    // The decimal a stored double stands for (its shortest text that reads
    // back as the same double), rounded to ten-thousandths half away from zero.
    // A value no amount can be (not finite, 10^30 or more) counts as nothing.
    static Money fromDouble(double value);
    // Decimal text with a point ("-1234.5", "1e3" too); digits beyond the
    // fourth decimal are rounded. Empty for anything else.
    static std::optional<Money> fromText(QByteArrayView text);
    // A money field's or a sum's value: Money, a double, an integer or
    // decimal text; empty stays empty.
    static std::optional<Money> fromVariant(const QVariant &value);
    // A stored value as SQLite gives it; empty for NULL or text that is no number.
    static std::optional<Money> fromSql(sqlite3_value *value);

    constexpr Units units() const { return m_units; }
    double toDouble() const;
    // Plain decimal text with a point, at least minDecimals decimals, no
    // grouping: "-1234.50".
    QByteArray text(int minDecimals = 0) const;
    // Rounded to a number of decimals (0 to 4), half away from zero.
    Money rounded(int decimals) const;
    // The double that stands for this amount (its fromDouble is this amount,
    // and it shows every cent), if there is one.
    std::optional<double> exactDouble() const;
    QVariant toVariant() const;

    constexpr int sign() const { return m_units < 0 ? -1 : (m_units > 0 ? 1 : 0); }
    constexpr Money operator-() const { return fromUnits(-m_units); }
    constexpr Money &operator+=(Money other)
    {
        m_units += other.m_units;
        return *this;
    }
    constexpr Money &operator-=(Money other)
    {
        m_units -= other.m_units;
        return *this;
    }
    friend constexpr Money operator+(Money a, Money b) { return a += b; }
    friend constexpr Money operator-(Money a, Money b) { return a -= b; }
    friend constexpr bool operator==(Money a, Money b) { return a.m_units == b.m_units; }
    friend constexpr std::strong_ordering operator<=>(Money a, Money b)
    {
        return a.m_units <=> b.m_units;
    }

private:
    Units m_units = 0;
};

Q_DECLARE_METATYPE(Money)
