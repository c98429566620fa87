// Stand-ins for the report engine's output and the report list until the
// engine library is merged in; removed then.
#include "data/engineerror.h"
#include "reports/engine/output.h"
#include "reports/report.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace ReportEngine {
namespace {
bool drawPages(const PageStore &pages, QPagedPaintDevice &device, int first, int last,
    const Progress &progress)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double sx = device.logicalDpiX() / 96.0, sy = device.logicalDpiY() / 96.0;
    for (int i = first; i <= last; ++i) {
        if (i > first)
            device.newPage();
        painter.save();
        painter.scale(sx, sy);
        pages.drawPage(painter, i);
        painter.restore();
        if (progress && !progress(i - first + 1, last - first + 1))
            break;
    }
    return painter.end();
}
} // namespace

bool print(const PageStore &pages, QPrinter &printer, int first, int last)
{
    printer.setDocName(JobTitle);
    const int count = pages.pageCount();
    const int from = first > 0 ? first - 1 : 0;
    const int to = last > 0 ? std::min(last, count) - 1 : count - 1;
    return drawPages(pages, printer, from, to, {});
}

void writePdf(const PageStore &pages, const QString &path, const Progress &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EngineError(QStringLiteral("Cannot write \"%1\": %2")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    QPdfWriter writer(&file);
    writer.setTitle(JobTitle);
    writer.setResolution(600);
    writer.setPageLayout(pages.pageLayout());
    if (!drawPages(pages, writer, 0, pages.pageCount() - 1, progress) || !file.commit())
        throw EngineError(
            QStringLiteral("Cannot write \"%1\"").arg(QDir::toNativeSeparators(path)));
}
} // namespace ReportEngine

std::vector<std::unique_ptr<Reports::Report>> Reports::makeReports()
{
    return {};
}
