#include "listwindow.h"

#include "itemgrid.h"
#include "itemrules.h"

#include "data/table.h"
#include "dialogs/calculator.h"
#include "dialogs/tipwindow.h"
#include "platform/desktop.h"

#include <QCheckBox>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

StatusLine::StatusLine(QStatusBar *bar, Record record, QLabel *sortLabel, bool compact)
    : m_record(record)
    , m_modeLabel(new QLabel(bar))
{
    bar->setSizeGripEnabled(false);
    if (compact) {
        bar->setFixedHeight(18);
        QFont small = bar->font();
        small.setPixelSize(11);
        bar->setFont(small);
    }
    if (record != Record::None) {
        bar->addWidget(new QLabel(QStringLiteral("Record"), bar));
        m_recordLabel = new QLabel(bar);
        m_recordLabel->setObjectName(QStringLiteral("LabelRecord"));
        if (compact)
            m_recordLabel->setMinimumWidth(60);
        bar->addWidget(m_recordLabel);
        sortLabel->setAlignment(Qt::AlignCenter);
    }
    sortLabel->setObjectName(QStringLiteral("LabelSort"));
    bar->addWidget(sortLabel, 1);
    m_modeLabel->setObjectName(QStringLiteral("LabelMode"));
    bar->addPermanentWidget(m_modeLabel);
}

namespace {
// The record and mode change with every move and edit. Their labels only ever
// grow, so a new text that fits repaints its label alone instead of laying out
// and repainting the whole status line.
void showText(QLabel *label, const QString &text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    const QSize wanted = label->sizeHint();
    const QSize now = label->minimumSize();
    if (label->maximumSize() != now || wanted.width() > now.width()
        || wanted.height() > now.height())
        label->setFixedSize(wanted.expandedTo(now));
}
} // namespace

void StatusLine::update(const Table &table)
{
    if (!table.isOpen()) {
        if (m_recordLabel)
            showText(m_recordLabel, QString());
        showText(m_modeLabel, QStringLiteral("Mode: Closed"));
        return;
    }
    if (m_record == Record::Number)
        showText(m_recordLabel, QString::number(table.recNo()));
    else if (m_record == Record::OfCount)
        showText(
            m_recordLabel, QStringLiteral("%1:%2").arg(table.recNo()).arg(table.recordCount()));
    showText(m_modeLabel, QStringLiteral("Mode: ") + ItemRules::modeText(table));
}

QString StatusLine::recordText() const
{
    return QStringLiteral("Record ") + (m_recordLabel ? m_recordLabel->text() : QString());
}

QString StatusLine::modeText() const
{
    return m_modeLabel->text();
}

ListWindow::ListWindow(const Frame &frame, QWidget *parent)
    : QDialog(parent)
    , CheckBoxToolTip(new QCheckBox(QStringLiteral("Display this tip next time."), this))
    , LabelSort(new QLabel(QStringLiteral("Sorted by Due Date")))
    , m_frame(frame)
    , m_menus(new QMenuBar(this))
    , m_toolBar(Chrome::toolBar(this))
    , m_body(new QVBoxLayout)
    , m_tipTimer(new QTimer(this))
{
    setObjectName(frame.name);
    setWindowTitle(frame.caption);
    resize(frame.size);
    CheckBoxToolTip->setObjectName(QStringLiteral("CheckBoxToolTip"));
    CheckBoxToolTip->setChecked(true);
    CheckBoxToolTip->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_menus);
    layout->addWidget(m_toolBar);
    layout->addWidget(Chrome::titleStrip(frame.title, this));
    m_body->setContentsMargins(0, 0, 0, 0);
    m_body->setSpacing(0);
    layout->addLayout(m_body, 1);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    m_status = std::make_unique<StatusLine>(status, frame.record, LabelSort, frame.compactStatus);
    layout->addWidget(status);

    m_tipTimer->setSingleShot(true);
    m_tipTimer->setInterval(1);
    connect(m_tipTimer, &QTimer::timeout, this, [this] {
        if (CheckBoxToolTip->isChecked() && isVisible())
            ToolTipClick();
    });

    m_storage = std::make_unique<FormStorage>(this, frame.section, frame.placement);
    m_storage->addProperty(CheckBoxToolTip, QStringLiteral("CheckBoxToolTip"));
}

ListWindow::~ListWindow() = default;

QAction *ListWindow::addTool(
    Chrome::Glyph glyph, const QString &text, const QString &tip, const QString &objectName)
{
    QAction *action = m_toolBar->addAction(Chrome::glyph(glyph), text);
    action->setToolTip(tip);
    if (!objectName.isEmpty())
        action->setObjectName(objectName);
    return action;
}

QAction *ListWindow::addCalculator(QMenu *tools)
{
    auto calculate = [] { Calculator::instance()->execute(); };
    connect(tools->addAction(QStringLiteral("&Calculator")), &QAction::triggered, this, calculate);
    QAction *button = addTool(
        Chrome::Glyph::Calculator, QStringLiteral("Calculator"), QStringLiteral("Calculator"));
    connect(button, &QAction::triggered, this, calculate);
    return button;
}

void ListWindow::setList(ItemGrid *grid, Table *table)
{
    m_table = table;
    m_body->addWidget(grid, 1);
    connect(grid, &ItemGrid::sortChanged, LabelSort, &QLabel::setText);
    connect(grid, &ItemGrid::statusChanged, this, &ListWindow::updateStatus);
    connect(table, &Table::stateChanged, this, &ListWindow::updateStatus);
    m_storage->addGrid(grid, grid->objectName(),
        [grid](int column) { return grid->itemModel()->fieldName(column); });
}

void ListWindow::finishFrame()
{
    Chrome::addHelpMenu(m_menus, this, m_frame.helpPage, [this] { ToolTipClick(); });
    m_storage->attach();
}

void ListWindow::ToolTipClick()
{
    if (TipWindow *tip = m_frame.tip ? m_frame.tip() : nullptr)
        tip->execFor(CheckBoxToolTip);
}

void ListWindow::showTipSoon()
{
    m_tipTimer->start();
}

void ListWindow::stopTip()
{
    m_tipTimer->stop();
}

void ListWindow::updateStatus()
{
    if (m_table)
        m_status->update(*m_table);
}

void ListWindow::keyPressEvent(QKeyEvent *event)
{
    if (Help::isHelpKey(event)) {
        Help::open(m_frame.helpPage);
        return;
    }
    QDialog::keyPressEvent(event);
}
