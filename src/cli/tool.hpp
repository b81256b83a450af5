// What every companion's command line and work give back: the parsed
// options or an exit status, and the two errors that become exit statuses.
#pragma once

#include <optional>
#include <stdexcept>

namespace escala::cli {

// The options to run with, or the exit status when there is nothing to run
// (0 after --help or --version, 2 after an unusable command line; the
// message has gone to out or err).
template <class Options>
struct ParsedCommandLine {
    std::optional<Options> options;
    int exit_status = 0;
};

// A command line, task file, dump or other input that cannot be used (exit
// status 2); the message names the file, and the line when there is one.
struct UnusableInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An output folder or file that cannot be written (exit status 1).
struct CannotWrite : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace escala::cli
