#pragma once

#include "domain/duelist.h"

#include <QList>
#include <QString>

// The desktop notification of what is due: "3 bills due, 1 overdue —
// $1,240.00" over the first few items with their dates and amounts.
struct DueNotice
{
    QString summary;
    QStringList lines; // plain text, one item each, then "… and n more"
    bool overdue = false; // something is past its due date

    static DueNotice of(const QList<DueItem> &items);
    // How many items the body names before it counts the rest.
    static constexpr int shownItems = 5;
};
