#include "itemgrid.h"

#include "coloredheader.h"
#include "colours.h"
#include "textcell.h"
#include "urgency.h"

#include "data/engineerror.h"
#include "data/itemfields.h"
#include "data/layouts.h"
#include "data/table.h"
#include "dialogs/calculator.h"
#include "dialogs/frmcalendar.h"
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
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTimer>

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

namespace {
const QString PayNowField = QStringLiteral("PayNow");
const QString UnitsField = QStringLiteral("Units");

QString unitForKey(int key)
{
    switch (key) {
    case Qt::Key_O:
        return QStringLiteral("One Time");
    case Qt::Key_D:
        return QStringLiteral("Days");
    case Qt::Key_W:
        return QStringLiteral("Weeks");
    case Qt::Key_H:
        return QStringLiteral("Half Months");
    case Qt::Key_M:
        return QStringLiteral("Months");
    case Qt::Key_Y:
        return QStringLiteral("Years");
    default:
        return {};
    }
}

bool isNavigationKey(int key)
{
    return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Left
        || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

bool isRowKey(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
        || key == Qt::Key_PageDown;
}

// The text field of a cell editor: the editor itself or the text part of an editable list.
QLineEdit *textOf(QWidget *editor)
{
    if (auto *edit = qobject_cast<QLineEdit *>(editor))
        return edit;
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        return combo->lineEdit();
    return nullptr;
}

QString editorText(QWidget *editor)
{
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        return combo->currentText();
    if (auto *edit = qobject_cast<QLineEdit *>(editor))
        return edit->text();
    return {};
}

QIcon ellipsisIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QRectF(2 + i * 4.5, 11, 2.5, 2.5));
    return QIcon(pm);
}
} // namespace

// ---------------------------------------------------------------- delegate

ItemDelegate::ItemDelegate(ItemGrid *grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{ }

void ItemDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const ItemModel *model = m_grid->itemModel();
    const QString field = model->fieldName(index.column());
    const bool selected = option.state & QStyle::State_Selected;
    const QColor background = selected ? option.palette.color(QPalette::Highlight)
                                       : option.palette.color(QPalette::Base);

    if (field == PayNowField) {
        painter->save();
        painter->fillRect(option.rect, background);
        if (index.data(Qt::DisplayRole).toString() == PayMark) {
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(16);
            f.setBold(true);
            painter->setFont(f);
            painter->setPen(Colours::onBase(Colours::Red, option.palette));
            painter->drawText(option.rect, Qt::AlignCenter, QString(QChar(0x2713)));
        }
        painter->restore();
        return;
    }

    if (model->urgency() && ItemFields::isBanded(field)) {
        painter->save();
        painter->fillRect(option.rect, background);
        const int band = model->band(index);
        const bool due = field == QLatin1String("Due Date");
        const int markerWidth = due ? Urgency::DueMarkerWidth : Urgency::PayMarkerWidth;
        if (band != Urgency::NoBand)
            painter->drawPixmap(option.rect.left(), option.rect.top() + 1,
                due ? Urgency::dueMarker(band) : Urgency::payMarker(band));
        QColor text = option.palette.color(QPalette::Text);
        if (band != Urgency::NoBand)
            text = Colours::onBase(Urgency::textColor(band), option.palette);
        if (selected && !(m_grid->rules().selectedKeepsBand && band != Urgency::NoBand))
            text = option.palette.color(QPalette::HighlightedText);
        painter->setPen(text);
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(markerWidth, 2, 0, 0),
            Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
            index.data(Qt::DisplayRole).toString());
        painter->restore();
        return;
    }
    // Plain cells keep a narrow margin, so that the widest usual values
    // ("$10,000.00", "12/31/2027") fit the columns made for them.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    TextCellDelegate::paintCell(painter, opt, TextMargin);
}

