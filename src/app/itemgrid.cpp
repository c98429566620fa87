#include "itemgrid.h"

#include "coloredheader.h"
#include "colours.h"
#include "itemdelegate.h"
#include "itemgridfields.h"

#include "data/engineerror.h"
#include "data/itemfields.h"
#include "data/layouts.h"
#include "data/table.h"
#include "dialogs/calculator.h"
#include "dialogs/frmcalendar.h"
#include "domain/newitem.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {
// A header's size comes from its titles alone, unless a section is sized to
// the cells it heads.
bool keepsMeasureOnCellChange(const QHeaderView &header, int first, int last)
{
    for (int s = std::max(first, 0); s <= last && s < header.count(); ++s)
        if (header.sectionResizeMode(s) == QHeaderView::ResizeToContents)
            return false;
    return true;
}

// The row titles: QHeaderView sizes them from the first and last hundred
// sections, each measured with the font, although all but the current
// record's show the same. Sections showing the same are measured once per
// pass, which gives the same size.
class RowHeader : public QHeaderView
{
public:
    explicit RowHeader(QWidget *parent)
        : QHeaderView(Qt::Vertical, parent)
    {
        // As the table view's own row header.
        setSectionsClickable(true);
        setHighlightSections(true);
    }

    QSize sizeHint() const override
    {
        m_measured.clear();
        m_measuring = true;
        const QSize hint = QHeaderView::sizeHint();
        m_measuring = false;
        m_measured.clear();
        return hint;
    }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override
    {
        if (!m_measuring || !measuredByTextOnly(logicalIndex))
            return QHeaderView::sectionSizeFromContents(logicalIndex);
        const QString text = model()->headerData(logicalIndex, orientation()).toString();
        const auto known = m_measured.constFind(text);
        if (known != m_measured.cend())
            return *known;
        return *m_measured.insert(text, QHeaderView::sectionSizeFromContents(logicalIndex));
    }

private:
    bool measuredByTextOnly(int logicalIndex) const
    {
        for (int role : { Qt::SizeHintRole, Qt::FontRole, Qt::DecorationRole })
            if (model()->headerData(logicalIndex, orientation(), role).isValid())
                return false;
        return !isSortIndicatorShown() || sortIndicatorSection() != logicalIndex;
    }

    mutable QHash<QString, QSize> m_measured;
    mutable bool m_measuring = false;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
        const QList<int> &roles) override
    {
        if (keepsMeasureOnCellChange(*this, topLeft.row(), bottomRight.row()))
            return;
        QHeaderView::dataChanged(topLeft, bottomRight, roles);
    }
};

// The column titles, sized as their cells are not: QHeaderView forgets the
// size it measured for its titles whenever a cell changes, and every opening
// and reading of a list changes them all.
class ListHeader : public ColoredHeader
{
public:
    using ColoredHeader::ColoredHeader;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
        const QList<int> &roles) override
    {
        if (keepsMeasureOnCellChange(*this, topLeft.column(), bottomRight.column()))
            return;
        ColoredHeader::dataChanged(topLeft, bottomRight, roles);
    }
};
} // namespace

// The lists draw their cells and titles in an Arial-metric face: the column
// widths are made for it.
QFont listFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QStringList unitNames()
{
    return { QStringLiteral("One Time"), QStringLiteral("Days"), QStringLiteral("Weeks"),
        QStringLiteral("Half Months"), QStringLiteral("Months"), QStringLiteral("Years") };
}

