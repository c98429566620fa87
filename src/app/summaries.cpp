#include "summaries.h"

#include "colours.h"
#include "itemrules.h"

#include "coloredheader.h"
#include "itemgrid.h"
#include "urgency.h"

#include "data/engine.h"
#include "data/formats.h"
#include "data/itemstatements.h"
#include "data/layouts.h"
#include "data/query.h"
#include "data/table.h"
#include "domain/aging.h"
#include "domain/summaryservice.h"
#include "platform/clock.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QPalette>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>

namespace {

const QString PayNowField = QStringLiteral("PayNow");
const QString DueDateField = QStringLiteral("Due Date");
const QString &BillTotalField = TotalsColumn::Bill;
const QString &PayTotalField = TotalsColumn::Pay;
const QString &RemainderField = TotalsColumn::Remainder;
const QString &CountField = TotalsColumn::Count;

bool isMoneyColumn(const QString &field)
{
    return field == BillTotalField || field == PayTotalField || field == RemainderField;
}

void setUpGrid(QTableView *grid)
{
    auto *header = new ColoredHeader(grid);
    grid->setHorizontalHeader(header);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setTabKeyNavigation(true);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(20);
    header->setSectionsMovable(true);
    const QFont cellFont = listFont();
    grid->setFont(cellFont);
    QFont titleFont = cellFont;
    titleFont.setBold(true);
    header->setFont(titleFont);
    if (!Colours::isDark(grid->palette())) {
        QPalette pal = grid->palette();
        pal.setColor(QPalette::Base, Qt::white);
        pal.setColor(QPalette::Text, Qt::black);
        grid->setPalette(pal);
    }
}

} // namespace

// ---------------------------------------------------------------- totals

SummaryModel::SummaryModel(Query *query, const QList<Column> &columns, QObject *parent)
    : QAbstractTableModel(parent)
    , m_query(query)
    , m_columns(columns)
{ }

QString SummaryModel::fieldName(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column].field : QString();
}

void SummaryModel::reset()
{
    beginResetModel();
    m_rows = m_query->isOpen() ? m_query->rowCount() : 0;
    endResetModel();
}

void SummaryModel::rowsChanged(int from, int to)
{
    if ((m_query->isOpen() ? m_query->rowCount() : 0) != m_rows) {
        reset();
        return;
    }
    if (from < 0 || to < 0) // one side not known: all of them
        from = 0, to = m_rows - 1;
    if (from > to)
        std::swap(from, to);
    from = std::max(from, 0);
    to = std::min(to, m_rows - 1);
    if (from <= to)
        Q_EMIT dataChanged(index(from, 0), index(to, columnCount() - 1));
}

QVariant SummaryModel::value(int row, const QString &field) const
{
    if (row >= m_query->rowCount())
        return {};
    if (field == RemainderField)
        return ItemRules::remainder(
            m_query->value(row, BillTotalField), m_query->value(row, PayTotalField));
    return m_query->value(row, field);
}

int SummaryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int SummaryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant SummaryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const QString field = fieldName(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const QVariant v = value(index.row(), field);
        if (v.isNull())
            return QString();
        if (isMoneyColumn(field))
            return Formats::amount(v);
        if (field == DueDateField)
            return Formats::date(v.toDate());
        return v.toString();
    }
    case Qt::ForegroundRole:
        if (field == BillTotalField)
            return Colours::foreground(Colours::Maroon);
        if (field == PayTotalField)
            return Colours::foreground(Colours::Green);
        if (field == RemainderField)
            return Colours::foreground(
                value(index.row(), field).toDouble() < 0 ? Colours::Maroon : Colours::Green);
        return {};
    case Qt::TextAlignmentRole:
        if (isMoneyColumn(field) || field == CountField)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (field == PayNowField)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::UserRole:
        return value(index.row(), field);
    default:
        return {};
    }
}

QVariant SummaryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_columns[section].title;
    case Qt::UserRole:
        return m_columns[section].field;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return {};
    }
}

Qt::ItemFlags SummaryModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---------------------------------------------------------------- aging rows

