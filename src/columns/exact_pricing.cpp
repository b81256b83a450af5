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
//   labelled but bounded together: the task minutes of a day are
//   span - gaps + overlaps, and the tasks of m minutes gain (dual less slack
//   cost) at most K(m), the best m minutes of all the tasks by gain per minute
//   (a fractional knapsack, concave; no task of more than t_sobreposicao a
//   minute, or no bound), so a day's reduced cost is at least
//   f(span) - K(span) - crew_dual; X is the first span from W on where that is
//   at least 0 and no longer falls (it is convex), and its value there stands
//   for them all.
// Labels are not extended where no day through them can beat the least value
// found so far (see Prospects): that leaves every least value as it is.
//
// Split days (a gap over L) come from two pricings over halves joined across
// the break (see pricing.cpp), both at the crew cost with their break, the
// longest gap: the point change at the break is a permitted one too, and the
// overtime (work less the break less the split workday) is exact on days
// that work no more than the first of excess_after and the rested work, and
// may be left out beyond it, where every minute pays d_jornada besides
// (below their crew cost by at most that overtime). Those with one gap over
// L, whose break is that gap, exactly so. Those with two or more: below by
// tp_permitida x the point changes at gaps as long as the break but the
// last; with three or more, the break is known only to be at least the long
// gap before it (or, at the first long gap, longer than the next), so such a
// day may be priced with a shorter one as its break: below by what that
// saves; and a staircase of more than 12 points at a task merges two of them
// into the shorter gap and the lower value. They are priced after the plain
// days and only below the least value found so far.
#include "columns/exact_pricing.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
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
    std::int32_t latest_end = 0;
    Pricer splits;            // the split days of one long gap, at their crew cost
    Pricer multi;             // those of two or more (see above)

    Data(const l_tarefas& a, unsigned thread_count, const Rules& r)
        : rules(r), splits(a, thread_count, PricerMode::split_at_crew_cost, r),
          multi(a, thread_count, PricerMode::multi_split_only, r) {}
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
    std::vector<double> prospect;                  // by sorted position: Prospects::at from the first task
    double least = infinity;
    std::vector<Day> days;
    Day best;

    explicit Workspace(const Data& d)
        : entries(d.n), where(d.largest_group, std::vector<std::int32_t>(d.states, -1)), prospect(d.n, 0.0) {}

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

// What a plain day can still cost at least once a label has reached a task.
// plain_day_term is convex, so for any slope k it is at least a_k + k span
// (a_k the least of plain_day_term(s) - k s); with the span linear, the day
// from b on costs at least a_k - k (first start) + ahead_k(b), ahead_k(b) the
// least over the walks from b of their links and tasks' weights (slack cost
// less dual) plus k (the end of their last task): a backward pass over the
// listed links, with up to (their count - 1) steps among the tasks of one
// start minute, like the labelling. A label whose least value plus the best
// of these is not below the least value found so far is not extended.
struct Prospects {
    std::vector<double> slope, offset;  // k and a_k
    std::vector<std::vector<double>> ahead;  // by slope, by sorted position
    // The least cost of what follows a label at b, from the first start.
    double at(std::size_t b, std::int32_t first_start) const {
        double best = -infinity;
        for (std::size_t k = 0; k < slope.size(); ++k)
            best = std::max(best, offset[k] - slope[k] * first_start + ahead[k][b]);
        return best;
    }
};

Prospects prospects_of(const Data& d, std::span<const double> duals) {
    Prospects p;
    std::vector<double> weight(d.n);
    for (std::size_t i = 0; i < d.n; ++i)
        weight[i] = static_cast<double>(d.rules.weights.t_ocioso) * d.tasks[i].slack - duals[static_cast<std::size_t>(d.original[i])];
    const double steepest = static_cast<double>(d.rules.weights.h_extra) + d.rules.weights.d_jornada + d.rules.weights.i_jornada;
    for (const double k : {0.0, 20.0, 40.0, 60.0, 100.0, 200.0, 400.0, 1000.0, 5000.0}) {
        if (k > steepest) continue;
        double offset = infinity;
        for (std::int64_t x = 0; x <= latest_minute; ++x)
            offset = std::min(offset, static_cast<double>(plain_day_term(x, d.rules)) - k * static_cast<double>(x));
        std::vector<double> ahead(d.n);
        for (std::size_t b = 0; b < d.n; ++b) ahead[b] = k * d.tasks[b].end_time;
        for (std::size_t g_end = d.n; g_end > 0;) {
            const auto g = static_cast<std::size_t>(d.group_begin[g_end - 1]);
            for (std::size_t round = 1; round < g_end - g; ++round) {
                bool changed = false;
                for (std::size_t x = g; x < g_end; ++x)
                    for (std::size_t y = g; y < g_end; ++y) {
                        if (x == y) continue;
                        const double v = static_cast<double>(link_cost(d.tasks[x], d.tasks[y], d.rules)) + weight[y] + ahead[y];
                        if (v < ahead[x] - 1e-9) {
                            ahead[x] = v;
                            changed = true;
                        }
                    }
                if (!changed) break;
            }
            for (std::size_t c = g; c < g_end; ++c)
                for (std::size_t l = d.link_begin[c]; l < d.link_begin[c + 1]; ++l) {
                    const InLink& link = d.links[l];
                    const auto from = static_cast<std::size_t>(link.from);
                    ahead[from] = std::min(ahead[from], static_cast<double>(link.cost) + weight[c] + ahead[c]);
                }
            g_end = g;
        }
        p.slope.push_back(k);
        p.offset.push_back(offset);
        p.ahead.push_back(std::move(ahead));
    }
    return p;
}

