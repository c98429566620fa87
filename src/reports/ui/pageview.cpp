#include "pageview.h"

#include "reports/engine/pagestore.h"

#include <QPageLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {
// Grey space around the page, in screen pixels.
constexpr int Gap = 12;
constexpr double Units = 96.0; // layout units per inch

int clampZoom(double percent)
{
    return std::clamp(static_cast<int>(std::floor(percent)), PageView::MinZoom, PageView::MaxZoom);
}
} // namespace

PageView::PageView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("QRPreview1"));
    setFocusPolicy(Qt::StrongFocus);
    // The page follows the thumb while it is dragged.
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
}

void PageView::setPages(const ReportEngine::PageStore *pages)
{
    m_pages = pages;
    m_zoom = 100;
    m_page = pageCount() > 0 ? 1 : 0;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

int PageView::pageCount() const
{
    return m_pages ? m_pages->pageCount() : 0;
}

void PageView::showPage(int page)
{
    if (page < 1 || page > pageCount() || page == m_page)
        return;
    m_page = page;
    verticalScrollBar()->setValue(0);
    viewport()->update();
    Q_EMIT pageShown(m_page);
}

void PageView::setZoom(int percent)
{
    percent = std::clamp(percent, MinZoom, MaxZoom);
    if (percent == m_zoom)
        return;
    // Keep the middle of what is shown in the middle.
    const double ratio = static_cast<double>(percent) / m_zoom;
    QScrollBar *bars[] = { horizontalScrollBar(), verticalScrollBar() };
    double middles[2];
    for (int i = 0; i < 2; ++i)
        middles[i] = (bars[i]->value() + bars[i]->pageStep() / 2.0) * ratio;
    m_zoom = percent;
    updateScrollBars();
    for (int i = 0; i < 2; ++i)
        bars[i]->setValue(static_cast<int>(middles[i] - bars[i]->pageStep() / 2.0));
    viewport()->update();
}

int PageView::zoomToFit()
{
    const QSizeF paper = paperSize();
    if (paper.isEmpty())
        return m_zoom;
    const QSize room = maximumViewportSize() - QSize(2 * Gap, 2 * Gap);
    const double fitX = room.width() / (paper.width() * logicalDpiX() / Units);
    const double fitY = room.height() / (paper.height() * logicalDpiY() / Units);
    setZoom(clampZoom(std::min(fitX, fitY) * 100));
    return m_zoom;
}

int PageView::zoomToWidth()
{
    const QSizeF paper = paperSize();
    if (paper.isEmpty())
        return m_zoom;
    const QSize room = maximumViewportSize() - QSize(2 * Gap, 2 * Gap);
    const double perPercentX = paper.width() * logicalDpiX() / Units / 100;
    const double perPercentY = paper.height() * logicalDpiY() / Units / 100;
    double percent = room.width() / perPercentX;
    // A page taller than the view brings up the vertical scroll bar, which
    // takes its width from the room.
    if (percent * perPercentY > room.height())
        percent = (room.width() - verticalScrollBar()->sizeHint().width()) / perPercentX;
    setZoom(clampZoom(percent));
    return m_zoom;
}

QSizeF PageView::paperSize() const
{
    if (!m_pages)
        return {};
    return m_pages->pageLayout().fullRect(QPageLayout::Inch).size() * Units;
}

QPointF PageView::printableOrigin() const
{
    if (!m_pages)
        return {};
    const QPageLayout layout = m_pages->pageLayout();
    return (layout.paintRect(QPageLayout::Inch).topLeft()
               - layout.fullRect(QPageLayout::Inch).topLeft())
        * Units;
}

double PageView::scaleX() const
{
    return m_zoom / 100.0 * logicalDpiX() / Units;
}

double PageView::scaleY() const
{
    return m_zoom / 100.0 * logicalDpiY() / Units;
}

QSize PageView::pageSizeOnScreen() const
{
    const QSizeF paper = paperSize();
    return QSize(static_cast<int>(std::lround(paper.width() * scaleX())),
        static_cast<int>(std::lround(paper.height() * scaleY())));
}

void PageView::updateScrollBars()
{
    const QSize page = pageSizeOnScreen();
    const QSize view = viewport()->size();
    const int width = page.width() + 2 * Gap, height = page.height() + 2 * Gap;
    horizontalScrollBar()->setRange(0, std::max(0, width - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, height - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(20);
}

void PageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PageView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void PageView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), QColor(128, 128, 128));
    if (!m_pages || m_page < 1)
        return;
    const QSize page = pageSizeOnScreen();
    const QSize view = viewport()->size();
    // A page narrower or shorter than the view sits in its middle.
    const int left = page.width() + 2 * Gap < view.width() ? (view.width() - page.width()) / 2
                                                           : Gap - horizontalScrollBar()->value();
    const int top = page.height() + 2 * Gap < view.height() ? (view.height() - page.height()) / 2
                                                            : Gap - verticalScrollBar()->value();
    const QRect sheet(QPoint(left, top), page);
    painter.fillRect(sheet.translated(3, 3), QColor(64, 64, 64));
    painter.fillRect(sheet, Qt::white);
    painter.setPen(Qt::black);
    // The frame goes round the sheet, so that text at the paper's edge shows.
    painter.drawRect(sheet.adjusted(-1, -1, 0, 0));

    painter.setClipRect(sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(sheet.topLeft());
    painter.scale(scaleX(), scaleY());
    painter.translate(printableOrigin());
    m_pages->drawPage(painter, m_page - 1);
}