AgingModel::AgingModel(Table *table, QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(table)
{
    connect(table, &Table::rowsReset, this, &AgingModel::resync);
    connect(table, &Table::rowChanged, this, [this](int row) {
        if (row >= 0 && row < m_rows)
            Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
    resync();
}

QStringList AgingModel::fieldNames()
{
    return Aging::fieldNames();
}

void AgingModel::resync()
{
    if (!m_shown.isEmpty())
        return; // the rows shown are the window's own
    beginResetModel();
    m_rows = m_table->isOpen() ? m_table->recordCount() : 0;
    endResetModel();
}

void AgingModel::titlesChanged()
{
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int AgingModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int AgingModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 7;
}

void AgingModel::showRows(const QList<QVariantList> &rows)
{
    if (rows.size() != m_shown.size()) {
        beginResetModel();
        m_shown = rows;
        m_rows = int(rows.size());
        endResetModel();
        return;
    }
    // Only the amounts that moved are drawn again.
    for (int row = 0; row < m_rows; ++row)
        for (int column = 0; column < rows[row].size(); ++column)
            if (column >= m_shown[row].size() || rows[row][column] != m_shown[row][column])
                Q_EMIT dataChanged(index(row, column), index(row, column));
    m_shown = rows;
}

QVariant AgingModel::cell(int row, int column) const
{
    if (!m_shown.isEmpty())
        return m_shown.value(row).value(column);
    if (!m_table->isOpen() || row >= m_table->rowCount())
        return {};
    const int fi = m_table->fieldIndex(fieldNames().value(column));
    return fi < 0 ? QVariant() : m_table->rowValue(row, fi);
}

QVariant AgingModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const QVariant v = cell(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
        if (v.isNull())
            return QString();
        return index.column() == 0 ? v.toString() : Formats::amount(v);
    case Qt::ForegroundRole: {
        const QString type = cell(index.row(), 0).toString();
        if (type == QLatin1String("Income"))
            return Colours::foreground(Colours::Green);
        if (type == QLatin1String("Expense"))
            return Colours::foreground(Colours::Maroon);
        if (type == QLatin1String("Total") && index.column() > 0)
            return Colours::foreground(v.toDouble() > 0 ? Colours::Green : Colours::Maroon);
        return {};
    }
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                   : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::UserRole:
        return v;
    default:
        return {};
    }
}

QVariant AgingModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const QString field = fieldNames().value(section);
    switch (role) {
    case Qt::DisplayRole:
        return m_table->displayLabel(field);
    case Qt::UserRole:
        return field;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return {};
    }
}

Qt::ItemFlags AgingModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---------------------------------------------------------------- drawing

SummaryDelegate::SummaryDelegate(std::function<int()> interval, QObject *parent)
    : TextCellDelegate(parent)
    , m_interval(std::move(interval))
{ }

void SummaryDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QString field
        = index.model()->headerData(index.column(), Qt::Horizontal, Qt::UserRole).toString();
    if (field != PayNowField && field != DueDateField) {
        TextCellDelegate::paint(painter, option, index);
        return;
    }
    const bool selected = option.state & QStyle::State_Selected;
    const QColor background = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
    const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    painter->save();
    painter->fillRect(option.rect, background);
    if (field == PayNowField) {
        if (index.data(Qt::UserRole).toString() == PayMark) {
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(16);
            f.setBold(true);
            f.setItalic(true);
            painter->setFont(f);
            painter->setPen(selected ? text : Colours::onBase(Colours::Red, option.palette));
            painter->drawText(option.rect, Qt::AlignCenter, QString(QChar(0x2713)));
        }
        painter->restore();
        return;
    }
    // The marker of the date's band.
    const int band = Urgency::band(
        index.data(Qt::UserRole), m_interval ? m_interval() : 7, Clock::current().now());
    if (band != Urgency::NoBand)
        painter->drawPixmap(option.rect.left(), option.rect.top() + 1, Urgency::dueMarker(band));
    painter->setPen(text);
    painter->setFont(option.font);
    painter->drawText(option.rect.adjusted(Urgency::DueMarkerWidth, 2, 0, 0),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

// ---------------------------------------------------------------- views

SummaryViews::SummaryViews(SummaryService *service, Query *totals, Query *dueDateTotals,
    Table *ageTable, std::function<int()> interval, QObject *parent)
    : QObject(parent)
    , m_payNow(new SummaryModel(totals,
          { { PayNowField, QStringLiteral("Pay?"), 40 },
              { BillTotalField, QStringLiteral("Expense Totals"), 113 },
              { PayTotalField, QStringLiteral("Income Totals"), 113 },
              { RemainderField, QStringLiteral("Remainder"), 100 },
              { CountField, QStringLiteral("Count"), 64 } },
          this))
    , m_dueDate(new SummaryModel(dueDateTotals,
          { { BillTotalField, QStringLiteral("Expense Totals"), 113 },
              { PayTotalField, QStringLiteral("Income Totals"), 113 },
              { RemainderField, QStringLiteral("Remainder"), 100 },
              { CountField, QStringLiteral("Count"), 64 },
              { DueDateField, QStringLiteral("Due Date"), 80 } },
          this))
    , m_aging(new AgingModel(ageTable, this))
    , m_delegate(new SummaryDelegate(std::move(interval), this))
{
    const auto modelOf = [this](Query *query) {
        return query == m_payNow->query() ? m_payNow
            : query == m_dueDate->query() ? m_dueDate
                                          : nullptr;
    };
    connect(service, &SummaryService::totalsReset, this, [modelOf](Query *query) {
        if (SummaryModel *model = modelOf(query))
            model->reset();
    });
    connect(service, &SummaryService::totalsRowsChanged, this,
        [modelOf](Query *query, int from, int to) {
            if (SummaryModel *model = modelOf(query))
                model->rowsChanged(from, to);
        });
    connect(service, &SummaryService::agingChanged, m_aging, &AgingModel::showRows);
    connect(service, &SummaryService::agingTitlesChanged, m_aging, &AgingModel::titlesChanged);
}

void SummaryViews::attach(QTableView *payDate, QTableView *dueDate, QTableView *age)
{
    for (QTableView *grid : { payDate, dueDate, age })
        setUpGrid(grid);
    payDate->setModel(m_payNow);
    dueDate->setModel(m_dueDate);
    age->setModel(m_aging);
    age->setItemDelegate(new TextCellDelegate(age));
    payDate->setItemDelegate(m_delegate);
    dueDate->setItemDelegate(m_delegate);
    for (auto [grid, model] : { std::pair{ payDate, m_payNow }, std::pair{ dueDate, m_dueDate } })
        for (int i = 0; i < model->columns().size(); ++i)
            grid->setColumnWidth(i, model->columns()[i].width);
    for (int i = 0; i < m_aging->columnCount(); ++i)
        age->setColumnWidth(i, 90);

    auto *titles = static_cast<ColoredHeader *>(age->horizontalHeader());
    titles->setSectionColors(1, Colours::Red, Qt::white);
    titles->setSectionColors(2, QColor(255, 255, 0), Qt::black);
    titles->setSectionColors(3, QColor(0, 255, 0), Qt::black);
    titles->setSectionColors(4, Colours::Blue, Qt::white);
    titles->setSectionColors(5, Qt::white, Qt::black);
    titles->setSectionColors(
        6, age->palette().color(QPalette::Button), age->palette().color(QPalette::ButtonText));
}
