#include "aging.h"

#include "data/agingstatements.h"
#include "data/engine.h"
#include "data/engineerror.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"

#include <QFile>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

namespace {
const QString BillTotalField = QStringLiteral("TotalBillAmount");
const QString PayTotalField = QStringLiteral("TotalPayAmount");
const QString CountField = QStringLiteral("totalcount");

} // namespace

// ---------------------------------------------------------------- aging

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

void Aging::write(Table *ageTable, const Sums &sums)
{
    // Read again what the file holds now, without opening it anew.
    if (ageTable->isOpen())
        ageTable->refresh();
    else
        ageTable->open();
    const auto amount = [&](int order, int k) {
        return order == 0 ? sums.income[k]
            : order == 1  ? sums.expense[k]
                          : sums.income[k] - sums.expense[k];
    };
    static const char *types[] = { "Income", "Expense", "Total" };
    // Rows that already hold these sums are left as they are: most changes
    // to the schedule do not move the aging, and a rewrite costs a durable commit.
    if (ageTable->recordCount() == 3) {
        bool shaped = true, same = true;
        for (int order = 0; order < 3 && shaped; ++order) {
            const auto value = [&](const QString &field) {
                return ageTable->rowValue(order, ageTable->fieldIndexOrThrow(field));
            };
            shaped = value(QStringLiteral("Order")).toInt() == order
                && value(QStringLiteral("Type")).toString() == QLatin1String(types[order]);
            for (int k = 0; k < 6 && shaped && same; ++k) {
                const QVariant v = value(QStringLiteral("Amount%1").arg(k));
                same = Money::fromVariant(v) == amount(order, k);
            }
        }
        if (shaped && same) {
            ageTable->first();
            return;
        }
        if (shaped) {
            // The rows are in place: one statement sets the amounts of all three,
            // atomic by itself and a commit of age.db alone.
            AgingStatements::Amounts amounts{};
            for (int k = 0; k < 6; ++k)
                for (int order = 0; order < 3; ++order)
                    amounts[std::size_t(3 * k + order)] = amount(order, k);
            try {
                AgingStatements::setAmounts(ageTable->path(), amounts);
            } catch (...) {
                ageTable->refresh();
                throw;
            }
            ageTable->refresh();
            ageTable->first();
            return;
        }
    }
    // The three rows are replaced together, so the summary is never half written.
    inTransaction([&] {
        ageTable->emptyTable();
        for (int order = 0; order < 3; ++order) {
            ageTable->append();
            ageTable->setValue(QStringLiteral("Order"), order);
            ageTable->setValue(QStringLiteral("Type"), QString::fromLatin1(types[order]));
            for (int k = 0; k < 6; ++k)
                ageTable->setValue(QStringLiteral("Amount%1").arg(k), amount(order, k).toVariant());
            ageTable->post();
        }
    });
    ageTable->first();
}

// ---------------------------------------------------------------- totals kept up to date

namespace {
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
    const int descField = schedule.fieldIndex(QStringLiteral("Description"));
    const int billSum = query.columnIndex(BillTotalField);
    const int paySum = query.columnIndex(PayTotalField);
    const int count = query.columnIndex(CountField);
    const int bills = query.columnIndex(QStringLiteral("billcount"));
    const int pays = query.columnIndex(QStringLiteral("paycount"));
    const int items = query.columnIndex(QStringLiteral("itemcount"));
    if (group < 0 || billField < 0 || payField < 0 || descField < 0 || billSum < 0 || paySum < 0
        || count < 0 || bills < 0 || pays < 0 || items < 0
        || int(record.size()) != schedule.fields().size())
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
    if (!record[descField].isNull())
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

Aging::Writer::Writer()
    : m_thread([this] { run(); })
{ }

Aging::Writer::~Writer()
{
    {
        std::unique_lock lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Aging::Writer::post(const QString &path, const std::string &pragmas, const Sums &sums)
{
    {
        std::unique_lock lock(m_mutex);
        m_path = QFile::encodeName(path).toStdString();
        m_pragmas = pragmas;
        m_sums = sums;
        m_pending = true;
    }
    m_wake.notify_all();
}

bool Aging::Writer::flush()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_busy; });
    const bool ok = !m_failed;
    m_failed = false;
    return ok;
}

void Aging::Writer::run()
{
    AgingStatements::OwnConnection connection;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stop; });
        if (!m_pending)
            break;
        const std::string path = m_path;
        const std::string pragmas = m_pragmas;
        const QList<QVariantList> rows = Aging::rows(m_sums);
        m_pending = false;
        m_busy = true;
        lock.unlock();

        AgingStatements::Amounts amounts{};
        for (int k = 0; k < 6; ++k)
            for (int order = 0; order < 3; ++order)
                amounts[std::size_t(3 * k + order)] = rows[order][1 + k].value<Money>();
        const bool ok = connection.setAmounts(path, pragmas, amounts);

        lock.lock();
        m_busy = false;
        m_failed = m_failed || !ok;
        if (!m_pending)
            m_idle.notify_all();
    }
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
