#include "frmpayee.h"

#include "dialogsupport.h"
#include "keypreview.h"

#include "data/engine.h"
#include "data/engineerror.h"
#include "data/payeelist.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QAbstractListModel>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QStringListModel>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>

namespace {
const QString PayeeField = QStringLiteral("Payee");

QString withoutMnemonic(const QString &caption, int *mnemonic = nullptr)
{
    QString plain;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != QLatin1Char('&') && mnemonic)
                *mnemonic = int(plain.size());
        }
        plain.append(caption[i]);
    }
    return plain;
}

// A push button as wide as its caption and a small margin: the buttons of
// the entry panel share a narrow row.
class CompactButton : public QPushButton
{
public:
    using QPushButton::QPushButton;
    QSize sizeHint() const override
    {
        const QSize standard = QPushButton::sizeHint();
        return { fontMetrics().horizontalAdvance(withoutMnemonic(text())) + 12, standard.height() };
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

// A narrow push button whose caption wraps over as many lines as it needs;
// a run of characters without blanks (an arrow of dashes) breaks anywhere,
// but the button is never narrower than its widest word.
class WrapButton : public QPushButton
{
public:
    WrapButton(const QString &caption, int width, QWidget *parent)
        : QPushButton(caption, parent)
        , m_width(width)
    { }
    QSize sizeHint() const override
    {
        int widest = 0;
        for (const QString &word : withoutMnemonic(text()).split(QLatin1Char(' ')))
            if (!word.startsWith(QLatin1Char('-')))
                widest = std::max(widest, fontMetrics().horizontalAdvance(word));
        const int width = std::max(m_width, widest + 2 * Margin + 2);
        return { width, layoutText(nullptr, width) + 12 };
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        painter.setPen(palette().color(
            isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        layoutText(&painter, width());
    }

private:
    static constexpr int Margin = 3;

    // Lays the caption out in the given width and returns its height; draws
    // it centred when given a painter.
    int layoutText(QPainter *painter, int width) const
    {
        int mnemonic = -1;
        QTextLayout layout(withoutMnemonic(text(), &mnemonic), font());
        QTextOption option(Qt::AlignHCenter);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        if (mnemonic >= 0 && style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this)) {
            QTextLayout::FormatRange underline;
            underline.start = mnemonic;
            underline.length = 1;
            underline.format.setFontUnderline(true);
            layout.setFormats({ underline });
        }
        qreal height = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width - 2 * Margin);
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();
        if (painter)
            layout.draw(painter, QPointF(Margin, (this->height() - height) / 2));
        return int(std::ceil(height));
    }

    int m_width;
};

// The memorized names as the table handle holds them, a new name being
// typed included.
class PayeeModel : public QAbstractListModel
{
public:
    PayeeModel(Table *table, QObject *parent)
        : QAbstractListModel(parent)
        , m_table(table)
    {
        connect(table, &Table::rowsReset, this, [this] {
            beginResetModel();
            endResetModel();
        });
        connect(table, &Table::rowChanged, this, [this](int row) {
            if (row >= 0 && row < rowCount())
                Q_EMIT dataChanged(index(row), index(row));
        });
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() || !m_table->isOpen() ? 0 : m_table->rowCount();
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || !m_table->isOpen())
            return {};
        return m_table->rowValue(index.row(), m_table->fieldIndex(PayeeField));
    }

private:
    Table *m_table;
};

QListView *makeList(const QString &name, QWidget *parent)
{
    auto *list = new QListView(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformItemSizes(true);
    list->setFixedWidth(189);
    return list;
}

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QPushButton *rowButton(const QString &caption, const QString &name, QWidget *parent)
{
    auto *button = new CompactButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QPushButton *wrapButton(const QString &caption, const QString &name, QWidget *parent)
{
    auto *button = new WrapButton(caption, 55, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}
} // namespace

TFrmPayee::TFrmPayee(QWidget *parent)
    : QDialog(parent)
    , TablePayee(new Table(TableFiles::Payee, this))
    , ListUnmemorized(makeList(QStringLiteral("ListUnmemorized"), this))
    , ListMemorized(makeList(QStringLiteral("ListMemorized"), this))
    , EditPayee(new QLineEdit(this))
    , m_unmemorized(new QStringListModel(this))
{
    setObjectName(QStringLiteral("FrmPayee"));
    setWindowTitle(QStringLiteral("Memorized Payee List"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    buildLayout();
    TablePayee->setLocaleOrder(true);

    ListUnmemorized->setModel(m_unmemorized);
    ListMemorized->setModel(new PayeeModel(TablePayee, this));
    EditPayee->setObjectName(QStringLiteral("EditPayee"));
    EditPayee->setMaxLength(255);

    connect(ListMemorized->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex &current) {
            if (m_following || !current.isValid() || !TablePayee->isOpen()
                || TablePayee->isEditing())
                return;
            TablePayee->goToRow(current.row());
        });
    connect(TablePayee, &Table::currentChanged, this, &TFrmPayee::followTable);
    connect(TablePayee, &Table::rowsReset, this, &TFrmPayee::followTable);
    connect(TablePayee, &Table::stateChanged, this, &TFrmPayee::updateControls);
    connect(EditPayee, &QLineEdit::textEdited, this, &TFrmPayee::userTyped);

    connect(m_memorize, &QPushButton::clicked, this, &TFrmPayee::MemorizeSelectedClick);
    connect(m_memorizeAll, &QPushButton::clicked, this, &TFrmPayee::MemorizeAllClick);
    connect(m_remove, &QPushButton::clicked, this, &TFrmPayee::RemoveSelectedClick);
    connect(m_removeAll, &QPushButton::clicked, this, &TFrmPayee::RemoveAllClick);
    connect(m_new, &QPushButton::clicked, this, &TFrmPayee::CreateNewClick);
    connect(m_save, &QPushButton::clicked, this, &TFrmPayee::SaveClick);
    connect(m_cancel, &QPushButton::clicked, this, &TFrmPayee::CancelClick);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    new KeyPreview(this, [this](QKeyEvent *event) { return previewKey(event); });
    updateControls();
}

TFrmPayee::~TFrmPayee()
{
    // The handle outlives this destructor briefly; nothing it signals may reach it.
    QObject::disconnect(TablePayee, nullptr, this, nullptr);
}

void TFrmPayee::buildLayout()
{
    m_memorize = wrapButton(
        QStringLiteral("&Memorize Selected ----------->"), QStringLiteral("ButtonMemorize"), this);
    m_memorizeAll = wrapButton(
        QStringLiteral("Memorize &All ---------->>"), QStringLiteral("ButtonMemorizeAll"), this);
    m_remove = wrapButton(QStringLiteral("&Remove Selected"), QStringLiteral("ButtonRemove"), this);
    m_removeAll
        = wrapButton(QStringLiteral("R&emove All"), QStringLiteral("ButtonRemoveAll"), this);
    m_close = wrapButton(QStringLiteral("Cl&ose"), QStringLiteral("ButtonClose"), this);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("PanelEntry"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFixedWidth(189);
    m_new = rowButton(QStringLiteral("Create &New"), QStringLiteral("ButtonNew"), panel);
    m_save = rowButton(QStringLiteral("&Save"), QStringLiteral("ButtonSave"), panel);
    m_save->setDefault(true);
    m_cancel = rowButton(QStringLiteral("&Cancel"), QStringLiteral("ButtonCancel"), panel);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(3);
    for (QPushButton *b : { m_new, m_save, m_cancel })
        buttons->addWidget(b);
    auto *entry = new QVBoxLayout(panel);
    entry->setContentsMargins(4, 4, 4, 4);
    entry->setSpacing(5);
    entry->addLayout(buttons);
    entry->addWidget(EditPayee);

    auto *middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(m_memorize);
    middle->addSpacing(12);
    middle->addWidget(m_memorizeAll);
    middle->addStretch(2);

    auto *right = new QVBoxLayout;
    right->setSpacing(8);
    right->addWidget(ListMemorized, 1);
    right->addWidget(panel);

    auto *far = new QVBoxLayout;
    far->addWidget(m_remove);
    far->addSpacing(12);
    far->addWidget(m_removeAll);
    far->addStretch(1);
    far->addWidget(m_close);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    grid->addWidget(heading(QStringLiteral("Unmemorized Payees:"), this), 0, 0);
    grid->addWidget(heading(QStringLiteral("Memorized Payee List:"), this), 0, 2);
    grid->addWidget(ListUnmemorized, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addLayout(right, 1, 2);
    grid->addLayout(far, 1, 3);
    grid->setRowStretch(1, 1);
    setFixedSize(QSize(531, 393).expandedTo(grid->minimumSize()));
}

void TFrmPayee::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    DialogSupport::centreOnScreen(this);
    FormShow();
}

void TFrmPayee::FormShow()
{
    try {
        reloadUnmemorized();
        TablePayee->close();
        TablePayee->open();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    }
    updateControls();
    followTable();
    focusList(ListUnmemorized);
}

void TFrmPayee::done(int result)
{
    // A name being typed is saved or cancelled first: the window keeps it.
    if (isEditing()) {
        EditPayee->setFocus();
        return;
    }
    TablePayee->close();
    m_unmemorized->setStringList({});
    QDialog::done(result);
}

bool TFrmPayee::isEditing() const
{
    return TablePayee->isEditing();
}

QStringList TFrmPayee::unmemorizedNames() const
{
    return m_unmemorized->stringList();
}

void TFrmPayee::reloadUnmemorized()
{
    m_unmemorized->setStringList(PayeeList::unmemorized());
}

void TFrmPayee::updateControls()
{
    const bool editing = isEditing();
    m_save->setEnabled(editing);
    m_cancel->setEnabled(editing);
    for (QWidget *w : std::initializer_list<QWidget *>{
             m_new, ListUnmemorized, ListMemorized, m_memorize, m_remove, m_close })
        w->setEnabled(!editing);
}

void TFrmPayee::followTable()
{
    if (m_following)
        return;
    m_following = true;
    const int row = TablePayee->isOpen() ? TablePayee->currentRow() : -1;
    const QModelIndex index = ListMemorized->model()->index(row, 0);
    if (index.isValid())
        ListMemorized->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    showCurrentName();
    m_following = false;
}

void TFrmPayee::showCurrentName()
{
    QString name;
    if (TablePayee->isOpen() && TablePayee->currentRow() >= 0)
        name = TablePayee->value(PayeeField).toString();
    if (EditPayee->text() != name)
        EditPayee->setText(name);
}

void TFrmPayee::userTyped(const QString &text)
{
    try {
        if (!TablePayee->isEditing())
            TablePayee->edit(); // an empty list starts a new name
        TablePayee->setValue(PayeeField, text);
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    }
    updateControls();
}

void TFrmPayee::focusList(QListView *list)
{
    if (!list->isEnabled())
        return;
    list->setFocus();
    const QModelIndex current
        = list->currentIndex().isValid() ? list->currentIndex() : list->model()->index(0, 0);
    if (current.isValid())
        list->selectionModel()->setCurrentIndex(current, QItemSelectionModel::Select);
}

void TFrmPayee::memorize(const QList<int> &rows)
{
    QStringList names;
    names.reserve(rows.size());
    for (int row : rows)
        names.append(m_unmemorized->index(row).data().toString());
    try {
        const QStringList skipped = PayeeList::memorize(names);
        bool blankLeft = false;
        for (const QString &name : skipped) {
            if (name.trimmed().isEmpty())
                blankLeft = true;
            else
                Messages::current().inform(QStringLiteral("Payee has already been memorized."));
        }
        TablePayee->refresh();
        if (blankLeft) {
            // A blank description is never memorized and stays on the left.
            reloadUnmemorized();
            focusList(ListUnmemorized);
            return;
        }
        // Every name handed in is memorized now (or was already), and the
        // schedule has not changed meanwhile: the left list loses exactly these
        // rows, so the query need not run again.
        if (rows.size() == m_unmemorized->rowCount()) {
            m_unmemorized->setStringList({});
        } else {
            QList<int> descending = rows;
            std::sort(descending.begin(), descending.end(), std::greater<int>());
            for (int row : std::as_const(descending))
                m_unmemorized->removeRows(row, 1);
        }
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    }
    focusList(ListUnmemorized);
}

void TFrmPayee::MemorizeSelectedClick()
{
    QList<int> rows;
    for (const QModelIndex &index : ListUnmemorized->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    memorize(rows);
}

void TFrmPayee::MemorizeAllClick()
{
    if (!Messages::current().confirmYesNo(
            QStringLiteral("Are you sure you want to memorize all unmemorized payees?")))
        return;
    if (!settlePending())
        return;
    QList<int> rows(m_unmemorized->rowCount());
    std::iota(rows.begin(), rows.end(), 0);
    memorize(rows);
}

void TFrmPayee::RemoveSelectedClick()
{
    QModelIndexList rows = ListMemorized->selectionModel()->selectedRows();
    // From the bottom up, so the rows still to go keep their numbers.
    std::sort(rows.begin(), rows.end(),
        [](const QModelIndex &a, const QModelIndex &b) { return a.row() > b.row(); });
    try {
        if (!rows.isEmpty())
            inTransaction([&] {
                for (const QModelIndex &index : std::as_const(rows)) {
                    TablePayee->goToRow(index.row());
                    TablePayee->remove();
                }
            });
        reloadUnmemorized();
        TablePayee->refresh();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    }
    ListMemorized->clearSelection();
    followTable();
    focusList(ListMemorized);
}

void TFrmPayee::RemoveAllClick()
{
    if (!Messages::current().confirmYesNo(QStringLiteral(
            "Are you sure you want to remove all payees from the memorized payee list?")))
        return;
    if (!settlePending())
        return;
    try {
        inTransaction([&] { TablePayee->emptyTable(); });
        TablePayee->refresh();
        reloadUnmemorized();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    }
    followTable();
    focusList(ListMemorized);
}

bool TFrmPayee::settlePending()
{
    if (isEditing())
        SaveClick();
    return !isEditing();
}

void TFrmPayee::CreateNewClick()
{
    try {
        TablePayee->append();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
        return;
    }
    EditPayee->clear();
    updateControls();
    EditPayee->setFocus();
}

void TFrmPayee::SaveClick()
{
    if (!isEditing())
        return;
    const QString name = EditPayee->text();
    if (name.trimmed().isEmpty()) {
        Messages::current().warn(QStringLiteral("Type the payee's name before saving it."));
        EditPayee->setFocus();
        return;
    }
    try {
        // The files tell apart names that differ in the case of a letter beyond ASCII.
        const qint64 own
            = TablePayee->state() == Table::State::Edit ? TablePayee->currentKey() : -1;
        if (!PayeeList::memorizedAs(name, own).isEmpty())
            throw EngineError(QStringLiteral("Key violation."));
        TablePayee->setValue(PayeeField, name);
        TablePayee->post();
    } catch (const EngineError &e) {
        // The entry stays open with the typed name, for correction or Cancel.
        if (e.message() == QLatin1String("Key violation."))
            Messages::current().error(QStringLiteral("That payee has already been memorized."));
        else
            Messages::current().error(e.message());
        EditPayee->setFocus();
        return;
    }
    updateControls();
    try {
        TablePayee->refresh();
        reloadUnmemorized();
    } catch (const EngineError &e) {
        Messages::current().error(e.message());
    }
    followTable();
    focusList(ListUnmemorized);
    ListMemorized->clearSelection();
    focusList(ListMemorized);
}

void TFrmPayee::CancelClick()
{
    if (!isEditing())
        return;
    TablePayee->cancel();
    updateControls();
    followTable();
    ListMemorized->clearSelection();
    focusList(ListMemorized);
}

bool TFrmPayee::previewKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_F1:
        if (Help::isHelpKey(event))
            Help::open(QStringLiteral("memorized_payee_list.hta"));
        return true;
    case Qt::Key_Escape:
        // Escape is the Cancel button's key while a name is being typed, Close's otherwise.
        if (m_cancel->isEnabled())
            CancelClick();
        else
            reject();
        return true;
    default:
        return false;
    }
}
