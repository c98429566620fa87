#include "duenotice.h"

#include "data/formats.h"
#include "data/itemfields.h"

namespace {
// Amounts in ten-thousandths, the finest an amount is stored with, so the
// sum is exact.
qint64 units(const QVariant &amount)
{
    return amount.isNull() ? 0 : qRound64(amount.toDouble() * 10000.0);
}

QString money(qint64 tenThousandths)
{
    return Formats::money(double(tenThousandths) / 10000.0);
}

QString count(qsizetype n, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

bool isIncome(const ItemRecord &r)
{
    return r.billAmount.isNull() && !r.payAmount.isNull();
}

QString when(const DueItem &item)
{
    if (!item.daysLeft)
        return QStringLiteral("no due date");
    const qint64 d = *item.daysLeft;
    if (d < 0)
        return QStringLiteral("overdue");
    if (d == 0)
        return QStringLiteral("today");
    return d == 1 ? QStringLiteral("tomorrow") : QStringLiteral("in %1 days").arg(d);
}

QString line(const DueItem &item)
{
    const ItemRecord &r = item.record;
    QStringList parts;
    if (!r.dueDate.isNull())
        parts.append(
            Formats::display(*ItemFields::definition(QStringLiteral("Due Date")), r.dueDate));
    QString payee = r.description.toString().simplified();
    if (payee.size() > 40)
        payee = payee.left(39) + QChar(0x2026);
    parts.append(payee.isEmpty() ? QStringLiteral("(no payee)") : payee);
    if (!r.billAmount.isNull())
        parts.append(money(units(r.billAmount)));
    else if (!r.payAmount.isNull())
        parts.append(QStringLiteral("income ") + money(units(r.payAmount)));
    parts.append(when(item));
    return parts.join(QStringLiteral(" · "));
}
} // namespace

DueNotice DueNotice::of(const QList<DueItem> &items)
{
    DueNotice notice;
    qsizetype bills = 0, incomes = 0, late = 0;
    qint64 toPay = 0, toCome = 0;
    for (const DueItem &item : items) {
        if (isIncome(item.record)) {
            ++incomes;
            toCome += units(item.record.payAmount);
        } else {
            ++bills;
            toPay += units(item.record.billAmount);
        }
        if (item.daysLeft && *item.daysLeft < 0)
            ++late;
    }
    QStringList what;
    if (bills)
        what.append(count(bills, QStringLiteral("bill"), QStringLiteral("bills")));
    if (incomes)
        what.append(count(incomes, QStringLiteral("income"), QStringLiteral("incomes")));
    notice.summary = what.join(QStringLiteral(" and ")) + QStringLiteral(" due");
    if (late)
        notice.summary += QStringLiteral(", %1 overdue").arg(late);
    if (bills && incomes)
        notice.summary += QStringLiteral(" — %1 (income %2)").arg(money(toPay), money(toCome));
    else
        notice.summary += QStringLiteral(" — ") + money(bills ? toPay : toCome);
    notice.overdue = late > 0;

    for (qsizetype i = 0; i < items.size() && i < shownItems; ++i)
        notice.lines.append(line(items[i]));
    if (items.size() > shownItems)
        notice.lines.append(QStringLiteral("… and %1 more").arg(items.size() - shownItems));
    return notice;
}
