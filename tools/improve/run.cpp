#include "run.hpp"

#include <chrono>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>

#include "check/dump.hpp"
#include "cli/atomic_file.hpp"
#include "columns/column_generation.hpp"
#include "columns/lower_bound.hpp"
#include "columns/roster_program.hpp"
#include "crew/crew_util.hpp"
#include "crew/overlaps.hpp"
#include "improve/search.hpp"
#include "io/strict_tasks.hpp"

namespace escala::improve_tool {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t default_crew = 219;

l_tarefas usable_tasks(const fs::path& file, std::ostream& err) {
    try {
        StrictTasks read = load_tasks_strict(file);
        for (const std::string& warning : read.warnings) err << "escala-improve: " << warning << "\n";
        return read.tasks;
    } catch (const TaskFileError& e) {
        throw UnusableInput(e.what());
    }
}

v_crew usable_dump(const fs::path& file) {
    std::error_code error;
    if (fs::is_directory(file, error)) throw UnusableInput(file.string() + ": is a folder, not a roster dump");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw UnusableInput("cannot read dump \"" + file.string() + "\"");
    try {
        return tools::to_roster(tools::read_dump(in));
    } catch (const tools::DumpError& e) {
        throw UnusableInput(file.string() + ":" + std::to_string(e.line()) + ": " + e.what());
    } catch (const std::ios_base::failure&) {
        throw UnusableInput("cannot read dump \"" + file.string() + "\"");
    }
}

void usable_out_dir(const fs::path& dir) {
    const std::string problem = cli::output_folder_problem(dir);
    if (!problem.empty()) throw CannotWrite(problem);
}

std::string percent(double value) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << value << " %";
    return text.str();
}

// The schedules of a roster as positions in the task list; none when the
// roster holds a task the list lacks.
std::vector<columns::Day> days_of(const l_tarefas& tasks, const v_crew& roster) {
    std::vector<columns::Day> days;
    for (std::optional<columns::Day>& day : columns::days_of_roster(tasks, roster)) {
        if (!day) return {};
        days.push_back(std::move(*day));
    }
    return days;
}

double improvement(std::uint32_t start, std::uint32_t best) {
    return start == 0 ? 0 : (static_cast<double>(start) - static_cast<double>(best)) / static_cast<double>(start) * 100;
}

}  // namespace

std::string describe_result(const ImproveToolResult& r) {
    std::ostringstream line;
    line << "start " << r.start_objective << ", best " << r.best_objective << " ("
         << percent(improvement(r.start_objective, r.best_objective)) << " better), iterations " << r.iterations
         << ", " << std::fixed << std::setprecision(1) << r.seconds << " s, lower bound " << r.lower_bound
         << ", gap " << percent(columns::gap_percent(r.start_objective, r.lower_bound)) << " -> "
         << percent(columns::gap_percent(r.best_objective, r.lower_bound)) << ", "
         << overlaps_text(r.overlapping_pairs) << ", start from the " << r.start_source;
    if (!r.columns.empty()) line << "; " << r.columns;
    return line.str();
}

