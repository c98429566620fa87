#include "data/table.h"
#include "domain/itemrecord.h"
#include "domain/nextoccurrence.h"
#include "support/dataenv.h"

#include <QDate>
#include <QString>
#include <QTest>
#include <QVariant>

#include <optional>

namespace {

QVariant money(double value)
{
    return value;
}

QVariant date(int year, int month, int day)
{
    return QDate(year, month, day);
}

const QVariant Empty;

struct Paid
{
    QVariant dueDate = Empty;
    QString units = {};
    QVariant frequency = Empty;
    QVariant endDate = Empty;
    QVariant billAmount = money(150.0);
    QVariant payAmount = Empty;
    QVariant balance = Empty;
    QVariant budget = Empty;
};

struct Next
{
    bool continues = true;
    QVariant dueDate = Empty;
    QVariant billAmount = money(150.0);
    QVariant payAmount = Empty;
    QVariant balance = Empty;
};

// A paid item with every field set, so the test sees what is carried and
// what is cleared.
ItemRecord paidItem(const Paid &paid)
{
    ItemRecord item;
    item.payDate = date(2023, 3, 1);
    item.dueDate = paid.dueDate;
    item.description = QStringLiteral("Water Board");
    item.billAmount = paid.billAmount;
    item.payAmount = paid.payAmount;
    item.frequency = paid.frequency;
    item.units = paid.units;
    item.warningDays = 5;
    item.endDate = paid.endDate;
    item.userField
        = { QStringLiteral("acct 17"), QStringLiteral("online"), Empty, QStringLiteral("x") };
    item.processDate = date(2023, 3, 1);
    item.payNow = PayMark;
    item.budget = paid.budget;
    item.balance = paid.balance;
    return item;
}

} // namespace

Q_DECLARE_METATYPE(Paid)
Q_DECLARE_METATYPE(Next)

class TestNextOccurrence : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nextOccurrence_data();
    void nextOccurrence();
    void roundTripThroughItemTable();
};

