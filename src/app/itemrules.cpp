#include "itemrules.h"

#include "data/itemfields.h"
#include "data/table.h"
#include "domain/totals.h"
#include "domain/options.h"

#include <QObject>

namespace {
struct ColumnText
{
    const char *field;
    const char *title; // nullptr: the field's display label
    const char *label; // the display label; nullptr: the field's name
    const char *widest; // the widest usual value
    int schedule, reminder, history; // widths; 0 fits the column
};

// The entered fields in list order, Pay Date and Process Date being the
// fields the lists keep to themselves.
const ColumnText Texts[] = {
    { "Due Date", nullptr, nullptr, "12/31/2099", 84, 84, 65 },
    { "Description", nullptr, "Payee", nullptr, 167, 181, 185 },
    { "Bill Amount", "Expense Amount", "Expense Amount", "$99,999.99", 61, 61, 0 },
    { "Pay Amount", "Income Amount", "Income Amount", "$99,999.99", 62, 62, 0 },
    { "Frequency", "Repeat Every", "Repeat", "9999", 65, 68, 0 },
    { "Units", nullptr, nullptr, "Half Months", 74, 79, 0 },
    { "End Date", nullptr, nullptr, "12/31/2099", 61, 64, 0 },
    { "Warning Days", nullptr, nullptr, "999", 64, 64, 0 },
    { "Budget", "Budget Amount", "Budget Amount", "$99,999.99", 64, 64, 0 },
    { "Balance", nullptr, nullptr, "$99,999.99", 64, 64, 0 },
};
constexpr int UserFieldWidth = 80;

QString text(const char *s)
{
    return s ? QString::fromLatin1(s) : QString();
}
} // namespace

QList<GridColumn> ItemRules::columns(List list, bool withMark)
{
    QList<GridColumn> columns;
    if (list == List::Schedule && withMark)
        columns.append({ QStringLiteral("PayNow"), QStringLiteral("Pay?"), 40 });
    if (list == List::History)
        columns.append({ QStringLiteral("Process Date"), {}, 86 });
    for (const ColumnText &c : Texts) {
        const int width = list == List::Schedule ? c.schedule
            : list == List::Reminder             ? c.reminder
                                                 : c.history;
        columns.append({ text(c.field), text(c.title), width });
    }
    for (int n = 1; n <= 4; ++n)
        columns.append({ ItemFields::userField(n), {}, UserFieldWidth });
    return columns;
}

QString ItemRules::widestValue(const QString &field)
{
    for (const ColumnText &c : Texts)
        if (field == QLatin1String(c.field))
            return text(c.widest);
    return {};
}

void ItemRules::install(Table &table, Kind kind)
{
    QObject::connect(&table, &Table::updateData, &table, [&table, kind] {
        const QVariant frequency = table.value(QStringLiteral("Frequency"));
        const QVariant units = table.value(QStringLiteral("Units"));
        const QString u = units.toString();
        if (frequency.isNull() || units.isNull() || frequency.toInt() == 0
            || u == QLatin1String(" ") || u == QLatin1String("One Time")) {
            table.setValue(QStringLiteral("Units"), QStringLiteral("One Time"));
            table.setValue(QStringLiteral("Frequency"), 0);
        }
        if (kind == Schedule)
            return;
        const QString bill = QStringLiteral("Bill Amount");
        const QString pay = QStringLiteral("Pay Amount");
        auto positive = [&table](const QString &f) {
            const QVariant v = table.value(f);
            return !v.isNull() && v.toDouble() > 0;
        };
        if (positive(bill) && positive(pay))
            table.setValue(bill, QVariant());
        QStringList zeroed = { bill, pay };
        if (kind == PayBills)
            zeroed << QStringLiteral("Budget") << QStringLiteral("Balance");
        for (const QString &f : zeroed) {
            const QVariant v = table.value(f);
            if (!v.isNull() && v.toDouble() == 0)
                table.setValue(f, QVariant());
        }
    });
}

void ItemRules::setListLabels(Table &table, List list)
{
    table.setDisplayLabel(QStringLiteral("Pay Date"), QStringLiteral("Pay Date"));
    table.setDisplayLabel(QStringLiteral("Process Date"), QStringLiteral("Process Date"));
    for (const ColumnText &c : Texts)
        table.setDisplayLabel(text(c.field), text(c.label ? c.label : c.field));
    // The history speaks of its records by the fields' own names.
    if (list == List::History) {
        for (const char *own : { "Description", "Budget" })
            table.setDisplayLabel(text(own), text(own));
    }
    const Options &options = OptionsStore::current();
    for (int n = 1; n <= 4; ++n)
        table.setDisplayLabel(ItemFields::userField(n), options.userTitle(n));
}

QStringList ItemRules::payeePickList(Table &payee)
{
    QStringList names;
    payee.close();
    payee.setIndexName(QString());
    payee.setLocaleOrder(true);
    payee.open();
    for (payee.first(); !payee.eof(); payee.next())
        names.append(payee.value(QStringLiteral("Payee")).toString());
    payee.close();
    if (names.isEmpty())
        names.append(QStringLiteral("Click \"Payee List\" on the toolbar to add to payee list."));
    return names;
}

QString ItemRules::modeText(const Table &table)
{
    switch (table.state()) {
    case Table::State::Browse:
        return QStringLiteral("Browse");
    case Table::State::Edit:
        return QStringLiteral("Edit");
    case Table::State::Insert:
        return QStringLiteral("Insert");
    case Table::State::Inactive:
        break;
    }
    return QStringLiteral("Closed");
}

QVariant ItemRules::remainder(const QVariant &bill, const QVariant &pay)
{
    return Totals::remainder(bill, pay);
}
