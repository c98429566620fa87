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
    Schedule,   // the main list
    PayBills,   // the wizard: two amounts above 0 keep the income; zeros are emptied
    Reschedule, // the reschedule screen: like the wizard, but budget and balance stay as typed
};

// The columns of the item lists: the mark column first when asked for.
QList<GridColumn> listColumns(bool withMark);
// Before every post: a record without a real recurrence becomes a one-time
// item (frequency 0, unit "One Time"), then the window's amount rules.
void install(Table &table, Kind kind);
// Display labels of the item fields, the user fields titled by the user.
void setListLabels(Table &table);
// The memorized payees by name, or the hint entry when there are none.
QStringList payeePickList(Table &payee);
QString modeText(const Table &table);
// Income minus expense, each empty amount counting as nothing; empty when both are.
QVariant remainder(const QVariant &bill, const QVariant &pay);
} // namespace ItemRules
