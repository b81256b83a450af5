// The command line of escala-improve.
#pragma once

#include <ostream>

#include "cli/tool.hpp"
#include "run.hpp"

namespace escala::tools::improver {

using ParsedCommandLine = cli::ParsedCommandLine<ImproveToolOptions>;

// Without --seed the seed is the clock's time in seconds; without --threads,
// one search per processor core.
ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace escala::tools::improver
