#include "itemmodel.h"

#include "colours.h"
#include "urgency.h"

#include "data/engineerror.h"
#include "data/formats.h"
#include "data/itemfields.h"
#include "data/layouts.h"
#include "data/table.h"
#include "platform/clock.h"

#include <QBrush>
#include <QColor>
#include <QDate>

namespace {
const QString noField;
} // namespace

ItemModel::ItemModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void ItemModel::setTable(Table *table)
{
    beginResetModel();
    m_titlesShown.clear();
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    m_rows = table ? table->rowCount() : 0;
    if (table) {
        connect(table, &Table::rowsReset, this, &ItemModel::resync);
        connect(table, &Table::rowChanged, this, [this](int row, int field) {
            if (row < 0 || row >= m_rows)
                return;
            // A cell is drawn from its own field alone: one field changed,
            // only its cells are drawn again.
            if (field < 0) {
                Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
                return;
            }
            for (int column = 0; column < columnCount(); ++column)
                if (fieldIndex(column) == field)
                    Q_EMIT dataChanged(index(row, column), index(row, column));
        });
    }
    endResetModel();
}

void ItemModel::setColumns(const QList<GridColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    m_titlesShown.clear();
    m_traits.clear();
    for (const GridColumn &c : m_columns) {
        ColumnTraits t;
        t.def = ItemFields::definition(c.field);
        t.banded = ItemFields::isBanded(c.field);
        t.payNow = c.field == QLatin1String("PayNow");
        if (c.field == QLatin1String("Bill Amount"))
            t.colour = ColumnTraits::Colour::Bill;
        else if (c.field == QLatin1String("Pay Amount"))
            t.colour = ColumnTraits::Colour::Pay;
        if (t.def && Formats::alignsRight(t.def->type))
            t.alignment = int(Qt::AlignRight | Qt::AlignVCenter);
        else if (t.payNow)
            t.alignment = int(Qt::AlignCenter);
        else
            t.alignment = int(Qt::AlignLeft | Qt::AlignVCenter);
        m_traits.append(t);
    }
    endResetModel();
}

const ItemModel::ColumnTraits &ItemModel::traits(int column) const
{
    static const ColumnTraits none;
    return column >= 0 && column < m_traits.size() ? m_traits[column] : none;
}

QString ItemModel::fieldName(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column].field : QString();
}

int ItemModel::fieldIndexOf(int column) const
{
    // The table's field positions change when it is opened on another file:
    // they are looked up each time (a hash lookup).
    return m_table->fieldIndex(
        column >= 0 && column < m_columns.size() ? m_columns[column].field : noField);
}

int ItemModel::fieldIndex(int column) const
{
    if (!m_table || !m_table->isOpen())
        return -1;
    return fieldIndexOf(column);
}

int ItemModel::columnOfField(const QString &field) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString ItemModel::title(int column) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    if (!m_columns[column].title.isEmpty())
        return m_columns[column].title;
    return m_table ? m_table->displayLabel(m_columns[column].field) : m_columns[column].field;
}

int ItemModel::band(const QModelIndex &index) const
{
    if (!m_urgency || !traits(index.column()).banded)
        return Urgency::NoBand;
    return Urgency::band(m_table->rowValue(index.row(), fieldIndex(index.column())),
        m_interval ? m_interval() : 7, Clock::current().now());
}

int ItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ItemModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ItemModel::data(const QModelIndex &index, int role) const
{
    // Views ask for many roles per cell; the rest are answered before any lookup.
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ForegroundRole
        && role != Qt::TextAlignmentRole)
        return {};
    if (!index.isValid() || !m_table || !m_table->isOpen())
        return {};
    const int fi = fieldIndexOf(index.column());
    if (fi < 0)
        return {};
    const ColumnTraits &t = traits(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const QVariant v = m_table->rowValue(index.row(), fi);
        if (t.def)
            return Formats::display(*t.def, v);
        return v.isNull() ? QString() : v.toString();
    }
    case Qt::EditRole:
        return editText(index.row(), index.column());
    case Qt::ForegroundRole: {
        if (t.colour == ColumnTraits::Colour::Bill)
            return Colours::foreground(Colours::Maroon);
        if (t.colour == ColumnTraits::Colour::Pay)
            return Colours::foreground(Colours::Green);
        const int b = band(index);
        if (b != Urgency::NoBand)
            return Colours::foreground(Urgency::textColor(b));
        return {};
    }
    default: // Qt::TextAlignmentRole
        return t.alignment;
    }
}

