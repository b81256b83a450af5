// The command line of escala-import.
#pragma once

#include <ostream>

#include "cli/tool.hpp"
#include "run.hpp"

namespace escala::tools::import {

using ParsedCommandLine = cli::ParsedCommandLine<ToolOptions>;

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace escala::tools::import