ItemGrid::ItemGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new ItemModel(this))
    , m_header(new ListHeader(this))
{
    setHorizontalHeader(m_header);
    setVerticalHeader(new RowHeader(this));
    // focusChanged comes after the focus events, so during them this still
    // holds the widget the keyboard came from.
    m_followFocus = connect(qApp, &QApplication::focusChanged, this,
        [this](QWidget *, QWidget *now) { m_focusBefore = now; });
    m_header->setMinimumHeight(30); // titles wrap onto two lines
    setModel(m_model);
    setItemDelegate(new ItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setAlternatingRowColors(false);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(20);
    verticalHeader()->setMinimumWidth(14);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    const QFont cellFont = listFont();
    setFont(cellFont);
    QFont titleFont = cellFont;
    titleFont.setBold(true);
    m_header->setFont(titleFont);
    if (!Colours::isDark(palette())) {
        QPalette pal = palette();
        pal.setColor(QPalette::Base, Qt::white);
        pal.setColor(QPalette::Text, Qt::black);
        setPalette(pal);
    }
    connect(m_header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (m_rules.titleSort)
            sortByColumn(column);
    });
}

// The focus moves on while the widgets below are taken down, after this
// object's members are gone: it must no longer be followed by then.
ItemGrid::~ItemGrid()
{
    disconnect(m_followFocus);
}

void ItemGrid::setTable(Table *table)
{
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    m_model->setTable(table);
    if (!table)
        return;
    connect(table, &Table::currentChanged, this, &ItemGrid::syncFromTable);
    connect(table, &Table::stateChanged, this, [this] {
        // The row marker shows the state: only its section is drawn again. A
        // header-data change would have the view lay out all its rows anew.
        if (m_table && m_table->currentRow() >= 0 && m_table->currentRow() < m_model->rowCount()) {
            QHeaderView *rows = verticalHeader();
            const int y = rows->sectionViewportPosition(m_table->currentRow());
            rows->viewport()->update(
                0, y, rows->viewport()->width(), rows->sectionSize(m_table->currentRow()));
        }
        Q_EMIT statusChanged();
    });
    connect(table, &Table::rowsReset, this, [this] { Q_EMIT statusChanged(); });
    connect(table, &Table::beforeInsert, this, [this] {
        if (m_rules.blankDefaults)
            QTimer::singleShot(1, this, &ItemGrid::applyBlankDefaults);
    });
}

void ItemGrid::setColumns(const QList<GridColumn> &columns)
{
    m_model->setColumns(columns);
    for (int i = 0; i < columns.size(); ++i)
        setColumnWidth(i, columns[i].width > 0 ? columns[i].width : 64);
}

