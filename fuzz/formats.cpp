// The date and amount parsers behind the list cells, the filters and the
// report chooser. Whatever the text, they return a value or nothing, and a
// value they return reads back from its own display text unchanged.
#include "fuzzenv.h"

#include "data/formats.h"
#include "data/money.h"

#include <algorithm>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzEnv::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw = FuzzEnv::bytes(data, size);
    const QString text = QString::fromUtf8(raw);

    if (const QDate d = Formats::parseDate(text); d.isValid()) {
        if (d.year() < 1 || d.year() > 9999)
            FuzzEnv::fail("a date outside the years 1 to 9999", text);
        const QString shown = Formats::date(d);
        if (Formats::parseDate(shown) != d)
            FuzzEnv::fail("a date does not read back from its text", text + " -> " + shown);
    }

    if (const std::optional<Money> m = Formats::parseMoney(text)) {
        // The display shows the currency's cents: what it reads back is the
        // amount rounded to them, and that in turn reads back exactly.
        // Rounding may carry an amount just short of the bound (10^30) onto
        // it, which no amount can be.
        const Money cents = m->rounded(2);
        const QString shown = Formats::money(cents);
        const std::optional<Money> again = Formats::parseMoney(shown);
        Money::Units bound = 1;
        for (int i = 0; i < 34; ++i)
            bound *= 10; // 10^30 in ten-thousandths
        const bool atBound = std::max(cents, -cents).units() >= bound;
        if (again ? *again != cents : !atBound)
            FuzzEnv::fail("an amount does not read back from its text", text + " -> " + shown);
        (void)Formats::money(*m);
        (void)m->toDouble();
        (void)m->exactDouble();
    }

    if (const std::optional<Money> m = Money::fromText(raw)) {
        const std::optional<Money> again = Money::fromText(m->text());
        if (!again || *again != *m)
            FuzzEnv::fail("plain amount text does not read back", text);
        (void)Money::fromDouble(m->toDouble());
    }

    double value = 0;
    if (Formats::parseNumber(text, value))
        (void)Formats::moneyEdit(value);
    return 0;
}
