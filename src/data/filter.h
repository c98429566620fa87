#pragma once

#include "layouts.h"

#include <QList>
#include <QString>
#include <QVariant>

// A filter expression turned into a WHERE clause with bound parameters.
// Grammar: [Field] op literal, joined by "and" / "or", in parentheses;
// op is one of = <> < > <= >=; literals are quoted, dates in the short date format.
struct CompiledFilter
{
    QString where;
    QList<QVariant> params; // already in stored form
};

CompiledFilter compileFilter(const QString &expression, const QList<FieldDef> &fields);
