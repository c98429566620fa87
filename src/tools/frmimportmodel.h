#pragma once

#include <QAbstractTableModel>

class ImportPlan;

// The rows of an import plan as a list: a tick per row, the row's problems,
// the acceptance of the nearest rule where the source's has no equal, and
// the item's fields.
class ImportRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Tick, Row, Problems, Nearest, FirstField };

    explicit ImportRowsModel(QObject *parent = nullptr);

    // The plan is not owned; call again after it was rebuilt.
    void setPlan(ImportPlan *plan);
    ImportPlan *plan() const { return m_plan; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

Q_SIGNALS:
    void ticksChanged();

private:
    QVariant fieldText(int row, int field) const;

    ImportPlan *m_plan = nullptr;
};
