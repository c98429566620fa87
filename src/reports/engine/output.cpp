#include "output.h"

#include "data/destination.h"
#include "data/engineerror.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace ReportEngine {

void toReportUnits(QPainter &painter, const QPointF &origin, int resolution)
{
    painter.resetTransform();
    painter.translate(origin);
    const double scale = resolution / 96.0;
    painter.scale(scale, scale);
}

void writePdf(const PageStore &pages, const QString &path, const Progress &progress)
{
    const QString shown = QDir::toNativeSeparators(path);
    // Pages still being laid out are waited for: the file holds them all.
    if (!pages.finish(progress))
        return;
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
            toReportUnits(painter, QPointF(0, 0), resolution);
            pages.drawPage(painter, page);
        }
        painter.end();
    }
    file.commit();
}

} // namespace ReportEngine
