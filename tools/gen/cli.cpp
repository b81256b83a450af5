#include "cli.hpp"

#include "cli/atomic_file.hpp"
#include "cli/command_line.hpp"
#include "generate.hpp"

namespace escala::tools::gen {

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Writes a synthetic task file: the duty pieces of one service day of a bus operator.",
                 "escala-gen"};
    app.set_version_flag("--version", std::string("escala-gen ") + ESCALA_VERSION);
    GenOptions options;
    app.add_option("--vehicles", options.vehicles, "Number of buses in service, 1\u2013100000")
        ->type_name("N")
        ->check(cli::decimal_in(1, 100000))
        ->capture_default_str();
    app.add_option("--seed", options.seed,
                   "Seed of the generator, 0\u20134294967295; the same seed gives the same file")
        ->type_name("N")
        ->check(cli::decimal_in(0, 4294967295u))
        ->capture_default_str();
    app.add_option("--out", options.out, "Task file to write (default: standard output)")->type_name("FILE");
    app.footer("Files: reads nothing; writes the task file (eight integers a line), replacing it only once\n"
               "it is complete.\n"
               "Exit status: 0 written, 1 the file could not be written, 2 unusable command line,\n"
               "130 after Ctrl-C, 143 after SIGTERM.\n" +
               cli::interrupt_help("the program stops before the task file is replaced, which then stays as "
                                   "it was"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, "escala-gen")};
    }
    return {options, 0};
}

int write_task_file(const GenOptions& options, std::ostream& standard_output, std::ostream& err,
                    const std::atomic<bool>* stop) {
    const l_tarefas tasks = generate_tasks(options.vehicles, options.seed);
    if (stop != nullptr && stop->load()) return 0;
    if (options.out.empty()) {
        write_tasks(standard_output, tasks);
        standard_output.flush();
        return standard_output ? 0 : 1;
    }
    try {
        cli::AtomicFile file(options.out);
        write_tasks(file.stream(), tasks);
        if (stop != nullptr && stop->load()) return 0;
        file.commit();
    } catch (const cli::WriteError& e) {
        err << "escala-gen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace escala::tools::gen
