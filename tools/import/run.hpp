// escala-import's work: a GTFS feed in, a task file and its legend out.
#pragma once

#include <ostream>
#include <string>

#include "cli/interrupt_guard.hpp"
#include "gtfs/import.hpp"

namespace escala::tools::import {

struct ToolOptions {
    std::string feed;                // folder or .zip
    std::string out = "Lintra.tsk";  // the legend goes beside it
    bool list_services = false;
    gtfs::ImportOptions import;
};

// Lists the services to `out`, or imports the feed and writes the task file
// and its legend whole (summary and messages on `err`). Returns the exit
// status: 0, 2 for unusable input, 1 when the output cannot be written,
// 130/143 when the guard saw a signal (then nothing is written).
int run_import(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& out, std::ostream& err);

}  // namespace escala::tools::import
