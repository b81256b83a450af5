#include "run.hpp"

#include <filesystem>
#include <fstream>

#include "cli/atomic_file.hpp"
#include "cli/tool.hpp"
#include "gantt/search_log.hpp"
#include "gtfs/legend.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::gantt {

namespace {

const char* const prefix = "escala-gantt: ";

bool is_directory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) || error;
}

// The last search of the log; none when the default log is absent.
std::optional<SearchLog> usable_log(const ToolOptions& options) {
    if (!options.log_named && !exists(options.log)) return std::nullopt;
    std::ifstream in(options.log);
    if (!in || is_directory(options.log)) throw cli::UnusableInput("cannot read search log \"" + options.log + "\"");
    try {
        return read_last_search(in, options.log_named ? LogReading::strict : LogReading::tolerant);
    } catch (const SearchLogError& e) {
        throw cli::UnusableInput(options.log + (e.line() > 0 ? ":" + std::to_string(e.line()) : std::string()) +
                                 ": " + e.what());
    }
}

}  // namespace

int run_gantt(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& out,
              std::ostream& err) {
    Dump dump;
    gtfs::Legend legend;
    std::optional<SearchLog> log;
    GanttOptions drawing;
    drawing.all_crew = options.all_crew;
    RulesFile rules;
    try {
        rules = rules_of_option(options.rules);
        dump = load_dump_file(options.dump, rules.rules);
        if (!options.rules.empty()) check_rules_fit(rules, dump.crew.size(), static_cast<std::size_t>(dump.task_lines()));
        drawing.rules = rules.rules;
        drawing.rules_note = rules_summary(rules);
        if (!options.ids.empty()) {
            legend = gtfs::read_legend(options.ids);
            using gtfs::IdKind;
            drawing.vehicle_label = [&legend](std::int32_t vehicle) {
                const auto found = gtfs::find_name(legend, IdKind::vehicle, vehicle);
                return found ? found->gtfs_id : vehicle_number(vehicle);
            };
            drawing.point_note = [&legend](std::int32_t point) { return describe(legend, IdKind::point, point); };
            drawing.line_note = [&legend](std::int32_t line) { return describe(legend, IdKind::line, line); };
        }
        log = usable_log(options);
    } catch (const cli::UnusableInput& e) {
        err << prefix << e.what() << '\n';
        return guard.exit_status(2);
    } catch (const gtfs::LegendError& e) {
        err << prefix << e.what() << '\n';
        return guard.exit_status(2);
    }

    try {
        cli::AtomicFile page(options.out);
        write_gantt(page.stream(), dump, log, options.dump, options.log, drawing);
        if (guard.stop_requested()) {
            err << prefix << guard.signal_text() << ": the page was not written\n";
            return guard.exit_status(1);
        }
        page.commit();
    } catch (const cli::WriteError& e) {
        err << prefix << e.what() << '\n';
        if (guard.stop_requested()) err << prefix << guard.signal_text() << ": the page was not written\n";
        return guard.exit_status(1);
    }
    int real_tasks = 0;
    for (const DumpCrew& c : dump.crew)
        for (const DumpTask& t : c.tasks) real_tasks += t.task.is_virtual == 0 ? 1 : 0;
    if (!drawing.rules_note.empty()) out << prefix << drawing.rules_note << '\n';
    out << prefix << "wrote " << options.out << " (" << dump.crew.size() << " crew, " << real_tasks << " tasks)\n";
    return guard.exit_status(0);
}

}  // namespace escala::tools::gantt
