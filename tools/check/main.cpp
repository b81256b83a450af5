// escala-check: verifies a roster dump against its task file and measures it.
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <thread>
#include <iostream>

#include "check/check.hpp"
#include "cli/command_line.hpp"
#include "cli/interrupt_guard.hpp"
#include "gtfs/legend.hpp"
#include "io/strict_tasks.hpp"

namespace {

const char* const program = "escala-check";

// 130 or 143 with the closing line, when a signal came before the end.
int interrupted(const escala::cli::InterruptGuard& guard) {
    std::cerr << program << ": " << guard.signal_text() << ": nothing checked\n";
    return guard.exit_status(0);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace escala::tools;
    const escala::cli::InterruptGuard guard(program);
    CLI::App app{"Checks a roster dump written by escala (or edited by hand) against its task file:\n"
                 "every task in exactly one schedule, schedules in start order without overlaps,\n"
                 "each closed by the virtual task the schedule rules give. Prints every crew\n"
                 "member's cost and measures, the objective, the totals and a lower bound on the\n"
                 "crew needed.",
                 program};
    std::string task_file = "Lintra.tsk";
    std::string dump_file = "dumpfile.txt";
    app.add_option("--tasks", task_file, "task file the roster was made from (eight integers a line)")
        ->type_name("FILE")
        ->capture_default_str();
    app.add_option("--dump", dump_file, "roster dump to check")->type_name("FILE")->capture_default_str();
    std::string ids_file;
    app.add_option("--ids", ids_file,
                   "legend of an imported task file (Lintra.ids.csv): violations name the GTFS blocks, stops "
                   "and routes of their tasks")
        ->type_name("FILE");
    bool tight = false;
    app.add_flag("--tight-bound", tight,
                 "also compute the column-generation bound (objective_lower_bound_cg): much closer to the best "
                 "roster than the quick bound, in seconds to a minute");
    double bound_time = 60;
    app.add_option("--bound-time", bound_time, "seconds the column generation may take, wall clock")
        ->type_name("S")
        ->check(escala::cli::seconds())
        ->capture_default_str();
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    app.add_option("--threads", threads, "threads of the column generation's pricing (default: the cores)")
        ->type_name("T")
        ->check(CLI::Range(1u, 256u));
    app.set_version_flag("--version", std::string(program) + " " + ESCALA_VERSION);
    app.footer(print_format() +
               "\nFiles: reads the task file, the dump and the legend (--ids); writes nothing but standard output.\n"
               "Exit status: 0 valid roster, 1 violations, 2 unusable command line or input\n"
               "(missing, a folder, unreadable, empty or malformed, named with its line),\n"
               "130 after Ctrl-C, 143 after SIGTERM.\n" +
               escala::cli::interrupt_help("the check stops before it prints its report"));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return escala::cli::finish_parse(app, e, std::cout, std::cerr, program);
    }

    escala::StrictTasks tasks;
    try {
        tasks = escala::load_tasks_strict(task_file);
    } catch (const escala::TaskFileError& e) {
        std::cerr << program << ": " << e.what() << '\n';
        return guard.exit_status(2);
    }
    for (const std::string& warning : tasks.warnings) std::cerr << program << ": " << warning << '\n';

    escala::gtfs::Legend legend;
    std::function<std::string(const escala::Task&)> names;
    if (!ids_file.empty()) {
        try {
            legend = escala::gtfs::read_legend(ids_file);
        } catch (const escala::gtfs::LegendError& e) {
            std::cerr << program << ": " << e.what() << '\n';
            return guard.exit_status(2);
        }
        names = [&legend](const escala::Task& task) { return escala::gtfs::describe_task(legend, task); };
    }

    std::error_code error;
    if (std::filesystem::is_directory(dump_file, error)) {
        std::cerr << program << ": " << dump_file << ": is a folder, not a roster dump\n";
        return guard.exit_status(2);
    }
    std::ifstream dump_stream(dump_file, std::ios::binary);
    if (!dump_stream) {
        std::cerr << program << ": cannot read dump \"" << dump_file << "\"\n";
        return guard.exit_status(2);
    }
    Dump dump;
    try {
        dump = read_dump(dump_stream);
    } catch (const DumpError& e) {
        std::cerr << program << ": " << dump_file << ':' << e.line() << ": " << e.what() << '\n';
        return guard.exit_status(2);
    } catch (const std::ios_base::failure& e) {
        std::cerr << program << ": cannot read dump \"" << dump_file << "\"\n";
        return guard.exit_status(2);
    }
    if (guard.stop_requested()) return interrupted(guard);
    CheckReport report = check_roster(tasks.tasks, dump);
    if (guard.stop_requested()) return interrupted(guard);
    if (tight) {
        report.tight_requested = true;
        escala::columns::GenerationOptions options;
        options.time_limit = bound_time;
        options.threads = threads;
        options.stop = [&guard] { return guard.stop_requested(); };
        options.initial_days = dump_days(tasks.tasks, dump);
        double reported = 0;
        options.progress = [&reported](const escala::columns::GenerationProgress& p) {
            if (p.seconds - reported < 2) return;
            reported = p.seconds;
            std::cerr << program << ": column generation " << std::fixed << std::setprecision(1) << p.seconds
                      << " s, round " << p.rounds << ", bound " << std::setprecision(0) << p.bound << ", master "
                      << p.lp_value << ", " << p.columns << " days\n";
        };
        report.tight = escala::columns::tight_lower_bound(tasks.tasks, dump.crew.size(), options);
        if (guard.stop_requested()) return interrupted(guard);
    }
    print_report(std::cout, report, task_file, dump_file, names);
    return guard.exit_status(report.valid() ? 0 : 1);
}