void ItemGrid::setRules(const GridRules &rules)
{
    m_rules = rules;
    m_model->setEditable(rules.editable);
    if (!rules.editable)
        setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void ItemGrid::setIntervalSource(std::function<int()> source)
{
    m_model->setIntervalSource(std::move(source));
}

void ItemGrid::setPickList(const QString &field, const QStringList &values)
{
    m_pickSources.remove(field);
    m_pickLists.insert(field, values);
}

void ItemGrid::setPickListSource(const QString &field, std::function<QStringList()> source)
{
    m_pickLists.remove(field);
    m_pickSources.insert(field, std::move(source));
}

QStringList ItemGrid::pickList(const QString &field) const
{
    if (const std::function<QStringList()> source = m_pickSources.take(field)) {
        QStringList values;
        try {
            values = source();
        } catch (const std::exception &e) {
            // Asked for while an editor is being made: the message waits for it.
            auto *grid = const_cast<ItemGrid *>(this);
            QTimer::singleShot(0, grid, [grid, message = QString::fromUtf8(e.what())] {
                grid->showError(EngineError(message));
            });
        }
        m_pickLists.insert(field, values);
    }
    return m_pickLists.value(field);
}

QString ItemGrid::currentField() const
{
    return m_model->fieldName(currentIndex().column());
}

bool ItemGrid::onMarkColumn() const
{
    return currentField() == ItemGridFields::PayNow;
}

void ItemGrid::selectField(const QString &field)
{
    const int column = columnOf(field);
    if (column < 0 || !m_table)
        return;
    const int row = std::max(0, m_table->currentRow());
    m_syncing = true;
    setCurrentIndex(m_model->index(row, column));
    m_syncing = false;
}

void ItemGrid::escapeToWindow()
{
    if (auto *dialog = qobject_cast<QDialog *>(window()))
        dialog->reject();
}

void ItemGrid::syncFromTable()
{
    if (!m_table || !m_table->isOpen())
        return;
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_model->rowCount()) {
        Q_EMIT statusChanged();
        return;
    }
    int column = currentIndex().isValid() ? currentIndex().column() : -1;
    if (column < 0)
        column = horizontalHeader()->logicalIndex(0);
    if (column < 0) {
        Q_EMIT statusChanged();
        return;
    }
    const QModelIndex target = m_model->index(row, column);
    // An open editor belongs to the cell it was opened on: whatever it held
    // was taken before the table moved.
    if (QWidget *editor = indexWidget(currentIndex()); editor && target != currentIndex())
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    m_syncing = true;
    if (target != currentIndex())
        setCurrentIndex(target);
    selectionModel()->select(target, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
    Q_EMIT statusChanged();
    showCellEditor();
}

void ItemGrid::keepSelectionOnRecord()
{
    if (!m_table || !m_table->isOpen())
        return;
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_model->rowCount() || !currentIndex().isValid())
        return;
    const QModelIndex target = m_model->index(row, currentIndex().column());
    const bool moved = target != currentIndex();
    const bool selected = selectionModel()->selectedIndexes() == QModelIndexList{ target };
    if (!moved && selected)
        return;
    m_syncing = true;
    if (moved)
        setCurrentIndex(target);
    selectionModel()->select(target, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
    Q_EMIT statusChanged();
}

void ItemGrid::showCellEditor()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_rules.editable || !m_table || !m_table->isOpen() || state() == EditingState)
            return;
        const QModelIndex at = currentIndex();
        if (!at.isValid() || onMarkColumn() || at.row() != m_table->currentRow())
            return;
        if (m_table->isEmpty() && m_table->state() != Table::State::Insert)
            return;
        // Only the list that has the focus in its window takes it into an editor.
        if (window()->focusWidget() != this)
            return;
        QTableView::edit(at, AllEditTriggers, nullptr);
    });
}

// The cell editor is the list's own: the keyboard passing between the two
// changes nothing the list draws (the editor covers the current cell), so
// neither side repaints the whole list as a view gaining or losing focus does.
void ItemGrid::focusInEvent(QFocusEvent *event)
{
    if (m_focusBefore && isAncestorOf(m_focusBefore))
        event->accept();
    else
        QTableView::focusInEvent(event);
    showCellEditor();
}

void ItemGrid::focusOutEvent(QFocusEvent *event)
{
    if (QWidget *to = QApplication::focusWidget(); to && isAncestorOf(to))
        event->accept();
    else
        QTableView::focusOutEvent(event);
}

void ItemGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    showCellEditor();
}

void ItemGrid::showError(const std::exception &error)
{
    BusyPointer::set(false);
    Messages::current().error(QString::fromUtf8(error.what()));
    // The message took the focus: give it back to the window the user was typing in.
    if (isVisible() && !window()->isActiveWindow())
        window()->activateWindow();
}

