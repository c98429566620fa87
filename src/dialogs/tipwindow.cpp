#include "tipwindow.h"

#include "artwork.h"
#include "dialogsupport.h"
#include "keypreview.h"
#include "platform/desktop.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
struct TipText
{
    const char *heading;
    const char *body;
    const char *page;
};

TipText tipText(TipWindow::Kind kind)
{
    switch (kind) {
    case TipWindow::Kind::PayBills:
        return { "Paying Bills...",
            "The next screen is used for paying bills. From this screen you will review and make "
            "any changes to your Duesmith.\n\n"
            "Once you are ready to process the marked bills, click on the \"Next\" button. This "
            "will record your processed payments in history, and take you to the rescheduling "
            "screen.",
            "pay_bills_screen.hta" };
    case TipWindow::Kind::Reschedule:
        return { "Rescheduling...",
            "The next screen is used for rescheduling reoccurring items. Make any desired changes "
            "to the rescheduled items, then click on the \"Continue\" button to return to the main "
            "screen.",
            "reschedule_screen.hta" };
    case TipWindow::Kind::History:
        break;
    }
    return { "History...",
        "On the next screen you may view the history of all items that have been paid "
        "previously.  You may not modify any history records, however you may delete individual "
        "records or delete all history records from the \"Record\" menu.",
        "history_screen.hta" };
}
} // namespace

TipWindow::TipWindow(Kind kind, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_kind(kind)
{
    setWindowTitle(QStringLiteral("Tool Tip..."));

    m_picture = new QLabel(this);
    m_picture->setPixmap(Artwork::tipBulb());
    m_picture->setFixedSize(32, 32);

    m_heading = new QLabel(heading(), this);
    m_heading->setObjectName(QStringLiteral("LabelHeading"));
    QFont headingFont = m_heading->font();
    headingFont.setPixelSize(16);
    headingFont.setBold(true);
    m_heading->setFont(headingFont);

    m_body = new QLabel(bodyText(), this);
    m_body->setObjectName(QStringLiteral("LabelBody"));
    m_body->setTextFormat(Qt::PlainText);
    m_body->setWordWrap(true);
    m_body->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_body->setFixedWidth(377);
    QFont bodyFont = m_body->font();
    bodyFont.setPixelSize(13);
    m_body->setFont(bodyFont);

    m_checkBoxToolTip = new QCheckBox(QStringLiteral("Display this tip next time."), this);
    m_checkBoxToolTip->setObjectName(QStringLiteral("CheckBoxToolTip"));
    m_checkBoxToolTip->setChecked(true);

    m_moreHelp = new QPushButton(QStringLiteral("More &Help"), this);
    m_moreHelp->setObjectName(QStringLiteral("ButtonMoreHelp"));
    m_moreHelp->setAutoDefault(false);
    m_moreHelp->setFixedSize(87, 29);
    m_continue = new QPushButton(QStringLiteral("&Continue"), this);
    m_continue->setObjectName(QStringLiteral("ButtonContinue"));
    m_continue->setDefault(true);
    m_continue->setFixedSize(87, 29);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setHorizontalSpacing(10);
    layout->addWidget(m_picture, 0, 0, Qt::AlignTop);
    layout->addWidget(m_heading, 0, 1, 1, 2, Qt::AlignVCenter);
    layout->addWidget(m_body, 1, 1, 1, 2, Qt::AlignTop);
    layout->setRowStretch(1, 1);
    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(m_moreHelp);
    buttons->addWidget(m_continue);
    layout->addWidget(m_checkBoxToolTip, 2, 0, 1, 2, Qt::AlignLeft | Qt::AlignBottom);
    layout->addLayout(buttons, 2, 2, Qt::AlignRight | Qt::AlignBottom);

    if (kind == Kind::PayBills) {
        setMinimumSize(layout->minimumSize().expandedTo(QSize(300, 200)));
        resize(430, 257);
    } else {
        // Wider fonts than the tip was laid out for wrap the body onto more lines.
        const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(428) : 0;
        setFixedSize(QSize(428, qMax(183, height)).expandedTo(layout->minimumSize()));
    }

    connect(m_moreHelp, &QPushButton::clicked, this, [this] { Help::open(helpPage()); });
    connect(m_continue, &QPushButton::clicked, this, &QDialog::accept);
    new KeyPreview(this, [this](QKeyEvent *event) { return previewKey(event); });
}

QString TipWindow::helpPage() const
{
    return QString::fromLatin1(tipText(m_kind).page);
}

QString TipWindow::heading() const
{
    return QString::fromLatin1(tipText(m_kind).heading);
}

QString TipWindow::bodyText() const
{
    return QString::fromLatin1(tipText(m_kind).body);
}

int TipWindow::execFor(QCheckBox *ownerSwitch)
{
    m_owner = ownerSwitch;
    m_checkBoxToolTip->setChecked(!ownerSwitch || ownerSwitch->isChecked());
    const int result = exec();
    // Also covers a tip hidden without going through done().
    writeBack();
    m_owner = nullptr;
    return result;
}

void TipWindow::done(int result)
{
    writeBack();
    QDialog::done(result);
}

void TipWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        DialogSupport::centreOnScreen(this);
    m_continue->setFocus();
}

bool TipWindow::previewKey(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        if (Help::isHelpKey(event))
            Help::open(helpPage());
        return true;
    }
    // Only Continue closes a tip.
    return event->key() == Qt::Key_Escape;
}

void TipWindow::writeBack()
{
    if (m_owner)
        m_owner->setChecked(m_checkBoxToolTip->isChecked());
}
