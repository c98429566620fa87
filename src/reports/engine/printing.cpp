#include "printing.h"

#include "output.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace ReportEngine {

bool print(const PageStore &pages, QPrinter &printer, int first, int last)
{
    const int count = pages.pageCount();
    if (first <= 0)
        first = 1;
    if (last <= 0 || last > count)
        last = count;
    if (count == 0 || first > last)
        return true;
    printer.setDocName(JobTitle);
    // The paper is whatever the print dialog left; the report keeps its own
    // margins from the corner of the sheet.
    printer.setFullPage(true);
    const QPageLayout layout = pages.pageLayout();
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const int resolution = printer.resolution();
    const QMargins margins = layout.marginsPixels(resolution);
    const QPointF origin(margins.left(), margins.top());
    // Copies the print system does not make itself are printed one after another.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    bool firstPage = true;
    for (int copy = 0; copy < copies; ++copy) {
        for (int page = first; page <= last; ++page) {
            if (!firstPage && !printer.newPage()) {
                painter.end();
                return false;
            }
            firstPage = false;
            toReportUnits(painter, origin, resolution);
            pages.drawPage(painter, page - 1);
        }
    }
    return painter.end();
}

} // namespace ReportEngine
