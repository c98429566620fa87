#include "frmabout.h"

#include "artwork.h"
#include "dialogsupport.h"
#include "keypreview.h"
#include "linklabel.h"
#include "platform/desktop.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("About Duesmith"));

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ImagePicture"));
    picture->setPixmap(Artwork::mainWindowMiniature(QSize(206, 157)));
    picture->setFixedSize(206, 157);

    auto *version = new QLabel(QStringLiteral("Version 2.01"), this);
    version->setObjectName(QStringLiteral("LabelVersion"));
    version->setAlignment(Qt::AlignCenter);
    QFont versionFont = version->font();
    versionFont.setPixelSize(16);
    version->setFont(versionFont);
    QPalette versionPalette = version->palette();
    versionPalette.setColor(QPalette::WindowText, Qt::black);
    version->setPalette(versionPalette);

    const QUrl maker = Help::makerPage();
    // The team's page ships with the program, so the link works without a network.
    m_addressLink = new LinkLabel(QStringLiteral("ds_help/duesmith_team.hta"), maker, 13, this);
    m_addressLink->setObjectName(QStringLiteral("LabelAddress"));
    m_nameLink = new LinkLabel(QStringLiteral("The Duesmith Team"), maker, 12, this);
    m_nameLink->setObjectName(QStringLiteral("LabelName"));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("ButtonOk"));
    m_ok->setDefault(true);
    m_ok->setFixedSize(67, 23);

    auto *right = new QVBoxLayout;
    right->addStretch(2);
    right->addWidget(version, 0, Qt::AlignHCenter);
    right->addSpacing(14);
    right->addWidget(m_addressLink, 0, Qt::AlignHCenter);
    right->addSpacing(6);
    right->addWidget(m_nameLink, 0, Qt::AlignHCenter);
    right->addStretch(3);
    right->addWidget(m_ok, 0, Qt::AlignHCenter);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 18, 10, 12);
    layout->setSpacing(10);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addLayout(right, 1);
    setFixedSize(QSize(455, 193).expandedTo(layout->minimumSize()));

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    new KeyPreview(this, [this](QKeyEvent *event) { return previewKey(event); });
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        DialogSupport::centreOnScreen(this);
    m_ok->setFocus();
}

bool TfrmAbout::previewKey(QKeyEvent *event)
{
    if (event->key() != Qt::Key_F1)
        return false;
    if (Help::isHelpKey(event))
        Help::open(QStringLiteral("index.hta"));
    return true;
}
