// escala-gen: writes a synthetic task file for tests and benchmarks.
#include <iostream>

#include "cli.hpp"

int main(int argc, char** argv) {
    const auto parsed = escala::gen::parse_command_line(argc, argv, std::cout, std::cerr);
    if (!parsed.options) return parsed.exit_status;
    return escala::gen::write_task_file(*parsed.options, std::cout, std::cerr);
}
