#include "itemgrid.h"
#include "itemgridfields.h"

#include "data/engineerror.h"
#include "data/itemfields.h"
#include "data/table.h"
#include "platform/desktop.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

// The list's keys, in its cells and in their editors.

namespace {
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
} // namespace

bool ItemGrid::setUnitFromKey(int key)
{
    const QString unit = unitForKey(key);
    try {
        if (!m_table->isEditing() && !m_table->isEmpty())
            m_table->edit();
        if (unit.isEmpty() || !m_table->isEditing())
            return false;
        m_table->setValue(ItemGridFields::Units, unit);
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
    if (field == ItemGridFields::Units)
        return unitEditorKey(editor, event);
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
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        editorEndKey(editor, key);
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

bool ItemGrid::unitEditorKey(QWidget *editor, QKeyEvent *event)
{
    const int key = event->key();
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

// Escape and Return in a cell editor: each first deals with what was typed into the cell.
void ItemGrid::editorEndKey(QWidget *editor, int key)
{
    const QModelIndex at = currentIndex();
    const bool unchanged = editorText(editor) == m_model->editText(at.row(), at.column());
    if (key == Qt::Key_Escape) {
        // The first Escape takes back what was typed into the cell, the next one the record.
        if (!unchanged) {
            itemDelegate()->setEditorData(editor, at);
        } else if (m_table->isEditing()) {
            QTableView::closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            m_table->cancel();
            syncFromTable();
        } else {
            escapeToWindow();
        }
        return;
    }
    // Return takes the typed text into the record; on an untouched cell it posts the record.
    if (unchanged) {
        postPending();
        return;
    }
    commitData(editor);
    if (indexWidget(at) == editor && editorText(editor) != m_model->editText(at.row(), at.column())
        && m_table->isEditing())
        itemDelegate()->setEditorData(editor, at);
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

    if (editable && field == ItemGridFields::Units && !isNavigationKey(key)
        && !Help::isHelpKey(event)) {
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
    if (field == ItemGridFields::PayNow && !isNavigationKey(key) && key != Qt::Key_Escape
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
