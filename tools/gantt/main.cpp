// escala-gantt: writes a roster dump as a self-contained HTML timeline page.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/atomic_file.hpp"
#include "cli/command_line.hpp"
#include "cli/interrupt_guard.hpp"
#include "gantt/gantt.hpp"
#include "gtfs/legend.hpp"

namespace {

using namespace escala::tools;

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

bool is_directory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) || error;
}

// Draws the page and writes it whole; false, once said why, when it is not written.
const std::atomic<bool>* guard_flag = nullptr;

bool write_page(const std::string& out_file, const Dump& dump, const std::optional<SearchLog>& log,
                const std::string& dump_file, const std::string& log_file, const GanttOptions& options) {
    try {
        escala::cli::AtomicFile page(out_file);
        write_gantt(page.stream(), dump, log, dump_file, log_file, options);
        if (guard_flag->load()) return false;
        page.commit();
    } catch (const escala::cli::WriteError& e) {
        std::cerr << "escala-gantt: " << e.what() << '\n';
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const escala::cli::InterruptGuard guard("escala-gantt");
    guard_flag = &guard.flag();
    CLI::App app{"Writes the roster in a dump of escala as one self-contained HTML page: a timeline\n"
                 "row per crew member (bars coloured and labelled by vehicle, virtual tasks dashed,\n"
                 "overlaps in red, split-shift breaks hatched), the objective and totals with what\n"
                 "they mean, and the convergence of the last search in the search log. The page\n"
                 "needs no network.",
                 "escala-gantt"};
    std::string dump_file = "dumpfile.txt";
    std::string log_file = "file_obj.txt";
    std::string out_file = "escala.html";
    GanttOptions options;
    app.add_option("--dump", dump_file, "roster dump to draw")->type_name("FILE")->capture_default_str();
    auto* log_option = app.add_option("--log", log_file, "search log for the convergence chart")
                           ->type_name("FILE")
                           ->capture_default_str();
    app.add_option("--out", out_file, "page to write")->type_name("FILE")->capture_default_str();
    std::string ids_file;
    app.add_option("--ids", ids_file,
                   "legend of an imported task file (Lintra.ids.csv): bars show block ids, tooltips GTFS ids "
                   "and names")
        ->type_name("FILE");
    app.add_flag("--all", options.all_crew, "a row for every crew member, those without tasks too");
    app.set_version_flag("--version", std::string("escala-gantt ") + ESCALA_VERSION);
    app.footer(footer);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return escala::cli::finish_parse(app, e, std::cout, std::cerr, "escala-gantt");
    }

    std::ifstream dump_stream(dump_file);
    if (!dump_stream || is_directory(dump_file)) {
        std::cerr << "escala-gantt: cannot read dump \"" << dump_file << "\"\n";
        return guard.exit_status(2);
    }
    Dump dump;
    try {
        dump = read_dump(dump_stream);
    } catch (const DumpError& e) {
        std::cerr << "escala-gantt: " << dump_file << ':' << e.line() << ": " << e.what() << '\n';
        return guard.exit_status(2);
    }

    escala::gtfs::Legend legend;
    if (!ids_file.empty()) {
        try {
            legend = escala::gtfs::read_legend(ids_file);
        } catch (const escala::gtfs::LegendError& e) {
            std::cerr << "escala-gantt: " << e.what() << '\n';
            return guard.exit_status(2);
        }
        using escala::gtfs::IdKind;
        options.vehicle_label = [&legend](std::int32_t vehicle) {
            const auto found = escala::gtfs::find_name(legend, IdKind::vehicle, vehicle);
            return found ? found->gtfs_id : vehicle_number(vehicle);
        };
        options.point_note = [&legend](std::int32_t point) { return describe(legend, IdKind::point, point); };
        options.line_note = [&legend](std::int32_t line) { return describe(legend, IdKind::line, line); };
    }

    std::optional<SearchLog> log;
    const bool explicit_log = log_option->count() > 0;
    if (explicit_log || exists(log_file)) {
        std::ifstream log_stream(log_file);
        if (!log_stream || is_directory(log_file)) {
            std::cerr << "escala-gantt: cannot read search log \"" << log_file << "\"\n";
            return guard.exit_status(2);
        }
        try {
            log = read_last_search(log_stream, explicit_log ? LogReading::strict : LogReading::tolerant);
        } catch (const SearchLogError& e) {
            std::cerr << "escala-gantt: " << log_file;
            if (e.line() > 0) std::cerr << ':' << e.line();
            std::cerr << ": " << e.what() << '\n';
            return guard.exit_status(2);
        }
    }

    if (!write_page(out_file, dump, log, dump_file, log_file, options)) {
        if (!guard.stop_requested()) return 1;
        std::cerr << "escala-gantt: " << guard.signal_text() << ": the page was not written\n";
        return guard.exit_status(1);
    }
    int real_tasks = 0;
    for (const DumpCrew& c : dump.crew)
        for (const DumpTask& t : c.tasks) real_tasks += t.task.is_virtual == 0 ? 1 : 0;
    std::cout << "escala-gantt: wrote " << out_file << " (" << dump.crew.size() << " crew, " << real_tasks
              << " tasks)\n";
    return guard.exit_status(0);
}
