#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Table;
struct FieldDef;

struct GridColumn
{
    QString field;
    QString title; // empty: the field's display label
    int width = 64;
};

// Rows of a table handle for the item lists. Dates and amounts are shown in
// the user's formats, the amount columns in their colours, the due and pay
// dates in the colour of their urgency band.
class ItemModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ItemModel(QObject *parent = nullptr);

    void setTable(Table *table);
    Table *table() const { return m_table; }
    void setColumns(const QList<GridColumn> &columns);
    const QList<GridColumn> &columns() const { return m_columns; }
    QString fieldName(int column) const;
    int fieldIndex(int column) const; // index in the table, -1 when closed
    int columnOfField(const QString &field) const;
    QString title(int column) const;

    // Where the aging interval comes from (7 days without one).
    void setIntervalSource(std::function<int()> source) { m_interval = std::move(source); }
    void setUrgency(bool on) { m_urgency = on; }
    bool urgency() const { return m_urgency; }
    void setEditable(bool on) { m_editable = on; }
    int band(const QModelIndex &index) const; // NoBand when none

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // Text typed into a cell becomes the field's value: dates and the expense
    // and income amounts by their entry rules (no message, bad text empties
    // them), the rest through the field's own conversion, which may refuse it.
    void setText(int column, const QString &text);
    // The edit text of a cell ("##########.##" for amounts).
    QString editText(int row, int column) const;

    // Re-reads the whole view after the table changed its rows.
    void resync();
    void headerTitlesChanged();

private:
    // What a column's field name decides, worked out once per column list:
    // cells ask for several roles each time they are drawn.
    struct ColumnTraits
    {
        const FieldDef *def = nullptr; // nullptr: not an item field
        int alignment = 0;
        enum class Colour { None, Bill, Pay } colour = Colour::None; // the amounts' own
        bool banded = false;
        bool payNow = false;
    };
    const ColumnTraits &traits(int column) const;
    int fieldIndexOf(int column) const;

    Table *m_table = nullptr;
    QList<GridColumn> m_columns;
    QList<ColumnTraits> m_traits;
    QStringList m_titlesShown; // as last announced to the views
    std::function<int()> m_interval;
    bool m_urgency = true;
    bool m_editable = true;
    int m_rows = 0;
};
