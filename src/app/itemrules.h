#pragma once

#include "itemmodel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class Table;

// Rules the item windows share: which columns the lists show, how a record is
// tidied before it is stored, the field labels and the payee pick list.
namespace ItemRules {
enum Kind {
    Schedule, // the main list
    PayBills, // the wizard: two amounts above 0 keep the income; zeros are emptied
    Reschedule, // the reschedule screen: like the wizard, but budget and balance stay as typed
};

// The item lists. Each shows the entered fields in the same order with the
// same titles; they differ in widths and in the extra column they lead with.
enum class List {
    Schedule, // the main list, pay bills and reschedule
    Reminder, // the overdue items at start-up
    History, // paid items: Process Date first
};
// The columns of a list: for the schedule lists the mark column first when
// asked for. A width of 0 is left to the window to fit.
QList<GridColumn> columns(List list, bool withMark = false);
// The columns of the schedule lists: the mark column first when asked for.
inline QList<GridColumn> listColumns(bool withMark)
{
    return columns(List::Schedule, withMark);
}
// The widest usual value of a field, for fitting a column.
QString widestValue(const QString &field);
// Before every post: a record without a real recurrence becomes a one-time
// item (frequency 0, unit "One Time"), then the window's amount rules.
void install(Table &table, Kind kind);
// Display labels of the item fields, the user fields titled by the user's
// options. The history names the payee and budget fields by their own names.
void setListLabels(Table &table, List list = List::Schedule);
// The memorized payees by name, or the hint entry when there are none.
QStringList payeePickList(Table &payee);
QString modeText(const Table &table);
// Income minus expense, each empty amount counting as nothing; empty when both are.
QVariant remainder(const QVariant &bill, const QVariant &pay);
} // namespace ItemRules
