#include "columns/roster_program.hpp"

#include "columns/linear_stop.hpp"

#include <CbcEventHandler.hpp>
#include <ClpSimplex.hpp>
#include <CbcModel.hpp>
#include <CbcSolver.hpp>
#include <CoinPackedMatrix.hpp>
#include <OsiClpSolverInterface.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <string>

namespace escala::columns {

namespace {

// Ends the branch and bound when asked to stop (the time is up, or Ctrl-C).
class StopHandler : public CbcEventHandler {
public:
    explicit StopHandler(std::function<bool()> stop) : stop_(std::move(stop)) {}
    CbcAction event(CbcEvent) override { return stop_ && stop_() ? stop : noAction; }
    CbcEventHandler* clone() const override { return new StopHandler(*this); }

private:
    std::function<bool()> stop_;
};

Day as_set(Day day) {
    std::sort(day.begin(), day.end());
    return day;
}

// The linear relaxation of the program over a growing pool: its duals price
// the recombined days. Solved afresh by the dual simplex each time (from
// the last basis its degenerate duals hardly move, and the same days come
// back).
class PoolRelaxation {
public:
    PoolRelaxation(const l_tarefas& tasks, std::size_t members, const std::function<bool()>& stop,
                   const Rules& rules)
        : tasks_(tasks), members_(members), stop_(stop), rules_(rules) {
        add(Day{}, static_cast<double>(members));
    }

    void add(const Day& day, double most = 1.0) {
        rows_.insert(rows_.end(), day.begin(), day.end());
        rows_.push_back(static_cast<int>(tasks_.size()));
        starts_.push_back(static_cast<int>(rows_.size()));
        costs_.push_back(static_cast<double>(true_cost(tasks_, day, rules_)));
        upper_.push_back(most);
    }

