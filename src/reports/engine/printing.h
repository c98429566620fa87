#pragma once

#include "reports/engine/pagestore.h"

class QPrinter;

// Printing is kept apart from the rest of the engine: QPrinter brings the
// widgets with it, which the reports themselves do without.
namespace ReportEngine {

// Prints pages first..last (1-based, inclusive; 0 for all) of `pages` on a
// printer set up by the caller (copies, range, print to file). Returns false
// when the printer could not be started.
bool print(const PageStore &pages, QPrinter &printer, int first = 0, int last = 0);

} // namespace ReportEngine