// Labels the plain days from the first task f; returns their least value
// (before the crew dual). `coarse` keeps of the longest gap only whether it
// makes a break and prices the permitted point changes at 0: a value never
// above the exact one, in far fewer states, and no days.
double label_from(const Data& d, std::span<const double> duals, double crew_dual, std::int64_t reach, std::size_t f,
                  Workspace& w, bool coarse, const Prospects& prospects, double threshold) {
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
        if (plain.reduced() + w.prospect[b] >= threshold) return false;  // no day through it can do better
        const std::int64_t change = point_change && !coarse ? permitted : 0;
        Value paid;
        if (gap > longest)
            paid = {from.plain.cost + add + change, from.plain.duals + dual, ta, ea, true};
        else
            paid = {from.paid.cost + add + (gap == longest ? change : 0), from.paid.duals + dual, ta, ea, false};
        return w.relax(b, slot, state, plain, paid);
    };
    bool first_closed = false;  // no day through the first task's label can beat the least so far
    for (std::size_t g = first_group; g < d.n && d.tasks[g].start_time - first_start <= reach;
         g = static_cast<std::size_t>(d.group_end[g])) {
        const auto group_end = static_cast<std::size_t>(d.group_end[g]);
        for (std::size_t b = g; b < group_end; ++b) {
            w.entries[b].clear();
            w.prospect[b] = prospects.at(b, first_start);
        }
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
                    if (a < first_group || (a == f && first_closed)) continue;
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
            if (b == f && !list.empty()) {
                // The only label not offered through step, and so not checked there.
                double least_value = infinity;
                for (const Entry& e : list) least_value = std::min(least_value, e.plain.reduced());
                first_closed = least_value + w.prospect[b] >= threshold;
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
    constexpr std::pair<std::int64_t, double> none{std::numeric_limits<std::int64_t>::max(), infinity};
    // The most the tasks of m task minutes can gain (dual less slack cost):
    // the tasks of no minutes, then the others by gain per minute, the last
    // one in part (a fractional knapsack, concave in m).
    double free_gain = 0;
    std::vector<std::pair<double, std::int32_t>> items;  // gain per minute, minutes
    for (std::size_t i = 0; i < d.n; ++i) {
        const Task& t = d.tasks[i];
        const double gain = duals[static_cast<std::size_t>(d.original[i])] - static_cast<double>(p.t_ocioso) * t.slack;
        if (gain <= 0) continue;
        if (t.duration() <= 0) {
            free_gain += gain;
            continue;
        }
        items.emplace_back(gain / t.duration(), t.duration());
    }
    std::sort(items.begin(), items.end(), std::greater<>());
    if (!items.empty() && items.front().first > p.t_sobreposicao) return none;
    auto term = [&](std::int64_t s) { return static_cast<double>(plain_work_term(s, d.rules)); };
    // Gain at m minutes, kept along s = m.
    std::size_t item = 0;
    std::int32_t used = 0;  // minutes of the current item taken
    double gain = free_gain;
    auto advance_to = [&](std::int64_t m, std::int64_t& at) {
        for (; at < m; ++at) {
            while (item < items.size() && used >= items[item].second) {
                ++item;
                used = 0;
            }
            if (item == items.size()) return;
            gain += items[item].first;
            ++used;
        }
    };
    std::int64_t at = 0;
    const std::int64_t from = std::max<std::int64_t>(0, d.rules.limits.workday);
    advance_to(from, at);
    double value = term(from) - gain;
    for (std::int64_t s = from; s <= latest_minute; ++s) {
        advance_to(s + 1, at);
        const double next = term(s + 1) - gain;
        if (value >= crew_dual && next >= value) return {s, value};
        value = next;
    }
    return none;
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
    for (const Task& t : d.tasks) d.latest_end = std::max(d.latest_end, t.end_time);
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

PricingResult ExactPricer::price(std::span<const double> task_duals, double crew_dual, const std::function<bool()>& stop,
                                  double floor) {
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

    const Prospects prospects = prospects_of(d, task_duals);
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
            if (label_from(d, task_duals, crew_dual, reach, f, w, true, prospects, least_so_far.load() + crew_dual) - crew_dual >=
                least_so_far.load())
                continue;
            const double value =
                label_from(d, task_duals, crew_dual, reach, f, w, false, prospects, least_so_far.load() + crew_dual) - crew_dual;
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
    // The days of two long gaps or more, where they beat all of these and may matter.
    if (least <= floor && !result.days.empty()) {
        result.least_reduced_cost = least;
        result.best = least == empty ? Day{} : best;
        result.bound = false;
        result.complete = true;
        return result;
    }
    PricingResult multi = data_->multi.price(task_duals, crew_dual, stop, least);
    if (!multi.complete) return result;
    if (multi.least_split_reduced_cost < least) {
        least = multi.least_split_reduced_cost;
        best = multi.best_split;
    }
    for (Day& day : multi.days) result.days.push_back(std::move(day));
    result.least_split_reduced_cost = std::min(result.least_split_reduced_cost, multi.least_split_reduced_cost);
    result.least_reduced_cost = least;
    result.best = least == empty ? Day{} : best;
    result.complete = true;
    return result;
}

}  // namespace escala::columns
