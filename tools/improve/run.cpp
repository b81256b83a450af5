#include "run.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iomanip>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "cli/atomic_file.hpp"
#include "cli/progress.hpp"
#include "columns/column_generation.hpp"
#include "columns/lower_bound.hpp"
#include "columns/roster_program.hpp"
#include "crew/crew_util.hpp"
#include "crew/dump.hpp"
#include "crew/overlaps.hpp"
#include "improve/search.hpp"
#include "io/strict_tasks.hpp"
#include "rules/rules_file.hpp"
#include "plan.hpp"

namespace escala::tools::improver {

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

void usable_out_dir(const fs::path& dir) {
    const std::string problem = cli::output_folder_problem(dir);
    if (!problem.empty()) throw CannotWrite(problem);
}

// The members' schedules as crew days (their task ids are positions in the
// task list), members without tasks left out.
std::vector<columns::Day> days_of(const improve::RosterState& roster) {
    std::vector<columns::Day> days;
    for (std::size_t m = 0; m < roster.size(); ++m)
        if (!roster.ids(m).empty()) days.emplace_back(roster.ids(m).begin(), roster.ids(m).end());
    return days;
}

double improvement(std::uint32_t start, std::uint32_t best) {
    return start == 0 ? 0 : (static_cast<double>(start) - static_cast<double>(best)) / static_cast<double>(start) * 100;
}

}  // namespace

std::string describe_result(const ImproveToolResult& r) {
    std::ostringstream line;
    line << "start " << r.start_objective << ", best " << r.best_objective << " ("
         << cli::percent(improvement(r.start_objective, r.best_objective)) << " better), iterations " << r.iterations
         << ", " << std::fixed << std::setprecision(1) << r.seconds << " s, lower bound " << r.lower_bound
         << ", gap " << cli::percent(columns::gap_percent(r.start_objective, r.lower_bound)) << " -> "
         << cli::percent(columns::gap_percent(r.best_objective, r.lower_bound)) << ", "
         << overlaps_text(r.overlapping_pairs) << ", best roster from the " << r.best_source;
    if (!r.columns.empty()) line << "; " << r.columns;
    return line.str();
}