void ItemGrid::commitEditor()
{
    if (QWidget *editor = indexWidget(currentIndex()); editor) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

bool ItemGrid::postPending()
{
    if (!m_table)
        return true;
    // Text still in a cell editor belongs to the record: take it first.
    commitEditor();
    if (!m_table->isEditing())
        return true;
    try {
        m_table->checkBrowseMode();
    } catch (const EngineError &e) {
        showError(e);
        return false;
    }
    syncFromTable();
    return true;
}

void ItemGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    // The base class commits an open editor into the row buffer first.
    QTableView::currentChanged(current, previous);
    if (m_syncing || !m_table || !m_table->isOpen() || !current.isValid()) {
        Q_EMIT statusChanged();
        return;
    }
    if (current.row() != m_table->currentRow()) {
        const qint64 target = m_table->keyAtRow(current.row());
        const int column = current.column();
        if (m_table->isEditing()) {
            try {
                m_table->checkBrowseMode();
            } catch (const EngineError &e) {
                // The record stays in edit; so does the selection, at once,
                // so that nothing acts on the row that was clicked.
                m_syncing = true;
                setCurrentIndex(m_model->index(m_table->currentRow(), column));
                m_syncing = false;
                showError(e);
                keepSelectionOnRecord();
                return;
            }
        }
        try {
            if (target < 0 || !m_table->locate(target))
                m_table->goToRow(current.row());
        } catch (const EngineError &e) {
            showError(e);
        }
        m_syncing = true;
        setCurrentIndex(m_model->index(m_table->currentRow(), column));
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
        m_syncing = false;
    }
    Q_EMIT statusChanged();
    showCellEditor();
}

