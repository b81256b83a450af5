// escala-batch: escala's roster build without waits, for scripts and comparisons.
#include <filesystem>
#include <iostream>

#include "batch.hpp"
#include "cli.hpp"

int main(int argc, char** argv) {
    using namespace escala::batch;
    const ParsedCommandLine parsed = parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    try {
        run_batch(*parsed.options, std::cout);
    } catch (const UnusableInput& e) {
        std::cerr << "escala-batch: " << e.what() << "\n";
        return 2;
    } catch (const std::filesystem::filesystem_error& e) {
        std::cerr << "escala-batch: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
