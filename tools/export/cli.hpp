// The command line of escala-export.
#pragma once

#include <optional>
#include <ostream>

#include "run.hpp"

namespace escala::exporting {

// The options to run with, or the exit status when there is nothing to run
// (0 after --help or --version, 2 after an unusable command line; the
// message has gone to `out` or `err`).
struct ParsedCommandLine {
    std::optional<ToolOptions> options;
    int exit_status = 0;
};

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace escala::exporting
