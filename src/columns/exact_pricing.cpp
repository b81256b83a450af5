// The pricing at the crew cost. Write W for the workday, L for the split gap,
// B for the break gap, I for virtual_idle and Q for virtual_short, f for
// plain_work_term (idle below W, overtime beyond it, excess beyond
// excess_after, rest shortfall beyond 1440 - min_rest).
//
// Plain days (no gap over L) are priced by a labelling from every task as the
// first of the day. With A the day's gaps and slack at t_ocioso, overlaps at
// t_sobreposicao, vehicle and point changes (every pair whose start point
// differs from the end point before it) at their weights, the crew cost of a
// plain day is A + f(span + v) + tp_permitida x its permitted point changes
// (the point changes at gaps equal to its longest gap, max(0, the gaps)),
// span = end of the task that starts last - start of the first and v the
// closing virtual task's length: with a break (a longest gap of B or more)
// I - t or none once t >= I, without one Q once t >= Q and I - t below, t the
// gaps and slack. A label's state is the longest gap so far, exactly (0 to L),
// and t capped at max(I, Q): all that the virtual task and the permitted
// changes hang on. It holds two values, in integers with the duals apart:
// the least A less the duals, and the least of the same plus the permitted
// changes at the longest gap so far; a longer gap later takes the first plus
// its own change, an equal one the second plus its change, a shorter one the
// second. Keeping the least of each at every task and state is exact. What a
// plain day is priced below its crew cost:
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
    std::size_t states = 0;   // (split_gap + 1) (cap + 1): state = longest gap x (cap + 1) + t
    std::size_t largest_group = 1;  // tasks of one start minute at most
    Pricer splits;            // the split days, at their priced cost

    Data(const l_tarefas& all, unsigned thread_count, const Rules& r) : rules(r), splits(all, thread_count, false, r) {}
};

namespace {

using Data = ExactPricer::Data;

// A label's two values, each the least over the walks that reach its task
// and state: A less the duals, and the same with the permitted point changes
// at the longest gap so far (what a longer gap later resets to its own).
struct Value {
    std::int64_t cost = 0;  // in integers
    double duals = 0;       // the duals of its tasks
    std::int32_t task = -1, entry = -1;  // predecessor (-1: the first task)
    bool from_plain = false;             // the predecessor's first value (a longer gap reset the changes)
    double reduced() const { return static_cast<double>(cost) - duals; }
};

struct Entry {
    std::uint32_t state;  // longest gap x (cap + 1) + t
    Value plain;          // without the permitted point changes
    Value paid;           // with them
};

struct End {
    double value = infinity;  // reduced cost before the crew dual
    std::int32_t task = -1, entry = -1;
};

struct Workspace {
    std::vector<std::vector<Entry>> entries;      // by sorted position
    std::vector<std::vector<std::int32_t>> where;  // by slot in the start minute and state: entry or -1
    double least = infinity;
    std::vector<Day> days;
    Day best;

    explicit Workspace(const Data& d)
        : entries(d.n), where(d.largest_group, std::vector<std::int32_t>(d.states, -1)) {}

