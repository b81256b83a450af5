#include "cli.hpp"

#include <CLI/CLI.hpp>
#include <fstream>

#include "generate.hpp"

namespace escala::gen {

namespace {

// Plain decimal digits only (CLI11 alone would also take "0x10" or "010").
const CLI::Validator decimal([](std::string& text) -> std::string {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) return {};
    return "'" + text + "' is not a decimal number";
}, "");

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Writes a synthetic task file: the duty pieces of one service day of a bus operator.",
                 "escala-gen"};
    app.set_version_flag("--version", std::string("escala-gen ") + ESCALA_VERSION);
    GenOptions options;
    app.add_option("--vehicles", options.vehicles, "Number of buses in service")
        ->type_name("N")
        ->check(decimal)
        ->check(CLI::Range(1, 100000))
        ->capture_default_str();
    app.add_option("--seed", options.seed, "Seed of the generator; the same seed gives the same file")
        ->type_name("N")
        ->check(decimal)
        ->capture_default_str();
    app.add_option("--out", options.out, "Task file to write (default: standard output)")->type_name("FILE");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return {std::nullopt, status == 0 ? 0 : 2};
    }
    return {options, 0};
}

int write_task_file(const GenOptions& options, std::ostream& standard_output, std::ostream& err) {
    const l_tarefas tasks = generate_tasks(options.vehicles, options.seed);
    if (options.out.empty()) {
        write_tasks(standard_output, tasks);
        standard_output.flush();
        return standard_output ? 0 : 1;
    }
    std::ofstream file(options.out, std::ios::binary | std::ios::trunc);
    if (!file) {
        err << "escala-gen: cannot open '" << options.out << "' for writing\n";
        return 2;
    }
    write_tasks(file, tasks);
    file.close();
    if (!file) {
        err << "escala-gen: writing '" << options.out << "' failed\n";
        return 1;
    }
    return 0;
}

}  // namespace escala::gen