    // The duals (every task's, then the crew row's); none when infeasible or stopped.
    std::vector<double> duals() const {
        const std::size_t n = tasks_.size();
        ClpSimplex model;
        model.setLogLevel(0);
        LinearStop handler(stop_);
        model.passInEventHandler(&handler);
        model.resize(static_cast<int>(n + 1), 0);
        for (std::size_t r = 0; r < n; ++r) model.setRowBounds(static_cast<int>(r), 1.0, 1.0);
        model.setRowBounds(static_cast<int>(n), static_cast<double>(members_), static_cast<double>(members_));
        const std::vector<double> ones(rows_.size(), 1.0), lower(costs_.size(), 0.0);
        model.addColumns(static_cast<int>(costs_.size()), lower.data(), upper_.data(), costs_.data(), starts_.data(),
                         rows_.data(), ones.data());
        model.dual();
        if (model.status() != 0) return {};
        return {model.dualRowSolution(), model.dualRowSolution() + n + 1};
    }

private:
    const l_tarefas& tasks_;
    std::size_t members_;
    std::function<bool()> stop_;
    const Rules& rules_;
    std::vector<int> rows_, starts_{0};
    std::vector<double> costs_, upper_;
};

}  // namespace

std::uint32_t true_cost(const l_tarefas& tasks, const Day& day, const Rules& rules) {
    // Assigned one by one, the schedule is the stable sort by start of the
    // tasks in their given order: all but the last go in as they are, and
    // the last one's assignment sorts them once and closes the day.
    Crew crew;
    if (day.empty()) return crew.cost(rules);
    crew.tasks.reserve(day.size() + 1);
    for (std::size_t k = 0; k + 1 < day.size(); ++k) crew.tasks.push_back(tasks[static_cast<std::size_t>(day[k])]);
    crew.assign_task(tasks[static_cast<std::size_t>(day.back())], rules);
    return crew.cost(rules);
}

std::vector<Day> recombined_days(const l_tarefas& tasks, const std::vector<Day>& roster,
                                 const std::vector<double>& duals, const Rules& rules,
                                 const std::function<bool()>& stop, double margin,
                                 std::size_t limit) {
    const std::size_t n = tasks.size();
    const double crew_dual = duals.at(n);
    auto start_of = [&](std::int32_t p) { return tasks[static_cast<std::size_t>(p)].start_time; };
    std::vector<Day> days;
    for (Day day : roster) {
        std::stable_sort(day.begin(), day.end(), [&](std::int32_t a, std::int32_t b) { return start_of(a) < start_of(b); });
        days.push_back(std::move(day));
    }
    std::set<Day> found;
    std::vector<std::pair<double, Day>> ranked;
    auto consider = [&](const Day& head_from, const Day& tail_from, std::int32_t time) {
        Day day;
        double dual_sum = crew_dual;
        for (std::int32_t p : head_from)
            if (start_of(p) < time) day.push_back(p);
        for (std::int32_t p : tail_from)
            if (start_of(p) >= time) day.push_back(p);
        if (day.empty()) return;
        for (std::int32_t p : day) dual_sum += duals[static_cast<std::size_t>(p)];
        const double reduced = static_cast<double>(true_cost(tasks, day, rules)) - dual_sum;
        if (reduced >= margin) return;
        Day set = as_set(day);
        if (found.insert(set).second) ranked.emplace_back(reduced, std::move(set));
    };
    for (std::size_t i = 0; i < days.size(); ++i) {
        if (stop && stop()) break;
        for (std::size_t j = 0; j < days.size(); ++j) {
            if (i == j) continue;
            std::set<std::int32_t> times;
            for (std::int32_t p : days[i]) times.insert(start_of(p));
            for (std::int32_t p : days[j]) times.insert(start_of(p));
            for (std::int32_t time : times) consider(days[i], days[j], time);
        }
    }
    std::sort(ranked.begin(), ranked.end());
    if (ranked.size() > limit) ranked.resize(limit);
    std::vector<Day> result;
    for (auto& [reduced, day] : ranked) result.push_back(std::move(day));
    return result;
}

std::vector<std::optional<Day>> days_of_roster(const l_tarefas& tasks, const v_crew& roster) {
    auto key = [](const Task& t) {
        return std::array<std::int32_t, 8>{t.vehicle, t.start_time, t.end_time, t.start_point,
                                           t.end_point, t.slack, t.start_line, t.end_line};
    };
    std::multimap<std::array<std::int32_t, 8>, std::int32_t> positions;
    for (std::size_t i = 0; i < tasks.size(); ++i) positions.emplace(key(tasks[i]), static_cast<std::int32_t>(i));
    std::vector<std::optional<Day>> days;
    for (const Crew& member : roster) {
        Day day;
        bool whole = true;
        for (const Task& t : member.tasks) {
            if (t.is_virtual != 0) continue;
            const auto found = positions.find(key(t));
            if (found == positions.end()) {
                whole = false;
                break;
            }
            day.push_back(found->second);
            positions.erase(found);
        }
        days.push_back(whole ? std::optional<Day>(std::move(day)) : std::nullopt);
    }
    return days;
}

v_crew roster_of(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& days, const Rules& rules) {
    v_crew roster(members);
    std::size_t m = 0;
    for (const Day& day : days) {
        if (day.empty()) continue;
        for (std::int32_t p : day) roster[m].assign_task(tasks[static_cast<std::size_t>(p)], rules);
        ++m;
    }
    return roster;
}

ProgramRoster solve_roster_program(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& pool,
                                   const ProgramOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    ProgramRoster result;
    const std::size_t n = tasks.size();

    // The days, each once whatever its order, costed with the crew cost; the empty day is column 0.
    std::map<Day, int> column_of;
    std::vector<Day> days{Day{}};
    column_of.emplace(Day{}, 0);
    auto add = [&](const Day& day) {
        const Day set = as_set(day);
        const auto [at, added] = column_of.emplace(set, static_cast<int>(days.size()));
        if (added) days.push_back(set);
        return at->second;
    };
    for (const Day& day : pool) add(day);
    std::vector<double> start;  // the cheapest given roster, as column values
    double start_cost = INFINITY;
    std::vector<std::vector<int>> given;
    for (const std::vector<Day>& roster : options.rosters) {
        std::vector<int> columns;
        for (const Day& day : roster)
            if (!day.empty()) columns.push_back(add(day));
        given.push_back(std::move(columns));
    }
    const std::size_t count = days.size();
    result.pool = count;
    std::vector<double> cost(count);
    for (std::size_t c = 0; c < count; ++c) cost[c] = static_cast<double>(true_cost(tasks, days[c], options.rules));
    for (const std::vector<int>& columns : given) {
        if (columns.size() > members) continue;
        std::vector<double> x(count, 0.0);
        double total = static_cast<double>(true_cost(tasks, Day{}, options.rules)) * static_cast<double>(members - columns.size());
        x[0] = static_cast<double>(members - columns.size());
        for (int c : columns) {
            x[static_cast<std::size_t>(c)] += 1.0;
            total += cost[static_cast<std::size_t>(c)];
        }
        if (total < start_cost) {
            start_cost = total;
            start = std::move(x);
        }
    }

    // The matrix in one go (column by column it is copied at every column).
    std::vector<int> rows, starts{0}, lengths;
    for (std::size_t c = 0; c < count; ++c) {
        rows.insert(rows.end(), days[c].begin(), days[c].end());
        rows.push_back(static_cast<int>(n));
        lengths.push_back(static_cast<int>(days[c].size() + 1));
        starts.push_back(static_cast<int>(rows.size()));
    }
    const std::vector<double> ones(rows.size(), 1.0);
    const CoinPackedMatrix matrix(true, static_cast<int>(n + 1), static_cast<int>(count),
                                  static_cast<CoinBigIndex>(rows.size()), ones.data(), rows.data(), starts.data(),
                                  lengths.data());
    std::vector<double> column_lower(count, 0.0), column_upper(count, 1.0), row_bound(n + 1, 1.0);
    column_upper[0] = static_cast<double>(members);
    row_bound[n] = static_cast<double>(members);
    OsiClpSolverInterface solver;
    solver.messageHandler()->setLogLevel(0);
    solver.loadProblem(matrix, column_lower.data(), column_upper.data(), cost.data(), row_bound.data(), row_bound.data());
    std::vector<int> all(count);
    std::iota(all.begin(), all.end(), 0);
    solver.setInteger(all.data(), static_cast<int>(count));
    for (std::size_t c = 0; c < count; ++c) solver.setColName(static_cast<int>(c), "d" + std::to_string(c));

    // The time limit and the stop hold inside the linear programs as well.
    const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(std::max(0.1, options.time_limit)));
    const std::function<bool()> over = [&options, deadline] {
        return std::chrono::steady_clock::now() > deadline || (options.stop && options.stop());
    };
    LinearStop linear_stop(over);
    solver.getModelPtr()->passInEventHandler(&linear_stop);
    solver.getModelPtr()->setMaximumWallSeconds(std::max(0.1, options.time_limit));
    CbcModel model(solver);
    model.setLogLevel(0);
    model.messageHandler()->setLogLevel(0);
    StopHandler handler(over);
    model.passInEventHandler(&handler);
    if (!start.empty()) {
        std::vector<std::pair<std::string, double>> mip_start;
        for (std::size_t c = 0; c < count; ++c)
            if (start[c] > 0) mip_start.emplace_back("d" + std::to_string(c), start[c]);
        model.setMIPStart(mip_start);
    }
    CbcSolverUsefulData data;
    data.noPrinting_ = true;
    CbcMain0(model, data);
    // CBC's own limits, beside the handlers: the seconds left and a node count.
    const std::string seconds = std::to_string(std::max(0.1, options.time_limit - std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()));
    const std::string nodes = std::to_string(std::max(1, options.max_nodes));
    const char* argv[] = {"escala", "-log", "0", "-timeMode", "elapsed", "-sec", seconds.c_str(), "-maxNodes", nodes.c_str(), "-preprocess", "off",
                          "-solve", "-quit"};
    CbcMain1(static_cast<int>(std::size(argv)), argv, model, [](CbcModel*, int) { return 0; }, data);

