#include "agingwriter.h"

#include "data/agingstatements.h"
#include "data/engine.h"
#include "data/table.h"

#include <QFile>

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
