#include "cli.hpp"

#include "cli/command_line.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::exporting {

namespace {

const std::string footer = std::string(R"(Reads the task file (--tasks), the roster dump escala wrote (--dump), and
beside the task file the legend (Lintra.ids.csv, or --ids) and the trip map
(Lintra.trips.csv, or --trips) that escala-import wrote with it.
Every real task of the dump must match one record of the task file (all
eight fields; identical records in file order), every record be used once,
the legend name every vehicle, point and line of the task file, and the trip
map give each task its trips with the task's first and last minutes.

Writes into --out-dir, each file replacing an older one only when complete:
  run_events.txt  TODS runs: one run per crew member with work, run_id =
                  member + --first-run; trips (event Operator), Travel
                  between tasks whose stops differ, Break at one stop after
                  more than the split gap (120 minutes, or --rules's),
                  Sign-off for the closing virtual task;
                  piece_id <run>-<k> for each stretch on one vehicle without
                  a change of stop. Every run on the one --service-id.
  runs.csv        one row per run: sign-on, sign-off, pieces, trips, vehicles,
                  platform minutes and the crew measures and cost that
                  escala-check prints (under --rules when given); a last row
                  "total" whose cost is the roster objective.
  runs.html       printable run sheets, one page per run, with an index.

Exit status: 0 done; 1 some run has overlapping trips (written anyway, one
warning per overlap) or a file cannot be written; 2 unusable command line
or input (nothing written); 130 after Ctrl-C (SIGINT), 143 after SIGTERM.
)") + cli::interrupt_help("the export stops before writing and leaves every earlier file as it was");

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Turns a roster into the operator's files: TODS run events, a run table and run sheets.",
                 "escala-export"};
    app.set_version_flag("--version", std::string("escala-export ") + ESCALA_VERSION);
    app.footer(footer);
    ToolOptions options;
    std::string service;
    app.add_option("--tasks", options.tasks, "Task file")->type_name("FILE")->capture_default_str();
    app.add_option("--dump", options.dump, "Roster dump written by escala")->type_name("FILE")->capture_default_str();
    app.add_option("--ids", options.ids, "Legend (default: beside the task file, .ids.csv)")->type_name("FILE");
    app.add_option("--trips", options.trips, "Trip map (default: beside the task file, .trips.csv)")->type_name("FILE");
    app.add_option("--out-dir", options.out_dir, "Folder to write into, created if missing")->type_name("DIR")->capture_default_str();
    auto* service_option =
        app.add_option("--service-id", service, "service_id of every run (default: the service with the most trips)")
            ->type_name("ID");
    app.add_option("--first-run", options.first_run, "run_id of crew member 0 (0-1000000000)")
        ->type_name("N")
        ->check(cli::decimal_in(0, 1000000000))
        ->capture_default_str();
    app.add_option("--rules", options.rules, "R" + std::string(rules_option_help).substr(1))->type_name("FILE");
    try {
        app.parse(argc, argv);
        if (service_option->count() > 0 && service.empty()) throw CLI::ValidationError("--service-id is empty");
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, "escala-export")};
    }
    if (service_option->count() > 0) options.service_id = service;
    return {options, 0};
}

}  // namespace escala::tools::exporting
