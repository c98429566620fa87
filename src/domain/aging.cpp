#include "aging.h"

#include "data/agingstatements.h"
#include "data/table.h"

// Bucket k ends with the date today + kN, as stored text; years outside the
// four-digit range are clamped so text comparison still orders them, and the
// ends are kept rising so a negative interval still puts each date into the
// first bucket that holds.
Aging::Cutoffs Aging::cutoffs(int interval, const QDate &today)
{
    Cutoffs c;
    for (int k = 0; k < 4; ++k) {
        const QDate d = today.addDays(qint64(k) * interval);
        if (!d.isValid() || d.year() > 9999)
            c.ends[k] = "9999-12-31";
        else if (d.year() < 1)
            c.ends[k] = "0000-00-00";
        else
            c.ends[k] = d.toString(Qt::ISODate).toStdString();
        if (k > 0 && c.ends[k] < c.ends[k - 1])
            c.ends[k] = c.ends[k - 1];
    }
    return c;
}

int Aging::bucket(const QVariant &due, const Cutoffs &cutoffs)
{
    if (due.isNull())
        return 0;
    const std::string text = due.toDate().toString(Qt::ISODate).toStdString();
    for (int k = 0; k < 4; ++k)
        if (text <= cutoffs.ends[k])
            return k;
    return 4;
}

void Aging::add(Sums &sums, const Cutoffs &cutoffs, const QVariant &due, const QVariant &bill,
    const QVariant &pay, int sign)
{
    const int k = bucket(due, cutoffs);
    const auto signedAmount = [sign](const QVariant &v) {
        const Money m = Money::fromVariant(v).value_or(Money());
        return sign < 0 ? -m : m;
    };
    sums.expense[k] += signedAmount(bill);
    sums.income[k] += signedAmount(pay);
    sums.expense[5] = sums.income[5] = Money();
    for (int b = 0; b < 5; ++b) {
        sums.expense[5] += sums.expense[b];
        sums.income[5] += sums.income[b];
    }
}

Aging::Sums Aging::compute(const QString &scheduleFile, int interval, const QDateTime &now)
{
    const Cutoffs ends = cutoffs(interval, now.date());
    const std::array<Money, 10> buckets = AgingStatements::bucketSums(scheduleFile, ends.ends);
    Sums sums;
    for (std::size_t k = 0; k < 5; ++k) {
        sums.expense[k] = buckets[k];
        sums.income[k] = buckets[k + 5];
        sums.expense[5] += sums.expense[k];
        sums.income[5] += sums.income[k];
    }
    return sums;
}

QList<QVariantList> Aging::rows(const Sums &sums)
{
    static const char *types[] = { "Income", "Expense", "Total" };
    QList<QVariantList> rows;
    for (int order = 0; order < 3; ++order) {
        QVariantList row{ QString::fromLatin1(types[order]) };
        for (int k = 0; k < 6; ++k) {
            const Money v = order == 0 ? sums.income[k]
                : order == 1           ? sums.expense[k]
                                       : sums.income[k] - sums.expense[k];
            row.append(v.toVariant());
        }
        rows.append(row);
    }
    return rows;
}

QStringList Aging::titles(int interval)
{
    const qint64 n = interval;
    const auto days
        = [](qint64 from, qint64 to) { return QStringLiteral("%1 to %2 Days").arg(from).arg(to); };
    return { QStringLiteral("Type"), QStringLiteral("Past Due"), days(1, n), days(n + 1, 2 * n),
        days(2 * n + 1, 3 * n), QStringLiteral("%1+ Days").arg(3 * n + 1),
        QStringLiteral("Total") };
}

QStringList Aging::fieldNames()
{
    return { QStringLiteral("Type"), QStringLiteral("Amount0"), QStringLiteral("Amount1"),
        QStringLiteral("Amount2"), QStringLiteral("Amount3"), QStringLiteral("Amount4"),
        QStringLiteral("Amount5") };
}

void Aging::setTitles(Table *ageTable, int interval)
{
    const QStringList fields = fieldNames();
    const QStringList texts = titles(interval);
    for (int i = 0; i < fields.size(); ++i)
        ageTable->setDisplayLabel(fields[i], texts[i]);
}
