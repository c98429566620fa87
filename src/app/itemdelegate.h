#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class ItemGrid;
class QLineEdit;

// Draws the item grid's cells (the pay mark, the urgency bands) and gives
// each field its editor.
class ItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ItemDelegate(ItemGrid *grid);
    // Space left and right of a plain cell's text.
    static constexpr int TextMargin = 2;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    // Line editors differ by the button they carry.
    enum class SpareKind { Plain, DatePicker, Calculator, Count };
    static constexpr const char *SpareKindProperty = "spareKind";

    ItemGrid *m_grid;
    mutable QPointer<QLineEdit> m_spares[int(SpareKind::Count)];
};