    const double* x = model.bestSolution();
    if (x != nullptr) {  // checked below: whole days, every task once, N days
        std::uint64_t total = 0;
        std::vector<int> covered(n, 0);
        std::size_t used = 0;
        bool whole = true;
        for (std::size_t c = 0; c < count; ++c) {
            const auto times = static_cast<std::uint64_t>(std::max(0LL, std::llround(x[c])));
            whole = whole && std::abs(x[c] - static_cast<double>(times)) < 1e-6;
            if (times == 0) continue;
            used += times;
            total += times * static_cast<std::uint64_t>(cost[c]);
            if (c == 0) continue;
            result.days.push_back(days[c]);
            for (std::int32_t p : days[c]) ++covered[static_cast<std::size_t>(p)];
        }
        result.found = whole && used == members && std::all_of(covered.begin(), covered.end(), [](int k) { return k == 1; });
        result.cost = total;
        result.optimal = result.found && model.isProvenOptimal();
        result.lower = model.getBestPossibleObjValue();
    }
    if (!result.found && !start.empty()) {  // the solver stopped before it took the given roster in
        result.days.clear();
        for (std::size_t c = 1; c < count; ++c)
            if (start[c] > 0) result.days.push_back(days[c]);
        result.found = true;
        result.cost = static_cast<std::uint64_t>(start_cost);
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

ProgramRoster recombine_roster(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& roster,
                               const ProgramOptions& options, const std::vector<Day>& others) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto left = [&] { return options.time_limit - std::chrono::duration<double>(Clock::now() - started).count(); };
    auto over = [&] { return left() <= 0 || (options.stop && options.stop()); };
    ProgramRoster best;
    best.found = true;
    for (const Day& day : roster)
        if (!day.empty()) {
            best.days.push_back(day);
            best.cost += true_cost(tasks, day, options.rules);
        }
    best.cost += std::uint64_t{true_cost(tasks, {}, options.rules)} * (members - std::min(members, best.days.size()));
    // The pool: every day once, the roster's and the others' first.
    std::vector<Day> pool;
    std::set<Day> known;
    PoolRelaxation relaxation(tasks, members, over, options.rules);
    int failures = 0;
    auto take = [&](const Day& day) {
        if (!day.empty() && known.insert(as_set(day)).second) {
            relaxation.add(day);
            pool.push_back(day);
        }
    };
    for (const Day& day : best.days) take(day);
    for (const Day& day : others) take(day);
    while (!over()) {
        // Recombinations priced at the duals of the pool's linear program, a few times over.
        for (int round = 0; round < 3 && !over(); ++round) {
            const std::vector<double> duals = relaxation.duals();
            if (duals.size() != tasks.size() + 1) break;
            std::size_t added = 0;
            // Ten thousand a round: on the two-depot day the larger pools pay (five thousand
            // gave 12,730,600 in 120 s, ten thousand 12,721,680, two and a half 12,751,340).
            for (Day& day : recombined_days(tasks, best.days, duals, options.rules, over, 3000, 10000))
                if (known.insert(day).second) {
                    relaxation.add(day);
                    pool.push_back(std::move(day));
                    ++added;
                }
            if (added == 0) break;
        }
        if (over()) break;
        ProgramOptions program = options;
        program.time_limit = left();
        program.rosters = {best.days};
        ProgramRoster chosen = solve_roster_program(tasks, members, pool, program);
        best.pool = chosen.pool;
        if (!chosen.found || chosen.cost >= best.cost) {
            // The next relaxation holds more days and prices others: one more try.
            if (++failures == 2) break;
            continue;
        }
        failures = 0;
        best.days = std::move(chosen.days);
        best.cost = chosen.cost;
        best.optimal = chosen.optimal;
    }
    best.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return best;
}

}  // namespace escala::columns
