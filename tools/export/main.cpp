// escala-export: the operator's files (TODS run events, run table, run sheets) from a roster.
#include <iostream>

#include "cli.hpp"
#include "cli/interrupt_guard.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    const escala::cli::InterruptGuard guard("escala-export");
    const escala::tools::exporting::ParsedCommandLine parsed =
        escala::tools::exporting::parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    return escala::tools::exporting::run_export(*parsed.options, guard, std::cerr);
}
