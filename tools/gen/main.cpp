// escala-gen: writes a synthetic task file for tests and benchmarks.
#include <iostream>

#include "cli.hpp"
#include "cli/interrupt_guard.hpp"

int main(int argc, char** argv) {
    const escala::cli::InterruptGuard guard("escala-gen");
    const auto parsed = escala::tools::gen::parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    const int status = escala::tools::gen::write_task_file(*parsed.options, std::cout, std::cerr, &guard.flag());
    if (guard.stop_requested()) std::cerr << "escala-gen: " << guard.signal_text() << ": nothing written\n";
    return guard.exit_status(status);
}
