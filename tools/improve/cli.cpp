#include "cli.hpp"

#include <thread>

#include "cli/command_line.hpp"
#include "rules/rules_file.hpp"
#include "search/random.hpp"

namespace escala::tools::improver {

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Improves a crew roster on escala's objective (its crew cost, under escala's rules or --rules):\n"
                 "ruin and recreate with string removals, relocate, swap and tail exchanges between\n"
                 "members, under simulated annealing, each cycle started with the best reassignment of\n"
                 "all members' tasks in time windows. Starts from a roster dump (escala's or\n"
                 "escala-batch's) or a greedy construction. With --start columns, a first local search\n"
                 "takes a quarter of the time (40 % with one thread); then a column generation and an\n"
                 "integer program over its crew days until 85 % of it (or, when the generation does not\n"
                 "converge, rounds over days recombined from the best roster's, each with a short\n"
                 "search, until 95 %); a last local search from the best roster of every source has the\n"
                 "rest. The result is never worse than the start, every task stays in exactly one\n"
                 "schedule, and the run ends within a second of --time-limit.",
                 "escala-improve"};
    app.set_version_flag("--version", std::string("escala-improve ") + ESCALA_VERSION);
    ImproveToolOptions options;
    std::optional<std::uint64_t> seed;
    std::optional<unsigned> threads;
    std::optional<int> crew;
    std::string task_file = options.task_file.string();
    std::string dump_file;
    std::string out_dir = options.out_dir.string();
    app.add_option("--tasks", task_file, "Task file (eight integers a line)")->type_name("FILE")->capture_default_str();
    app.add_option("--dump", dump_file, "Roster dump to start from (default: the column generation's roster)")
        ->type_name("FILE");
    app.add_option("--out-dir", out_dir, "Directory for the output files, created if missing")
        ->type_name("DIR")
        ->capture_default_str();
    app.add_option("--time-limit", options.time_limit_seconds,
                   "Wall-clock seconds for the whole run, shared out among its phases (0: the columns with budgets "
                   "of their own, then the search until --iterations or Ctrl-C)")
        ->type_name("S")
        ->check(cli::seconds())
        ->capture_default_str();
    app.add_option("--seed", seed,
                   "Seed of the first search, 0\u201318446744073709551615 (default: the time in seconds); "
                   "search k uses N+k-1")
        ->type_name("N")
        ->check(cli::decimal_in(0, UINT64_MAX));
    app.add_option("--threads", threads, "Independent searches run at once, 1\u2013256 (default: the cores)")
        ->type_name("T")
        ->check(cli::decimal_in(1, 256));
    app.add_option("--crew", crew, "Crew members in the roster, 1\u2013100000 (default: 219, or the dump's)")
        ->type_name("N")
        ->check(cli::decimal_in(1, 100000));
    app.add_option("--iterations", options.max_iterations,
                   "End each search after N iterations (0: no limit); with one thread and a seed the "
                   "whole run is then repeatable")
        ->type_name("N")
        ->check(cli::decimal_in(0, UINT64_MAX))
        ->capture_default_str();
    std::string start;
    app.add_option("--start", start,
                   "'columns': local search, then the column generation and integer programs, then local "
                   "search again from the best roster so far (default without --dump); 'plain': local search "
                   "alone from the dump or a greedy construction (default with --dump)")
        ->type_name("MODE")
        ->check(CLI::IsMember({"columns", "plain"}).name("columns or plain"));
    app.add_flag("--tight-bound", options.tight_bound,
                 "Compute the column-generation bound (escala-check --tight-bound) at the start and give the gap "
                 "to it; --start columns computes it anyway");
    std::string rules_file;
    app.add_option("--rules", rules_file,
                   "R" + std::string(rules_option_help).substr(1) +
                       "; the search, the columns and the integer program all cost with them")
        ->type_name("FILE");
    app.add_flag("--quiet", options.quiet, "Print only the summary, no progress lines");
    app.footer(
        "Files: reads the task file and the dump; writes into the output directory dumpfile.txt\n"
        "(escala's dump layout), ArqSaida-zz.txt and ArqSaida.txt (escala's detailed and solution\n"
        "reports) and improve.csv (seconds,iteration,objective: one line per new best roster), each\n"
        "replacing the one there only once complete. The dump may be the output directory's own\n"
        "dumpfile.txt: it is read whole before anything is written.\n"
        "\n"
        "Progress goes to standard error every 2 seconds (elapsed time, iterations, current and best\n"
        "objective, improvement so far, gap); the summary to standard output, with the gap to the\n"
        "objective's lower bound that escala-check prints (the column-generation bound when it ran),\n"
        "where the best roster came from and what each phase did.\n"
        "\n"
        "A single search (--threads 1) with a given --seed follows the same trajectory on every run:\n"
        "the same new bests after the same iterations; --iterations makes its end repeatable too.\n"
        "\n"
        "Exit status: 0 done; 1 the output files could not be written; 2 unusable command line, task\n"
        "file or dump (or a dump whose tasks are not the task file's); 130 after Ctrl-C, 143 after\n"
        "SIGTERM.\n"
        "\n" +
        cli::interrupt_help("the search ends and the best roster found so far is written completely") +
        "\n\nThe summary counts the overlapping task pairs of the best roster; such a roster is not\n"
        "drivable as it stands, and escala-check lists the overlaps.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, "escala-improve")};
    }
    if (!start.empty()) options.columns_start = start == "columns";
    options.task_file = task_file;
    if (!dump_file.empty()) options.dump_file = dump_file;
    options.out_dir = out_dir;
    options.rules_file = rules_file;
    options.seed = seed ? *seed : clock_seed();
    options.threads = threads ? *threads : std::max(1u, std::thread::hardware_concurrency());
    if (crew) options.crew = static_cast<std::size_t>(*crew);
    return {options, 0};
}

}  // namespace escala::tools::improver
