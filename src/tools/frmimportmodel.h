#pragma once

#include <QAbstractTableModel>

class ImportPlan;

// The rows of an import plan as a list, in the order a user reads them: a
// tick per row, the item's fields as the list names them, the source's own
// rule, the row's problems and, where the source's rule has no equal, the
// acceptance of the nearest one.
class ImportRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Tick, Row, FirstField };

    explicit ImportRowsModel(QObject *parent = nullptr);

    // The plan is not owned; call again after it was rebuilt.
    void setPlan(ImportPlan *plan);
    ImportPlan *plan() const { return m_plan; }

    // The columns after the fields.
    static int sourceRuleColumn();
    static int problemsColumn();
    static int nearestColumn();
    // The column of an item field (its name in the item layout).
    static int fieldColumn(const QString &field);
    // A field column past the ones every import fills.
    static bool isOptionalField(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

Q_SIGNALS:
    void ticksChanged();

private:
    QVariant fieldText(int row, int column) const;
    QString nearestText(int row) const;

    ImportPlan *m_plan = nullptr;
};
