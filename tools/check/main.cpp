// escala-check: verifies a roster dump against its task file and measures it.
#include <iostream>

#include "cli.hpp"
#include "cli/interrupt_guard.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    using namespace escala::tools::check;
    const escala::cli::InterruptGuard guard("escala-check");
    const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    return run_check(*parsed.options, guard, std::cout, std::cerr);
}
