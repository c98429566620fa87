#include "frmreminder.h"

#include "app/itemgrid.h"
#include "app/itemrules.h"
#include "data/table.h"
#include "data/tablefiles.h"
#include "dialogs/dialogsupport.h"
#include "dialogs/keypreview.h"
#include "domain/options.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"
#include "platform/messages.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
// The header band: white bold text over a shaded picture in the shadow colour.
class HeaderBand : public QWidget
{
public:
    explicit HeaderBand(QWidget *parent)
        : QWidget(parent)
    {
        setFixedHeight(18);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QColor shadow = palette().color(QPalette::Dark);
        p.fillRect(rect(), shadow);
        QLinearGradient shade(0, 0, width(), 0);
        shade.setColorAt(0, shadow.darker(150));
        shade.setColorAt(0.5, shadow);
        shade.setColorAt(1, shadow.darker(150));
        p.fillRect(rect(), shade);
        p.setPen(QColor(255, 255, 255, 40));
        for (int x = -height(); x < width(); x += 6)
            p.drawLine(x, height(), x + height(), 0);
        QFont f = font();
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("These Items are Overdue!"));
    }
};

} // namespace

TfrmReminder::TfrmReminder(QWidget *parent)
    : QDialog(parent)
    , Tableresched(new Table(TableFiles::Resched, this))
    , DBGridReminder(new ItemGrid(this))
    , CheckBoxDisplay(
          new QCheckBox(QStringLiteral("Display overdue items when program starts"), this))
    , ButtonContinue(new QPushButton(QStringLiteral("Continue"), this))
{
    setObjectName(QStringLiteral("frmReminder"));
    setWindowTitle(QStringLiteral("Overdue Items!"));
    resize(455, 372);
    Tableresched->setIndexFieldNames(QStringLiteral("Due Date;Description"));

    GridRules rules = GridRules::readOnly();
    rules.titleSort = false;
    rules.selectedKeepsBand = true;
    DBGridReminder->setObjectName(QStringLiteral("DBGridReminder"));
    DBGridReminder->setRules(rules);
    DBGridReminder->setTable(Tableresched);
    DBGridReminder->setColumns(ItemRules::columns(ItemRules::List::Reminder));
    DBGridReminder->setIntervalSource([] { return OptionsStore::current().agingInterval; });
    DBGridReminder->verticalHeader()->hide();
    DBGridReminder->horizontalHeader()->setSectionsMovable(false);
    QPalette pal = DBGridReminder->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Light));
    DBGridReminder->setPalette(pal);

    CheckBoxDisplay->setObjectName(QStringLiteral("CheckBoxDisplayReminder"));
    CheckBoxDisplay->setChecked(true);
    ButtonContinue->setObjectName(QStringLiteral("ButtonContinue"));
    ButtonContinue->setDefault(true);
    ButtonContinue->setFixedSize(86, 24);
    connect(ButtonContinue, &QPushButton::clicked, this, &QDialog::accept);

    auto *bar = new QWidget(this);
    bar->setFixedHeight(36);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(8, 0, 8, 0);
    barLayout->addWidget(CheckBoxDisplay);
    barLayout->addStretch(1);
    barLayout->addWidget(ButtonContinue);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new HeaderBand(this));
    layout->addWidget(DBGridReminder, 1);
    layout->addWidget(bar);

    new KeyPreview(this, [this](QKeyEvent *event) { return previewKey(event); });
}

void TfrmReminder::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    DialogSupport::centreOnScreen(this);
    FormActivate();
}

void TfrmReminder::FormActivate()
{
    Tableresched->close();
    Tableresched->open();
    ItemRules::setListLabels(*Tableresched, ItemRules::List::Reminder);
    DBGridReminder->itemModel()->headerTitlesChanged();
    DBGridReminder->syncFromTable();
    CheckBoxDisplay->setChecked(OptionsStore::current().displayReminder);
    Desktop::current().beep();
    BusyPointer::set(false);
    ButtonContinue->setFocus();
}

void TfrmReminder::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfrmReminder::FormClose()
{
    // The busy pointer stays on: the caller puts the arrow back.
    BusyPointer::set(true);
    try {
        if (Tableresched->isOpen())
            Tableresched->emptyTable();
    } catch (const std::exception &e) {
        // The window still closes; the next user of the work table empties it first.
        Messages::current().error(QString::fromUtf8(e.what()));
    }
    Tableresched->close();
    const bool display = CheckBoxDisplay->isChecked();
    OptionsStore::instance().update([display](Options &o) { o.displayReminder = display; });
}

bool TfrmReminder::previewKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_F1:
        if (Help::isHelpKey(event))
            Help::open(QStringLiteral("index.hta"));
        return true;
    case Qt::Key_Escape:
        // There is no cancel: the window closes only by Continue or its close box.
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & ~Qt::KeypadModifier)
            return false;
        ButtonContinue->click();
        return true;
    default:
        return false;
    }
}
