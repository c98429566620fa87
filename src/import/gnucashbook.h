#pragma once

#include "bookreaders.h"

#include <QHash>

// GnuCash keeps the same book in XML and in SQLite; both readers fill this
// and leave the dates and amounts to the rules GnuCash itself follows.
namespace GnuCash {
enum Period { OnceP, DayP, WeekP, MonthP, EndOfMonthP, NthWeekdayP, LastWeekdayP, YearP };
enum Adjust { NoAdjust, Back, Forward };

struct Recurrence
{
    int mult = 1;
    int period = MonthP;
    QDate start;
    int adjust = NoAdjust;
};

struct Sx
{
    int record = 0;
    QString name, templateAccount;
    bool enabled = true;
    QDate start, last, end;
    qint64 remaining = -1;
    QList<Recurrence> schedule;
    QString problem;
};

struct TemplateSplit
{
    QString templateAccount, account;
    QString credit, debit, creditFormula, debitFormula;
};

struct Template
{
    QString description;
    QList<TemplateSplit> splits;
};

struct Account
{
    QString name, type;
};

struct Book
{
    QHash<QString, Account> accounts;
    // Template transactions by the template account their splits post to.
    QHash<QString, Template> templates;
    QList<Sx> schedules;
};

// A period or weekend adjustment by the name GnuCash saves; -1 for another.
int periodOf(const QString &name);
int adjustOf(const QString &name);
// Adds a recurrence read from the book, settled as GnuCash settles it, or
// notes on the schedule why it cannot be used.
void addRecurrence(Sx &sx, Recurrence r);
// The schedules of a book that was read whole.
SourceBook schedules(const Book &book, const QString &name);
} // namespace GnuCash
