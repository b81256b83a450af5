// The pricing at the crew cost. Write W for the workday, L for the split gap,
// B for the break gap, I for virtual_idle and Q for virtual_short, f for
// plain_work_term (idle below W, overtime beyond it, excess beyond
// excess_after, rest shortfall beyond 1440 - min_rest).
//
// Plain days (no gap over L) are priced by a labelling from every task as the
// first of the day. With A the day's gaps and slack at t_ocioso, overlaps at
// t_sobreposicao, vehicle and point changes (every pair whose start point
// differs from the end point before it) at their weights, the crew cost of a
// plain day is A + f(span + v) + tp_permitida x its permitted point changes,
// span = end of the task that starts last - start of the first and v the
// closing virtual task's length: with a break (a gap of B or more, or B <= 0)
// I - t or none once t >= I, without one Q once t >= Q and I - t below, t the
// gaps and slack. A label holds A less the duals, in integers and duals
// apart, at a task and a state: t capped at max(I, Q) and the break flag, all
// the virtual task hangs on; labels of one task and state keep the cheapest,
// which is exact. What a plain day is priced below its crew cost:
// - its permitted point changes, priced at 0: by tp_permitida for each point
//   change at the longest gap, at most (each pays tp_proibida as well);
// - tasks of one start minute: the day's schedule order among them is the
//   order they were given in, any order, so a run through them is priced as
//   any walk of at most (their count - 1) steps among them, which may take a
//   task twice: below by nothing on days whose tasks start at distinct minutes;
// - days with a task starting more than X minutes after the first are not
//   labelled but bounded together: with rho the largest dual less slack cost
//   per task minute (0 <= rho <= t_sobreposicao, no task of no minutes with a
//   positive one), the task minutes of a day are span - gaps + overlaps, so
//   its reduced cost is at least f(span) - rho span - crew_dual; X is the
//   first span from W on where that is at least 0 and no longer falls (it is
//   convex), and its value there stands for them all.
// Split days (a gap over L) are priced at their priced cost, by the first
// generation's pricing (see priced_cost.cpp): below their crew cost by
// h_extra x the split day's overtime (work less the break less the split
// workday), tp_permitida x the permitted point changes, and, on a day with
// two gaps or more over L, by what taking the cheapest of them as the break
// instead of the longest saves; exactly at it otherwise (ties as that pricing
// takes them, never above).
#include "columns/exact_pricing.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>
#include <thread>
#include <vector>

#include "columns/priced_cost.hpp"

namespace escala::columns {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr std::int32_t longest_state_minutes = 250;

struct InLink {
    std::int32_t from;  // sorted position
    std::int32_t gap;   // start minus the previous end: negative for an overlap
    std::int64_t cost;  // link_cost
};

}  // namespace

struct ExactPricer::Data {
    std::size_t n = 0;
    unsigned threads = 1;
    Rules rules;
    std::vector<std::int32_t> original;  // sorted position -> task list position
    std::vector<Task> tasks;             // in start order
    std::vector<std::int32_t> group_begin, group_end;  // the start minute's positions
    std::vector<std::size_t> link_begin;  // CSR: links into each position from earlier start minutes
    std::vector<InLink> links;
    std::int32_t cap = 0;     // t is kept up to this
    std::size_t states = 0;   // 2 (cap + 1): state = break x (cap + 1) + t
    std::vector<std::int32_t> virtual_minutes;  // by state
    Pricer splits;            // the split days, at their priced cost

    Data(const l_tarefas& all, unsigned thread_count, const Rules& r) : rules(r), splits(all, thread_count, false, r) {}

    std::size_t next_state(std::size_t state, std::int32_t added, bool makes_break) const {
        const auto width = static_cast<std::size_t>(cap + 1);
        const bool has_break = state >= width || makes_break;
        const std::int32_t t = std::min(cap, static_cast<std::int32_t>(state % width) + added);
        return (has_break ? width : 0) + static_cast<std::size_t>(t);
    }
};

