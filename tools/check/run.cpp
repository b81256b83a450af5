#include "run.hpp"

#include <functional>
#include <iomanip>

#include "check/check.hpp"
#include "cli/progress.hpp"
#include "cli/tool.hpp"
#include "gtfs/legend.hpp"
#include "io/strict_tasks.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::check {

namespace {

const char* const program = "escala-check";

// 130 or 143 with the closing line, when a signal came before the end.
int interrupted(const cli::InterruptGuard& guard, std::ostream& err) {
    err << program << ": " << guard.signal_text() << ": nothing checked\n";
    return guard.exit_status(0);
}

}  // namespace

int run_check(const ToolOptions& options, const cli::InterruptGuard& guard, std::ostream& out, std::ostream& err) {
    StrictTasks tasks;
    gtfs::Legend legend;
    std::function<std::string(const Task&)> names;
    Dump dump;
    RulesFile rules;
    try {
        rules = rules_of_option(options.rules);
        tasks = load_tasks_strict(options.tasks);
        for (const std::string& warning : tasks.warnings) err << program << ": " << warning << '\n';
        if (!options.ids.empty()) {
            legend = gtfs::read_legend(options.ids);
            names = [&legend](const Task& task) { return gtfs::describe_task(legend, task); };
        }
        // A missing or wrong closing virtual task is one of the violations listed.
        dump = load_dump_file(options.dump, rules.rules, ClosingTasks::kept);
        if (!options.rules.empty()) check_rules_fit(rules, dump.crew.size(), tasks.tasks.size());
    } catch (const TaskFileError& e) {
        err << program << ": " << e.what() << '\n';
        return guard.exit_status(2);
    } catch (const gtfs::LegendError& e) {
        err << program << ": " << e.what() << '\n';
        return guard.exit_status(2);
    } catch (const cli::UnusableInput& e) {
        err << program << ": " << e.what() << '\n';
        return guard.exit_status(2);
    }
    if (guard.stop_requested()) return interrupted(guard, err);
    CheckReport report = check_roster(tasks.tasks, dump, rules.rules);
    if (guard.stop_requested()) return interrupted(guard, err);
    if (options.tight_bound) {
        report.tight_requested = true;
        columns::GenerationOptions generation;
        generation.time_limit = options.bound_time;
        generation.threads = options.threads;
        generation.stop = [&guard] { return guard.stop_requested(); };
        generation.initial_days = dump_days(tasks.tasks, dump);
        generation.rules = rules.rules;
        cli::ProgressPrinter progress(err, program);
        generation.progress = [&progress](const columns::GenerationProgress& p) {
            progress.print(p.seconds, [&p](std::ostream& line) {
                line << "column generation " << std::fixed << std::setprecision(1) << p.seconds << " s, round "
                     << p.rounds << ", bound " << std::setprecision(0) << p.bound << ", master " << p.lp_value
                     << ", " << p.columns << " days";
            });
        };
        // The bound at priced costs may take the whole time (a large day needs it all); the one
        // at crew costs starts from where it converged, with the time left (less half a second
        // for what it does before its first check of the time).
        generation.time_limit = std::max(0.0, options.bound_time - 0.5);
        report.tight = columns::tight_lower_bound(tasks.tasks, dump.crew.size(), generation);
        if (guard.stop_requested()) return interrupted(guard, err);
        if (!report.tight.converged) {
            report.exact.obstacle = report.tight.obstacle.empty() ? "the bound at priced costs did not converge in --bound-time"
                                                                  : report.tight.obstacle;
        } else {
            generation.time_limit = std::max(0.0, options.bound_time - report.tight.seconds - 0.5);
            generation.initial_days = std::move(report.tight.pool);
            generation.initial_duals = report.tight.duals;
            report.exact = columns::exact_lower_bound(tasks.tasks, dump.crew.size(), generation);
        }
        if (guard.stop_requested()) return interrupted(guard, err);
    }
    if (const std::string used = rules_summary(rules); !used.empty()) out << used << '\n';
    print_report(out, report, options.tasks, options.dump, names);
    return guard.exit_status(report.valid() ? 0 : 1);
}

}  // namespace escala::tools::check
