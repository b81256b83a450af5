#include "columns/roster_program.hpp"

#include "columns/linear_stop.hpp"

#include <CbcEventHandler.hpp>
#include <CbcModel.hpp>
#include <CbcSolver.hpp>
#include <CoinPackedMatrix.hpp>
#include <OsiClpSolverInterface.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <map>
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

}  // namespace

std::uint32_t true_cost(const l_tarefas& tasks, const Day& day) {
    Crew crew;
    for (std::int32_t p : day) crew.assign_task(tasks[static_cast<std::size_t>(p)]);
    return crew.cost();
}

std::vector<Day> recombined_days(const l_tarefas& tasks, const std::vector<Day>& roster,
                                 const std::vector<double>& duals, const std::function<bool()>& stop, double margin,
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
        const double reduced = static_cast<double>(true_cost(tasks, day)) - dual_sum;
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

v_crew roster_of(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& days) {
    v_crew roster(members);
    std::size_t m = 0;
    for (const Day& day : days) {
        if (day.empty()) continue;
        for (std::int32_t p : day) roster[m].assign_task(tasks[static_cast<std::size_t>(p)]);
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
    for (std::size_t c = 0; c < count; ++c) cost[c] = static_cast<double>(true_cost(tasks, days[c]));
    for (const std::vector<int>& columns : given) {
        if (columns.size() > members) continue;
        std::vector<double> x(count, 0.0);
        double total = 17200.0 * static_cast<double>(members - columns.size());
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

    CoinPackedMatrix matrix(true, 0, 0);
    matrix.setDimensions(static_cast<int>(n + 1), 0);
    for (std::size_t c = 0; c < count; ++c) {
        std::vector<int> rows(days[c].begin(), days[c].end());
        rows.push_back(static_cast<int>(n));
        const std::vector<double> ones(rows.size(), 1.0);
        matrix.appendCol(static_cast<int>(rows.size()), rows.data(), ones.data());
    }
    std::vector<double> column_lower(count, 0.0), column_upper(count, 1.0), row_bound(n + 1, 1.0);
    column_upper[0] = static_cast<double>(members);
    row_bound[n] = static_cast<double>(members);
    OsiClpSolverInterface solver;
    solver.messageHandler()->setLogLevel(0);
    solver.loadProblem(matrix, column_lower.data(), column_upper.data(), cost.data(), row_bound.data(), row_bound.data());
    for (std::size_t c = 0; c < count; ++c) {
        solver.setInteger(static_cast<int>(c));
        solver.setColName(static_cast<int>(c), "d" + std::to_string(c));
    }

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
    const std::string seconds = std::to_string(std::max(0.1, options.time_limit - std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()));
    const char* argv[] = {"escala", "-log", "0", "-timeMode", "elapsed", "-sec", seconds.c_str(), "-solve", "-quit"};
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

}  // namespace escala::columns