QString ItemModel::editText(int row, int column) const
{
    const int fi = fieldIndex(column);
    if (fi < 0)
        return {};
    const QVariant v = m_table->rowValue(row, fi);
    if (v.isNull())
        return {};
    if (const FieldDef *def = traits(column).def)
        return Formats::editText(*def, v);
    return v.toString();
}

QVariant ItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole)
            return title(section);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter | Qt::TextWordWrap);
        return {};
    }
    if (role == Qt::DisplayRole && m_table && section == m_table->currentRow()) {
        // The record indicator.
        switch (m_table->state()) {
        case Table::State::Insert:
            return QStringLiteral("*");
        case Table::State::Edit:
            return QStringLiteral("I");
        default:
            return QString(QChar(0x25B6));
        }
    }
    if (role == Qt::DisplayRole)
        return QString();
    return {};
}

Qt::ItemFlags ItemModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_editable && index.isValid() && !traits(index.column()).payNow)
        f |= Qt::ItemIsEditable;
    return f;
}

bool ItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !m_table)
        return false;
    if (editText(index.row(), index.column()) == value.toString() && !m_table->isEditing())
        return true; // nothing typed: the record stays in browse
    setText(index.column(), value.toString());
    return true;
}

void ItemModel::setText(int column, const QString &text)
{
    Table &t = *m_table;
    const QString field = fieldName(column);
    const int fi = fieldIndex(column);
    if (fi < 0)
        return;
    if (!t.isEditing())
        t.edit();
    if (ItemFields::isDate(field)) {
        const QDate d = Formats::parseDate(text);
        t.setValue(fi, d.isValid() ? QVariant(d) : QVariant());
        return;
    }
    if (ItemFields::isEntryAmount(field)) {
        double v = 0;
        if (!Formats::parseNumber(text, v)) {
            t.setValue(fi, QVariant());
            return;
        }
        t.setValue(fi, v);
        if (v > 0) {
            const QString other = field == QLatin1String("Bill Amount")
                ? QStringLiteral("Pay Amount")
                : QStringLiteral("Bill Amount");
            t.setValue(other, QVariant());
        }
        return;
    }
    if (ItemFields::isMoney(field)) {
        if (text.trimmed().isEmpty()) {
            t.setValue(fi, QVariant());
            return;
        }
        double v = 0;
        if (!Formats::parseNumber(text, v))
            throw EngineError(
                QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                    .arg(text, t.displayLabel(field)));
        t.setValue(fi, v);
        return;
    }
    if (field == QLatin1String("Frequency") || field == QLatin1String("Warning Days")) {
        if (text.trimmed().isEmpty()) {
            t.setValue(fi, QVariant());
            return;
        }
        bool ok = false;
        const qlonglong v = text.trimmed().toLongLong(&ok);
        if (!ok)
            throw EngineError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                  .arg(text, t.displayLabel(field)));
        t.setValue(fi, v);
        return;
    }
    t.setValue(fi, text);
}

void ItemModel::resync()
{
    const int newRows = m_table && m_table->isOpen() ? m_table->rowCount() : 0;
    // Rows are added or taken at the end and everything else repainted, so the
    // header keeps its column layout.
    if (newRows > m_rows) {
        beginInsertRows({}, m_rows, newRows - 1);
        m_rows = newRows;
        endInsertRows();
    } else if (newRows < m_rows) {
        beginRemoveRows({}, newRows, m_rows - 1);
        m_rows = newRows;
        endRemoveRows();
    }
    if (m_rows > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
    if (m_rows > 0)
        Q_EMIT headerDataChanged(Qt::Vertical, 0, m_rows - 1);
}

void ItemModel::headerTitlesChanged()
{
    // The header measures its titles again after this signal: at every
    // opening of a list, although they are mostly the ones it measured last.
    QStringList titles;
    for (int c = 0; c < columnCount(); ++c)
        titles.append(title(c));
    if (titles == m_titlesShown)
        return;
    m_titlesShown = titles;
    if (columnCount() > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}
