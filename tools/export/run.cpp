#include "run.hpp"

#include <filesystem>

#include "check/check.hpp"
#include "cli/tool.hpp"
#include "crew/dump.hpp"
#include "cli/atomic_file.hpp"
#include "crew/crew_util.hpp"
#include "export/export_files.hpp"
#include "gtfs/feed.hpp"
#include "io/strict_tasks.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::exporting {

using namespace escala::exporting;  // the runs and their files

namespace {

const char* const prefix = "escala-export: ";

int interrupted(const cli::InterruptGuard& guard, std::ostream& err) {
    err << prefix << guard.signal_text() << "; nothing written\n";
    return guard.exit_status(130);
}

// The library's measures of every member, the ones escala-check prints among them.
std::vector<RunMeasures> measure(const v_crew& roster, const Rules& rules) {
    const std::vector<tools::CrewMeasures> checked = tools::measure_crew(roster, rules);
    std::vector<RunMeasures> measures;
    for (std::size_t i = 0; i < roster.size(); ++i) {
        Crew member = roster[i];
        member.sort_tasks();  // as the cost sorts it
        RunMeasures m;
        m.cost = checked[i].cost;
        m.work_time = checked[i].work_time;
        m.idle_time = checked[i].idle_time;
        m.overtime = checked[i].overtime;
        m.split_shift = checked[i].split_shift;
        m.excess_time = member.excess_time(rules);
        m.overlap_time = member.overlap_time();
        m.vehicle_changes = member.vehicle_changes();
        m.point_changes = member.forbidden_point_changes();
        measures.push_back(m);
    }
    return measures;
}

}  // namespace

int run_export(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& err) {
    const std::filesystem::path task_path = options.tasks;
    const std::string legend_name = options.ids.empty() ? gtfs::legend_path(task_path).string() : options.ids;
    const std::string map_name = options.trips.empty() ? gtfs::trip_map_path(task_path).string() : options.trips;
    TaskFile file;
    Dump dump;
    gtfs::Legend legend;
    std::vector<gtfs::TripRow> map;
    std::vector<Run> runs;
    RulesFile rules;
    try {
        rules = rules_of_option(options.rules);
        StrictTasks strict = load_tasks_strict(task_path);
        file = {options.tasks, std::move(strict.tasks), std::move(strict.lines)};
        dump = load_dump_file(options.dump, rules.rules);
        if (!options.rules.empty()) check_rules_fit(rules, dump.crew.size(), file.tasks.size());
        legend = gtfs::read_legend(legend_name);
        map = gtfs::read_trip_map(map_name);
        check_legend(file, legend, legend_name);
        const auto trips = trips_by_task(file, map, map_name, legend);
        std::vector<Schedule> roster;
        for (const DumpCrew& member : dump.crew) {
            Schedule& schedule = roster.emplace_back();
            for (const DumpTask& t : member.tasks) schedule.push_back({t.task, t.line});
        }
        const auto matched = match_tasks(file, roster, options.dump);
        runs = build_runs(roster, matched, file, trips, options.first_run, rules.rules);
    } catch (const TaskFileError& e) {
        err << prefix << e.what() << '\n';
        return 2;
    } catch (const gtfs::LegendError& e) {
        err << prefix << e.what() << '\n';
        return 2;
    } catch (const gtfs::FeedError& e) {
        err << prefix << e.what() << '\n';
        return 2;
    } catch (const ExportError& e) {
        err << prefix << e.what() << '\n';
        return 2;
    } catch (const cli::UnusableInput& e) {
        err << prefix << e.what() << '\n';
        return 2;
    }
    if (guard.stop_requested()) return interrupted(guard, err);

    const std::vector<Overlap> overlaps = find_overlaps(runs);
    v_crew roster = to_roster(dump);
    const std::vector<RunMeasures> measures = measure(roster, rules.rules);
    const std::uint32_t objective = global_objective(roster, rules.rules);
    const std::string service = options.service_id ? *options.service_id : busiest_service(map);

    const std::filesystem::path dir = options.out_dir;
    std::error_code made;
    std::filesystem::create_directories(dir, made);  // as the other companions do; a failure shows below
    try {
        cli::AtomicFile events(dir / "run_events.txt"), table(dir / "runs.csv"), sheets(dir / "runs.html");
        write_run_events(events.stream(), runs, service);
        write_runs_csv(table.stream(), runs, measures, objective);
        write_run_sheets(sheets.stream(), runs, measures, legend, service);
        if (guard.stop_requested()) return interrupted(guard, err);
        const cli::SignalsHeld held;  // all three or none
        events.commit();
        table.commit();
        sheets.commit();
    } catch (const cli::WriteError& e) {
        err << prefix << e.what() << '\n';
        return 1;
    }

    for (const Overlap& o : overlaps)
        err << prefix << "warning: run " << o.run_id << ": trips " << o.first_trip << " and " << o.second_trip
            << " overlap in time\n";
    if (const std::string used = rules_summary(rules); !used.empty()) err << prefix << used << '\n';
    int trips = 0, pieces = 0, travels = 0, rests = 0, sign_offs = 0;
    std::size_t events = 0;
    for (const Run& r : runs) {
        trips += r.trips;
        pieces += r.pieces;
        travels += r.travels;
        rests += r.rests;
        sign_offs += r.sign_offs;
        events += r.events.size();
    }
    err << prefix << runs.size() << " runs, " << events << " events: " << trips << " trips, " << pieces
        << " pieces, " << travels << " travels, " << rests << " breaks, " << sign_offs << " sign-offs; service "
        << service << "; written to " << (dir / "run_events.txt").string() << ", runs.csv and runs.html";
    if (!overlaps.empty()) err << "; " << overlaps.size() << (overlaps.size() == 1 ? " overlap" : " overlaps");
    err << '\n';
    return overlaps.empty() ? 0 : 1;
}

}  // namespace escala::tools::exporting