namespace {

using Data = ExactPricer::Data;

struct Label {
    std::int64_t cost;  // A so far
    double duals;       // the duals of its tasks
    std::int32_t from;  // predecessor: position x states + state, -1 for the first task
};

struct End {
    double value = infinity;  // reduced cost before the crew dual
    std::int32_t at = -1;     // position x states + state
};

struct Workspace {
    std::vector<Label> label;
    std::vector<std::uint32_t> stamp;
    std::vector<std::vector<std::uint16_t>> reached;
    std::uint32_t now = 0;
    double least = infinity;
    std::vector<Day> days;
    Day best;

    explicit Workspace(const Data& d) : label(d.n * d.states), stamp(d.n * d.states, 0), reached(d.n) {}

    bool relax(std::size_t at, std::size_t state, std::int64_t cost, double duals, std::int32_t from, std::size_t states) {
        const std::size_t k = at * states + state;
        if (stamp[k] != now) {
            stamp[k] = now;
            label[k] = {cost, duals, from};
            reached[at].push_back(static_cast<std::uint16_t>(state));
            return true;
        }
        if (static_cast<double>(cost) - duals < static_cast<double>(label[k].cost) - label[k].duals - 1e-9) {
            label[k] = {cost, duals, from};
            return true;
        }
        return false;
    }
};

bool elementary(Day day) {
    std::sort(day.begin(), day.end());
    return std::adjacent_find(day.begin(), day.end()) == day.end();
}

// The walk back from a label, in schedule order, as task list positions; empty
// when it takes a task twice.
Day trace(const Data& d, const Workspace& w, std::int32_t at) {
    Day reversed;
    for (std::size_t steps = 0; at >= 0 && steps <= d.n; ++steps) {
        reversed.push_back(d.original[static_cast<std::size_t>(at) / d.states]);
        at = w.label[static_cast<std::size_t>(at)].from;
    }
    if (at >= 0) return {};
    Day day(reversed.rbegin(), reversed.rend());
    return elementary(day) ? day : Day{};
}

void label_from(const Data& d, std::span<const double> duals, double crew_dual, std::int64_t reach, std::size_t f,
                Workspace& w) {
    const std::size_t S = d.states;
    const Limits& l = d.rules.limits;
    const std::int64_t idle = d.rules.weights.t_ocioso;
    ++w.now;
    const std::int32_t first_start = d.tasks[f].start_time;
    const auto first_group = static_cast<std::size_t>(d.group_begin[f]);
    End ends[2];  // the two cheapest ends at distinct last tasks
    auto dual_of = [&](std::size_t p) { return duals[static_cast<std::size_t>(d.original[p])]; };
    for (std::size_t g = first_group; g < d.n && d.tasks[g].start_time - first_start <= reach;
         g = static_cast<std::size_t>(d.group_end[g])) {
        const auto group_end = static_cast<std::size_t>(d.group_end[g]);
        for (std::size_t b = g; b < group_end; ++b) w.reached[b].clear();
        if (g == first_group) {
            const std::int32_t slack = d.tasks[f].slack;
            const std::size_t state = d.next_state(0, slack, l.break_gap <= 0);
            w.relax(f, state, idle * slack, dual_of(f), -1, S);
        } else {
            for (std::size_t b = g; b < group_end; ++b) {
                const std::int32_t slack = d.tasks[b].slack;
                const double dual = dual_of(b);
                for (std::size_t k = d.link_begin[b]; k < d.link_begin[b + 1]; ++k) {
                    const InLink& link = d.links[k];
                    const auto a = static_cast<std::size_t>(link.from);
                    if (a < first_group) continue;
                    const std::int32_t added = std::max(0, link.gap) + slack;
                    const bool makes_break = link.gap >= l.break_gap;
                    const std::int64_t step = link.cost + idle * slack;
                    for (std::uint16_t s : w.reached[a]) {
                        const Label& from = w.label[a * S + s];
                        w.relax(b, d.next_state(s, added, makes_break), from.cost + step, from.duals + dual,
                                static_cast<std::int32_t>(a * S + s), S);
                    }
                }
            }
        }
        // Walks among the tasks of this start minute.
        for (std::size_t round = 1; round < group_end - g; ++round) {
            bool changed = false;
            for (std::size_t x = g; x < group_end; ++x) {
                const std::int32_t gap = -d.tasks[x].duration();
                for (std::size_t y = g; y < group_end; ++y) {
                    if (y == x) continue;
                    const std::int32_t slack = d.tasks[y].slack;
                    const std::int64_t step = link_cost(d.tasks[x], d.tasks[y], d.rules) + idle * slack;
                    const double dual = dual_of(y);
                    for (std::size_t i = 0; i < w.reached[x].size(); ++i) {
                        const std::uint16_t s = w.reached[x][i];
                        const Label from = w.label[x * S + s];
                        changed |= w.relax(y, d.next_state(s, slack, gap >= l.break_gap), from.cost + step,
                                           from.duals + dual, static_cast<std::int32_t>(x * S + s), S);
                    }
                }
            }
            if (!changed) break;
        }
        for (std::size_t b = g; b < group_end; ++b) {
            const std::int64_t span = std::int64_t{d.tasks[b].end_time} - first_start;
            End end;
            for (std::uint16_t s : w.reached[b]) {
                const Label& label = w.label[b * S + s];
                const double value = static_cast<double>(label.cost + plain_work_term(span + d.virtual_minutes[s], d.rules)) -
                                     label.duals;
                if (value < end.value) end = {value, static_cast<std::int32_t>(b * S + s)};
            }
            if (end.value < ends[0].value) {
                ends[1] = ends[0];
                ends[0] = end;
            } else if (end.value < ends[1].value) {
                ends[1] = end;
            }
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (ends[k].at < 0) continue;
        const bool least = ends[k].value < w.least;
        if (!least && ends[k].value - crew_dual >= -1e-6) continue;
        Day day = trace(d, w, ends[k].at);
        if (least) {
            w.least = ends[k].value;
            w.best = day;
        }
        if (!day.empty() && ends[k].value - crew_dual < -1e-6) w.days.push_back(std::move(day));
    }
}

// The span beyond which plain days are bounded as a whole, and that bound
// (before the crew dual); no span when there is none.
std::pair<std::int64_t, double> reach_of(const Data& d, std::span<const double> duals, double crew_dual) {
    const Pesos& p = d.rules.weights;
    double rho = 0;
    for (std::size_t i = 0; i < d.n; ++i) {
        const Task& t = d.tasks[i];
        const double gain = duals[static_cast<std::size_t>(d.original[i])] - static_cast<double>(p.t_ocioso) * t.slack;
        if (gain <= 0) continue;
        if (t.duration() <= 0) return {std::numeric_limits<std::int64_t>::max(), infinity};
        rho = std::max(rho, gain / t.duration());
    }
    if (rho > p.t_sobreposicao) return {std::numeric_limits<std::int64_t>::max(), infinity};
    auto g = [&](std::int64_t s) { return static_cast<double>(plain_work_term(s, d.rules)) - rho * static_cast<double>(s); };
    for (std::int64_t s = std::max<std::int64_t>(0, d.rules.limits.workday); s <= latest_minute; ++s)
        if (g(s) >= crew_dual && g(s + 1) >= g(s)) return {s, g(s)};
    return {std::numeric_limits<std::int64_t>::max(), infinity};
}

}  // namespace

std::string exact_pricing_obstacle(const l_tarefas& tasks, const Rules& rules) {
    if (std::string obstacle = priced_cost_obstacle(tasks, rules); !obstacle.empty()) return obstacle;
    if (std::max(rules.limits.virtual_idle, rules.limits.virtual_short) > longest_state_minutes)
        return "the virtual task may be longer than 250 minutes";
    return {};
}

ExactPricer::ExactPricer(const l_tarefas& tasks, unsigned threads, const Rules& rules)
    : data_(std::make_unique<Data>(tasks, threads, rules)) {
    Data& d = *data_;
    const Limits& l = rules.limits;
    d.n = tasks.size();
    d.threads = std::max(1u, threads);
    d.original.resize(d.n);
    std::iota(d.original.begin(), d.original.end(), 0);
    std::stable_sort(d.original.begin(), d.original.end(), [&](std::int32_t a, std::int32_t b) {
        return tasks[static_cast<std::size_t>(a)].start_time < tasks[static_cast<std::size_t>(b)].start_time;
    });
    for (std::int32_t p : d.original) d.tasks.push_back(tasks[static_cast<std::size_t>(p)]);
    d.cap = std::max({0, l.virtual_idle, l.virtual_short});
    const auto width = static_cast<std::size_t>(d.cap + 1);
    d.states = 2 * width;
    for (std::size_t s = 0; s < d.states; ++s) {
        const auto t = static_cast<std::int32_t>(s % width);
        d.virtual_minutes.push_back(s >= width ? (t >= l.virtual_idle ? 0 : l.virtual_idle - t)
                                               : (t >= l.virtual_short ? l.virtual_short : l.virtual_idle - t));
    }
    d.group_begin.resize(d.n);
    d.group_end.resize(d.n);
    for (std::size_t i = 0; i < d.n;) {
        std::size_t j = i;
        while (j < d.n && d.tasks[j].start_time == d.tasks[i].start_time) ++j;
        for (std::size_t k = i; k < j; ++k) {
            d.group_begin[k] = static_cast<std::int32_t>(i);
            d.group_end[k] = static_cast<std::int32_t>(j);
        }
        i = j;
    }
    d.link_begin.assign(1, 0);
    for (std::size_t b = 0; b < d.n; ++b) {
        for (std::size_t a = 0; a < static_cast<std::size_t>(d.group_begin[b]); ++a) {
            const std::int32_t gap = d.tasks[b].start_time - d.tasks[a].end_time;
            if (gap <= l.split_gap) d.links.push_back({static_cast<std::int32_t>(a), gap, link_cost(d.tasks[a], d.tasks[b], rules)});
        }
        d.link_begin.push_back(d.links.size());
    }
}

ExactPricer::~ExactPricer() = default;

PricingResult ExactPricer::price(std::span<const double> task_duals, double crew_dual, const std::function<bool()>& stop) {
    const Data& d = *data_;
    PricingResult result = data_->splits.price(task_duals, crew_dual, stop);
    if (!result.complete) return result;
    result.complete = false;
    const double empty = static_cast<double>(priced_cost({}, d.rules)) - crew_dual;
    double least = empty;
    Day best;
    if (result.least_split_reduced_cost < least) {
        least = result.least_split_reduced_cost;
        best = result.best_split;
    }
    const auto [reach, beyond] = reach_of(d, task_duals, crew_dual);
    least = std::min(least, beyond - crew_dual);

    const unsigned threads = std::min<unsigned>(d.threads, static_cast<unsigned>(std::max<std::size_t>(1, d.n)));
    std::vector<Workspace> spaces;
    for (unsigned t = 0; t < threads; ++t) spaces.emplace_back(d);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopped{false};
    auto work = [&](Workspace& w) {
        for (;;) {
            const std::size_t f = next.fetch_add(1);
            if (f >= d.n) return;
            if (stop && stop()) {
                stopped = true;
                return;
            }
            label_from(d, task_duals, crew_dual, reach, f, w);
        }
    };
    {
        std::vector<std::jthread> pool;
        for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, std::ref(spaces[t]));
        work(spaces[0]);
    }
    if (stopped) return result;
    for (Workspace& w : spaces) {
        if (w.least - crew_dual < least) {
            least = w.least - crew_dual;
            best = w.best;
        }
        for (Day& day : w.days) result.days.push_back(std::move(day));
    }
    result.least_reduced_cost = least;
    result.best = least == empty ? Day{} : best;
    result.complete = true;
    return result;
}

}  // namespace escala::columns
