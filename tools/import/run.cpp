#include "run.hpp"

#include <algorithm>

#include "cli/atomic_file.hpp"

namespace escala::tools::import {

namespace {

const char* const prefix = "escala-import: ";

int interrupted(const cli::InterruptGuard& guard, std::ostream& err) {
    err << prefix << "interrupted; nothing written\n";
    return guard.exit_status(130);
}

void write_tasks(std::ostream& out, const l_tarefas& tasks) {
    for (const Task& t : tasks)
        out << t.vehicle << ';' << t.start_time << ';' << t.end_time << ';' << t.start_point << ';' << t.end_point
            << ';' << t.slack << ';' << t.start_line << ';' << t.end_line << '\n';
}

}  // namespace

int run_import(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& out, std::ostream& err) {
    gtfs::ImportResult result;
    try {
        const gtfs::Feed feed(options.feed);
        if (options.list_services) {
            for (const gtfs::ServiceSummary& s : gtfs::list_services(feed)) out << gtfs::describe(s) << '\n';
            return guard.exit_status(0);
        }
        gtfs::ImportOptions import = options.import;
        import.stop = &guard.flag();
        result = gtfs::import_feed(feed, import);
    } catch (const gtfs::FeedError& e) {
        err << prefix << e.what() << '\n';
        return 2;
    } catch (const gtfs::Interrupted&) {
        return interrupted(guard, err);
    }
    if (guard.stop_requested()) return interrupted(guard, err);

    const std::filesystem::path task_path = options.out, legend = gtfs::legend_path(task_path),
                                trip_map = gtfs::trip_map_path(task_path);
    try {
        cli::AtomicFile tasks(task_path), names(legend), trips(trip_map);
        write_tasks(tasks.stream(), result.tasks);
        gtfs::write_legend(names.stream(), result.legend);
        gtfs::write_trip_map(trips.stream(), result.trip_map);
        if (guard.stop_requested()) return interrupted(guard, err);
        const cli::SignalsHeld held;  // all three files or none
        names.commit();
        trips.commit();
        tasks.commit();
    } catch (const cli::WriteError& e) {
        err << prefix << e.what() << '\n';
        return 1;
    }

    const auto first = std::min_element(result.tasks.begin(), result.tasks.end(),
                                        [](const Task& a, const Task& b) { return a.start_time < b.start_time; });
    const auto latest = std::max_element(result.tasks.begin(), result.tasks.end(),
                                         [](const Task& a, const Task& b) { return a.end_time < b.end_time; });
    err << prefix << result.trips_read << " trips read, " << result.tasks.size() << " tasks written to "
        << task_path.string() << " (" << result.vehicles << " vehicles, first time " << first->start_time
        << ", last time " << latest->end_time << ")";
    if (options.import.mode == gtfs::Mode::pieces)
        err << "; " << result.pieces_in_range << " of " << result.tasks.size() << " pieces within "
            << options.import.min_piece << "-" << options.import.max_piece << " minutes";
    err << "; legend in " << legend.string() << ", trip map in " << trip_map.string() << '\n';
    return 0;
}

}  // namespace escala::tools::import
