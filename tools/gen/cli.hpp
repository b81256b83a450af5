// The command line of escala-gen.
#pragma once

#include <atomic>
#include <ostream>
#include <string>

#include "cli/tool.hpp"

namespace escala::tools::gen {

struct GenOptions {
    int vehicles = 20;
    unsigned seed = 1;
    std::string out;  // empty: standard output
};

using ParsedCommandLine = cli::ParsedCommandLine<GenOptions>;

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Writes the task file, whole or not at all; returns the exit status (1 when
// the file cannot be written, after a message on `err`). A raised `stop`
// leaves the file untouched.
int write_task_file(const GenOptions& options, std::ostream& standard_output, std::ostream& err,
                    const std::atomic<bool>* stop = nullptr);

}  // namespace escala::tools::gen
