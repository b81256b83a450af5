// The command line of escala-gen.
#pragma once

#include <atomic>
#include <optional>
#include <ostream>
#include <string>

namespace escala::gen {

struct GenOptions {
    int vehicles = 20;
    unsigned seed = 1;
    std::string out;  // empty: standard output
};

// The options to run with, or the exit status when there is nothing to run
// (0 after --help or --version, 2 after an unusable command line; the
// message has gone to `out` or `err`).
struct ParsedCommandLine {
    std::optional<GenOptions> options;
    int exit_status = 0;
};

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Writes the task file, whole or not at all; returns the exit status (1 when
// the file cannot be written, after a message on `err`). A raised `stop`
// leaves the file untouched.
int write_task_file(const GenOptions& options, std::ostream& standard_output, std::ostream& err,
                    const std::atomic<bool>* stop = nullptr);

}  // namespace escala::gen
