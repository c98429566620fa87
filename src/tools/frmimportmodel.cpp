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

// The fields in the order of the list's columns; the rest of the plan's
// fields follow in its own order.
const QList<int> &fieldOrder()
{
    static const QList<int> order = [] {
        const QStringList &fields = ImportPlan::fields();
        QList<int> list;
        for (const char *name : { "Description", "Due Date", "Bill Amount", "Pay Amount",
                 "Frequency", "Units", "End Date" })
            list.append(int(fields.indexOf(QLatin1String(name))));
        for (int i = 0; i < fields.size(); ++i)
            if (!list.contains(i))
                list.append(i);
        return list;
    }();
    return order;
}

// The fields every import fills come first.
constexpr int MainFields = 7;

int fieldAt(int column)
{
    return fieldOrder().value(column - ImportRowsModel::FirstField, -1);
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

int ImportRowsModel::sourceRuleColumn()
{
    return FirstField + int(ImportPlan::fields().size());
}

int ImportRowsModel::problemsColumn()
{
    return sourceRuleColumn() + 1;
}

int ImportRowsModel::nearestColumn()
{
    return sourceRuleColumn() + 2;
}

int ImportRowsModel::fieldColumn(const QString &field)
{
    return FirstField + int(fieldOrder().indexOf(int(ImportPlan::fields().indexOf(field))));
}

bool ImportRowsModel::isOptionalField(int column)
{
    return column >= FirstField + MainFields && column < sourceRuleColumn();
}

int ImportRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_plan ? 0 : int(m_plan->rows().size());
}

int ImportRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : nearestColumn() + 1;
}

QVariant ImportRowsModel::fieldText(int row, int column) const
{
    const int field = fieldAt(column);
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

// The item rule the row gets when the user accepts it, in the list's terms.
QString ImportRowsModel::nearestText(int row) const
{
    const ImportRow &r = m_plan->rows()[row];
    const QString frequency = fieldText(row, fieldColumn(QStringLiteral("Frequency"))).toString();
    const QString units = fieldText(row, fieldColumn(QStringLiteral("Units"))).toString();
    if (units.isEmpty() || !r.valid)
        return QStringLiteral("Use the nearest rule");
    if (frequency.isEmpty() || frequency == QLatin1String("0"))
        return QStringLiteral("Import as %1 instead").arg(units);
    return QStringLiteral("Use every %1 %2 instead").arg(frequency, units);
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
        if (c == nearestColumn() && !r.ruleMatched)
            return r.acceptNearest ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (role == Qt::ForegroundRole && c == problemsColumn() && !r.problems.isEmpty())
        return QBrush(r.canTick() ? QColor(160, 90, 0) : QColor(200, 0, 0));
    if (role == Qt::TextAlignmentRole && c >= FirstField && c < sourceRuleColumn()) {
        const FieldDef *f = Layouts::item().field(ImportPlan::fields()[fieldAt(c)]);
        return QVariant::fromValue(
            Qt::AlignVCenter | (Formats::alignsRight(f->type) ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (c == Row && role == Qt::DisplayRole)
        return r.record;
    if (c >= FirstField && c < sourceRuleColumn())
        return fieldText(index.row(), c);
    if (c == sourceRuleColumn())
        return r.sourceRule;
    if (c == nearestColumn() && !r.ruleMatched)
        return nearestText(index.row());
    // The tick and the row number show the row's problems in their tooltips too.
    if (c == problemsColumn() || (role == Qt::ToolTipRole && c < FirstField))
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
    if (section == sourceRuleColumn())
        return QStringLiteral("Rule in the File");
    if (section == problemsColumn())
        return QStringLiteral("Problems");
    if (section == nearestColumn())
        return QStringLiteral("Nearest Rule");
    return fieldTitle(ImportPlan::fields().value(fieldAt(section)));
}

Qt::ItemFlags ImportRowsModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsSelectable;
    if (!m_plan || !index.isValid())
        return f;
    const ImportRow &r = m_plan->rows()[index.row()];
    const bool nearest = index.column() == nearestColumn();
    const bool enabled = index.column() == Tick ? r.canTick()
        : nearest                               ? !r.ruleMatched && r.valid
                                                : true;
    if (enabled)
        f |= Qt::ItemIsEnabled;
    if (index.column() == Tick || (nearest && !r.ruleMatched))
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
    else if (index.column() == nearestColumn())
        m_plan->setAcceptNearest(index.row(), on);
    else
        return false;
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    Q_EMIT ticksChanged();
    return true;
}
