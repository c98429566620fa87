#include "output.h"

#include "data/destination.h"
#include "data/engineerror.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>

namespace ReportEngine {

namespace {
// Units of 1/96 inch from the top left of the printable area.
void toUnits(QPainter &painter, const QPointF &origin, int resolution)
{
    painter.resetTransform();
    painter.translate(origin);
    const double scale = resolution / 96.0;
    painter.scale(scale, scale);
}
} // namespace

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
            toUnits(painter, origin, resolution);
            pages.drawPage(painter, page - 1);
        }
    }
    return painter.end();
}

void writePdf(const PageStore &pages, const QString &path, const Progress &progress)
{
    const QString shown = QDir::toNativeSeparators(path);
    DestinationFile file(path);
    {
        QPdfWriter writer(&file.device());
        writer.setTitle(JobTitle);
        writer.setCreator(QStringLiteral("Duesmith"));
        writer.setPageLayout(pages.pageLayout());
        const int resolution = writer.resolution();
        QPainter painter;
        if (!painter.begin(&writer))
            throw EngineError(QStringLiteral("Cannot write %1").arg(shown));
        const int count = pages.pageCount();
        for (int page = 0; page < count; ++page) {
            // Cancelled: the temporary file goes, the destination stays as it was.
            if (progress && !progress(page, count))
                return;
            if (page > 0)
                writer.newPage();
            // The writer's origin is already the top left of the printable area.
            toUnits(painter, QPointF(0, 0), resolution);
            pages.drawPage(painter, page);
        }
        painter.end();
    }
    file.commit();
}

} // namespace ReportEngine
