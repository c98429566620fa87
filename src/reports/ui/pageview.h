#pragma once

#include <QAbstractScrollArea>
#include <QPointF>
#include <QSizeF>

namespace ReportEngine {
class PageStore;
}

// Shows one page of a prepared report at a zoom: 100 percent is the page's
// real size at the screen's logical resolution. Only the page shown is drawn.
class PageView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int MinZoom = 10;
    static constexpr int MaxZoom = 300;

    explicit PageView(QWidget *parent = nullptr);

    // Starts at page 1, zoom 100. The pages stay the caller's.
    void setPages(const ReportEngine::PageStore *pages);
    const ReportEngine::PageStore *pages() const { return m_pages; }
    int pageCount() const;

    // 1-based; 0 when there is nothing to show.
    int page() const { return m_page; }
    // Page numbers outside 1 to the page count are ignored.
    void showPage(int page);

    int zoom() const { return m_zoom; }
    void setZoom(int percent);
    // The largest zoom at which the whole page is visible; returns it.
    int zoomToFit();
    // The zoom at which the page's width fills the view; returns it.
    int zoomToWidth();

Q_SIGNALS:
    void pageShown(int page);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Paper size and where the printable area starts, in 1/96 inch.
    QSizeF paperSize() const;
    QPointF printableOrigin() const;
    // Screen pixels per 1/96 inch at the current zoom.
    double scaleX() const;
    double scaleY() const;
    QSize pageSizeOnScreen() const;
    void updateScrollBars();

    const ReportEngine::PageStore *m_pages = nullptr;
    int m_page = 0;
    int m_zoom = 100;
};
