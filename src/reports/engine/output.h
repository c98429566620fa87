#pragma once

#include "reports/engine/pagestore.h"

#include <QPointF>
#include <QString>

class QPainter;

namespace ReportEngine {

// The job title every report prints under.
inline const QString JobTitle = QStringLiteral("Marrowfin Report");

// Sets the painter to units of 1/96 inch from origin (in device pixels) on a
// device of the given resolution: the units the pages are laid out in.
void toReportUnits(QPainter &painter, const QPointF &origin, int resolution);

// Writes every page to a PDF at `path`: into a temporary file beside it,
// renamed into place when complete. Throws EngineError naming the path when
// it cannot be written; no partial file is left.
void writePdf(const PageStore &pages, const QString &path, const Progress &progress = {});

} // namespace ReportEngine
