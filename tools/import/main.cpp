// escala-import: task files for escala from GTFS timetables.
#include <iostream>

#include "cli.hpp"
#include "cli/interrupt_guard.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    const escala::cli::InterruptGuard guard("escala-import");
    const escala::tools::import::ParsedCommandLine parsed =
        escala::tools::import::parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    return escala::tools::import::run_import(*parsed.options, guard, std::cout, std::cerr);
}
