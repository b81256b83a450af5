// escala-batch: escala's roster build without waits, for scripts and comparisons.
#include <filesystem>
#include <iostream>

#include "batch.hpp"
#include "cli.hpp"
#include "cli/interrupt_guard.hpp"

int main(int argc, char** argv) {
    using namespace escala::tools::batch;
    const escala::cli::InterruptGuard guard("escala-batch");
    const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    try {
        const BatchResult result = run_batch(*parsed.options, std::cout, std::cerr, &guard.flag());
        if (guard.stop_requested()) {
            if (result.written)
                std::cerr << "escala-batch: " << guard.signal_text() << ": kept the best roster of "
                          << result.runs.size() << (result.runs.size() == 1 ? " run" : " runs") << " in "
                          << parsed.options->out_dir.string() << "\n";
            else
                std::cerr << "escala-batch: " << guard.signal_text()
                          << " before any roster was complete: nothing written\n";
        }
    } catch (const escala::cli::UnusableInput& e) {
        std::cerr << "escala-batch: " << e.what() << "\n";
        return guard.exit_status(2);
    } catch (const std::filesystem::filesystem_error& e) {
        std::cerr << "escala-batch: " << e.what() << "\n";
        return guard.exit_status(1);
    }
    return guard.exit_status(0);
}
