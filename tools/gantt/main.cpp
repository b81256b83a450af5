// escala-gantt: writes a roster dump as a self-contained HTML timeline page.
#include <iostream>

#include "cli.hpp"
#include "cli/interrupt_guard.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    using namespace escala::tools::gantt;
    const escala::cli::InterruptGuard guard("escala-gantt");
    const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    return run_gantt(*parsed.options, guard, std::cout, std::cerr);
}