ImproveToolResult run_improve(const ImproveToolOptions& options, std::ostream& out, std::ostream& err,
                              const std::atomic<bool>* stop) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    const l_tarefas tasks = usable_tasks(options.task_file, err);
    const RulesFile rules_file = options.rules_file.empty() ? RulesFile{} : read_rules_file(options.rules_file);
    const Rules& rules = rules_file.rules;  // outlives every roster state of the run
    std::optional<v_crew> dumped;
    if (options.dump_file) {
        dumped = load_dump(*options.dump_file, rules);
        if (options.crew && *options.crew != dumped->size())
            throw UnusableInput("--crew " + std::to_string(*options.crew) + " differs from the " +
                                std::to_string(dumped->size()) + " members of the dump");
        if (dumped->empty()) throw UnusableInput(options.dump_file->string() + ": a roster without members");
    }
    const std::size_t members = dumped ? dumped->size() : options.crew.value_or(default_crew);
    if (!options.rules_file.empty()) check_rules_fit(rules_file, members, tasks.size());
    improve::RosterState start;
    if (dumped) {
        try {
            start = improve::RosterState(tasks, *dumped, rules);
        } catch (const improve::RosterMismatch& e) {
            throw UnusableInput(options.dump_file->string() + ": " + e.what());
        }
    }
    usable_out_dir(options.out_dir);

    const bool columns_start = options.columns_start.value_or(!dumped);
    const Plan plan = plan_run(options.time_limit_seconds, columns_start, options.tight_bound, tasks.size(), options.threads);
    const bool timed = options.time_limit_seconds > 0;
    auto at = [&](double seconds) {
        return started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    auto seconds_since_start = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
    // Seconds left until `end` (seconds from the start); without a time limit, `end` itself: a budget from now.
    auto left_until = [&](double end) { return timed ? end - seconds_since_start() : end; };
    auto stopped = [stop] { return stop != nullptr && stop->load(); };

    const columns::ObjectiveBound bound = columns::objective_lower_bound(tasks, members, rules);
    ImproveToolResult result;
    result.lower_bound = bound.value;
    std::ostringstream text;  // what the phases did, for the summary
    auto say = [&](const std::string& line) {
        if (!options.quiet) err << "escala-improve: " << line << "\n" << std::flush;
    };
    if (const std::string used = rules_summary(rules_file); !used.empty()) out << used << "\n" << std::flush;
    auto seconds_text = [](double s) {
        std::ostringstream t;
        t << std::fixed << std::setprecision(1) << s << " s";
        return t.str();
    };

    // The best roster of every source.
    std::string best_source = dumped ? "dump" : "construction";
    if (!dumped) {
        std::mt19937_64 random(options.seed);
        const std::optional<Clock::time_point> deadline =
            timed ? std::optional<Clock::time_point>(at(plan.construction_end)) : std::nullopt;
        start = improve::construct(tasks, members, rules, random, deadline);
    }
    improve::RosterState best = start;
    const std::uint32_t start_objective = start.objective();
    say(std::to_string(tasks.size()) + " tasks, " + std::to_string(members) + " crew members, start " +
        std::to_string(start_objective) + " (" + best_source + "), lower bound " + std::to_string(result.lower_bound) + " (gap " +
        cli::percent(columns::gap_percent(start_objective, result.lower_bound)) + "), seed " +
        std::to_string(options.seed) + ", " + std::to_string(options.threads) +
        (options.threads == 1 ? " thread" : " threads"));

    std::vector<improve::TraceEntry> trace;
    std::uint64_t iterations = 0;
    std::vector<columns::Day> other_days;  // the days of every search's own best roster
    // The options of a local search from now until `end`.
    auto search_options = [&](double end, double temperature) {
        improve::ImproveOptions search;
        search.seed = options.seed;
        search.threads = options.threads;
        search.stop = stop;
        search.max_iterations = options.max_iterations;
        search.start_temperature = temperature;
        search.time_limit_seconds = timed ? std::max(end - seconds_since_start(), 1e-9) : 0;
        return search;
    };
    // Every search's own best rosters: their days join the programs' pools.
    auto keep_days = [&](const improve::ImproveResult& improved) {
        for (const auto& roster : improved.search_best)
            for (const std::vector<improve::TaskId>& ids : roster)
                if (!ids.empty()) other_days.emplace_back(ids.begin(), ids.end());
    };
    // A local search from the best roster so far until `end`; its new bests join the trace.
    auto search_from_best = [&](double end, double temperature) {
        const improve::ImproveOptions search = search_options(end, temperature);
        const double offset = seconds_since_start();
        const std::uint32_t from = best.objective();
        auto progress = [&](const improve::ProgressReport& p) {
            err << "escala-improve: " << std::fixed << std::setprecision(1) << offset + p.seconds << " s, iterations "
                << iterations + p.iterations << ", current " << p.current << ", best " << p.best << ", "
                << cli::percent(improvement(start_objective, p.best)) << " better, gap "
                << cli::percent(columns::gap_percent(p.best, result.lower_bound)) << "\n"
                << std::flush;
        };
        improve::ImproveResult improved =
            options.quiet ? improve::improve(best, search) : improve::improve(best, search, progress);
        for (improve::TraceEntry e : improved.trace) {
            e.seconds += offset;
            e.iteration += iterations;
            trace.push_back(e);
        }
        iterations += improved.iterations;
        keep_days(improved);
        if (improved.best_objective < from) best = std::move(improved.best);
        return improved.best_objective < from;
    };

    // The roster of an integer program's days: it becomes the best when cheaper. Its objective.
    auto adopt = [&](const std::vector<columns::Day>& days) {
        improve::RosterState state(tasks, columns::roster_of(tasks, members, days, rules), rules);
        const std::uint32_t value = state.objective();
        if (value < best.objective()) {
            best = std::move(state);
            best_source = "integer program";
        }
        return value;
    };

    // A search improved on the best roster: say whose roster it improved.
    auto credit_search = [&] {
        if (best_source == "integer program")
            best_source = "integer program and local search";
        else if (best_source == "construction" || best_source == "dump")
            best_source = "local search";
    };

    if (plan.two_searches && !stopped()) {
        if (search_from_best(plan.first_search_end, 3000)) credit_search();
        text << "first local search " << best.objective() << " (" << seconds_text(seconds_since_start()) << ")";
    }

    if (plan.columns && !stopped()) {
        // The bound's column generation, from the best roster's days.
        const auto phase_started = Clock::now();
        auto phase_seconds = [&] { return std::chrono::duration<double>(Clock::now() - phase_started).count(); };
        bool given_up = false;
        columns::GenerationOptions generation;
        generation.time_limit = std::max(0.0, left_until(plan.generation_end));
        generation.threads = options.threads;
        const double give_up_after = std::max(0.0, left_until(plan.generation_give_up));
        bool any_round = false;
        generation.stop = [&] {
            // Not one round by the give-up time: a round takes too long here to converge.
            if (!any_round && phase_seconds() > give_up_after) given_up = true;
            return stopped() || given_up;
        };
        generation.initial_days = days_of(best);
        generation.rules = rules;
        cli::ProgressPrinter bound_progress(err, "escala-improve");
        generation.progress = [&](const columns::GenerationProgress& p) {
            any_round = true;
            // A bound still not above zero after five rounds would not converge in its share
            // (a converging one is positive within a few, a tight crew's too); one still not
            // above the quick bound at the give-up time would not pay for its time.
            // Nor one still below 80 % of its master after a third of its time
            // (the two-depot day: 1.1 million against 7.6 after 4 s of 12).
            if ((p.bound <= 0 && p.rounds >= 5) ||
                (p.bound <= static_cast<double>(result.lower_bound) && phase_seconds() > give_up_after) ||
                (timed && p.bound < 0.8 * p.lp_value && phase_seconds() > generation.time_limit / 3))
                given_up = true;
            if (options.quiet) return;
            bound_progress.print(p.seconds, [&](std::ostream& line) {
                line << std::fixed << std::setprecision(1) << seconds_since_start() << " s, column generation round "
                     << p.rounds << ", bound " << std::setprecision(0) << p.bound << ", master " << p.lp_value << ", "
                     << p.columns << " days";
            });
        };
        const columns::TightBound tight = columns::tight_lower_bound(tasks, members, generation);
        if (!text.str().empty()) text << "; ";
        if (!tight.obstacle.empty()) {
            text << "no column-generation bound (" << tight.obstacle << ")";
        } else {
            text << "column-generation bound " << (tight.found ? std::to_string(tight.value) : std::string("none"))
                 << (tight.converged ? " (converged" : given_up ? " (given up" : " (not converged") << ", "
                 << tight.rounds << " rounds, " << seconds_text(tight.seconds) << ")";
            if (tight.found) result.lower_bound = std::max(result.lower_bound, tight.value);
        }
        // A generation within half a percent of its master has the good days too.
        const bool pool_good = tight.obstacle.empty() &&
                               (tight.converged || (tight.found && tight.lp_value - tight.exact <= 0.005 * tight.lp_value));
        if (plan.crew_generation && !pool_good) {
            // The generation's pool is no good: rounds of an integer program over
            // the days recombined from the best roster's own (and the other
            // searches' rosters' days), each followed by a short local search.
            text << "; the generation's days left out ("
                 << (tight.obstacle.empty() ? std::string("not converged") : tight.obstacle)
                 << "); integer programs over days recombined from the best roster's:";
            int round = 0, side_rounds = 0;
            while (!stopped() && left_until(plan.recombination_end) >= 1) {
                columns::ProgramOptions program;
                program.time_limit = std::min(left_until(plan.recombination_end), plan.recombination_round);
                program.stop = stopped;
                program.rules = rules;
                // The program has one core; a local search from the same roster has the
                // others meanwhile, and the next program's pool holds its days.
                std::optional<improve::ImproveResult> side;
                columns::ProgramRoster chosen;
                {
                    std::atomic<bool> side_stop{false};
                    const improve::RosterState side_start = best;
                    std::jthread helper;
                    if (timed && options.threads > 1) {
                        improve::ImproveOptions search = search_options(seconds_since_start() + program.time_limit, 1000);
                        search.seed = options.seed + 1000 * static_cast<std::uint64_t>(++side_rounds);
                        search.threads = options.threads - 1;
                        search.stop = &side_stop;
                        helper = std::jthread([&, search] { side = improve::improve(side_start, search); });
                    }
                    chosen = columns::recombine_roster(tasks, members, days_of(best), program, other_days);
                    side_stop = true;
                }
                const std::uint32_t before = best.objective(), value = adopt(chosen.days);
                if (chosen.pool > 0)  // else no program was solved in the time left
                    text << (round++ == 0 ? " " : ", ") << value << " (" << chosen.pool << " days, "
                         << seconds_text(chosen.seconds) << ")";
                bool gained = value < before;
                if (side) {
                    iterations += side->iterations;
                    keep_days(*side);
                    if (side->best_objective < best.objective()) {
                        best = std::move(side->best);
                        credit_search();
                        trace.push_back({seconds_since_start(), iterations, best.objective()});
                        gained = true;
                    }
                }
                if (!timed || stopped() || left_until(plan.recombination_end) < 1) break;  // untimed: one round
                const double until = std::min(plan.recombination_end, seconds_since_start() + plan.recombination_search);
                if (search_from_best(until, 1000)) {
                    credit_search();
                    gained = true;
                }
                if (!gained) break;  // neither found anything: the last search has the rest
            }
            if (round == 0) text << " none solved in the time left";
        }

        std::vector<columns::Day> pool = tight.pool;
        std::vector<double> duals = tight.duals;
        if (plan.crew_generation && pool_good && !stopped() && left_until(plan.crew_generation_end) >= 1) {
            // A second generation whose master pays the crew costs: days that suit a roster.
            columns::GenerationOptions second = generation;
            second.initial_days = tight.pool;
            second.time_limit = left_until(plan.crew_generation_end);
            second.stop = stopped;
            cli::ProgressPrinter crew_progress(err, "escala-improve");
            second.progress = [&](const columns::GenerationProgress& p) {
                if (options.quiet) return;
                crew_progress.print(p.seconds, [&](std::ostream& line) {
                    line << std::fixed << std::setprecision(1) << seconds_since_start()
                         << " s, generation on crew costs round " << p.rounds << ", master " << std::setprecision(0)
                         << p.lp_value << ", " << p.columns << " days";
                });
            };
            const columns::CrewCostDays more = columns::crew_cost_days(tasks, members, second);
            pool.insert(pool.end(), more.pool.begin(), more.pool.end());
            if (more.duals.size() == tasks.size() + 1) duals = more.duals;
            // Its bound is named only where it betters the others (at its last duals it is often far below).
            const bool better_bound = more.bound_found && more.bound > result.lower_bound;
            if (better_bound) result.lower_bound = more.bound;
            if (more.obstacle.empty())
                text << "; a generation on crew costs, " << more.rounds << " rounds, " << seconds_text(more.seconds)
                     << (better_bound ? ", bound at the crew cost " + std::to_string(more.bound) : std::string());
            else
                text << "; no generation on crew costs (" << more.obstacle << ")";
        }
        if (plan.crew_generation && pool_good && !stopped() && left_until(plan.program_end) >= 1) {
            // The integer program, started from the best roster, then again with
            // the days recombined from its roster's while that pays.
            const auto program_started = Clock::now();
            const double budget = left_until(plan.program_end);
            auto budget_left = [&] {
                return budget - std::chrono::duration<double>(Clock::now() - program_started).count();
            };
            auto program_over = [&] { return stopped() || budget_left() <= 0; };
            columns::ProgramOptions program;
            program.time_limit = budget_left();
            program.stop = stopped;
            program.rules = rules;
            program.rosters.push_back(days_of(best));
            columns::ProgramRoster chosen = columns::solve_roster_program(tasks, members, pool, program);
            int rounds = 1;
            std::size_t recombined = 0;
            while (chosen.found && duals.size() == tasks.size() + 1 && !program_over() && budget_left() > 1) {
                const std::vector<columns::Day> extra = columns::recombined_days(tasks, chosen.days, duals, rules, program_over);
                if (extra.empty() || program_over()) break;
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
            text << "; integer program over " << chosen.pool << " days (" << recombined << " recombined, " << rounds
                 << (rounds == 1 ? " solve): " : " solves): ");
            if (chosen.found) {
                // The program's optimum is the cheapest roster of its pool, not an optimal roster.
                text << adopt(chosen.days) << (chosen.optimal ? " (the cheapest of its pool, " : " (time limit, ")
                     << seconds_text(seconds) << ")";
            } else {
                text << "no roster in " << seconds_text(seconds);
            }
        }
        result.columns = text.str();
        say(result.columns);
    }

    // The last search: on from the first, or the only one.
    if (!stopped()) {
        // The integer program's roster is close to the best the moves can reach: a cooler annealing.
        const double temperature = best_source == "integer program" ? 100 : 3000;
        if (search_from_best(plan.end, temperature)) credit_search();
    }
    result.best_source = best_source;

    const fs::path dir = options.out_dir;
    v_crew roster = best.to_roster();
    std::optional<cli::AtomicFile> trace_file;
    try {
        trace_file.emplace(dir / "improve.csv");
        for (const improve::TraceEntry& e : trace)
            trace_file->stream() << std::fixed << std::setprecision(3) << e.seconds << ',' << e.iteration << ','
                                 << e.objective << '\n';
    } catch (const cli::WriteError& e) {
        throw CannotWrite(e.what());
    }
    write_report(roster, (dir / "ArqSaida.txt").string(), rules);
    write_detailed_report(roster, (dir / "ArqSaida-zz.txt").string(), rules);
    write_dump(roster, (dir / "dumpfile.txt").string());
    try {
        trace_file->commit();
    } catch (const cli::WriteError& e) {
        throw CannotWrite(e.what());
    }

    result.start_objective = start_objective;
    result.best_objective = global_objective(roster, rules);
    result.iterations = iterations;
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    result.overlapping_pairs = overlapping_pairs(roster);
    out << describe_result(result) << "\n" << std::flush;
    if (result.overlapping_pairs > 0)
        err << "escala-improve: "
            << overlaps_warning("best", result.overlapping_pairs, options.task_file.string(),
                                (dir / "dumpfile.txt").string())
            << "\n";
    return result;
}

}  // namespace escala::tools::improver
