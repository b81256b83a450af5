// escala-improve: improves a roster on escala's own objective.
#include <iostream>

#include "cli.hpp"
#include "cli/interrupt_guard.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    using namespace escala::tools::improver;
    const escala::cli::InterruptGuard guard("escala-improve");
    const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    try {
        const ImproveToolResult result = run_improve(*parsed.options, std::cout, std::cerr, &guard.flag());
        if (guard.stop_requested())
            std::cerr << "escala-improve: " << guard.signal_text() << ": kept the best roster found (objective "
                      << result.best_objective << ") in " << parsed.options->out_dir.string() << "\n";
    } catch (const UnusableInput& e) {
        std::cerr << "escala-improve: " << e.what() << "\n";
        return guard.exit_status(2);
    } catch (const CannotWrite& e) {
        std::cerr << "escala-improve: " << e.what() << "\n";
        return guard.exit_status(1);
    }
    return guard.exit_status(0);
}