void TestNextOccurrence::nextOccurrence_data()
{
    QTest::addColumn<Paid>("paid");
    // Payments in a row, each on the occurrence the one before built.
    QTest::addColumn<int>("payments");
    QTest::addColumn<Next>("expected");

    const auto dueOnly
        = [](const QVariant &due, const QString &units, int frequency, const QVariant &next) {
              return std::pair{ Paid{ due, units, frequency }, Next{ true, next } };
          };
    const auto row = [](const char *name, const std::pair<Paid, Next> &c, int payments = 1) {
        QTest::newRow(name) << c.first << payments << c.second;
    };

    // New due dates.
    row("days", dueOnly(date(2024, 1, 31), "Days", 10, date(2024, 2, 10)));
    row("weeks", dueOnly(date(2024, 1, 31), "Weeks", 2, date(2024, 2, 14)));
    row("31st into February", dueOnly(date(2023, 1, 31), "Months", 1, date(2023, 2, 28)));
    row("31st into leap February", dueOnly(date(2024, 1, 31), "Months", 1, date(2024, 2, 29)));
    row("31st into April", dueOnly(date(2023, 3, 31), "Months", 1, date(2023, 4, 30)));
    row("month 14 wraps", dueOnly(date(2023, 11, 15), "Months", 3, date(2024, 2, 15)));
    row("month 24 is December", dueOnly(date(2023, 12, 10), "Months", 12, date(2024, 12, 10)));
    row("leap day plus a year", dueOnly(date(2024, 2, 29), "Years", 1, date(2025, 2, 28)));
    row("half month from 5th", dueOnly(date(2023, 1, 5), "Half Months", 1, date(2023, 1, 20)));
    row("half month from 15th", dueOnly(date(2023, 1, 15), "Half Months", 1, date(2023, 1, 30)));
    row("half month from 16th", dueOnly(date(2023, 1, 16), "Half Months", 1, date(2023, 2, 1)));
    row("half month from 30th", dueOnly(date(2023, 4, 30), "Half Months", 1, date(2023, 5, 15)));
    row("half month toggles the cut-back day",
        dueOnly(date(2023, 1, 31), "Half Months", 1, date(2023, 2, 13)));
    row("half month toggles the leap day",
        dueOnly(date(2024, 1, 31), "Half Months", 1, date(2024, 2, 14)));
    row("half month from 14 Feb", dueOnly(date(2023, 2, 14), "Half Months", 1, date(2023, 2, 28)));
    row("half month wraps the year",
        dueOnly(date(2023, 12, 20), "Half Months", 1, date(2024, 1, 5)));
    row("two half months", dueOnly(date(2023, 1, 31), "Half Months", 2, date(2023, 2, 28)));
    row("three half months, first half",
        dueOnly(date(2023, 1, 10), "Half Months", 3, date(2023, 2, 25)));
    row("three half months, second half",
        dueOnly(date(2023, 1, 20), "Half Months", 3, date(2023, 3, 5)));
    row("One Time with a frequency", dueOnly(date(2023, 6, 1), "One Time", 3, date(1966, 11, 11)));
    row("unit letter case matters", dueOnly(date(2023, 6, 1), "months", 1, date(1966, 11, 11)));
    row("empty unit with a frequency", dueOnly(date(2023, 6, 1), QString(), 1, date(1966, 11, 11)));
    row("half month from 15 Feb", dueOnly(date(2023, 2, 15), "Half Months", 1, date(2023, 2, 28)));
    row("December plus 24 months", dueOnly(date(2023, 12, 10), "Months", 24, date(2025, 12, 10)));
    row("December plus 36 months", dueOnly(date(2023, 12, 31), "Months", 36, date(2026, 12, 31)));
    row("largest frequency in months",
        dueOnly(date(2023, 1, 15), "Months", 32767, date(4753, 8, 15)));
    row("largest frequency in days", dueOnly(date(2023, 1, 1), "Days", 32767, date(2112, 9, 18)));

    // Counted from the paid occurrence's own due date, whenever it was paid.
    row("paid late", dueOnly(date(2023, 1, 10), "Months", 1, date(2023, 2, 10)));
    // The earlier day of the month is not remembered.
    row("31st stays on the 28th", dueOnly(date(2023, 1, 31), "Months", 1, date(2023, 3, 28)), 2);
    row("half months twice from 31st",
        dueOnly(date(2023, 1, 31), "Half Months", 1, date(2023, 2, 28)), 2);

    // The item ends.
    for (const char *units : { "One Time", "Days", "Weeks", "Half Months", "Months", "Years" }) {
        row(qPrintable(QStringLiteral("frequency 0, %1").arg(QLatin1StringView(units))),
            { Paid{ date(2023, 1, 10), units, 0 }, Next{ false } });
    }
    row("empty frequency", { Paid{ date(2023, 1, 10), "Months", Empty }, Next{ false } });
    row("end date on the new due date",
        { Paid{ date(2023, 1, 10), "Months", 1, date(2023, 2, 10) },
            Next{ true, date(2023, 2, 10) } });
    row("end date the day before",
        { Paid{ date(2023, 1, 10), "Months", 1, date(2023, 2, 9) }, Next{ false } });
    row("end date passed on the second payment",
        { Paid{ date(2023, 1, 10), "Months", 1, date(2023, 3, 1) }, Next{ false } }, 2);
    row("end date does not stop an odd unit",
        { Paid{ date(2023, 1, 10), "Weekly", 1, date(2023, 2, 9) },
            Next{ true, date(1966, 11, 11) } });

    // Amounts: the balance is reduced by what was paid, then the amount
    // starts again from the budget.
    const auto amounts = [](const Paid &amountsIn, const Next &amountsOut, int payments = 1) {
        Paid paid = amountsIn;
        paid.dueDate = date(2023, 1, 10);
        paid.units = QStringLiteral("Months");
        paid.frequency = 1;
        Next next = amountsOut;
        next.dueDate = date(2023, 1 + payments, 10);
        return std::pair{ paid, next };
    };
    row("balance reduced",
        amounts({ .balance = money(1000) }, { .billAmount = money(150), .balance = money(850) }));
    row("balance reduced by the amount before the budget",
        amounts({ .balance = money(1000), .budget = money(120) },
            { .billAmount = money(120), .balance = money(850) }));
    row("balance goes negative",
        amounts({ .balance = money(100) }, { .billAmount = money(150), .balance = money(-50) }));
    row("balance 0 unchanged",
        amounts({ .balance = money(0) }, { .billAmount = money(150), .balance = money(0) }));
    row("balance empty unchanged", amounts({}, { .billAmount = money(150) }));
    row("budget into an empty amount",
        amounts({ .billAmount = Empty, .balance = money(500), .budget = money(80) },
            { .billAmount = money(80), .balance = money(500) }));
    row("negative balance stays",
        amounts({ .balance = money(-50) }, { .billAmount = money(150), .balance = money(-50) }, 3),
        3);
    row("balance paid off stays at 0",
        amounts({ .balance = money(150) }, { .billAmount = money(150), .balance = money(0) }, 3),
        3);
    row("balance paid off in tenths reaches 0 exactly",
        amounts({ .billAmount = money(0.1), .balance = money(1.0) },
            { .billAmount = money(0.1), .balance = money(0) }, 11),
        11);
    row("budget 0 leaves the amounts",
        amounts({ .balance = money(1000), .budget = money(0) },
            { .billAmount = money(150), .balance = money(850) }));
    row("income item",
        amounts({ .billAmount = Empty,
                    .payAmount = money(200),
                    .balance = money(1000),
                    .budget = money(250) },
            { .billAmount = Empty, .payAmount = money(250), .balance = money(800) }));
    row("income counts before expense",
        amounts({ .billAmount = money(50),
                    .payAmount = money(200),
                    .balance = money(1000),
                    .budget = money(250) },
            { .billAmount = money(50), .payAmount = money(250), .balance = money(800) }));
    row("zero income pays the expense",
        amounts({ .payAmount = money(0), .balance = money(1000), .budget = money(120) },
            { .billAmount = money(120), .payAmount = money(0), .balance = money(850) }));

    // Backward frequencies move backward and always give a real date.
    row("back days", dueOnly(date(2024, 2, 10), "Days", -10, date(2024, 1, 31)));
    row("back weeks", dueOnly(date(2024, 2, 14), "Weeks", -2, date(2024, 1, 31)));
    row("back a month to February", dueOnly(date(2023, 3, 31), "Months", -1, date(2023, 2, 28)));
    row("back a month over the year", dueOnly(date(2023, 1, 15), "Months", -1, date(2022, 12, 15)));
    row("back 13 months", dueOnly(date(2023, 1, 15), "Months", -13, date(2021, 12, 15)));
    row("back 12 months from December",
        dueOnly(date(2023, 12, 10), "Months", -12, date(2022, 12, 10)));
    row("back a year from a leap day", dueOnly(date(2024, 2, 29), "Years", -1, date(2023, 2, 28)));
    row("back a half month, second half",
        dueOnly(date(2023, 1, 20), "Half Months", -1, date(2023, 1, 5)));
    row("back a half month from 16th",
        dueOnly(date(2023, 1, 16), "Half Months", -1, date(2023, 1, 1)));
    row("back a half month over the year",
        dueOnly(date(2023, 1, 5), "Half Months", -1, date(2022, 12, 20)));
    row("back a half month into February",
        dueOnly(date(2023, 3, 14), "Half Months", -1, date(2023, 2, 28)));
    row("back two half months", dueOnly(date(2023, 3, 31), "Half Months", -2, date(2023, 2, 28)));
    row("back three half months, second half",
        dueOnly(date(2023, 3, 20), "Half Months", -3, date(2023, 2, 5)));
    row("back three half months, first half",
        dueOnly(date(2023, 3, 10), "Half Months", -3, date(2023, 1, 25)));
    row("back to before year 1, days", dueOnly(date(1, 1, 1), "Days", -1, Empty));
    row("back to before year 1, months", dueOnly(date(1, 1, 15), "Months", -1, Empty));
    row("back to before year 1, half months", dueOnly(date(1, 1, 5), "Half Months", -1, Empty));
    row("back to before year 1, years", dueOnly(date(1, 6, 1), "Years", -1, Empty));
    row("smallest frequency in months", dueOnly(date(2023, 1, 15), "Months", -32768, Empty));

    // Past year 9999 the item continues without a due date, whatever its end date.
    for (const char *units : { "Days", "Weeks", "Half Months", "Months", "Years" }) {
        row(qPrintable(QStringLiteral("past 9999, %1").arg(QLatin1StringView(units))),
            { Paid{ date(9999, 12, 31), units, 1, date(2000, 1, 1) }, Next{ true, Empty } });
    }
    row("largest frequency in years", dueOnly(date(2023, 1, 15), "Years", 32767, Empty));

    // A repeating item without a due date continues without one; the amounts
    // still move and the end date does not stop it.
    row("no due date",
        { Paid{ Empty, "Months", 1, date(2000, 1, 1), money(150), Empty, money(1000), money(120) },
            Next{ true, Empty, money(120), Empty, money(850) } });
    row("no due date, odd unit", { Paid{ Empty, "One Time", 2 }, Next{ true, Empty } });
}

