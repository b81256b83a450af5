#include "cli.hpp"

#include "cli/command_line.hpp"
#include "rules/rules_file.hpp"
#include "search/random.hpp"

namespace escala::tools::batch {

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Builds a crew roster like escala, without waiting for Enter, into an output directory.\n"
                 "Run k uses seed N+k-1; the roster with the lowest objective is kept.",
                 "escala-batch"};
    app.set_version_flag("--version", std::string("escala-batch ") + ESCALA_VERSION);
    BatchOptions options;
    std::optional<unsigned> seed;
    std::string task_file = options.task_file.string();
    std::string out_dir = options.out_dir.string();
    app.add_option("--tasks", task_file, "Task file to read (eight integers a line)")
        ->type_name("FILE")
        ->capture_default_str();
    app.add_option("--out-dir", out_dir, "Directory for the output files, created if missing")
        ->type_name("DIR")
        ->capture_default_str();
    app.add_option("--seed", seed, "Seed of the first run, 0\u20134294967295 (default: the time in seconds)")
        ->type_name("N")
        ->check(cli::decimal_in(0, 4294967295u));
    app.add_option("--runs", options.runs, "Builds with seeds N, N+1, ..., 1\u20131000000; the best roster is kept")
        ->type_name("K")
        ->check(cli::decimal_in(1, 1000000))
        ->capture_default_str();
    app.add_option("--time-limit", options.time_limit_seconds,
                   "End each search after the iteration in which S seconds have passed (0: no limit)")
        ->type_name("S")
        ->check(cli::seconds())
        ->capture_default_str();
    app.add_option("--total-time", options.total_time_seconds,
                   "End the whole batch after S seconds: the running search ends and no further run starts "
                   "(0: no limit)")
        ->type_name("S")
        ->check(cli::seconds())
        ->capture_default_str();
    app.add_option("--crew", options.crew,
                   "Crew members in the roster, 1\u2013100000; the construction's crew window and the "
                   "search's sample scale with it as in escala")
        ->type_name("N")
        ->check(cli::decimal_in(1, 100000))
        ->capture_default_str();
    std::string rules_file;
    app.add_option("--rules", rules_file,
                   "R" + std::string(rules_option_help).substr(1) + "; the construction and the search score with them, and the "
                   "file is copied beside the outputs as rules.toml")
        ->type_name("FILE");
    app.add_flag("--quiet", options.quiet, "Print only one summary line per run");
    app.footer(
        "Files: reads the task file; writes into the output directory the best run's ArqSaida.txt,\n"
        "teste_solucao.txt, melhor_solucao.txt, ArqSaida-zz.txt and dumpfile.txt (replacing those there),\n"
        "with --rules the rules file as rules.toml,\n"
        "and appends its search log to file_obj.txt. While runs go on, their files are kept in a hidden\n"
        "folder .escala-batch-XXXXXX inside the output directory, removed before the program ends.\n"
        "\n"
        "Exit status: 0 done; 1 the output files could not be written; 2 unusable command line or task file;\n"
        "130 after Ctrl-C, 143 after SIGTERM.\n"
        "\n" +
        cli::interrupt_help("the running search ends at once, no further run starts, and the best roster "
                            "found so far is written completely (if no run had got that far, nothing is "
                            "written and earlier files stay as they were)") +
        "\n\nA summary line counts the overlapping task pairs of the best roster; such a roster is not\n"
        "drivable as it stands, and escala-check lists the overlaps.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, "escala-batch")};
    }
    options.task_file = task_file;
    options.out_dir = out_dir;
    options.rules_file = rules_file;
    options.seed = seed ? *seed : clock_seed();
    return {options, 0};
}

}  // namespace escala::tools::batch
