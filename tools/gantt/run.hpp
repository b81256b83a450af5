// escala-gantt's work: a roster dump (and its search log) in, the page out.
#pragma once

#include <ostream>
#include <string>

#include "cli/interrupt_guard.hpp"
#include "gantt/gantt.hpp"

namespace escala::tools::gantt {

struct ToolOptions {
    std::string dump = "dumpfile.txt";
    std::string log = "file_obj.txt";
    bool log_named = false;  // given with --log: read strictly and required
    std::string out = "escala.html";
    std::string ids;  // "": numbers only
    bool all_crew = false;
    std::string rules;  // "": escala's own
};

// Reads the dump, the search log and the legend and writes the page whole.
// Returns the exit status: 0 written (a line on `out`), 1 not written, 2
// unusable input, 130/143 when the guard saw a signal before the page was
// complete; the reason goes to `err`.
int run_gantt(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& out,
              std::ostream& err);

}  // namespace escala::tools::gantt
