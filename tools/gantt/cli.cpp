#include "cli.hpp"

#include "cli/command_line.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::gantt {

namespace {

const char* const footer =
    "Files:\n"
    "  reads   the roster dump (--dump), as escala writes it;\n"
    "          the search log (--log), lines iteration<TAB>best<TAB>current that escala appends\n"
    "          run after run; the chart shows the last run. The default log is skipped when\n"
    "          absent, and lines of it that are not such lines (an interrupted run may leave half\n"
    "          a line) are skipped and counted on the page. A log named with --log must be made\n"
    "          of such lines only (blank lines aside).\n"
    "          the legend (--ids) that escala-import writes beside a task file.\n"
    "  writes  the page (--out), through a new file beside it that is renamed over it at the\n"
    "          end: the page is either complete or untouched.\n"
    "Crew members with an empty schedule get no row of their own but are listed in one line\n"
    "(\"112 crew members without tasks (no row): 3, 5, 9-120\"); --all gives them their rows.\n"
    "A member holding only a closing virtual task keeps its row: that is worth a look.\n"
    "Ctrl-C (or SIGTERM) stops the program; the page is then complete or untouched.\n"
    "Exit status: 0 page written, 1 page not written, 2 unusable input (dump or search log),\n"
    "130/143 interrupted by Ctrl-C/SIGTERM before the page was written (the page is untouched).";

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Writes the roster in a dump of escala as one self-contained HTML page: a timeline\n"
                 "row per crew member (bars coloured and labelled by vehicle, virtual tasks dashed,\n"
                 "overlaps in red, split-shift breaks hatched), the objective and totals with what\n"
                 "they mean, and the convergence of the last search in the search log. The page\n"
                 "needs no network.",
                 "escala-gantt"};
    ToolOptions options;
    app.add_option("--dump", options.dump, "roster dump to draw")->type_name("FILE")->capture_default_str();
    auto* log_option = app.add_option("--log", options.log, "search log for the convergence chart")
                           ->type_name("FILE")
                           ->capture_default_str();
    app.add_option("--out", options.out, "page to write")->type_name("FILE")->capture_default_str();
    app.add_option("--ids", options.ids,
                   "legend of an imported task file (Lintra.ids.csv): bars show block ids, tooltips GTFS ids "
                   "and names")
        ->type_name("FILE");
    app.add_flag("--all", options.all_crew, "a row for every crew member, those without tasks too");
    app.add_option("--rules", options.rules, rules_option_help)->type_name("FILE");
    app.set_version_flag("--version", std::string("escala-gantt ") + ESCALA_VERSION);
    app.footer(footer);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, "escala-gantt")};
    }
    options.log_named = log_option->count() > 0;
    return {options, 0};
}

}  // namespace escala::tools::gantt
