#pragma once

#include "band.h"
#include "pagestore.h"

#include <memory>

namespace ReportEngine {

// Runs the report's preparation step, then reads every record once to place
// the records on pages and add up the sums. Throws EngineError from the
// preparation or the data; returns nullptr when `progress` cancels.
std::unique_ptr<PageStore> prepare(Definition definition, const Progress &progress = {});

} // namespace ReportEngine