void TestNextOccurrence::nextOccurrence()
{
    QFETCH(Paid, paid);
    QFETCH(int, payments);
    QFETCH(Next, expected);

    const ItemRecord first = paidItem(paid);
    std::optional<ItemRecord> next = first;
    for (int i = 0; i < payments && next; ++i) {
        if (i > 0)
            QVERIFY2(next->dueDate.isValid(), "a later payment needs a due date");
        next = NextOccurrence(*next);
        if (i + 1 < payments)
            QVERIFY2(next, "ended before the last payment");
    }

    QCOMPARE(bool(next), expected.continues);
    if (!next)
        return;
    QCOMPARE(next->dueDate, expected.dueDate);
    QCOMPARE(next->billAmount, expected.billAmount);
    QCOMPARE(next->payAmount, expected.payAmount);
    QCOMPARE(next->balance, expected.balance);

    // Not yet planned, paid or marked.
    QVERIFY(next->payDate.isNull());
    QVERIFY(next->processDate.isNull());
    QVERIFY(next->payNow.isNull());
    for (const QVariant ItemRecord::*carried :
        { &ItemRecord::description, &ItemRecord::frequency, &ItemRecord::units,
            &ItemRecord::warningDays, &ItemRecord::endDate, &ItemRecord::budget }) {
        QCOMPARE(*next.*carried, first.*carried);
    }
    QCOMPARE(next->userField, first.userField);
}

// The record's names must be the item layout's, or reading and writing fail.
void TestNextOccurrence::roundTripThroughItemTable()
{
    DataEnv env;
    env.createTables();
    const ItemRecord item = paidItem(Paid{ date(2023, 1, 31), "Months", 1, date(2024, 12, 31),
        money(150.25), Empty, money(1000), money(120) });
    {
        Table table(QStringLiteral("resched.DB"));
        table.open();
        table.append();
        item.write(table, ItemRecord::fieldNames());
        table.post();
    }
    Table table(QStringLiteral("resched.DB"));
    table.open();
    QCOMPARE(table.recordCount(), 1);
    const ItemRecord read = ItemRecord::read(table);
    for (const QString &name : ItemRecord::fieldNames())
        QCOMPARE(read.value(name), item.value(name));
}

QTEST_GUILESS_MAIN(TestNextOccurrence)
#include "tst_nextoccurrence.moc"