QWidget *ItemDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const QString field = m_grid->itemModel()->fieldName(index.column());
    if (field == QLatin1String("Description") || field == QLatin1String("Frequency")) {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        if (field == QLatin1String("Description")) {
            combo->addItems(m_grid->pickList(field));
            combo->lineEdit()->setMaxLength(255);
        } else {
            for (int i = 0; i <= 24; ++i)
                combo->addItem(QString::number(i));
        }
        combo->lineEdit()->installEventFilter(const_cast<ItemDelegate *>(this));
        return combo;
    }
    if (field == UnitsField) {
        auto *combo = new QComboBox(parent);
        combo->addItems(unitNames());
        connect(combo, &QComboBox::activated, this,
            [this, combo] { Q_EMIT const_cast<ItemDelegate *>(this)->commitData(combo); });
        return combo;
    }
    const Table *table = m_grid->table();
    const int fi = table ? table->fieldIndex(field) : -1;
    const int maxLength
        = fi >= 0 && table->fields()[fi].type == FieldType::Text && table->fields()[fi].size > 0
        ? table->fields()[fi].size
        : 32767; // the line editor's own limit
    const bool picker
        = m_grid->rules().pickers && (ItemFields::isDate(field) || ItemFields::isMoney(field));
    const auto kind = !picker       ? SpareKind::Plain
        : ItemFields::isDate(field) ? SpareKind::DatePicker
                                    : SpareKind::Calculator;
    if (QPointer<QLineEdit> &spare = m_spares[int(kind)]; spare && spare->parent() == parent) {
        QLineEdit *edit = spare;
        spare.clear();
        edit->setMaxLength(maxLength);
        return edit;
    }
    auto *edit = new QLineEdit(parent);
    edit->setProperty(SpareKindProperty, int(kind));
    edit->setFrame(false);
    edit->setMaxLength(maxLength);
    if (picker) {
        QAction *button = edit->addAction(ellipsisIcon(), QLineEdit::TrailingPosition);
        button->setToolTip(kind == SpareKind::DatePicker ? QStringLiteral("Select a Date")
                                                         : QStringLiteral("Calculator"));
        QPointer<ItemGrid> grid = m_grid;
        connect(button, &QAction::triggered, this, [this, edit, grid] {
            Q_EMIT const_cast<ItemDelegate *>(this)->commitData(edit);
            Q_EMIT const_cast<ItemDelegate *>(this)->closeEditor(
                edit, QAbstractItemDelegate::NoHint);
            QTimer::singleShot(0, grid, [grid] {
                if (grid)
                    grid->openCellAid();
            });
        });
    }
    return edit;
}

// A line editor given back is kept, hidden, for the next cell of its kind:
// the list opens one on every row the user lands on, and building it was a
// good part of the cost of moving from row to row.
void ItemDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        const QVariant kind = edit->property(SpareKindProperty);
        if (kind.isValid() && !m_spares[kind.toInt()]) {
            m_spares[kind.toInt()] = edit;
            return;
        }
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}

bool ItemDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(object);
    // The text part of an editable list is not an editor of its own.
    QWidget *editor = widget;
    const bool inner = widget && qobject_cast<QComboBox *>(widget->parentWidget())
        && static_cast<QComboBox *>(widget->parentWidget())->lineEdit() == widget;
    if (inner)
        editor = widget->parentWidget();
    if (editor && event->type() == QEvent::KeyPress
        && m_grid->editorKey(editor, static_cast<QKeyEvent *>(event)))
        return true;
    if (editor && event->type() == QEvent::MouseButtonDblClick
        && ItemFields::isDate(m_grid->currentField()) && m_grid->rules().pickers) {
        // A double click on a date opens the picker, as it does on the cell.
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
        QPointer<ItemGrid> grid = m_grid;
        QTimer::singleShot(0, grid, [grid] {
            if (grid)
                grid->openCellAid();
        });
        return true;
    }
    if (inner)
        return false;
    return QStyledItemDelegate::eventFilter(object, event);
}

void ItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QString text = index.data(Qt::EditRole).toString();
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
            combo->lineEdit()->selectAll();
        } else {
            combo->setCurrentIndex(std::max(0, combo->findText(text)));
        }
        return;
    }
    if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        edit->setText(text);
        edit->selectAll();
    }
}

void ItemDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    QString text;
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        text = combo->currentText();
    else if (auto *edit = qobject_cast<QLineEdit *>(editor))
        text = edit->text();
    ItemModel *model = m_grid->itemModel();
    if (model->editText(index.row(), index.column()) == text)
        return; // nothing typed: the value and the record's state stay as they are
    try {
        model->setText(index.column(), text);
    } catch (const EngineError &e) {
        m_grid->showError(e);
        m_grid->reopenEditor(index, text);
    }
}

// ---------------------------------------------------------------- grid

ItemGrid::ItemGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new ItemModel(this))
    , m_header(new ColoredHeader(this))
{
    setHorizontalHeader(m_header);
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
    m_pickLists.insert(field, values);
}

QString ItemGrid::currentField() const
{
    return m_model->fieldName(currentIndex().column());
}

