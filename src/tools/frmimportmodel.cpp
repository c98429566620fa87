#include "frmimportmodel.h"

#include "data/formats.h"
#include "data/layouts.h"
#include "domain/options.h"
#include "import/importplan.h"

#include <QBrush>
#include <QColor>

namespace {
QString fieldTitle(const QString &field)
{
    static const QHash<QString, QString> labels = {
        { QStringLiteral("Description"), QStringLiteral("Payee") },
        { QStringLiteral("Bill Amount"), QStringLiteral("Expense Amount") },
        { QStringLiteral("Pay Amount"), QStringLiteral("Income Amount") },
        { QStringLiteral("Frequency"), QStringLiteral("Repeat Every") },
        { QStringLiteral("Budget"), QStringLiteral("Budget Amount") },
    };
    if (field.startsWith(QLatin1String("User Field ")))
        return OptionsStore::current().userTitle(field.right(1).toInt());
    return labels.value(field, field);
}
} // namespace

ImportRowsModel::ImportRowsModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void ImportRowsModel::setPlan(ImportPlan *plan)
{
    beginResetModel();
    m_plan = plan;
    endResetModel();
}

int ImportRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_plan ? 0 : int(m_plan->rows().size());
}

int ImportRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FirstField + int(ImportPlan::fields().size());
}

QVariant ImportRowsModel::fieldText(int row, int field) const
{
    const ImportRow &r = m_plan->rows()[row];
    const QString &name = ImportPlan::fields()[field];
    const QVariant &value = r.values[field];
    if (value.isNull())
        return {};
    // A value the rules refused is shown as the source wrote it.
    QString text
        = r.valid ? Formats::display(*Layouts::item().field(name), value) : value.toString();
    if (text.size() > 80)
        text = text.left(80) + QStringLiteral("…");
    return text;
}

QVariant ImportRowsModel::data(const QModelIndex &index, int role) const
{
    if (!m_plan || !index.isValid() || index.row() >= rowCount())
        return {};
    const ImportRow &r = m_plan->rows()[index.row()];
    const int c = index.column();
    if (role == Qt::CheckStateRole) {
        if (c == Tick)
            return r.ticked ? Qt::Checked : Qt::Unchecked;
        if (c == Nearest && !r.ruleMatched)
            return r.acceptNearest ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (role == Qt::ForegroundRole && c == Problems && !r.problems.isEmpty())
        return QBrush(r.canTick() ? QColor(160, 90, 0) : QColor(200, 0, 0));
    if (role == Qt::TextAlignmentRole && c >= FirstField) {
        const FieldDef *f = Layouts::item().field(ImportPlan::fields()[c - FirstField]);
        return QVariant::fromValue(
            Qt::AlignVCenter | (Formats::alignsRight(f->type) ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (c == Row)
        return r.record;
    if (c >= FirstField)
        return fieldText(index.row(), c - FirstField);
    if (c == Nearest && !r.ruleMatched)
        return r.sourceRule.isEmpty() ? QStringLiteral("Use the nearest rule")
                                      : QStringLiteral("Use it for %1").arg(r.sourceRule);
    if (c == Problems)
        return r.problems.join(
            role == Qt::ToolTipRole ? QStringLiteral("\n") : QStringLiteral("; "));
    return {};
}

QVariant ImportRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == Tick)
        return QStringLiteral("Import");
    if (section == Row)
        return QStringLiteral("Row");
    if (section == Nearest)
        return QStringLiteral("Nearest Rule");
    if (section == Problems)
        return QStringLiteral("Problems");
    return fieldTitle(ImportPlan::fields().value(section - FirstField));
}

Qt::ItemFlags ImportRowsModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsSelectable;
    if (!m_plan || !index.isValid())
        return f;
    const ImportRow &r = m_plan->rows()[index.row()];
    const bool enabled = index.column() == Tick ? r.canTick()
        : index.column() == Nearest             ? !r.ruleMatched && r.valid
                                                : true;
    if (enabled)
        f |= Qt::ItemIsEnabled;
    if (index.column() == Tick || (index.column() == Nearest && !r.ruleMatched))
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool ImportRowsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!m_plan || role != Qt::CheckStateRole || !index.isValid())
        return false;
    const bool on = value.toInt() == Qt::Checked;
    if (index.column() == Tick)
        m_plan->setTicked(index.row(), on);
    else if (index.column() == Nearest)
        m_plan->setAcceptNearest(index.row(), on);
    else
        return false;
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    Q_EMIT ticksChanged();
    return true;
}
