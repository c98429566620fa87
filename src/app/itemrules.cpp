#include "itemrules.h"

#include "frmsched.h"
#include "windows.h"

#include "data/table.h"

#include <QObject>

QList<GridColumn> ItemRules::listColumns(bool withMark)
{
    QList<GridColumn> columns;
    if (withMark)
        columns.append({QStringLiteral("PayNow"), QStringLiteral("Pay?"), 40});
    columns.append({
        {QStringLiteral("Due Date"), {}, 84},
        {QStringLiteral("Description"), {}, 167},
        {QStringLiteral("Bill Amount"), QStringLiteral("Expense Amount"), 61},
        {QStringLiteral("Pay Amount"), QStringLiteral("Income Amount"), 62},
        {QStringLiteral("Frequency"), QStringLiteral("Repeat Every"), 65},
        {QStringLiteral("Units"), {}, 74},
        {QStringLiteral("End Date"), {}, 61},
        {QStringLiteral("Warning Days"), {}, 64},
        {QStringLiteral("Budget"), QStringLiteral("Budget Amount"), 64},
        {QStringLiteral("Balance"), {}, 64},
        {QStringLiteral("User Field 1"), {}, 80},
        {QStringLiteral("User Field 2"), {}, 80},
        {QStringLiteral("User Field 3"), {}, 80},
        {QStringLiteral("User Field 4"), {}, 80},
    });
    return columns;
}

void ItemRules::install(Table &table, Kind kind)
{
    QObject::connect(&table, &Table::updateData, &table, [&table, kind] {
        const QVariant frequency = table.value(QStringLiteral("Frequency"));
        const QVariant units = table.value(QStringLiteral("Units"));
        const QString u = units.toString();
        if (frequency.isNull() || units.isNull() || frequency.toInt() == 0 || u == QLatin1String(" ")
            || u == QLatin1String("One Time")) {
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
        QStringList zeroed = {bill, pay};
        if (kind == PayBills)
            zeroed << QStringLiteral("Budget") << QStringLiteral("Balance");
        for (const QString &f : zeroed) {
            const QVariant v = table.value(f);
            if (!v.isNull() && v.toDouble() == 0)
                table.setValue(f, QVariant());
        }
    });
}

void ItemRules::setListLabels(Table &table)
{
    const struct
    {
        const char *field;
        const char *label;
    } labels[] = {{"Pay Date", "Pay Date"},         {"Due Date", "Due Date"},
                  {"Description", "Payee"},         {"Bill Amount", "Expense Amount"},
                  {"Pay Amount", "Income Amount"},  {"Frequency", "Repeat"},
                  {"Units", "Units"},               {"End Date", "End Date"},
                  {"Warning Days", "Warning Days"}, {"Budget", "Budget Amount"},
                  {"Balance", "Balance"}};
    for (const auto &l : labels)
        table.setDisplayLabel(QString::fromLatin1(l.field), QString::fromLatin1(l.label));
    for (int i = 1; i <= 4; ++i) {
        const QString field = QStringLiteral("User Field %1").arg(i);
        table.setDisplayLabel(field, Windows::frmSched ? Windows::frmSched->userTitle(i) : field);
    }
}

QStringList ItemRules::payeePickList(Table &payee)
{
    QStringList names;
    payee.close();
    payee.setIndexName(QString());
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
    if (pay.isNull())
        return bill.isNull() ? QVariant() : QVariant(-bill.toDouble());
    if (bill.isNull())
        return pay.toDouble();
    return pay.toDouble() - bill.toDouble();
}
