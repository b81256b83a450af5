// The command line of escala-batch.
#pragma once

#include <optional>
#include <ostream>

#include "batch.hpp"

namespace escala::batch {

// The options to run with, or the exit status when there is nothing to run
// (0 after --help or --version, 2 after an unusable command line; the
// message has gone to `out` or `err`).
struct ParsedCommandLine {
    std::optional<BatchOptions> options;
    int exit_status = 0;
};

// Without --seed the seed is the clock's time in seconds.
ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace escala::batch
