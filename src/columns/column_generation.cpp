// The master is solved by CLP's primal simplex, warm started as days are
// added. The pricing's duals are smoothed towards those of the best bound so
// far (Wentges), with the weight set from the subgradient at every round;
// when the smoothed duals find no day that prices out at the master's own
// duals, the weight steps down until it does or until the master's duals
// themselves find none: then the relaxation is solved.
//
// When the roster it starts from keeps every member busy and the first
// round's bound is not above zero, the crew row is tight and the master's
// duals jump between extremes, so that the bound would stay far below zero
// (billions below) for minutes. There a box around the
// duals of the best bound so far replaces the smoothing: two columns a task,
// covering it at its centre dual plus the width or leaving it over-covered
// for its centre dual less the width, keep the master's duals within the
// width of that centre. The first centre shares out each of the roster's
// days' costs over its tasks by their minutes; a better bound moves it, and
// a master whose duals price nothing out while the box holds them moves it
// to them and doubles the width. The generation ends once the box holds
// nothing: the master is then the plain one.
//
// For any duals pi (tasks) and mu (crew) and any roster X of N days,
// objective(X) = sum of crew costs >= sum of priced costs = sum over X of
// (priced - pi.day - mu) + sum pi + N mu >= N least + sum pi + N mu: the
// Lagrangian bound, valid whatever the duals, whether or not the master is
// solved. A variable lets the master hold more than N days at a high cost,
// so that the singleton days make it feasible; the cost is raised while it
// stays in the solution.
#include "columns/column_generation.hpp"

#include <ClpSimplex.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include "columns/exact_pricing.hpp"
#include "columns/linear_stop.hpp"
#include "columns/priced_cost.hpp"
#include "columns/roster_program.hpp"

namespace escala::columns {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t day_cost(const l_tarefas& tasks, const Day& day, const Rules& rules) {
    l_tarefas schedule;
    schedule.reserve(day.size());
    for (std::int32_t p : day) schedule.push_back(tasks[static_cast<std::size_t>(p)]);
    return priced_cost(schedule, rules);
}

// Schedule order: by start time, ties in the given order.
Day in_schedule_order(const l_tarefas& tasks, Day day) {
    std::stable_sort(day.begin(), day.end(), [&](std::int32_t a, std::int32_t b) {
        return tasks[static_cast<std::size_t>(a)].start_time < tasks[static_cast<std::size_t>(b)].start_time;
    });
    return day;
}

class Master {
public:
    Master(std::size_t tasks, std::size_t members, const std::function<bool()>& stop, bool box = false) : rows_(tasks + 1) {
        model_.setLogLevel(0);
        LinearStop handler(stop);
        model_.passInEventHandler(&handler);
        model_.resize(static_cast<int>(rows_), 0);
        for (std::size_t r = 0; r < tasks; ++r) model_.setRowBounds(static_cast<int>(r), 1.0, 1.0);
        const auto n = static_cast<double>(members);
        model_.setRowBounds(static_cast<int>(tasks), n, n);
        // The surplus variable: more days than members, at a high cost.
        const int row = static_cast<int>(tasks);
        const double minus_one = -1.0;
        const int start[2] = {0, 1};
        const double lower = 0.0, upper = COIN_DBL_MAX;
        model_.addColumns(1, &lower, &upper, &surplus_cost_, start, &row, &minus_one);
        if (box) {
            // Two columns a task bound its dual to a box around a centre; they start far off.
            std::vector<int> starts(2 * tasks + 1), rows(2 * tasks);
            std::vector<double> values(2 * tasks), costs(2 * tasks), lows(2 * tasks, 0.0), ups(2 * tasks, COIN_DBL_MAX);
            for (std::size_t r = 0; r < tasks; ++r) {
                rows[2 * r] = rows[2 * r + 1] = static_cast<int>(r);
                values[2 * r] = 1.0;
                values[2 * r + 1] = -1.0;
                costs[2 * r] = 1e9;
                costs[2 * r + 1] = 1e9;
            }
            for (std::size_t k = 0; k <= 2 * tasks; ++k) starts[k] = static_cast<int>(k);
            model_.addColumns(static_cast<int>(2 * tasks), lows.data(), ups.data(), costs.data(), starts.data(),
                              rows.data(), values.data());
            first_day_ = 1 + 2 * tasks;
        }
    }

