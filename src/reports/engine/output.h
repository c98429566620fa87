#pragma once

#include "reports/engine/pagestore.h"

#include <QString>

class QPrinter;

namespace ReportEngine {

// The job title every report prints under.
inline const QString JobTitle = QStringLiteral("Marrowfin Report");

// Prints pages first..last (1-based, inclusive; 0 for all) of `pages` on a
// printer set up by the caller (copies, range, print to file). Returns false
// when the printer could not be started.
bool print(const PageStore &pages, QPrinter &printer, int first = 0, int last = 0);

// Writes every page to a PDF at `path`: into a temporary file beside it,
// renamed into place when complete. Throws EngineError naming the path when
// it cannot be written; no partial file is left.
void writePdf(const PageStore &pages, const QString &path, const Progress &progress = {});

} // namespace ReportEngine
