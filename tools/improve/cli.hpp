// The command line of escala-improve.
#pragma once

#include <optional>
#include <ostream>

#include "run.hpp"

namespace escala::improve_tool {

// The options to run with, or the exit status when there is nothing to run
// (0 after --help or --version, 2 after an unusable command line; the
// message has gone to `out` or `err`).
struct ParsedCommandLine {
    std::optional<ImproveToolOptions> options;
    int exit_status = 0;
};

// Without --seed the seed is the clock's time in seconds; without --threads,
// one search per processor core.
ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace escala::improve_tool
