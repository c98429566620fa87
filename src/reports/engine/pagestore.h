#pragma once

#include <QPageLayout>

#include <functional>

class QPainter;

namespace ReportEngine {

// Called now and then while a report lays out its pages; return false to
// cancel. `total` is 0 while the size of the work is not known yet.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// A prepared report: what it takes to draw any of its pages again (where each
// page starts in the data, how tall each record is), not pictures of pages.
class PageStore
{
public:
    virtual ~PageStore() = default;

    // The pages laid out so far: while the layout goes on aside, the count
    // grows and only the pages counted may be drawn.
    virtual int pageCount() const = 0;
    // Every page laid out (or the layout failed: finish() tells).
    virtual bool complete() const { return true; }
    // Waits until every page is laid out. False when `progress` cancelled the
    // wait; throws EngineError when the layout failed.
    virtual bool finish(const Progress &progress = {}) const
    {
        (void)progress;
        return true;
    }
    // Paper size, portrait, zero left margin.
    virtual QPageLayout pageLayout() const = 0;
    // Draws page `index` (0-based). The painter's coordinates on entry are in
    // 1/96 inch with the origin at the top left of the printable area; text
    // comes out at its point size whatever the device's resolution.
    // May be called from one thread other than the program's at a time.
    virtual void drawPage(QPainter &painter, int index) const = 0;
};

} // namespace ReportEngine
