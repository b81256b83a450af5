// escala-check's work: a task file and a roster dump in, the report out.
#pragma once

#include <algorithm>
#include <ostream>
#include <string>
#include <thread>

#include "cli/interrupt_guard.hpp"

namespace escala::tools::check {

struct ToolOptions {
    std::string tasks = "Lintra.tsk";
    std::string dump = "dumpfile.txt";
    std::string ids;  // "": violations name numbers only
    bool tight_bound = false;
    double bound_time = 60;  // seconds of the column generation, wall clock
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::string rules;  // "": escala's own
};

// Reads the task file, the legend and the dump, checks and measures the
// roster and prints the report on `out`; warnings, progress and refusals go
// to `err`. Returns the exit status: 0 valid, 1 violations, 2 unusable
// input, 130/143 when the guard saw a signal before the report.
int run_check(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& out, std::ostream& err);

}  // namespace escala::tools::check
