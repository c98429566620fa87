#include "helpviewer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QPointer<HelpViewer> viewer;
}

HelpViewer::HelpViewer(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Duesmith Help"));
    auto *back = new QPushButton(QStringLiteral("< &Back"));
    back->setObjectName(QStringLiteral("ButtonBack"));
    auto *forward = new QPushButton(QStringLiteral("&Forward >"));
    forward->setObjectName(QStringLiteral("ButtonForward"));
    auto *contents = new QPushButton(QStringLiteral("&Contents"));
    auto *close = new QPushButton(QStringLiteral("C&lose"));
    close->setObjectName(QStringLiteral("ButtonClose"));
    back->setEnabled(false);
    forward->setEnabled(false);
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(6, 6, 6, 0);
    for (QPushButton *b : { back, forward, contents })
        bar->addWidget(b);
    bar->addStretch(1);
    bar->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(true);
    connect(m_browser, &QTextBrowser::sourceChanged, this,
        [this](const QUrl &url) { m_path = url.toLocalFile(); });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(contents, &QPushButton::clicked, this,
        [this] { load(QFileInfo(m_path).dir().filePath(QStringLiteral("index.hta"))); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // Alt+Left and Alt+Right come with the browser; these close it as any viewer does.
    for (const QKeySequence &key :
        { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
    resize(640, 520);
}

HelpViewer *HelpViewer::instance()
{
    return viewer;
}

void HelpViewer::load(const QString &path)
{
    m_path = path;
    if (!QFileInfo::exists(path)) {
        m_browser->setHtml(
            QStringLiteral("<h2>Help page not found</h2><p>%1</p>").arg(path.toHtmlEscaped()));
        return;
    }
    // .hta pages are plain HTML: the browser reads them, their style sheet and
    // their links relative to the page itself.
    m_browser->setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
    m_browser->setFocus();
}

void HelpViewer::showPage(const QString &path)
{
    // A viewer opened over a modal window must belong to it, or it could not take input.
    QWidget *owner = QApplication::activeModalWidget();
    if (viewer && viewer->parentWidget() != owner)
        viewer->close();
    if (!viewer)
        viewer = new HelpViewer(owner);
    viewer->load(path);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}
