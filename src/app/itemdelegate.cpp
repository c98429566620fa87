#include "itemdelegate.h"

#include "colours.h"
#include "itemgrid.h"
#include "itemgridfields.h"
#include "textcell.h"
#include "urgency.h"

#include "data/engineerror.h"
#include "data/itemfields.h"
#include "data/table.h"

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

namespace {
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

    if (field == ItemGridFields::PayNow) {
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
    if (field == ItemGridFields::Units) {
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
