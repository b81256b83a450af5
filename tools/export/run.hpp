// escala-export's work: a task file, its legend and trip map and a roster dump in, the operator's files out.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/interrupt_guard.hpp"

namespace escala::tools::exporting {

struct ToolOptions {
    std::string tasks = "Lintra.tsk";
    std::string dump = "dumpfile.txt";
    std::string ids;    // "" : beside the task file
    std::string trips;  // "" : beside the task file
    std::string out_dir = ".";
    std::optional<std::string> service_id;  // none: the service of the most trips
    int first_run = 1;
    std::string rules;  // "": escala's own
};

// Reads everything, writes run_events.txt, runs.csv and runs.html into the
// output folder (each whole or not at all) and the summary and warnings on
// `err`. Returns the exit status: 0, 1 when runs overlap or a file cannot be
// written, 2 for input that cannot be used (nothing written), 130/143 when
// the guard saw a signal before the files were committed (nothing written).
int run_export(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& err);

}  // namespace escala::tools::exporting