    static void improve(Value& v, const Value& offer) {
        if (offer.reduced() < v.reduced() - 1e-9) v = offer;
    }
    // Offers both values of a label at (position b, slot, state).
    bool relax(std::size_t b, std::size_t slot, std::uint32_t state, const Value& plain, const Value& paid) {
        std::int32_t& at = where[slot][state];
        std::vector<Entry>& list = entries[b];
        if (at < 0) {
            at = static_cast<std::int32_t>(list.size());
            list.push_back({state, plain, paid});
            return true;
        }
        Entry& e = list[static_cast<std::size_t>(at)];
        const double before = e.plain.reduced() + e.paid.reduced();
        improve(e.plain, plain);
        improve(e.paid, paid);
        return e.plain.reduced() + e.paid.reduced() < before;
    }
};

bool elementary(Day day) {
    std::sort(day.begin(), day.end());
    return std::adjacent_find(day.begin(), day.end()) == day.end();
}

// The walk back from a label's paid value, in schedule order, as task list
// positions; empty when it takes a task twice.
Day trace(const Data& d, const Workspace& w, std::int32_t task, std::int32_t entry) {
    Day reversed;
    bool plain = false;
    for (std::size_t steps = 0; task >= 0 && steps <= d.n; ++steps) {
        reversed.push_back(d.original[static_cast<std::size_t>(task)]);
        const Entry& e = w.entries[static_cast<std::size_t>(task)][static_cast<std::size_t>(entry)];
        const Value& v = plain ? e.plain : e.paid;
        task = v.task;
        entry = v.entry;
        plain = plain || v.from_plain;
    }
    if (task >= 0) return {};
    Day day(reversed.rbegin(), reversed.rend());
    return elementary(day) ? day : Day{};
}

// Labels the plain days from the first task f; returns their least value
// (before the crew dual). `coarse` keeps of the longest gap only whether it
// makes a break and prices the permitted point changes at 0: a value never
// above the exact one, in far fewer states, and no days.
double label_from(const Data& d, std::span<const double> duals, double crew_dual, std::int64_t reach, std::size_t f,
                  Workspace& w, bool coarse) {
    const Limits& l = d.rules.limits;
    const std::int64_t idle = d.rules.weights.t_ocioso, permitted = d.rules.weights.tp_permitida;
    const auto width = static_cast<std::uint32_t>(d.cap + 1);
    const std::int32_t first_start = d.tasks[f].start_time;
    const auto first_group = static_cast<std::size_t>(d.group_begin[f]);
    End ends[2];  // the two cheapest ends at distinct last tasks
    auto dual_of = [&](std::size_t p) { return duals[static_cast<std::size_t>(d.original[p])]; };
    // One step from a label at (a, e) to b across a gap: both values.
    auto step = [&](std::size_t a, std::size_t e, std::size_t b, std::size_t slot, std::int32_t gap, std::int64_t link,
                    bool point_change) {
        const Entry& from = w.entries[a][e];
        const std::int32_t longest = static_cast<std::int32_t>(from.state / width);
        const std::int32_t t = static_cast<std::int32_t>(from.state % width);
        const std::int32_t slack = d.tasks[b].slack;
        std::int32_t next_longest = std::max(longest, gap);
        if (coarse) next_longest = next_longest >= l.break_gap ? std::max(0, l.break_gap) : 0;
        const std::int32_t next_t = std::min(d.cap, t + std::max(0, gap) + slack);
        const auto state = static_cast<std::uint32_t>(next_longest) * width + static_cast<std::uint32_t>(next_t);
        const std::int64_t add = link + idle * slack;
        const double dual = dual_of(b);
        const auto ta = static_cast<std::int32_t>(a), ea = static_cast<std::int32_t>(e);
        const Value plain{from.plain.cost + add, from.plain.duals + dual, ta, ea, false};
        const std::int64_t change = point_change && !coarse ? permitted : 0;
        Value paid;
        if (gap > longest)
            paid = {from.plain.cost + add + change, from.plain.duals + dual, ta, ea, true};
        else
            paid = {from.paid.cost + add + (gap == longest ? change : 0), from.paid.duals + dual, ta, ea, false};
        return w.relax(b, slot, state, plain, paid);
    };
    for (std::size_t g = first_group; g < d.n && d.tasks[g].start_time - first_start <= reach;
         g = static_cast<std::size_t>(d.group_end[g])) {
        const auto group_end = static_cast<std::size_t>(d.group_end[g]);
        for (std::size_t b = g; b < group_end; ++b) w.entries[b].clear();
        if (g == first_group) {
            const std::int32_t slack = d.tasks[f].slack;
            const auto state = static_cast<std::uint32_t>(std::min(d.cap, slack));
            const Value first{idle * slack, dual_of(f), -1, -1, false};
            w.relax(f, f - g, state, first, first);
        } else {
            for (std::size_t b = g; b < group_end; ++b) {
                for (std::size_t k = d.link_begin[b]; k < d.link_begin[b + 1]; ++k) {
                    const InLink& link = d.links[k];
                    const auto a = static_cast<std::size_t>(link.from);
                    if (a < first_group) continue;
                    const bool change = d.tasks[a].end_point != d.tasks[b].start_point;
                    for (std::size_t e = 0; e < w.entries[a].size(); ++e) step(a, e, b, b - g, link.gap, link.cost, change);
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
                    const std::int64_t link = link_cost(d.tasks[x], d.tasks[y], d.rules);
                    const bool change = d.tasks[x].end_point != d.tasks[y].start_point;
                    for (std::size_t e = 0; e < w.entries[x].size(); ++e) changed |= step(x, e, y, y - g, gap, link, change);
                }
            }
            if (!changed) break;
        }
        for (std::size_t b = g; b < group_end; ++b) {
            const std::int64_t span = std::int64_t{d.tasks[b].end_time} - first_start;
            End end;
            const std::vector<Entry>& list = w.entries[b];
            for (std::size_t e = 0; e < list.size(); ++e) {
                const std::int32_t longest = static_cast<std::int32_t>(list[e].state / width);
                const std::int32_t t = static_cast<std::int32_t>(list[e].state % width);
                const std::int32_t v = longest >= l.break_gap ? (t >= l.virtual_idle ? 0 : l.virtual_idle - t)
                                                              : (t >= l.virtual_short ? l.virtual_short : l.virtual_idle - t);
                const double value =
                    static_cast<double>(list[e].paid.cost + plain_work_term(span + v, d.rules)) - list[e].paid.duals;
                if (value < end.value) end = {value, static_cast<std::int32_t>(b), static_cast<std::int32_t>(e)};
                w.where[b - g][list[e].state] = -1;
            }
            if (end.value < ends[0].value) {
                ends[1] = ends[0];
                ends[0] = end;
            } else if (end.value < ends[1].value) {
                ends[1] = end;
            }
        }
    }
    for (int k = 0; k < 2 && !coarse; ++k) {
        if (ends[k].task < 0) continue;
        const bool least = ends[k].value < w.least;
        if (!least && ends[k].value - crew_dual >= -1e-6) continue;
        Day day = trace(d, w, ends[k].task, ends[k].entry);
        if (least) {
            w.least = ends[k].value;
            w.best = day;
        }
        if (!day.empty() && ends[k].value - crew_dual < -1e-6) w.days.push_back(std::move(day));
    }
    return ends[0].value;
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
    const Limits& l = rules.limits;
    if (std::max(l.virtual_idle, l.virtual_short) > longest_state_minutes)
        return "the virtual task may be longer than 250 minutes";
    if (l.split_gap < 0 || l.split_gap > 1440) return "the split gap is outside 0 to 1440 minutes";
    return {};
}

ExactPricer::ExactPricer(const l_tarefas& tasks, unsigned threads, const Rules& rules)
    : data_(std::make_unique<Data>(tasks, threads, rules)) {
    Data& d = *data_;
    const Limits& l = rules.limits;
    d.n = tasks.size();
    d.threads = std::max(1u, threads);
    d.original = positions_by_start(tasks);
    for (std::int32_t p : d.original) d.tasks.push_back(tasks[static_cast<std::size_t>(p)]);
    d.cap = std::max({0, l.virtual_idle, l.virtual_short});
    const auto width = static_cast<std::size_t>(d.cap + 1);
    d.states = static_cast<std::size_t>(l.split_gap + 1) * width;
    d.group_begin.resize(d.n);
    d.group_end.resize(d.n);
    for (std::size_t i = 0; i < d.n;) {
        std::size_t j = i;
        while (j < d.n && d.tasks[j].start_time == d.tasks[i].start_time) ++j;
        d.largest_group = std::max(d.largest_group, j - i);
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
    const std::pair<std::int64_t, double> reach_and_beyond = reach_of(d, task_duals, crew_dual);
    const std::int64_t reach = reach_and_beyond.first;  // a plain variable: lambdas capture it
    least = std::min(least, reach_and_beyond.second - crew_dual);

    const unsigned threads = std::min<unsigned>(d.threads, static_cast<unsigned>(std::max<std::size_t>(1, d.n)));
    std::vector<Workspace> spaces;
    for (unsigned t = 0; t < threads; ++t) spaces.emplace_back(d);
    // The first tasks from the lowest priced cost of the plain days of their
    // start minute up (never above their crew cost), labelled while that is
    // below the least so far (the others cannot lower it), first coarsely,
    // then, where that is below it too, exactly.
    std::vector<double> lower(d.n, infinity);
    for (std::size_t i = 0; i < d.n; ++i) {
        const auto g = static_cast<std::size_t>(d.group_begin[i]);
        lower[g] = std::min(lower[g], result.least_plain_by_first[static_cast<std::size_t>(d.original[i])]);
    }
    for (std::size_t i = 0; i < d.n; ++i) lower[i] = lower[static_cast<std::size_t>(d.group_begin[i])];
    std::vector<std::size_t> order(d.n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return lower[a] < lower[b]; });
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopped{false};
    std::atomic<double> least_so_far{least};
    auto work = [&](Workspace& w) {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= d.n) return;
            const std::size_t f = order[k];
            if (lower[f] - crew_dual >= least_so_far.load()) return;  // and so every later one
            if (stop && stop()) {
                stopped = true;
                return;
            }
            if (label_from(d, task_duals, crew_dual, reach, f, w, true) - crew_dual >= least_so_far.load()) continue;
            const double value = label_from(d, task_duals, crew_dual, reach, f, w, false) - crew_dual;
            double seen = least_so_far.load();
            while (value < seen && !least_so_far.compare_exchange_weak(seen, value)) {
            }
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