bool ItemGrid::onMarkColumn() const
{
    return currentField() == PayNowField;
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

bool ItemGrid::setUnitFromKey(int key)
{
    const QString unit = unitForKey(key);
    try {
        if (!m_table->isEditing() && !m_table->isEmpty())
            m_table->edit();
        if (unit.isEmpty() || !m_table->isEditing())
            return false;
        m_table->setValue(UnitsField, unit);
    } catch (const EngineError &e) {
        showError(e);
        return false;
    }
    return true;
}

bool ItemGrid::editorKey(QWidget *editor, QKeyEvent *event)
{
    if (!m_table || !m_table->isOpen())
        return false;
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const QString field = currentField();
    if (Help::isHelpKey(event))
        return false; // reaches the window's help key
    if (field == UnitsField) {
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
        if (isNavigationKey(key)) {
            keyPressEvent(event);
            return true;
        }
        // Only the unit letters change the unit; every other key is taken here.
        if (setUnitFromKey(key)) {
            if (auto *combo = qobject_cast<QComboBox *>(editor))
                combo->setCurrentIndex(combo->findText(unitForKey(key)));
            viewport()->update();
        }
        return true;
    }
    if (key == Qt::Key_Delete && (mods & Qt::ControlModifier)) {
        QTableView::closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        deleteRecord();
        showCellEditor();
        return true;
    }
    if (isRowKey(key) && !(mods & Qt::AltModifier)) {
        keyPressEvent(event);
        return true;
    }
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        // Within the text the arrows move the caret; at its ends, or over a
        // whole selected text, they move to the next cell.
        QLineEdit *text = textOf(editor);
        const bool whole = !text || text->text().isEmpty() || text->selectedText() == text->text();
        const bool atEnd = text && !text->hasSelectedText()
            && (key == Qt::Key_Left ? text->cursorPosition() == 0
                                    : text->cursorPosition() == text->text().size());
        if (whole || atEnd) {
            keyPressEvent(event);
            return true;
        }
        return false;
    }
    const QModelIndex at = currentIndex();
    const bool unchanged = editorText(editor) == m_model->editText(at.row(), at.column());
    if (key == Qt::Key_Escape) {
        // The first Escape takes back what was typed into the cell, the next one the record.
        if (!unchanged) {
            itemDelegate()->setEditorData(editor, at);
            return true;
        }
        if (m_table->isEditing()) {
            QTableView::closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            m_table->cancel();
            syncFromTable();
        } else {
            escapeToWindow();
        }
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Return takes the typed text into the record; on an untouched cell it posts the record.
        if (unchanged) {
            postPending();
        } else {
            commitData(editor);
            if (indexWidget(at) == editor
                && editorText(editor) != m_model->editText(at.row(), at.column())
                && m_table->isEditing())
                itemDelegate()->setEditorData(editor, at);
        }
        return true;
    }
    if (m_rules.pickers && (key == Qt::Key_F4 || (key == Qt::Key_Down && (mods & Qt::AltModifier)))
        && (ItemFields::isDate(field) || ItemFields::isMoney(field))) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        openCellAid();
        showCellEditor();
        return true;
    }
    return false;
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
    if (index.isValid() && m_model->fieldName(index.column()) == PayNowField
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
        const bool marked = m_table->value(PayNowField).toString() == PayMark;
        m_table->setValue(PayNowField, marked ? QString() : PayMark);
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
    if (!m_table->isNull(QStringLiteral("Description"))
        || !m_table->isNull(QStringLiteral("Frequency"))
        || !m_table->isNull(QStringLiteral("Units")))
        return;
    // An editor opened on the blank record shows none of the defaults.
    if (QWidget *editor = indexWidget(currentIndex()))
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    const int warn = m_defaultWarn ? m_defaultWarn() : 0;
    if (warn >= 1)
        m_table->setValue(QStringLiteral("Warning Days"), warn);
    m_table->setValue(QStringLiteral("Frequency"), 1);
    m_table->setValue(QStringLiteral("Units"), QStringLiteral("Months"));
    m_table->markUnmodified();
    m_syncing = true;
    setCurrentIndex(m_model->index(m_table->currentRow(), horizontalHeader()->logicalIndex(0)));
    m_syncing = false;
    viewport()->update();
}

void ItemGrid::keyPressEvent(QKeyEvent *event)
{
    if (!m_table || !m_table->isOpen()) {
        QTableView::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const QString field = currentField();
    const bool editable = m_rules.editable;

    if (editable && field == UnitsField && !isNavigationKey(key) && !Help::isHelpKey(event)) {
        // The unit letters set the unit; no other key does anything here.
        setUnitFromKey(key);
        viewport()->update();
        event->accept();
        return;
    }
    if (key == Qt::Key_Delete && (mods & Qt::ControlModifier)) {
        deleteRecord();
        return;
    }
    if (field == PayNowField && !isNavigationKey(key) && key != Qt::Key_Escape
        && !event->text().isEmpty()) {
        const QChar c = event->text().at(0);
        if (editable && (c == QLatin1Char(' ') || c.isDigit() || c.isLetter()))
            toggleMark();
        event->accept(); // every other character is discarded
        return;
    }
    if (key == Qt::Key_Escape) {
        if (m_table->isEditing()) {
            m_table->cancel();
            syncFromTable();
        } else {
            escapeToWindow();
        }
        event->accept();
        return;
    }
    if (key == Qt::Key_Down && mods == Qt::NoModifier && editable
        && currentIndex().row() == m_model->rowCount() - 1) {
        if (m_table->state() == Table::State::Insert && !m_table->isModified())
            return;
        if (!m_rules.appendAtEnd) {
            // A new record is refused here: stay on the last one.
            return;
        }
        startRecord(&Table::append);
        return;
    }
    if (key == Qt::Key_Insert && mods == Qt::NoModifier && editable) {
        startRecord(&Table::insert);
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        postPending();
        return;
    }
    if (editable && m_rules.pickers
        && (key == Qt::Key_F4 || (key == Qt::Key_Down && (mods & Qt::AltModifier)))
        && (ItemFields::isDate(field) || ItemFields::isMoney(field))) {
        openCellAid();
        return;
    }
    QTableView::keyPressEvent(event);
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
    if (field == PayNowField) {
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