    // Keeps every task's dual within `width` of `centre` (wider: the box).
    void centre_box(const std::vector<double>& centre, double width) {
        for (std::size_t r = 0; r + 1 < rows_; ++r) {
            model_.setObjectiveCoefficient(static_cast<int>(1 + 2 * r), centre[r] + width);
            model_.setObjectiveCoefficient(static_cast<int>(2 + 2 * r), -(centre[r] - width));
        }
    }
    // Whether the box holds some dual at its edge (a box column in the solution).
    bool box_binding() const {
        const double* x = model_.primalColumnSolution();
        for (std::size_t c = 1; c < first_day_; ++c)
            if (x[c] > 1e-9) return true;
        return false;
    }

    // Days wait until the next solve, to be added in one go.
    void add(const Day& day, double cost) {
        for (std::int32_t p : day) pending_rows_.push_back(p);
        pending_rows_.push_back(static_cast<int>(rows_ - 1));
        pending_starts_.push_back(static_cast<int>(pending_rows_.size()));
        pending_costs_.push_back(cost);
        days_.push_back(day);
        last_used_.push_back(0);
    }

    bool surplus_cost_at_limit() const { return surplus_cost_ >= 1e16; }

    bool solve() {
        if (!pending_costs_.empty()) {
            const std::vector<double> ones(pending_rows_.size(), 1.0), lower(pending_costs_.size(), 0.0),
                upper(pending_costs_.size(), COIN_DBL_MAX);
            model_.addColumns(static_cast<int>(pending_costs_.size()), lower.data(), upper.data(), pending_costs_.data(),
                              pending_starts_.data(), pending_rows_.data(), ones.data());
            pending_rows_.clear();
            pending_starts_.assign(1, 0);
            pending_costs_.clear();
        }
        model_.primal();
        return model_.status() == 0;
    }

    int status() const { return model_.status(); }
    double value() const { return model_.objectiveValue(); }
    const double* duals() const { return model_.dualRowSolution(); }
    double surplus() const { return model_.primalColumnSolution()[0]; }
    void raise_surplus_cost() {
        surplus_cost_ *= 10;
        model_.setObjectiveCoefficient(0, surplus_cost_);
    }

    // Marks the days in the solution; drops days unused for `idle` rounds
    // once there are more than `limit`, singletons kept.
    void tidy(int round, std::size_t limit, int idle) {
        const double* x = model_.primalColumnSolution();
        const auto in_model = static_cast<std::size_t>(model_.numberColumns()) - first_day_;  // the rest wait for the next solve
        for (std::size_t c = 0; c < in_model; ++c)
            if (x[c + first_day_] > 1e-9) last_used_[c] = round;
        if (days_.size() <= limit) return;
        std::vector<int> drop;
        std::vector<Day> days;
        std::vector<int> used;
        for (std::size_t c = 0; c < days_.size(); ++c) {
            if (c < in_model && days_[c].size() > 1 && round - last_used_[c] > idle) {
                drop.push_back(static_cast<int>(c + first_day_));
            } else {
                days.push_back(std::move(days_[c]));
                used.push_back(last_used_[c]);
            }
        }
        if (drop.empty()) return;
        model_.deleteColumns(static_cast<int>(drop.size()), drop.data());
        days_ = std::move(days);
        last_used_ = std::move(used);
    }

    std::size_t columns() const { return days_.size(); }

private:
    std::size_t rows_;
    std::size_t first_day_ = 1;
    double surplus_cost_ = 1e10;
    ClpSimplex model_;
    std::vector<Day> days_;
    std::vector<int> last_used_;
    std::vector<int> pending_rows_, pending_starts_{0};
    std::vector<double> pending_costs_;
};

}  // namespace

std::vector<Day> first_fit_days(const l_tarefas& tasks, std::size_t members) {
    std::vector<Day> days(std::min(members, tasks.size()));
    if (days.empty()) return days;
    std::vector<std::int32_t> free_from(days.size(), INT32_MIN);
    for (std::int32_t p : in_schedule_order(tasks, [&] {
             Day all(tasks.size());
             for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::int32_t>(i);
             return all;
         }())) {
        const Task& t = tasks[static_cast<std::size_t>(p)];
        // The day free the latest before the task starts, or else the one free the soonest.
        std::size_t chosen = 0;
        for (std::size_t k = 1; k < days.size(); ++k) {
            const bool fits = free_from[k] <= t.start_time, chosen_fits = free_from[chosen] <= t.start_time;
            if (fits != chosen_fits ? fits : (fits ? free_from[k] > free_from[chosen] : free_from[k] < free_from[chosen]))
                chosen = k;
        }
        days[chosen].push_back(p);
        free_from[chosen] = std::max(free_from[chosen], t.end_time);
    }
    return days;
}

