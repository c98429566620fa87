#pragma once

#include "band.h"
#include "pagestore.h"

#include <memory>

namespace ReportEngine {

enum class Pass {
    Whole, // every page laid out before prepare() returns
    // prepare() returns once the first page is laid out; the rest is laid out
    // on a thread of its own when the data can be read aside.
    FirstPageFirst,
};

// Runs the report's preparation step, then reads every record once to place
// the records on pages and add up the sums. Throws EngineError from the
// preparation or the data; returns nullptr when `progress` cancels.
std::unique_ptr<PageStore> prepare(
    Definition definition, const Progress &progress = {}, Pass pass = Pass::Whole);

} // namespace ReportEngine
