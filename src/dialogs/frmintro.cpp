#include "frmintro.h"

#include "artwork.h"
#include "dialogsupport.h"
#include "keypreview.h"
#include "platform/busypointer.h"
#include "platform/desktop.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
QString introductionPage()
{
    return QStringLiteral("introduction.hta");
}
} // namespace

TFrmIntro::TFrmIntro(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("Introduction"));

    auto *picture = new QLabel(this);
    picture->setPixmap(Artwork::questionBalloon());
    picture->setFixedSize(32, 32);

    auto *heading = new QLabel(QStringLiteral("Introduction..."), this);
    QFont headingFont = heading->font();
    headingFont.setPixelSize(16);
    headingFont.setBold(true);
    heading->setFont(headingFont);

    auto *question
        = new QLabel(QStringLiteral("Would you like to view an introduction to Duesmith?"), this);
    question->setWordWrap(true);
    QFont questionFont = question->font();
    questionFont.setPixelSize(13);
    question->setFont(questionFont);

    m_checkBoxIntro = new QCheckBox(QStringLiteral("Display this prompt next time."), this);
    m_checkBoxIntro->setObjectName(QStringLiteral("CheckBoxIntro"));
    m_checkBoxIntro->setChecked(true);

    m_yes = new QPushButton(QStringLiteral("&Yes"), this);
    m_yes->setObjectName(QStringLiteral("ButtonYes"));
    m_yes->setDefault(true);
    m_yes->setFixedSize(85, 29);
    m_no = new QPushButton(QStringLiteral("&No"), this);
    m_no->setObjectName(QStringLiteral("ButtonNo"));
    m_no->setAutoDefault(false);
    m_no->setFixedSize(85, 29);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setHorizontalSpacing(10);
    layout->addWidget(picture, 0, 0, Qt::AlignTop);
    layout->addWidget(heading, 0, 1, Qt::AlignVCenter);
    layout->addWidget(question, 1, 1, Qt::AlignTop);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(1, 1);
    layout->addWidget(m_checkBoxIntro, 2, 0, 1, 2, Qt::AlignLeft | Qt::AlignBottom);
    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    layout->addLayout(buttons, 0, 2, 3, 1, Qt::AlignRight | Qt::AlignBottom);
    setFixedSize(QSize(403, 157).expandedTo(layout->minimumSize()));

    connect(m_yes, &QPushButton::clicked, this, &TFrmIntro::answerYes);
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);
    new KeyPreview(this, [this](QKeyEvent *event) { return previewKey(event); });
}

int TFrmIntro::execFor(QCheckBox *checkBoxIntro)
{
    m_owner = checkBoxIntro;
    m_checkBoxIntro->setChecked(!checkBoxIntro || checkBoxIntro->isChecked());
    BusyPointer::set(false);
    const int result = exec();
    writeBack();
    m_owner = nullptr;
    return result;
}

int TFrmIntro::execFor(bool &introSwitch)
{
    m_ownerValue = &introSwitch;
    m_checkBoxIntro->setChecked(introSwitch);
    BusyPointer::set(false);
    const int result = exec();
    writeBack();
    m_ownerValue = nullptr;
    return result;
}

void TFrmIntro::done(int result)
{
    writeBack();
    QDialog::done(result);
}

void TFrmIntro::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        DialogSupport::centreOnScreen(this);
    m_yes->setFocus();
}

bool TFrmIntro::previewKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_F1:
        if (Help::isHelpKey(event))
            Help::open(introductionPage());
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

void TFrmIntro::answerYes()
{
    BusyPointer::set(true);
    Help::open(introductionPage());
    BusyPointer::set(false);
    accept();
}

void TFrmIntro::writeBack()
{
    BusyPointer::set(true);
    if (m_owner)
        m_owner->setChecked(m_checkBoxIntro->isChecked());
    if (m_ownerValue)
        *m_ownerValue = m_checkBoxIntro->isChecked();
}
