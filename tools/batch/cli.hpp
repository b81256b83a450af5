// The command line of escala-batch.
#pragma once

#include <ostream>

#include "batch.hpp"
#include "cli/tool.hpp"

namespace escala::tools::batch {

using ParsedCommandLine = cli::ParsedCommandLine<BatchOptions>;

// Without --seed the seed is the clock's time in seconds.
ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace escala::tools::batch