ImproveToolResult run_improve(const ImproveToolOptions& options, std::ostream& out, std::ostream& err,
                              const std::atomic<bool>* stop) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    const l_tarefas tasks = usable_tasks(options.task_file, err);
    std::optional<v_crew> dumped;
    if (options.dump_file) {
        dumped = usable_dump(*options.dump_file);
        if (options.crew && *options.crew != dumped->size())
            throw UnusableInput("--crew " + std::to_string(*options.crew) + " differs from the " +
                                std::to_string(dumped->size()) + " members of the dump");
        if (dumped->empty()) throw UnusableInput(options.dump_file->string() + ": a roster without members");
    }
    const std::size_t members = dumped ? dumped->size() : options.crew.value_or(default_crew);
    improve::RosterState start;
    if (dumped) {
        try {
            start = improve::RosterState(tasks, *dumped);
        } catch (const improve::RosterMismatch& e) {
            throw UnusableInput(options.dump_file->string() + ": " + e.what());
        }
    }
    usable_out_dir(options.out_dir);

    const columns::ObjectiveBound bound = columns::objective_lower_bound(tasks, members);
    std::optional<Clock::time_point> deadline;
    if (options.time_limit_seconds > 0)
        deadline = started + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options.time_limit_seconds));
    auto seconds_since_start = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
    auto stopped = [stop] { return stop != nullptr && stop->load(); };
    ImproveToolResult result;
    result.lower_bound = bound.value;
    result.start_source = dumped ? "dump" : "construction";

    // The column generation's days and bound; a roster from its days.
    const bool columns_start = options.columns_start.value_or(!dumped);
    std::optional<v_crew> from_columns;
    if (columns_start || options.tight_bound) {
        columns::GenerationOptions generation;
        generation.time_limit = options.time_limit_seconds > 0 ? options.time_limit_seconds / 3 : 600;
        generation.threads = options.threads;
        generation.stop = stopped;
        if (dumped) generation.initial_days = days_of(tasks, *dumped);
        if (!options.quiet)
            generation.progress = [&, reported = 0.0](const columns::GenerationProgress& p) mutable {
                if (p.seconds - reported < 2) return;
                reported = p.seconds;
                err << "escala-improve: " << std::fixed << std::setprecision(1) << seconds_since_start()
                    << " s, column generation round " << p.rounds << ", bound " << std::setprecision(0) << p.bound
                    << ", master " << p.lp_value << ", " << p.columns << " days\n"
                    << std::flush;
            };
        const columns::TightBound tight = columns::tight_lower_bound(tasks, members, generation);
        std::ostringstream text;
        if (!tight.obstacle.empty()) {
            text << "no column-generation bound (" << tight.obstacle << ")";
        } else {
            text << "column-generation bound " << (tight.found ? std::to_string(tight.value) : std::string("none"))
                 << (tight.converged ? " (converged" : " (not converged") << ", " << tight.rounds << " rounds, "
                 << std::fixed << std::setprecision(1) << tight.seconds << " s)";
            if (tight.found) result.lower_bound = std::max(result.lower_bound, tight.value);
        }
        std::vector<columns::Day> pool = tight.pool;
        std::vector<double> duals = tight.duals;
        const double second_time = std::max(0.0, generation.time_limit - tight.seconds);
        if (columns_start && !stopped() && tight.obstacle.empty() && second_time >= 1) {
            // A second generation whose master pays the crew costs: days that suit a roster.
            columns::GenerationOptions second = generation;
            second.true_costs = true;
            second.initial_days = tight.pool;
            const double left = deadline ? std::chrono::duration<double>(*deadline - Clock::now()).count() : 600;
            second.time_limit = std::min(left / 4, second_time);
            if (generation.progress)
                second.progress = [&, reported = 0.0](const columns::GenerationProgress& p) mutable {
                    if (p.seconds - reported < 2) return;
                    reported = p.seconds;
                    err << "escala-improve: " << std::fixed << std::setprecision(1) << seconds_since_start()
                        << " s, generation on crew costs round " << p.rounds << ", master " << std::setprecision(0)
                        << p.lp_value << ", " << p.columns << " days\n"
                        << std::flush;
                };
            const columns::TightBound more = columns::tight_lower_bound(tasks, members, second);
            pool.insert(pool.end(), more.pool.begin(), more.pool.end());
            if (more.duals.size() == tasks.size() + 1) duals = more.duals;
            text << "; a generation on crew costs, " << more.rounds << " rounds, " << std::fixed << std::setprecision(1)
                 << more.seconds << " s";
        }
        if (columns_start && !stopped()) {
            // The integer program, then again with the days recombined from its roster's, while that pays.
            const auto program_started = Clock::now();
            const double left = deadline ? std::chrono::duration<double>(*deadline - Clock::now()).count() : 120;
            const double budget = deadline ? std::min(0.8 * left, options.time_limit_seconds / 3) : 120;
            auto budget_left = [&] {
                return budget - std::chrono::duration<double>(Clock::now() - program_started).count();
            };
            columns::ProgramOptions program;
            program.time_limit = budget_left();
            program.stop = stopped;
            program.rosters.push_back(columns::first_fit_days(tasks, members));
            if (dumped) program.rosters.push_back(days_of(tasks, *dumped));
            columns::ProgramRoster chosen = columns::solve_roster_program(tasks, members, pool, program);
            int rounds = 1;
            std::size_t recombined = 0;
            while (chosen.found && duals.size() == tasks.size() + 1 && !stopped() && budget_left() > 1) {
                const std::vector<columns::Day> extra = columns::recombined_days(tasks, chosen.days, duals, stopped);
                if (extra.empty()) break;
                recombined += extra.size();
                pool.insert(pool.end(), extra.begin(), extra.end());
                program.rosters = {chosen.days};
                program.time_limit = budget_left();
                columns::ProgramRoster again = columns::solve_roster_program(tasks, members, pool, program);
                ++rounds;
                if (!again.found || again.cost >= chosen.cost) break;
                chosen = std::move(again);
            }
            const double seconds = std::chrono::duration<double>(Clock::now() - program_started).count();
            if (chosen.found) {
                from_columns = columns::roster_of(tasks, members, chosen.days);
                text << "; integer program over " << chosen.pool << " days (" << recombined << " recombined, "
                     << rounds << (rounds == 1 ? " solve): " : " solves): ") << global_objective(*from_columns)
                     << (chosen.optimal ? " (optimal, " : " (time limit, ") << std::fixed << std::setprecision(1)
                     << seconds << " s)";
            } else {
                text << "; integer program over " << chosen.pool << " days: no roster in " << std::fixed
                     << std::setprecision(1) << seconds << " s";
            }
        }
        result.columns = text.str();
        if (!options.quiet) err << "escala-improve: " << result.columns << "\n" << std::flush;
    }
    if (from_columns) {
        improve::RosterState state(tasks, *from_columns);
        if (!dumped || state.objective() < start.objective()) {
            // (without a dump, the construction below may still be cheaper)
            start = std::move(state);
            result.start_source = "integer program";
        }
    }
    if (!dumped) {
        // A construction of its own, or the cheaper of it and the integer program's roster.
        std::mt19937_64 random(options.seed);
        improve::RosterState built = improve::construct(tasks, members, random, deadline);
        if (!from_columns || built.objective() < start.objective()) {
            start = std::move(built);
            result.start_source = "construction";
        }
    }
    const std::uint32_t start_objective = start.objective();
    if (!options.quiet)
        err << "escala-improve: " << tasks.size() << " tasks, " << members << " crew members, start "
            << start_objective << " (" << result.start_source << "), lower bound " << result.lower_bound
            << " (gap " << percent(columns::gap_percent(start_objective, result.lower_bound)) << "), seed "
            << options.seed << ", " << options.threads << (options.threads == 1 ? " thread\n" : " threads\n")
            << std::flush;

    improve::ImproveOptions search;
    search.seed = options.seed;
    search.threads = options.threads;
    search.stop = stop;
    search.max_iterations = options.max_iterations;
    // The integer program's roster is close to the best the moves can reach: a cooler annealing.
    if (result.start_source == "integer program") search.start_temperature = 100;
    if (deadline) {
        const double left = std::chrono::duration<double>(*deadline - Clock::now()).count();
        search.time_limit_seconds = std::max(left, 1e-9);
    } else {
        search.time_limit_seconds = 0;
    }
    const double construction_seconds = std::chrono::duration<double>(Clock::now() - started).count();
    auto progress = [&](const improve::ProgressReport& p) {
        err << "escala-improve: " << std::fixed << std::setprecision(1) << construction_seconds + p.seconds
            << " s, iterations " << p.iterations << ", current " << p.current << ", best " << p.best << ", "
            << percent(improvement(start_objective, p.best)) << " better, gap "
            << percent(columns::gap_percent(p.best, result.lower_bound)) << "\n"
            << std::flush;
    };
    improve::ImproveResult improved =
        options.quiet ? improve::improve(start, search) : improve::improve(start, search, progress);

    const fs::path dir = options.out_dir;
    v_crew roster = improved.best.to_roster();
    std::optional<cli::AtomicFile> trace;
    try {
        trace.emplace(dir / "improve.csv");
        for (const improve::TraceEntry& e : improved.trace)
            trace->stream() << std::fixed << std::setprecision(3) << construction_seconds + e.seconds << ','
                            << e.iteration << ',' << e.objective << '\n';
    } catch (const cli::WriteError& e) {
        throw CannotWrite(e.what());
    }
    write_report(roster, (dir / "ArqSaida.txt").string());
    write_detailed_report(roster, (dir / "ArqSaida-zz.txt").string());
    write_dump(roster, (dir / "dumpfile.txt").string());
    try {
        trace->commit();
    } catch (const cli::WriteError& e) {
        throw CannotWrite(e.what());
    }

    result.start_objective = start_objective;
    result.best_objective = global_objective(roster);
    result.iterations = improved.iterations;
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    result.overlapping_pairs = overlapping_pairs(roster);
    out << describe_result(result) << "\n" << std::flush;
    if (result.overlapping_pairs > 0)
        err << "escala-improve: the best roster has " << overlaps_text(result.overlapping_pairs)
            << ": it is not drivable as it stands; escala-check --tasks " << options.task_file.string()
            << " --dump " << (dir / "dumpfile.txt").string() << " lists them\n";
    return result;
}

}  // namespace escala::improve_tool