std::vector<Day> vehicle_stretches(const l_tarefas& tasks, std::int32_t longest) {
    std::map<std::int32_t, Day> by_vehicle;
    for (std::size_t i = 0; i < tasks.size(); ++i) by_vehicle[tasks[i].vehicle].push_back(static_cast<std::int32_t>(i));
    std::vector<Day> stretches;
    for (auto& [vehicle, all] : by_vehicle) {
        const Day day = in_schedule_order(tasks, all);
        for (std::size_t i = 0; i < day.size(); ++i)
            for (std::size_t j = i + 1; j < day.size(); ++j) {
                if (tasks[static_cast<std::size_t>(day[j])].end_time - tasks[static_cast<std::size_t>(day[i])].start_time > longest)
                    break;
                stretches.emplace_back(day.begin() + static_cast<std::ptrdiff_t>(i), day.begin() + static_cast<std::ptrdiff_t>(j + 1));
            }
    }
    return stretches;
}

namespace {

std::size_t busy_days(const std::vector<Day>& days) {
    return static_cast<std::size_t>(std::count_if(days.begin(), days.end(), [](const Day& d) { return !d.empty(); }));
}

// What a generation's master pays and its pricing prices.
enum class Mode {
    priced,      // priced costs: a bound
    crew_days,   // crew costs, plain days at them by a heuristic: days for a roster, no bound
    exact,       // crew costs, priced at or below them: a bound
};

// The generation behind all three.
TightBound generate(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options, Mode mode) {
    const auto started = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
    const bool crew_costs = mode == Mode::crew_days;  // no bound
    TightBound result;
    result.obstacle = mode == Mode::exact ? exact_pricing_obstacle(tasks, options.rules) : priced_cost_obstacle(tasks, options.rules);
    if (result.obstacle.empty() && crew_costs && !(options.rules == default_rules()))
        result.obstacle = "the generation at crew costs prices escala's own rules only";
    if (!result.obstacle.empty()) return result;
    auto stop = [&] { return elapsed() > options.time_limit || (options.stop && options.stop()); };

    const std::size_t n = tasks.size();
    const auto N = static_cast<double>(members);
    auto cost_of = [&](const Day& day) {
        if (mode == Mode::priced) return static_cast<double>(day_cost(tasks, day, options.rules));
        return static_cast<double>(true_cost(tasks, day, options.rules));
    };
    // A roster that keeps every member busy marks a tight crew: there the
    // master's duals swing between extremes, and a box around the best duals
    // so far (first around the roster's costs) steadies them.
    const bool may_box = !crew_costs && busy_days(options.initial_days) >= members;
    bool box = false, box_centred = false;
    double width = 1000;
    Master master(n, members, stop, may_box);
    std::set<Day> known;
    auto offer = [&](const Day& day, double cost) {
        if (!known.insert(day).second) return false;
#ifndef NDEBUG
        // Every day's priced cost bounds its crew cost.
        if (mode == Mode::priced && cost > static_cast<double>(true_cost(tasks, day, options.rules)))
            throw std::logic_error("column generation: a day's priced cost exceeds its crew cost");
#endif
        master.add(day, cost);
        result.pool.push_back(day);
        return true;
    };
    offer({}, cost_of({}));
    for (std::size_t i = 0; i < n; ++i) offer({static_cast<std::int32_t>(i)}, cost_of({static_cast<std::int32_t>(i)}));
    for (const Day& day : vehicle_stretches(tasks, 800)) offer(day, cost_of(day));
    for (const Day& day : first_fit_days(tasks, members)) offer(day, cost_of(day));
    for (const Day& given : options.initial_days) {
        const Day day = in_schedule_order(tasks, given);
        offer(day, cost_of(day));
    }

    // The first box's centre: the given roster's costs, shared out by task minutes.
    std::vector<double> guess(n + 1, 0.0);
    if (may_box) {
        for (const Day& day : options.initial_days) {
            if (day.empty()) continue;
            double minutes = 0;
            for (std::int32_t p : day) minutes += std::max(1, tasks[static_cast<std::size_t>(p)].end_time - tasks[static_cast<std::size_t>(p)].start_time);
            const double cost = cost_of(in_schedule_order(tasks, day));
            for (std::int32_t p : day)
                guess[static_cast<std::size_t>(p)] = cost * std::max(1, tasks[static_cast<std::size_t>(p)].end_time - tasks[static_cast<std::size_t>(p)].start_time) / minutes;
        }
    }
    std::unique_ptr<Pricer> pricer;
    std::unique_ptr<ExactPricer> exact;
    if (mode == Mode::exact)
        exact = std::make_unique<ExactPricer>(tasks, options.threads, options.rules);
    else
        pricer = std::make_unique<Pricer>(tasks, options.threads, crew_costs ? PricerMode::crew_cost_plain : PricerMode::priced,
                                          options.rules);
    auto price = [&](std::span<const double> duals, double crew_dual, double floor = -INFINITY) {
        return exact ? exact->price(duals, crew_dual, stop, floor) : pricer->price(duals, crew_dual, stop);
    };
    auto lagrangian = [&](const std::vector<double>& duals, const PricingResult& priced) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += duals[i];
        return sum + N * (duals[n] + priced.least_reduced_cost);
    };
    std::vector<double> center(n + 1, 0.0), out(n + 1), separation(n + 1);
    bool have_center = false;
    double alpha = 0.5;
    double best = -INFINITY;
    if (options.initial_duals.size() == n + 1 && !stop()) {
        // Given duals (an earlier generation's) are the first centre and bound.
        const PricingResult priced = price({options.initial_duals.data(), n}, options.initial_duals[n]);
        if (priced.complete) {
            ++result.rounds;
            best = lagrangian(options.initial_duals, priced);
            center = options.initial_duals;
            have_center = true;
            for (const Day& day : priced.days) offer(day, cost_of(day));
        }
    }
    std::vector<double> values;  // the master's value after every solve
    for (;;) {
        if (stop()) break;
        if (!master.solve() && stop()) break;
        result.lp_value = master.value();
        std::copy(master.duals(), master.duals() + n + 1, out.begin());
        result.duals = out;
        bool priced_out = false;   // some day priced out at the master's duals and was added
        bool stopped = false;
        bool serious = false;
        bool full = false;  // price every day, though the bound could not rise
        for (int k = 1;; ++k) {
            const double a = have_center && !box ? std::max(0.0, 1.0 - k * (1.0 - alpha)) : 0.0;
            for (std::size_t i = 0; i <= n; ++i) separation[i] = a * center[i] + (1 - a) * out[i];
            // The least reduced cost below which this round's bound cannot beat the best.
            double floor = -INFINITY;
            if (!full && best > -INFINITY) {
                double sum = 0;
                for (std::size_t i = 0; i < n; ++i) sum += separation[i];
                floor = (best - sum) / N - separation[n];
            }
            const PricingResult priced = price({separation.data(), n}, separation[n], floor);
            if (!priced.complete) {
                stopped = true;
                break;
            }
            ++result.rounds;
            const double bound = priced.bound ? lagrangian(separation, priced) : -INFINITY;
            if (bound > best) {
                serious = true;
                best = bound;
                center = separation;
                have_center = true;
            }
            // Smoothing weight from the subgradient at the separation duals.
            if (a > 0 && priced.bound) {
                double slope = 0;
                std::vector<int> in_best(n, 0);
                for (std::int32_t p : priced.best) in_best[static_cast<std::size_t>(p)] = 1;
                for (std::size_t i = 0; i < n; ++i) slope += (1.0 - N * in_best[i]) * (out[i] - center[i]);
                alpha = slope > 0 ? std::max(0.0, alpha - 0.1) : std::min(0.95, alpha + 0.1 * (1 - alpha));
            }
            // The days that price out at the master's duals, the most negative first, a bounded number.
            std::vector<Day> days = priced.days;
            if (!priced.best.empty()) days.push_back(priced.best);
            std::vector<std::pair<double, std::size_t>> negative;
            std::vector<double> costs(days.size());
            for (std::size_t k = 0; k < days.size(); ++k) {
                costs[k] = cost_of(days[k]);
                double reduced = costs[k] - out[n];
                for (std::int32_t p : days[k]) reduced -= out[static_cast<std::size_t>(p)];
                if (reduced < -1e-6 * std::max(1.0, std::abs(costs[k]))) negative.emplace_back(reduced, k);
                else if (crew_costs && reduced < 3000 && known.insert(days[k]).second) result.pool.push_back(days[k]);
            }
            std::sort(negative.begin(), negative.end());
            std::size_t added = 0;
            for (const auto& [reduced, k] : negative) {
                if (added >= std::max<std::size_t>(200, n / 2)) break;
                if (offer(days[k], costs[k])) ++added;
            }
            // Without a day to add at the master's duals the generation is done,
            // even when a run through a start minute prices lower than any
            // day it stands for.
            priced_out = added > 0;
            if (!priced_out && !priced.bound) {  // again, with every day
                full = true;
                --k;
                continue;
            }
            full = false;
            if (options.progress)
                options.progress({result.rounds, elapsed(), best, result.lp_value, master.columns()});
            if (priced_out || a == 0.0) break;
        }
        if (stopped) break;
        if (may_box && !box && best <= 0) {
            // Not above zero after the first round: the crew row is tight.
            box = box_centred = result.boxed = true;
            master.centre_box(guess, width);
            continue;
        }
        if (box) {
            const bool binding = master.box_binding();
            if (!priced_out && (binding || !box_centred)) {
                if (box_centred) width *= 2;
                master.centre_box(out, width);
                box_centred = true;
                continue;
            }
            if (serious || !box_centred) {
                master.centre_box(center, width);
                box_centred = true;
            }
        }
        const double tolerance = 1e-7 * std::max(1.0, std::abs(result.lp_value));
        // A master whose box holds a dual at its edge is not the relaxation: its value says nothing of the bound.
        const bool relaxation = !box || !master.box_binding();
        if (!priced_out || (relaxation && result.lp_value - best <= tolerance)) {
            if (master.surplus() > 1e-9 && !master.surplus_cost_at_limit()) {
                master.raise_surplus_cost();
                continue;
            }
            result.converged = master.surplus() <= 1e-9;
            // At the crew cost, days that price out but cannot be traced are
            // never added: the generation is done, but converged only where
            // its bound meets its master.
            if (mode == Mode::exact && result.lp_value - best > 1e-6 * std::max(1.0, std::abs(result.lp_value)))
                result.converged = false;
            break;
        }
        if (crew_costs) {
            // Its pricing is no bound: it ends when the master stops falling.
            values.push_back(result.lp_value);
            if (values.size() > 4 && values[values.size() - 5] - result.lp_value <= 1e-6 * std::abs(result.lp_value)) {
                result.converged = true;
                break;
            }
        }
        master.tidy(result.rounds, 20 * n + 20000, 20);
    }
    if (crew_costs) {
        // Its own pricing is no bound, but the pricing at the crew cost at its last duals is.
        best = -INFINITY;
        if (result.duals.size() == n + 1 && !stop()) {
            ExactPricer at_crew_cost(tasks, options.threads, options.rules);
            const PricingResult priced = at_crew_cost.price({result.duals.data(), n}, result.duals[n], stop);
            if (priced.complete) best = lagrangian(result.duals, priced);
        }
    }
    result.found = best > -INFINITY;
    if (exact) result.pool.clear();  // an earlier generation's pool and more: not kept
    if (result.found) {
        // The roster objective adds p_duplas for every split day beyond 20, and so
        // takes up to 20 of them off below 20 split days: the bound allows for it.
        best -= 20.0 * options.rules.weights.p_duplas;
        result.exact = best;
        // Rounded up, as objectives are whole, less a margin for the floating-point sums; never below 0.
        // (the bounds at crew costs, meant to prove a roster optimal, take a finer margin: their sums
        // are of a few hundred doubles of integer costs, far above 1e-9 of their size in precision).
        const double margin = (mode == Mode::priced ? 1e-6 : 1e-9) * std::max(1.0, std::abs(best));
        result.value = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(best - margin)));
    }
    result.seconds = elapsed();
    return result;
}

}  // namespace

TightBound tight_lower_bound(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options) {
    return generate(tasks, members, options, Mode::priced);
}

TightBound exact_lower_bound(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options) {
    return generate(tasks, members, options, Mode::exact);
}

CrewCostDays crew_cost_days(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options) {
    TightBound run = generate(tasks, members, options, Mode::crew_days);
    CrewCostDays days;
    days.obstacle = std::move(run.obstacle);
    days.settled = run.converged;
    days.lp_value = run.lp_value;
    days.rounds = run.rounds;
    days.seconds = run.seconds;
    days.pool = std::move(run.pool);
    days.duals = std::move(run.duals);
    days.bound_found = run.found;
    days.bound = run.value;
    return days;
}

}  // namespace escala::columns
