#include "cli.hpp"

#include "cli/command_line.hpp"

#include "check/check.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::check {

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    const char* const program = "escala-check";
    CLI::App app{"Checks a roster dump written by escala (or edited by hand) against its task file:\n"
                 "every task in exactly one schedule, schedules in start order without overlaps,\n"
                 "each closed by the virtual task the schedule rules give. Prints every crew\n"
                 "member's cost and measures, the objective, the totals and a lower bound on the\n"
                 "crew needed.",
                 program};
    ToolOptions options;
    app.add_option("--tasks", options.tasks, "task file the roster was made from (eight integers a line)")
        ->type_name("FILE")
        ->capture_default_str();
    app.add_option("--dump", options.dump, "roster dump to check")->type_name("FILE")->capture_default_str();
    app.add_option("--ids", options.ids,
                   "legend of an imported task file (Lintra.ids.csv): violations name the GTFS blocks, stops "
                   "and routes of their tasks")
        ->type_name("FILE");
    app.add_flag("--tight-bound", options.tight_bound,
                 "also compute the column-generation bounds (objective_lower_bound_cg, then "
                 "objective_lower_bound_exact at the crew cost itself): much closer to the best roster than the "
                 "quick bound, in seconds to a minute; 'roster proven optimal' when one reaches the objective");
    app.add_option("--bound-time", options.bound_time, "seconds both column generations may take together, wall clock")
        ->type_name("S")
        ->check(cli::seconds())
        ->capture_default_str();
    app.add_option("--threads", options.threads, "threads of the column generation's pricing (default: the cores)")
        ->type_name("T")
        ->check(CLI::Range(1u, 256u));
    app.add_option("--rules", options.rules, rules_option_help)->type_name("FILE");
    app.set_version_flag("--version", std::string(program) + " " + ESCALA_VERSION);
    app.footer(print_format() +
               "\nFiles: reads the task file, the dump and the legend (--ids); writes nothing but standard output.\n"
               "Exit status: 0 valid roster, 1 violations, 2 unusable command line or input\n"
               "(missing, a folder, unreadable, empty or malformed, named with its line),\n"
               "130 after Ctrl-C, 143 after SIGTERM.\n" +
               cli::interrupt_help("the check stops before it prints its report"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, program)};
    }
    return {options, 0};
}

}  // namespace escala::tools::check
