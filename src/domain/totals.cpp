#include "totals.h"

#include "data/itemstatements.h"
#include "data/money.h"
#include "data/query.h"
#include "data/table.h"

#include <QDate>

#include <algorithm>
#include <tuple>

namespace {
const QString &BillTotalField = TotalsColumn::Bill;
const QString &PayTotalField = TotalsColumn::Pay;
const QString &CountField = TotalsColumn::Count;

// The order of the groups as the query sorts them: empty first, dates by
// their stored text, other text by SQLite's NOCASE (ASCII letters folded).
int compareGroups(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    const auto text = [](const QVariant &v) {
        return v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate).toUtf8()
                                              : v.toString().toUtf8();
    };
    const QByteArray x = text(a), y = text(b);
    const auto fold
        = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    const qsizetype n = std::min(x.size(), y.size());
    for (qsizetype i = 0; i < n; ++i)
        if (fold(x[i]) != fold(y[i]))
            return fold(x[i]) < fold(y[i]) ? -1 : 1;
    return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}
} // namespace

QVariant Totals::remainder(const QVariant &bill, const QVariant &pay)
{
    const std::optional<Money> expense = Money::fromVariant(bill);
    const std::optional<Money> income = Money::fromVariant(pay);
    if (!expense && !income)
        return {};
    return (income.value_or(Money()) - expense.value_or(Money())).toVariant();
}

bool Totals::apply(
    Query &query, const Table &schedule, const std::vector<QVariant> &record, int sign, int *row)
{
    if (!query.isOpen() || query.columns().isEmpty())
        return false;
    const int group = schedule.fieldIndex(query.columns().first());
    const int billField = schedule.fieldIndex(QStringLiteral("Bill Amount"));
    const int payField = schedule.fieldIndex(QStringLiteral("Pay Amount"));
    const int billSum = query.columnIndex(BillTotalField);
    const int paySum = query.columnIndex(PayTotalField);
    const int count = query.columnIndex(CountField);
    const int bills = query.columnIndex(QStringLiteral("billcount"));
    const int pays = query.columnIndex(QStringLiteral("paycount"));
    const int items = query.columnIndex(QStringLiteral("itemcount"));
    if (group < 0 || billField < 0 || payField < 0 || billSum < 0 || paySum < 0 || count < 0
        || bills < 0 || pays < 0 || items < 0 || int(record.size()) != schedule.fields().size())
        return false;

    const QVariant key = record[group];
    int lo = 0, hi = query.rowCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareGroups(query.value(mid, 0), key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    const bool found = lo < query.rowCount() && compareGroups(query.value(lo, 0), key) == 0;
    if (row)
        *row = lo;
    if (!found) {
        if (sign < 0)
            return false;
        std::vector<QVariant> row(query.columns().size());
        row[0] = key;
        row[billSum] = row[paySum] = QVariant();
        row[count] = row[bills] = row[pays] = row[items] = qlonglong(0);
        query.insertRow(lo, std::move(row));
    }
    const auto number = [&](int column) { return query.value(lo, column).toLongLong(); };
    const qlonglong itemCount = number(items) + sign;
    if (itemCount < 0)
        return false;
    if (itemCount == 0) {
        // The last record of its group: the row goes, and must have held only it.
        const bool alone = number(bills) == (record[billField].isNull() ? 0 : 1)
            && number(pays) == (record[payField].isNull() ? 0 : 1);
        query.removeRow(lo);
        return alone;
    }
    query.setValue(lo, items, itemCount);
    // Every record has a description (the field is required), so each counts.
    query.setValue(lo, count, number(count) + sign);
    // The sums are exact, empty while no record carries an amount.
    for (auto [field, sum, n] :
        { std::tuple{ billField, billSum, bills }, std::tuple{ payField, paySum, pays } }) {
        const std::optional<Money> amount = Money::fromVariant(record[field]);
        if (!amount)
            continue;
        const qlonglong carrying = number(n) + sign;
        if (carrying < 0)
            return false;
        const Money total = Money::fromVariant(query.value(lo, sum)).value_or(Money())
            + (sign < 0 ? -*amount : *amount);
        query.setValue(lo, n, carrying);
        query.setValue(lo, sum, carrying == 0 ? QVariant() : total.toVariant());
    }
    return number(count) >= 0;
}
