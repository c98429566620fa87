#include "helpviewer.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
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
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(true);
    connect(m_browser, &QTextBrowser::sourceChanged, this,
        [this](const QUrl &url) { m_path = url.toLocalFile(); });
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
