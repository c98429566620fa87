#include "recordrules.h"

#include "money.h"

#include "engineerror.h"

#include <QDate>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
int characters(const QString &text)
{
    // An emoji is one character, not two UTF-16 units.
    return int(
        std::count_if(text.begin(), text.end(), [](QChar c) { return !c.isLowSurrogate(); }));
}

bool hasFourDecimalsAtMost(double v)
{
    const double scaled = v * 10000.0;
    // The tolerance covers the representation error of a decimal in binary.
    return std::fabs(scaled - std::round(scaled)) <= std::fabs(scaled) * 4 * DBL_EPSILON + 1e-7;
}

bool isNumber(const QVariant &v)
{
    return v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double
        || v.typeId() == QMetaType::Int;
}

QString shown(const QVariant &v)
{
    QString text = v.toString();
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("...");
    return text;
}

// Checked on whole records only: an editor may hold another value (a blank
// unit) until the record is completed for posting.
void checkChoice(const FieldDef &f, const QVariant &value)
{
    if (f.choices.isEmpty() || value.isNull() || f.choices.contains(value.toString()))
        return;
    throw EngineError(QStringLiteral("'%1' is not a valid value for field '%2'. It is one of: %3")
                          .arg(shown(value), f.name, f.choices.join(QStringLiteral(", "))));
}
} // namespace

bool RecordRules::isSoundAmount(double amount)
{
    return std::isfinite(amount) && std::fabs(amount) <= MaxAmount;
}

bool RecordRules::isSound(const FieldDef &field, double amount)
{
    return field.isSum ? std::isfinite(amount) : isSoundAmount(amount);
}

QVariant RecordRules::converted(const FieldDef &f, const QVariant &value, const QString &label)
{
    const QString name = label.isEmpty() ? f.name : label;
    if (value.isNull())
        return {};
    const bool isString = value.typeId() == QMetaType::QString;
    if (isString && value.toString().isEmpty())
        return {};
    switch (f.type) {
    case FieldType::Text: {
        const QString text = value.toString();
        if (f.size > 0 && characters(text) > f.size)
            throw EngineError(
                QStringLiteral("Value is too long for field '%1': at most %2 characters.")
                    .arg(f.name)
                    .arg(f.size));
        // A choice typed in another case ("months", from an older file) is
        // stored as the choice itself: the recurrence compares it exactly.
        for (const QString &choice : f.choices)
            if (choice.compare(text, Qt::CaseInsensitive) == 0)
                return choice;
        return text;
    }
    case FieldType::Date: {
        if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime) {
            const QDate d = value.toDate();
            if (!d.isValid() || d.year() < 1 || d.year() > 9999)
                throw EngineError(QStringLiteral("Invalid date for field '%1'").arg(f.name));
            return d;
        }
        const QDate d = QDate::fromString(value.toString().trimmed(), Qt::ISODate);
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            throw EngineError(QStringLiteral("'%1' is not a valid date for field '%2'")
                                  .arg(shown(value), f.name));
        return d;
    }
    case FieldType::Money: {
        // A sum (the aging rows) is exact and finite by its type, and may lie
        // beyond the bound that limits what is entered.
        if (value.metaType() == QMetaType::fromType<Money>())
            return value;
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok)
            throw EngineError(
                QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                    .arg(shown(value), name));
        // The sums add amounts as whole ten-thousandths: beyond this bound
        // they would no longer be exact.
        if (!isSound(f, v))
            throw EngineError(
                QStringLiteral("%1 is not a valid amount for field '%2'. Amounts lie between "
                               "-999,999,999,999.99 and 999,999,999,999.99")
                    .arg(shown(value), name));
        if (!hasFourDecimalsAtMost(v))
            throw EngineError(
                QStringLiteral("%1 is not a valid amount for field '%2'. Amounts have at most "
                               "four decimals")
                    .arg(shown(value), name));
        return v;
    }
    case FieldType::SmallInt: {
        bool ok = false;
        const qlonglong v
            = isString ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok)
            throw EngineError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                  .arg(shown(value), name));
        if (v < -32768 || v > 32767)
            throw EngineError(QStringLiteral(
                "%1 is not a valid value for field '%2'. The allowed range is -32768 to 32767")
                                  .arg(v)
                                  .arg(name));
        return int(v);
    }
    case FieldType::Counter:
        throw EngineError(QStringLiteral("Field '%1' cannot be modified").arg(f.name));
    }
    return value;
}

void RecordRules::checkRequired(const FieldDef &field, const QVariant &value)
{
    if (field.required && field.type != FieldType::Counter && value.isNull())
        throw EngineError(QStringLiteral("Field '%1' must have a value").arg(field.name));
}

QString RecordRules::storedProblem(const FieldDef &f, const QVariant &stored)
{
    if (f.type == FieldType::Counter)
        return {};
    try {
        if (stored.isNull()) {
            checkRequired(f, stored);
            return {};
        }
        bool sound = true;
        switch (f.type) {
        case FieldType::Text:
            sound = stored.typeId() == QMetaType::QString;
            break;
        case FieldType::Date:
            // Dates are compared as text: only the one spelling orders right.
            sound = stored.typeId() == QMetaType::QString
                && QDate::fromString(stored.toString(), Qt::ISODate).toString(Qt::ISODate)
                    == stored.toString();
            break;
        case FieldType::Money:
            sound = isNumber(stored);
            break;
        case FieldType::SmallInt:
            sound = stored.typeId() == QMetaType::LongLong || stored.typeId() == QMetaType::Int;
            break;
        case FieldType::Counter:
            break;
        }
        if (!sound)
            return QStringLiteral("'%1' is not a valid value for field '%2'")
                .arg(stored.typeId() == QMetaType::QByteArray ? QStringLiteral("(binary data)")
                                                              : shown(stored),
                    f.name);
        if (stored.typeId() == QMetaType::QString && stored.toString().isEmpty()) {
            // An empty text is stored as an empty field by every writer.
            checkRequired(f, QVariant());
            return {};
        }
        // What a file holds is used as it is: a choice must be spelt exactly.
        converted(f, stored);
        checkChoice(f, stored);
    } catch (const EngineError &e) {
        return e.message();
    }
    return {};
}

void RecordRules::checkRecord(const QList<FieldDef> &fields, const std::vector<QVariant> &values)
{
    for (int i = 0; i < fields.size() && i < int(values.size()); ++i) {
        const FieldDef &f = fields[i];
        if (f.type == FieldType::Counter)
            continue;
        checkRequired(f, values[std::size_t(i)]);
        if (!values[std::size_t(i)].isNull())
            checkChoice(f, converted(f, values[std::size_t(i)]));
    }
}

FieldDef RecordRules::withLayoutRules(const FieldDef &declared, const Layout *layout)
{
    FieldDef f = declared;
    if (const FieldDef *own = layout ? layout->field(declared.name) : nullptr;
        own && own->type == declared.type) {
        f.choices = own->choices;
        f.isSum = own->isSum;
    }
    return f;
}

std::vector<QVariant> RecordRules::convertedRecord(
    const Layout &layout, const QStringList &fields, const QVariantList &values)
{
    std::vector<QVariant> record(std::size_t(layout.fields.size()));
    for (int i = 0; i < fields.size() && i < values.size(); ++i) {
        const FieldDef *f = layout.field(fields[i]);
        if (!f)
            throw EngineError(QStringLiteral("Field '%1' not found").arg(fields[i]));
        record[std::size_t(f - layout.fields.constData())] = converted(*f, values[i]);
    }
    checkRecord(layout.fields, record);
    return record;
}