bool ItemGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (index.isValid() && m_model->fieldName(index.column()) == ItemGridFields::PayNow
        && trigger != NoEditTriggers) {
        // No editor on the mark column: the selection moves to the due date instead.
        if (m_rules.editable && (trigger == EditKeyPressed || trigger == DoubleClicked)) {
            const int due = columnOf(QStringLiteral("Due Date"));
            if (due >= 0)
                QTimer::singleShot(0, this, [this, due] { selectField(m_model->fieldName(due)); });
        }
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

void ItemGrid::reopenEditor(const QModelIndex &index, const QString &text)
{
    QPointer<ItemGrid> self = this;
    const QPersistentModelIndex at(index);
    QTimer::singleShot(0, this, [self, at, text] {
        if (!self || !at.isValid())
            return;
        self->setCurrentIndex(at);
        if (!self->indexWidget(at))
            self->QTableView::edit(at);
        if (auto *edit = qobject_cast<QLineEdit *>(self->indexWidget(at)))
            edit->setText(text);
        else if (auto *combo = qobject_cast<QComboBox *>(self->indexWidget(at)))
            combo->setEditText(text);
    });
}

void ItemGrid::sortByColumn(int column)
{
    if (!m_table || !m_table->isOpen())
        return;
    const QString field = m_model->fieldName(column);
    if (field.isEmpty())
        return;
    if (!postPending())
        return;
    try {
        m_table->setIndexName(field + QStringLiteral(" Index"));
    } catch (const EngineError &e) {
        showError(e);
        return;
    }
    m_header->markSortSection(column);
    m_sortCaption = QStringLiteral("Sorted by ") + m_table->displayLabel(field);
    syncFromTable();
    Q_EMIT sortChanged(m_sortCaption);
}

void ItemGrid::markSortColumn(const QString &field)
{
    m_header->markSortSection(columnOf(field));
    m_sortCaption = QStringLiteral("Sorted by ") + (m_table ? m_table->displayLabel(field) : field);
    Q_EMIT sortChanged(m_sortCaption);
}

void ItemGrid::toggleMark()
{
    if (!m_table || !m_table->isOpen() || !m_rules.editable || !m_rules.markToggle)
        return;
    if (m_table->isEmpty() && m_table->state() != Table::State::Insert)
        return;
    if (currentIndex().row() != m_table->currentRow()) {
        keepSelectionOnRecord();
        return;
    }
    try {
        if (!m_table->isEditing())
            m_table->edit();
        const bool marked = m_table->value(ItemGridFields::PayNow).toString() == PayMark;
        m_table->setValue(ItemGridFields::PayNow, marked ? QString() : PayMark);
    } catch (const EngineError &e) {
        showError(e);
        return;
    }
    postPending();
}

void ItemGrid::openCellAid()
{
    if (!m_table || !m_table->isOpen() || !m_rules.editable || !m_rules.pickers)
        return;
    const QString field = currentField();
    const bool date = ItemFields::isDate(field);
    if (!date && !ItemFields::isMoney(field))
        return;
    if (m_table->isEmpty() && m_table->state() != Table::State::Insert)
        return;
    // The cell's editor would write its older text over the chosen value.
    if (QWidget *editor = indexWidget(currentIndex())) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    try {
        if (!m_table->isEditing())
            m_table->edit();
        const QVariant current = m_table->value(field);
        if (date) {
            if (const std::optional<QDate> chosen = TFrmcalendar::pick(current.toDate()))
                m_table->setValue(field, *chosen);
        } else {
            Calculator *calc = Calculator::instance();
            calc->setValue(current.isNull() ? 0.0 : current.toDouble());
            calc->execute();
            m_table->setValue(field, calc->value());
        }
    } catch (const EngineError &e) {
        showError(e);
    }
    viewport()->update();
    // Back from the modal picker or calculator, the list has the keyboard again.
    if (isVisible() && !window()->isActiveWindow())
        window()->activateWindow();
    showCellEditor();
}

void ItemGrid::deleteRecord()
{
    if (!m_table || !m_table->isOpen() || !m_rules.editable)
        return;
    if (m_rules.confirmDelete
        && !Messages::current().confirmOkCancel(QStringLiteral("Delete record?")))
        return;
    try {
        m_table->remove();
    } catch (const EngineError &e) {
        showError(e);
    }
    syncFromTable();
}

void ItemGrid::startRecord(void (Table::*start)())
{
    if (!postPending())
        return;
    try {
        (m_table->*start)();
    } catch (const EngineError &e) {
        showError(e);
    }
    syncFromTable();
}

void ItemGrid::applyBlankDefaults()
{
    if (!m_table || m_table->state() != Table::State::Insert)
        return;
    for (const QString &field : NewItem::blankFields())
        if (!m_table->isNull(field))
            return;
    // An editor opened on the blank record shows none of the defaults.
    if (QWidget *editor = indexWidget(currentIndex()))
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    for (const auto &[field, value] : NewItem::defaults(m_defaultWarn ? m_defaultWarn() : 0))
        m_table->setValue(field, value);
    m_table->markUnmodified();
    m_syncing = true;
    setCurrentIndex(m_model->index(m_table->currentRow(), horizontalHeader()->logicalIndex(0)));
    m_syncing = false;
    viewport()->update();
}

void ItemGrid::mousePressEvent(QMouseEvent *event)
{
    BusyPointer::set(false);
    const QModelIndex pressed = indexAt(event->position().toPoint());
    const qint64 pressedKey
        = pressed.isValid() && m_table && m_table->isOpen() ? m_table->keyAtRow(pressed.row()) : -1;
    QTableView::mousePressEvent(event);
    // A refused post, or a record that moved to its sorted place, leaves the
    // table on another row than the one pressed: the selection follows the table.
    keepSelectionOnRecord();
    if (!pressed.isValid() || !onMarkColumn() || !m_rules.markToggle
        || pressed.column() != currentIndex().column() || !m_table || !m_table->isOpen())
        return;
    // The mark goes to the record pressed, wherever its row is now.
    if (m_table->currentRow() == currentIndex().row()
        && m_table->keyAtRow(m_table->currentRow()) == pressedKey)
        toggleMark();
}

void ItemGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid()) {
        QTableView::mouseDoubleClickEvent(event);
        return;
    }
    const QString field = m_model->fieldName(at.column());
    if (field == ItemGridFields::PayNow) {
        if (m_rules.markToggle && at == currentIndex()) {
            // The second press of a double click toggles, and so does the double click.
            toggleMark();
            toggleMark();
        }
        return;
    }
    if (ItemFields::isDate(field) && m_rules.pickers && m_rules.editable) {
        openCellAid();
        return;
    }
    if (m_rules.editable)
        QTableView::edit(at);
}
