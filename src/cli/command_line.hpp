// Command-line pieces every companion shares (header-only, over CLI11).
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>

#include "cli/tool.hpp"

namespace escala::cli {

// Plain decimal digits within [low, high] (CLI11 alone would also take
// "0x10" or "010", and would wrap a number too large for its variable).
inline CLI::Validator decimal_in(std::uint64_t low, std::uint64_t high) {
    const std::string range = std::to_string(low) + "\u2013" + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& text) -> std::string {
            if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
                return "'" + text + "' is not a decimal number in " + range;
            const std::uint64_t value = std::stoull(text);
            if (value < low || value > high) return "'" + text + "' is outside " + range;
            return {};
        },
        "", "decimal");
}

// A finite number of seconds, 0 or more.
inline CLI::Validator seconds() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (!text.empty() && *end == '\0' && std::isfinite(value) && value >= 0 && value <= 1e9) return {};
            return "'" + text + "' is not a number of seconds (0 to 1000000000)";
        },
        "", "seconds");
}

// What every --help ends with about interrupts.
inline std::string interrupt_help(const std::string& what_is_kept) {
    return "Ctrl-C (SIGINT) or SIGTERM: " + what_is_kept +
           "; no temporary file is left behind. A second Ctrl-C ends the program at once.";
}

// Prints a parse error (prefixed with the program's name) or the --help and
// --version texts; returns the exit status: 0 after --help or --version, 2
// after an unusable command line.
inline int finish_parse(const CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err,
                        const std::string& program) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        app.exit(error, out, err);
        return 0;
    }
    err << program << ": " << error.what() << "\n" << program << ": run with --help for more information\n";
    return 2;
}

}  // namespace escala::cli
