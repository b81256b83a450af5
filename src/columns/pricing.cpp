// The pricing runs one labelling from every task as the first of the day,
// over the tasks in start order, with two labels a task: the cheapest walk
// that reaches it through gaps of at most 120 minutes (a plain day so far)
// and the cheapest through any gaps (a half of a split day). Links with a
// gap of at most 120 minutes are listed; longer gaps cost 40 a minute plus
// the vehicle and point changes, so they are taken from running minima by
// vehicle, by point and by both, without listing them. Tasks of one start
// minute may follow each other in any order: a run through several of them
// is priced at what it costs at least in every order (each task but the
// last overlaps the next by its whole length and pays the cheapest change
// to another task of that minute), so that every order is covered and no
// task is taken twice.
//
// Plain days end at any task: label + plain_day_term(span). Split days join
// a first half ending at a and a second half starting at b across a gap
// over 120 minutes: the work minutes are the two halves' spans, so the
// labels are kept in tables by half and span in minutes, and the split
// term is joined over the four linear pieces of split_day_term.
#include "columns/pricing.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <thread>
#include <utility>

#include "columns/priced_cost.hpp"

namespace escala::columns {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr std::size_t states = 32;      // labels a task of a plain day at its crew cost (see below)

struct Link {
    std::int32_t from;
    double cost;
};

// Running minima of label - 40 x end over the tasks before a long gap, by
// category: every task, by vehicle, by end point, by vehicle and end point.
struct Categories {
    std::vector<double> value;
    std::vector<std::int32_t> task;
    std::vector<std::uint32_t> stamp;
    std::uint32_t now = 0;

    explicit Categories(std::size_t count) : value(count, infinity), task(count, -1), stamp(count, 0) {}
    void reset() { ++now; }
    void offer(std::size_t c, double v, std::int32_t t) {
        if (stamp[c] != now) {
            stamp[c] = now;
            value[c] = infinity;
        }
        if (v < value[c]) {
            value[c] = v;
            task[c] = t;
        }
    }
    double get(std::size_t c) const { return stamp[c] == now ? value[c] : infinity; }
};

// Least values of an array over index ranges, in O(1) a query.
struct RangeMin {
    std::vector<std::vector<double>> level;
    void build(const std::vector<double>& values) {
        level.assign(1, values);
        for (std::size_t width = 1; 2 * width <= values.size(); width *= 2) {
            const std::vector<double>& prev = level.back();
            std::vector<double> next(prev.size() - width);
            for (std::size_t i = 0; i < next.size(); ++i) next[i] = std::min(prev[i], prev[i + width]);
            level.push_back(std::move(next));
        }
    }
    double get(std::int64_t lo, std::int64_t hi) const {  // inclusive, clipped to the array
        lo = std::max<std::int64_t>(lo, 0);
        hi = std::min<std::int64_t>(hi, static_cast<std::int64_t>(level[0].size()) - 1);
        if (lo > hi) return infinity;
        std::size_t k = 0;
        while ((std::int64_t{2} << k) <= hi - lo + 1) ++k;
        return std::min(level[k][static_cast<std::size_t>(lo)],
                        level[k][static_cast<std::size_t>(hi - (std::int64_t{1} << k) + 1)]);
    }
};

}  // namespace

struct Pricer::Data {
    std::size_t n = 0;
    unsigned threads = 1;
    std::vector<std::int32_t> original;  // sorted position -> task list position
    std::vector<std::int32_t> start, end;
    std::vector<double> slack_cost;
    std::vector<std::int32_t> vehicle_id, start_point_id, end_point_id, pair_end_id, pair_start_id;
    std::size_t vehicles = 0, points = 0, pairs = 0;
    std::vector<std::int32_t> group_begin, group_end;  // per position: its start minute's group
    std::vector<std::int32_t> by_end;                  // positions in end order
    std::vector<std::size_t> link_begin;               // CSR of the listed links into each position
    std::vector<Link> links;
    std::vector<Task> tasks;                           // in sorted order
    std::vector<double> out_cost;                      // least cost of a link to a task of the same start minute
    std::int32_t width = 0;                            // spans run from 0 to width
    bool crew_cost_plain = false;                      // plain days at their crew cost (see the header)
    bool split_crew_cost = false;                      // split days at their crew cost (see the header)
    bool multi_split = false;                          // split days with two gaps or more over split_gap alone (see the header)
    std::int32_t overtime_gap = 0;                     // with it: breaks of at most this many minutes may pay overtime below the rise
    // With multi_split: the same tasks backwards in time (a task from
    // latest - end to latest - start, its points swapped), whose walks are the
    // days read from their last task.
    bool mirrored = false;                             // this is such a reading
    std::unique_ptr<Data> mirror;
    std::vector<std::int32_t> mirror_of, forward_of;   // forward position -> backwards one, and back
    Rules rules;                                       // the crew cost's weights and limits
    std::int32_t long_gap = 121;                       // a gap of this many minutes or more makes a split day
    double idle = 40;                                  // a minute of idle time (t_ocioso)
    double empty_day = 17200;                          // the day without tasks
    double vehicle_change = 9000, point_change = 10000;
    // What a long gap from each of end_categories' kinds to start_categories'
    // same kind adds: both changes, a point change, a vehicle change, none.
    std::array<double, 4> long_gap_changes{};

    std::size_t categories() const { return 1 + vehicles + points + pairs; }
    std::size_t vehicle_category(std::int32_t v) const { return 1 + static_cast<std::size_t>(v); }
    std::size_t point_category(std::int32_t p) const { return 1 + vehicles + static_cast<std::size_t>(p); }
    std::size_t pair_category(std::int32_t p) const { return 1 + vehicles + points + static_cast<std::size_t>(p); }

    // The categories a task ends in, and those a task after a long gap starts
    // from (categories() where it starts from no pair of its vehicle).
    std::array<std::size_t, 4> end_categories(std::size_t a) const {
        return {0, vehicle_category(vehicle_id[a]), point_category(end_point_id[a]), pair_category(pair_end_id[a])};
    }
    std::array<std::size_t, 4> start_categories(std::size_t b) const {
        return {0, vehicle_category(vehicle_id[b]), point_category(start_point_id[b]),
                pair_start_id[b] < 0 ? categories() : pair_category(pair_start_id[b])};
    }

    double pair_cost(std::int32_t a, std::int32_t b) const {
        return static_cast<double>(link_cost(tasks[static_cast<std::size_t>(a)], tasks[static_cast<std::size_t>(b)], rules));
    }
};

namespace {

using Data = Pricer::Data;

// A split day's work term is convex and piecewise linear in its work w:
// falling at the idle weight up to the split workday, flat to the first of
// excess_after and the rested work (1440 - min_rest), rising at that one's
// weight to the second, then at both weights.
struct SplitJoin {
    std::int64_t flat_from, rising_from, steepest_from;
    double rising, steepest;
};

SplitJoin split_join(const Rules& rules) {
    const Limits& l = rules.limits;
    const std::int64_t rested = std::int64_t{day_minutes} - l.min_rest;
    const bool excess_first = l.excess_after <= rested;
    return {l.split_workday, std::min<std::int64_t>(l.excess_after, rested), std::max<std::int64_t>(l.excess_after, rested),
            static_cast<double>(excess_first ? rules.weights.d_jornada : rules.weights.i_jornada),
            static_cast<double>(rules.weights.d_jornada) + rules.weights.i_jornada};
}

// The second halves that start at one task, ready to be joined with a first
// half of any span s1: the least over them of their label plus the work term
// of s1 + their span, with overtime (at h_extra a minute) from the work
// `ot_from` on when that lies between the flat start and the rise, piece by
// piece of the convex work term, each a range minimum.
struct HalfJoin {
    SplitJoin join;
    double idle, overtime;
    std::int64_t top;
    std::vector<double> x0, x1, x3, x4, xh, xhr, xhs;
    RangeMin min0, min3, minh, minhr;

    HalfJoin(const Rules& rules, std::size_t row, double overtime_weight)
        : join(split_join(rules)), idle(rules.weights.t_ocioso), overtime(overtime_weight),
          top(static_cast<std::int64_t>(row) - 1), x0(row), x1(row), x3(row), x4(row), xh(row), xhr(row), xhs(row) {}

    // False when no second half starts there; `window` readies the joins with overtime.
    bool build(const double* second, bool window) {
        const auto row = static_cast<std::size_t>(top + 1);
        bool any = false;
        for (std::size_t s = 0; s < row; ++s) {
            x0[s] = second[s];
            x1[s] = second[s] - idle * static_cast<double>(s);
            x3[s] = second[s] + join.rising * static_cast<double>(s);
            x4[s] = second[s] + join.steepest * static_cast<double>(s);
            any = any || second[s] < infinity;
        }
        if (!any) return false;
        for (std::size_t s = 1; s < row; ++s) x1[s] = std::min(x1[s], x1[s - 1]);     // prefix minima
        for (std::size_t s = row - 1; s-- > 0;) x4[s] = std::min(x4[s], x4[s + 1]);  // suffix minima
        min0.build(x0);
        min3.build(x3);
        if (window) {
            for (std::size_t s = 0; s < row; ++s) {
                xh[s] = second[s] + overtime * static_cast<double>(s);
                xhr[s] = second[s] + (overtime + join.rising) * static_cast<double>(s);
                xhs[s] = second[s] + (overtime + join.steepest) * static_cast<double>(s);
            }
            for (std::size_t s = row - 1; s-- > 0;) xhs[s] = std::min(xhs[s], xhs[s + 1]);
            minh.build(xh);
            minhr.build(xhr);
        }
        return true;
    }

    // ot_from < 0: no overtime.
    double at(std::int64_t s1, std::int64_t ot_from) const {
        const std::int64_t b1 = join.flat_from, b2 = join.rising_from, b3 = join.steepest_from;
        double joined = infinity;
        if (b1 - s1 >= 0) joined = std::min(joined, x1[static_cast<std::size_t>(std::min(b1 - s1, top))] + idle * static_cast<double>(b1 - s1));
        if (ot_from < 0) {
            joined = std::min(joined, min0.get(b1 - s1, b2 - s1));
            joined = std::min(joined, min3.get(b2 - s1, b3 - s1) + join.rising * static_cast<double>(s1 - b2));
            if (b3 - s1 <= top)
                joined = std::min(joined, x4[static_cast<std::size_t>(std::max<std::int64_t>(b3 - s1, 0))] +
                                              join.steepest * static_cast<double>(s1 - b3) + join.rising * static_cast<double>(b3 - b2));
            return joined;
        }
        const double base = overtime * static_cast<double>(s1 - ot_from);
        joined = std::min(joined, min0.get(b1 - s1, ot_from - s1));
        joined = std::min(joined, minh.get(ot_from - s1, b2 - s1) + base);
        joined = std::min(joined, minhr.get(b2 - s1, b3 - s1) + base + join.rising * static_cast<double>(s1 - b2));
        if (b3 - s1 <= top)
            joined = std::min(joined, xhs[static_cast<std::size_t>(std::max<std::int64_t>(b3 - s1, 0))] + base +
                                          join.steepest * static_cast<double>(s1 - b3) + join.rising * static_cast<double>(b3 - b2));
        return joined;
    }
};

// What the duals make of every task: its weight (slack cost less its dual)
// and its gain inside a start minute (overlap, cheapest change and weight).
struct Prices {
    std::vector<double> weight;
    std::vector<double> gain;
    std::vector<double> group_gain;  // at a group's first position: the sum of its negative gains
    // With multi_split: a day of at least `threshold` (before the crew dual)
    // need not be priced; `complete` is the least that a first half ending at
    // a task can still add (the break and a second half), `ahead` the same
    // after more listed links.
    double threshold = infinity;
    std::vector<double> complete, ahead;
    // The least that a walk can add after a label at a task, and before the
    // first task of a labelling (at most 0: none): a label that cannot lead
    // below the threshold with both is dropped.
    std::vector<double> after, before;
};

// A point of a staircase: the last long gap of a first half and its least value.
struct Step {
    std::int32_t gap;
    double value;
    // Where it came from: a listed link from point `from` of task `task`;
    // -1: the any label of `task` across the long gap; -2 - k: a run through
    // the start minute from point k of `task` before the run.
    std::int32_t task = -1, from = -1;
};

// A first half that ends at `task`, to be joined across a break of at least
// `min_break`; from the staircases of `first` (-1: not traced).
struct HalfEntry {
    std::int32_t task, span, min_break;
    double value;
    std::int32_t first = -1;
};

// Keeps the points that no other beats in both gap and value, at most `cap`
// of them: beyond it the two of closest gaps become one with the smaller gap
// and the smaller value, below both (so the staircase never prices above them).
void settle(std::vector<Step>& points, std::size_t cap) {
    std::sort(points.begin(), points.end(),
              [](const Step& a, const Step& b) { return a.gap != b.gap ? a.gap < b.gap : a.value < b.value; });
    std::size_t kept = 0;
    for (const Step& p : points)
        if (kept == 0 || p.value < points[kept - 1].value) points[kept++] = p;
    points.resize(kept);
    while (points.size() > cap) {
        std::size_t closest = 0;
        for (std::size_t i = 1; i + 1 < points.size(); ++i)
            if (points[i + 1].gap - points[i].gap < points[closest + 1].gap - points[closest].gap) closest = i;
        const std::int32_t gap = points[closest].gap;
        points[closest] = points[closest + 1];
        points[closest].gap = gap;
        points.erase(points.begin() + static_cast<std::ptrdiff_t>(closest) + 1);
    }
}
constexpr std::size_t staircase_points = 12;

// Everything one labelling thread writes.
struct Workspace {
    std::vector<double> plain, any;              // the two labels
    std::vector<double> first_half_plain;        // with multi_split: first halves of plain walks, as first_half
    // With multi_split, forwards: walks with a task that ends before the one
    // before it or a run through a start minute (whose backwards reading is
    // no walk), and their running minima before a long gap.
    std::vector<double> any_contained;
    // With multi_split: the staircases of the first halves whose last gap
    // over split_gap is followed by listed links only, by position; the
    // running Pareto stacks (end, any label - idle x end) by category for
    // entering them; the first halves found.
    std::vector<std::vector<Step>> stair;
    struct Stacked {
        std::int32_t end;
        double value;
        std::int32_t task;
    };
    std::vector<std::vector<Stacked>> stacks;
    std::vector<std::size_t> stacks_touched;
    std::vector<Step> candidates;
    std::vector<std::vector<Step>> before_run;  // by position, in start minutes of several tasks
    std::vector<HalfEntry> entries;
    std::vector<std::int32_t> scratch_from, scratch_entry;  // predecessors that nothing traces
    std::vector<std::int32_t> plain_from;        // predecessor of the plain label
    std::vector<std::int32_t> plain_entry;       // the same on entering the task's start minute
    Categories categories;
    Categories categories_contained;             // with multi_split, forwards: of any_contained
    std::vector<double> first_half;              // [a * (width+1) + span]: cheapest first half ending at a
    std::vector<std::int32_t> first_half_from;   // its first task
    double least_plain = infinity;
    std::int32_t least_plain_first = -1, least_plain_last = -1;
    std::vector<Day> days;
    std::vector<double>* plain_by_first = nullptr;  // by sorted position, shared: each first written by one thread
    // Plain days at their crew cost: labels by task and state, what the
    // states reached are, the predecessors (task x states + state), and the
    // cheapest day found.
    std::vector<double> state_label;
    std::vector<std::uint32_t> reached;
    std::vector<std::int32_t> state_from;
    std::vector<std::pair<double, std::int32_t>> ends;
    Day least_plain_day;

    Workspace(const Data& d)
        : plain(d.n), any(d.n), plain_from(d.n), plain_entry(d.n), categories(d.categories()),
          categories_contained(d.multi_split && !d.mirrored ? d.categories() : 0) {
        const std::size_t cells = d.n * static_cast<std::size_t>(d.width + 1);
        if (!d.multi_split) {
            first_half.assign(cells, infinity);
            first_half_from.assign(cells, -1);
        } else {
            if (!d.mirrored) {
                first_half_plain.assign(cells, infinity);
                any_contained.assign(d.n, infinity);
            }
            stair.resize(d.n);
            before_run.resize(d.n);
            stacks.resize(d.categories());
            scratch_from.resize(d.n);
            scratch_entry.resize(d.n);
        }
        if (d.crew_cost_plain) {
            state_label.assign(d.n * states, infinity);
            reached.assign(d.n, 0);
            state_from.assign(d.n * states, -1);
        }
    }
};

// Follows the predecessors back from `last` to `first`. A predecessor -2 - x
// is a run through a start minute from x over its tasks of negative gain;
// x's own predecessor is then the one it had on entering that minute.
bool trace(std::span<const std::int32_t> from, std::span<const std::int32_t> entry, std::int32_t first,
           std::int32_t last, const Data& d, const Prices& prices, Day& out) {
    Day reversed;
    std::int32_t at = last;
    bool entering = false;
    for (std::size_t steps = 0; steps <= d.n; ++steps) {
        reversed.push_back(at);
        if (at == first) {
            out.insert(out.end(), reversed.rbegin(), reversed.rend());
            return true;
        }
        std::int32_t pred = (entering ? entry : from)[static_cast<std::size_t>(at)];
        entering = false;
        if (pred <= -2) {
            pred = -2 - pred;
            entering = true;
            const auto y = static_cast<std::size_t>(at);
            for (auto i = static_cast<std::size_t>(d.group_begin[y]); i < static_cast<std::size_t>(d.group_end[y]); ++i)
                if (i != y && static_cast<std::int32_t>(i) != pred && prices.gain[i] < 0) reversed.push_back(static_cast<std::int32_t>(i));
        }
        at = pred;
        if (at < 0) return false;
    }
    return false;
}

bool elementary(const Day& day) {
    Day sorted = day;
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

Day to_task_positions(const Day& day, const Data& d) {
    Day out;
    out.reserve(day.size());
    for (std::int32_t p : day) out.push_back(d.original[static_cast<std::size_t>(p)]);
    return out;
}

// Plain days at their crew cost. The closing virtual task's length hangs on
// the gaps and slack t and on whether some gap reaches 15 minutes (a break):
// 15 or 30 - t without a break, 30 - t or none with one. A label's state
// holds both: 0..15 without a break (t, 15 standing for 15 or more), 16..31
// with one (t + 1, 31 standing for 30 or more; t is then at least 15).
constexpr std::int32_t crew_cost_span = 600;

std::int32_t state_of(bool has_break, std::int32_t t) { return has_break ? 1 + std::min(t, 30) : std::min(t, 15); }

std::int32_t virtual_minutes(std::int32_t state) {
    if (state < 16) return state >= 15 ? 15 : 30 - state;
    return std::max(0, 31 - state);
}

void label_plain_at_crew_cost(const Data& d, const Prices& prices, double crew_dual, std::int32_t first, Workspace& w) {
    const auto f = static_cast<std::size_t>(first);
    const std::int32_t first_start = d.start[f];
    const auto begin = static_cast<std::size_t>(d.group_begin[f]);
    std::size_t stop = static_cast<std::size_t>(d.group_end[f]);
    while (stop < d.n && d.start[stop] - first_start <= crew_cost_span) ++stop;
    for (std::size_t i = begin; i < stop; ++i) w.reached[i] = 0;
    {
        const std::int32_t s = state_of(false, d.tasks[f].slack);
        w.state_label[f * states + static_cast<std::size_t>(s)] = prices.weight[f];
        w.state_from[f * states + static_cast<std::size_t>(s)] = -1;
        w.reached[f] = 1u << s;
    }
    std::vector<std::pair<double, std::int32_t>>& ends = w.ends;  // the cheapest state of every last task
    ends.clear();
    auto consider = [&](std::size_t b) {
        const std::int32_t span = d.end[b] - first_start;
        double least = infinity;
        std::int32_t at = -1;  // task x 32 + state
        for (std::uint32_t mask = w.reached[b]; mask != 0; mask &= mask - 1) {
            const int k = std::countr_zero(mask);
            const double v = w.state_label[b * states + static_cast<std::size_t>(k)] +
                             static_cast<double>(plain_work_term(span + virtual_minutes(k), d.rules));
            if (v < least) {
                least = v;
                at = static_cast<std::int32_t>(b * states + static_cast<std::size_t>(k));
            }
        }
        if (at >= 0) ends.emplace_back(least, at);
    };
    consider(f);
    for (std::size_t b = static_cast<std::size_t>(d.group_end[f]); b < stop; ++b) {
        if (d.end[b] - first_start > crew_cost_span) continue;
        const std::int32_t slack = d.tasks[b].slack;
        double* label = &w.state_label[b * states];
        std::int32_t* from = &w.state_from[b * states];
        std::uint32_t reached = 0;
        for (std::size_t k = d.link_begin[b]; k < d.link_begin[b + 1]; ++k) {
            const Link& link = d.links[k];
            const auto a = static_cast<std::size_t>(link.from);
            if (a < begin || w.reached[a] == 0) continue;
            const std::int32_t gap = d.start[b] - d.end[a];
            if (gap < 0) continue;  // 5000 a minute of overlap: no day of a roster
            const std::int32_t added = gap + slack;
            const bool long_enough = gap >= 15;
            // A point change at the break is a permitted one too (at the
            // longest gap, which the labels do not know: taken as any of 15 or more).
            const double cost = link.cost + (long_enough && d.tasks[a].end_point != d.tasks[b].start_point ? 300.0 : 0.0);
            const double* source = &w.state_label[a * states];
            for (std::uint32_t mask = w.reached[a]; mask != 0; mask &= mask - 1) {
                const int s = std::countr_zero(mask);
                const bool has_break = s >= 16 || long_enough;
                const std::int32_t t = (s >= 16 ? s - 1 : s) + added;
                const auto next = static_cast<std::size_t>(state_of(has_break, t));
                const double v = source[s] + cost;
                if (!(reached >> next & 1u) || v < label[next]) {
                    label[next] = v;
                    from[next] = static_cast<std::int32_t>(a * states + static_cast<std::size_t>(s));
                    reached |= 1u << next;
                }
            }
        }
        // A state that another of the same break flag beats by what their
        // difference in gaps and slack can still be worth is dropped: one
        // more minute of them costs at most 40 (idle) and saves at most 60
        // (overtime) at the end, as long as the day works at most 550 minutes.
        for (int group = 0; group < 2; ++group) {
            const int low = group == 0 ? 0 : 16, high = group == 0 ? 16 : 32;
            double fewer = infinity;  // least label - 60 t over the states of fewer minutes
            for (int k = low; k < high; ++k) {
                if (!(reached >> k & 1u)) continue;
                if (fewer + 60.0 * k <= label[k]) reached &= ~(1u << k);
                else fewer = std::min(fewer, label[k] - 60.0 * k);
            }
            double more = infinity;  // least label + 40 t over the states of more minutes
            for (int k = high - 1; k >= low; --k) {
                if (!(reached >> k & 1u)) continue;
                if (more - 40.0 * k <= label[k]) reached &= ~(1u << k);
                else more = std::min(more, label[k] + 40.0 * k);
            }
        }
        for (std::uint32_t mask = reached; mask != 0; mask &= mask - 1) label[std::countr_zero(mask)] += prices.weight[b];
        w.reached[b] = reached;
        consider(b);
    }
    auto traced = [&](std::int32_t at) {
        Day reversed;
        while (at >= 0) {
            reversed.push_back(at / static_cast<std::int32_t>(states));
            at = w.state_from[static_cast<std::size_t>(at)];
        }
        return to_task_positions(Day(reversed.rbegin(), reversed.rend()), d);
    };
    // The few cheapest days from this first task, each to another last task.
    const std::size_t keep = std::min<std::size_t>(ends.size(), 8);
    std::partial_sort(ends.begin(), ends.begin() + static_cast<std::ptrdiff_t>(keep), ends.end());
    if (keep > 0 && ends[0].first < w.least_plain) {
        w.least_plain = ends[0].first;
        w.least_plain_day = traced(ends[0].second);
    }
    for (std::size_t k = 0; k < keep; ++k)
        if (ends[k].first - crew_dual < -1e-6) w.days.push_back(traced(ends[k].second));
}

// The staircases from `first`, once its any labels are in: a first half
// whose last long gap is g enters at the task after that gap, from the any
// label of the task before it, and goes on by listed links (and runs through
// a start minute) only; every first half ending at a task with a staircase
// point (g, v) becomes an entry to be joined across a break of g or more.
// Points that cannot lead below the threshold are dropped.
void label_stairs(const Data& d, const Prices& prices, std::size_t f, Workspace& w) {
    const std::size_t n = d.n;
    const double threshold = prices.threshold;
    for (std::size_t c : w.stacks_touched) w.stacks[c].clear();
    w.stacks_touched.clear();
    for (auto p = static_cast<std::size_t>(d.group_begin[f]); p < n; ++p) w.stair[p].clear();
    auto push = [&](std::size_t c, std::int32_t end, double value, std::int32_t task) {
        auto& stack = w.stacks[c];
        if (stack.empty()) w.stacks_touched.push_back(c);
        while (!stack.empty() && stack.back().value >= value) stack.pop_back();
        if (!stack.empty() && stack.back().end == end) return;
        stack.push_back({end, value, task});
    };
    const std::int32_t first_start = d.start[f];
    std::size_t next_end = 0;
    for (auto g = static_cast<std::size_t>(d.group_end[f]); g < n;) {
        const auto g_end = static_cast<std::size_t>(d.group_end[g]);
        const std::int32_t start = d.start[g];
        while (next_end < n && d.end[static_cast<std::size_t>(d.by_end[next_end])] <= start - d.long_gap) {
            const auto a = static_cast<std::size_t>(d.by_end[next_end++]);
            if (w.any[a] == infinity) continue;
            const double v = w.any[a] - d.idle * d.end[a];
            for (std::size_t c : d.end_categories(a)) push(c, d.end[a], v, static_cast<std::int32_t>(a));
        }
        for (std::size_t y = g; y < g_end; ++y) {
            const double weight = prices.weight[y], keep = threshold - prices.ahead[y];
            std::vector<Step>& out = w.candidates;
            out.clear();
            const std::array<std::size_t, 4> from = d.start_categories(y);
            for (std::size_t k = 0; k < 4; ++k) {
                const std::size_t category = from[k];
                const double extra = d.long_gap_changes[k];
                if (category == d.categories()) continue;
                for (const Workspace::Stacked& x : w.stacks[category]) {
                    const double v = x.value + extra + d.idle * start + weight;
                    if (v < keep) out.push_back({start - x.end, v, x.task, -1});
                }
            }
            for (std::size_t k = d.link_begin[y]; k < d.link_begin[y + 1]; ++k) {
                const Link& link = d.links[k];
                const std::vector<Step>& points = w.stair[static_cast<std::size_t>(link.from)];
                for (std::size_t k = 0; k < points.size(); ++k) {
                    const double v = points[k].value + link.cost + weight;
                    if (v < keep) out.push_back({points[k].gap, v, link.from, static_cast<std::int32_t>(k)});
                }
            }
            settle(out, staircase_points);
            w.stair[y] = out;
        }
        if (g_end - g > 1) {  // runs through the start minute, as in the labelling
            for (std::size_t y = g; y < g_end; ++y) w.before_run[y] = w.stair[y];
            for (std::size_t y = g; y < g_end; ++y) {
                std::vector<Step>& out = w.candidates;
                out = w.before_run[y];
                const double keep = threshold - prices.ahead[y];
                for (std::size_t x = g; x < g_end; ++x) {
                    if (x == y) continue;
                    const double through = d.out_cost[x] - std::min(0.0, prices.gain[x]) + prices.group_gain[g] -
                                           std::min(0.0, prices.gain[y]) + prices.weight[y];
                    const std::vector<Step>& from = w.before_run[x];
                    for (std::size_t k = 0; k < from.size(); ++k)
                        if (from[k].value + through < keep)
                            out.push_back({from[k].gap, from[k].value + through, static_cast<std::int32_t>(x), -2 - static_cast<std::int32_t>(k)});
                }
                settle(out, staircase_points);
                w.stair[y] = out;
            }
        }
        for (std::size_t y = g; y < g_end; ++y)
            for (const Step& p : w.stair[y])
                if (p.value + prices.complete[y] < threshold)
                    w.entries.push_back({static_cast<std::int32_t>(y), d.end[y] - first_start, p.gap + (d.mirrored ? 1 : 0), p.value,
                                         static_cast<std::int32_t>(f)});
        g = g_end;
    }
}

// The labelling from `first`; fills the workspace labels, the any-gap
// predecessors `any_from` (a row of the shared table), the tables and the
// plain days found. With multi_split, the staircases too, and the tables of
// first and second halves without a long gap and of contained second halves
// forwards; backwards the staircases alone.
void label_from(const Data& d, const Prices& prices, double crew_dual, std::int32_t first,
                Workspace& w, std::int32_t* any_from, std::int32_t* any_entry, double* second_half,
                std::int32_t* second_half_last, double* second_half_contained = nullptr) {
    const std::size_t n = d.n;
    const std::vector<double>& weight = prices.weight;
    const bool contained = !w.any_contained.empty();
    const bool plain = !d.mirrored;  // backwards only the any labels are read (by the staircases)
    std::fill(w.plain.begin(), w.plain.end(), infinity);
    std::fill(w.any.begin(), w.any.end(), infinity);
    std::fill(w.any_contained.begin(), w.any_contained.end(), infinity);
    std::fill(w.plain_from.begin(), w.plain_from.end(), -1);
    std::fill(any_from, any_from + n, -1);
    std::fill(any_entry, any_entry + n, -1);
    w.categories.reset();
    if (contained) w.categories_contained.reset();
    const auto f = static_cast<std::size_t>(first);
    w.plain[f] = w.any[f] = weight[f];
    std::size_t next_end = 0;  // into by_end: tasks not yet offered to the categories
    for (std::size_t g = static_cast<std::size_t>(d.group_begin[f]); g < n;) {
        const std::size_t g_end = static_cast<std::size_t>(d.group_end[g]);
        const std::int32_t start = d.start[g];
        while (next_end < n && d.end[static_cast<std::size_t>(d.by_end[next_end])] <= start - d.long_gap) {
            const auto a = static_cast<std::size_t>(d.by_end[next_end++]);
            const std::array<std::size_t, 4> c = d.end_categories(a);
            const auto t = static_cast<std::int32_t>(a);
            if (contained && w.any_contained[a] < infinity)
                for (std::size_t k : c) w.categories_contained.offer(k, w.any_contained[a] - d.idle * d.end[a], t);
            if (w.any[a] == infinity) continue;
            for (std::size_t k : c) w.categories.offer(k, w.any[a] - d.idle * d.end[a], t);
        }
        for (std::size_t b = g; b < g_end; ++b) {
            if (b == f) continue;
            double best_plain = infinity, best_any = infinity, best_contained = infinity;
            std::int32_t plain_pred = -1, any_pred = -1;
            for (std::size_t k = d.link_begin[b]; k < d.link_begin[b + 1]; ++k) {
                const Link& link = d.links[k];
                const auto a = static_cast<std::size_t>(link.from);
                if (contained)
                    best_contained = std::min({best_contained, w.any_contained[a] + link.cost,
                                               d.end[b] < d.end[a] ? w.any[a] + link.cost : infinity});
                if (plain && w.plain[a] + link.cost < best_plain) {
                    best_plain = w.plain[a] + link.cost;
                    plain_pred = link.from;
                }
                if (w.any[a] + link.cost < best_any) {
                    best_any = w.any[a] + link.cost;
                    any_pred = link.from;
                }
            }
            // Long gaps: idle minutes, a vehicle change unless the vehicle is the same, a
            // point change unless the point is.
            const Categories& c = w.categories;
            const double base = d.idle * start;
            const std::array<std::size_t, 4> from = d.start_categories(b);
            for (std::size_t k = 0; k < 4 && !d.crew_cost_plain && !d.split_crew_cost; ++k) {  // (those: halves without a second long gap)
                const std::size_t category = from[k];
                const double extra = d.long_gap_changes[k];
                if (category == d.categories()) continue;
                if (contained) best_contained = std::min(best_contained, w.categories_contained.get(category) + extra + base);
                const double v = c.get(category) + extra + base;
                if (v < best_any) {
                    best_any = v;
                    any_pred = c.task[category];
                }
            }
            w.plain[b] = best_plain + weight[b];
            w.plain_from[b] = w.plain_entry[b] = plain_pred;
            w.any[b] = best_any + weight[b];
            any_from[b] = any_entry[b] = any_pred;
            if (contained) w.any_contained[b] = best_contained + weight[b];
        }
        // Within the start minute, in any order: a day that runs through x,
        // then a set S, then y, all of one start minute, pays at least
        // 5000 x overlap and the cheapest change (out_cost) for every task
        // but y, whatever their order; S takes every task that this makes
        // cheaper (d.group_gain, negative). Such a run is contained too.
        if (g_end - g > 1) {
            const double gain = prices.group_gain[g];
            for (int label = contained ? -1 : plain ? 0 : 1; label < 2; ++label) {
                std::vector<double>& value = label == 0 ? w.plain : label == 1 ? w.any : w.any_contained;
                double best = infinity, second = infinity;
                std::size_t best_x = g, second_x = g;
                for (std::size_t x = g; x < g_end; ++x) {
                    const double from = label < 0 ? std::min(w.any[x], w.any_contained[x]) : value[x];
                    if (from == infinity) continue;
                    const double v = from + d.out_cost[x] - std::min(0.0, prices.gain[x]);
                    if (v < best) {
                        second = best;
                        second_x = best_x;
                        best = v;
                        best_x = x;
                    } else if (v < second) {
                        second = v;
                        second_x = x;
                    }
                }
                if (best == infinity) continue;
                for (std::size_t y = g; y < g_end; ++y) {
                    if (y == f) continue;
                    const double through = (y == best_x ? second : best);
                    if (through == infinity) continue;
                    const double v = through + gain - std::min(0.0, prices.gain[y]) + weight[y];
                    if (v < value[y] - 1e-9) {
                        value[y] = v;
                        const std::int32_t via = -2 - static_cast<std::int32_t>(y == best_x ? second_x : best_x);
                        if (label == 0)
                            w.plain_from[y] = via;
                        else if (label == 1)
                            any_from[y] = via;
                    }
                }
            }
        }
        if (d.multi_split) {
            // Labels that cannot lead below the threshold, whatever comes before and after.
            const double before = prices.before[f];
            for (std::size_t b = g; b < g_end; ++b) {
                const double beyond = prices.threshold - before - prices.after[b];
                if (w.plain[b] >= beyond) w.plain[b] = infinity;
                if (w.any[b] >= beyond) w.any[b] = infinity;
                if (contained && w.any_contained[b] >= beyond) w.any_contained[b] = infinity;
            }
        }
        g = g_end;
    }
    if (d.multi_split) label_stairs(d, prices, f, w);
    if (d.mirrored) return;
    // Plain days ending anywhere; the halves' tables.
    const std::int32_t first_start = d.start[f];
    const auto row = static_cast<std::size_t>(d.width + 1);
    double best_value[2] = {infinity, infinity};
    std::int32_t best_last[2] = {-1, -1};
    for (std::size_t l = static_cast<std::size_t>(d.group_begin[f]); l < n; ++l) {
        const std::int32_t span = d.end[l] - first_start;
        if (w.plain[l] < infinity) {
            const double v = w.plain[l] + static_cast<double>(plain_day_term(span, d.rules));
            if (v < best_value[1]) {
                if (v < best_value[0]) {
                    best_value[1] = best_value[0];
                    best_last[1] = best_last[0];
                    best_value[0] = v;
                    best_last[0] = static_cast<std::int32_t>(l);
                } else {
                    best_value[1] = v;
                    best_last[1] = static_cast<std::int32_t>(l);
                }
            }
        }
        if (d.multi_split) {
            const std::size_t at = l * row + static_cast<std::size_t>(span);
            w.first_half_plain[at] = std::min(w.first_half_plain[at], w.plain[l]);
            second_half[span] = std::min(second_half[span], w.plain[l]);
            second_half_contained[span] = std::min(second_half_contained[span], w.any_contained[l]);
        } else if (w.any[l] < infinity) {
            const std::size_t at = l * row + static_cast<std::size_t>(span);
            if (w.any[l] < w.first_half[at]) {
                w.first_half[at] = w.any[l];
                w.first_half_from[at] = first;
            }
            if (w.any[l] < second_half[span]) {
                second_half[span] = w.any[l];
                second_half_last[span] = static_cast<std::int32_t>(l);
            }
        }
    }
    if (w.plain_by_first) (*w.plain_by_first)[f] = best_value[0];
    if (d.crew_cost_plain) {
        label_plain_at_crew_cost(d, prices, crew_dual, first, w);
    } else if (best_value[0] < w.least_plain) {
        w.least_plain = best_value[0];
        w.least_plain_first = first;
        w.least_plain_last = best_last[0];
    }
    for (int k = 0; k < 2; ++k) {
        if (best_last[k] < 0 || best_value[k] - crew_dual >= -1e-6) continue;
        Day day;
        if (trace(w.plain_from, w.plain_entry, first, best_last[k], d, prices, day) && elementary(day)) w.days.push_back(to_task_positions(day, d));
    }
}

// Runs label(f, w) for every first task f, each thread on one of `spaces`;
// false when `stop` ended it first.
template <class Label>
bool label_every_first(std::size_t n, std::vector<Workspace>& spaces, const std::function<bool()>& stop, Label label) {
    std::atomic<std::size_t> next_first{0};
    std::atomic<bool> stopped{false};
    auto work = [&](Workspace& w) {
        for (;;) {
            const std::size_t f = next_first.fetch_add(1);
            if (f >= n) return;
            if (stop && stop()) {
                stopped = true;
                return;
            }
            label(f, w);
        }
    };
    std::vector<std::jthread> pool;
    for (std::size_t t = 1; t < spaces.size(); ++t) pool.emplace_back(work, std::ref(spaces[t]));
    work(spaces[0]);
    pool.clear();  // joins them
    return !stopped;
}

// What a price() reads off the duals: every task's weight and gains.
Prices prices_of(const Data& d, std::span<const double> task_duals) {
    Prices prices;
    prices.weight.resize(d.n);
    prices.gain.resize(d.n);
    prices.group_gain.assign(d.n, 0.0);
    for (std::size_t i = 0; i < d.n; ++i) {
        prices.weight[i] = d.slack_cost[i] - task_duals[static_cast<std::size_t>(d.original[i])];
        prices.gain[i] = d.out_cost[i] + prices.weight[i];
        prices.group_gain[static_cast<std::size_t>(d.group_begin[i])] += std::min(0.0, prices.gain[i]);
    }
    return prices;
}

// The least that can follow a label at each task: base(x) (which may read
// what `done` kept of later start minutes) or a listed link, or a step to
// another task of its start minute (in any order), and what follows that;
// links and tasks at their cost, so never above what any day pays after the
// label. `done` sees each start minute once its values are final.
template <class Base, class Done>
std::vector<double> least_after(const Data& d, const Prices& prices, Base base, Done done) {
    std::vector<double> value(d.n, infinity), by_link(d.n, infinity);
    for (std::size_t g_end = d.n; g_end > 0;) {
        const auto g = static_cast<std::size_t>(d.group_begin[g_end - 1]);
        for (std::size_t x = g; x < g_end; ++x) value[x] = std::min(base(x), by_link[x]);
        for (std::size_t round = 1; round < g_end - g; ++round) {
            bool changed = false;
            for (std::size_t x = g; x < g_end; ++x)
                for (std::size_t y = g; y < g_end; ++y) {
                    if (x == y) continue;
                    const double v = d.pair_cost(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)) + prices.weight[y] + value[y];
                    if (v < value[x] - 1e-9) {
                        value[x] = v;
                        changed = true;
                    }
                }
            if (!changed) break;
        }
        done(g, g_end, value);
        for (std::size_t c = g; c < g_end; ++c)
            for (std::size_t l = d.link_begin[c]; l < d.link_begin[c + 1]; ++l) {
                const auto from = static_cast<std::size_t>(d.links[l].from);
                by_link[from] = std::min(by_link[from], d.links[l].cost + prices.weight[c] + value[c]);
            }
        g_end = g;
    }
    return value;
}

// The first position that starts a long gap or more after a task's end.
std::size_t first_after_break(const Data& d, std::size_t a) {
    return static_cast<std::size_t>(std::lower_bound(d.start.begin(), d.start.end(), d.end[a] + d.long_gap) - d.start.begin());
}

// Readies `complete` and `ahead` for the staircases: the second halves from
// each position are bounded from below by the walks from it with any gaps.
void ready_staircases(const Data& d, Prices& prices) {
    std::vector<double> suffix(d.n + 1, infinity);  // least idle x start + a walk from there, from a position on
    prices.after = least_after(
        d, prices,
        [&](std::size_t x) { return std::min(0.0, suffix[first_after_break(d, x)] - d.idle * d.end[x]); },
        [&](std::size_t g, std::size_t g_end, const std::vector<double>& value) {
            for (std::size_t p = g_end; p-- > g;) suffix[p] = std::min(suffix[p + 1], d.idle * d.start[p] + prices.weight[p] + value[p]);
        });
    prices.complete.assign(d.n, infinity);
    for (std::size_t a = 0; a < d.n; ++a) prices.complete[a] = suffix[first_after_break(d, a)] - d.idle * d.end[a];
    prices.ahead = least_after(
        d, prices, [&](std::size_t x) { return prices.complete[x]; }, [](std::size_t, std::size_t, const std::vector<double>&) {});
}

// A join that reached the least value at its second half's first task b.
struct Joined {
    double value;
    std::int32_t entry, b, gap;  // gap: the break when the join pays overtime there, else -1
};

// The first halves of `entries` joined across a break of at least their
// min_break with the second halves `second` ([b * (width+1) + span]: the
// least second half starting at b), at the crew cost of a split day whose
// break is that gap (see the split sweep in price()); the least value, or
// infinity when none is below the threshold. `found` gets the least join at
// every b below the threshold.
double join_entries(const Data& d, const std::vector<HalfEntry>& entries, const double* second, double threshold,
                    const std::function<bool()>& stop, bool& stopped, std::vector<Joined>& found) {
    const std::size_t n = d.n, cats = d.categories();
    const auto row = static_cast<std::size_t>(d.width + 1);
    // Leave out the entries that cannot reach the threshold with any second half.
    std::vector<std::size_t> kept;
    {
        std::vector<double> least_second(n, infinity);
        for (std::size_t b = 0; b < n; ++b)
            for (std::size_t s = 0; s < row; ++s) least_second[b] = std::min(least_second[b], second[b * row + s]);
        std::vector<double> suffix(n + 1, infinity);
        for (std::size_t p = n; p-- > 0;) suffix[p] = std::min(suffix[p + 1], d.idle * d.start[p] + least_second[p]);
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const auto a = static_cast<std::size_t>(entries[k].task);
            if (entries[k].value + suffix[first_after_break(d, a)] - d.idle * d.end[a] < threshold) kept.push_back(k);
        }
    }
    if (kept.empty()) return infinity;
    const SplitJoin join = split_join(d.rules);
    const double overtime = d.rules.weights.h_extra, permitted = d.rules.weights.tp_permitida;
    HalfJoin joined(d.rules, row, overtime);
    const std::int32_t table_gap = std::max(d.long_gap, d.overtime_gap + 1);
    auto end_of = [&](const HalfEntry& e) { return d.end[static_cast<std::size_t>(e.task)]; };
    std::vector<std::size_t> ready = kept, window;
    std::sort(ready.begin(), ready.end(), [&](std::size_t x, std::size_t y) {
        return end_of(entries[x]) + std::max(entries[x].min_break, table_gap) < end_of(entries[y]) + std::max(entries[y].min_break, table_gap);
    });
    for (std::size_t k : kept)
        if (entries[k].min_break < table_gap) window.push_back(k);
    std::sort(window.begin(), window.end(), [&](std::size_t x, std::size_t y) { return end_of(entries[x]) < end_of(entries[y]); });
    std::vector<double> table(cats * row, infinity);
    std::vector<std::int32_t> table_entry(cats * row, -1);
    std::size_t next = 0, window_begin = 0, window_end = 0;
    std::int64_t lowest_span = d.width + 1, highest_span = -1;
    double least = infinity;
    for (std::size_t b = 0; b < n; ++b) {
        if (stop && b % 64 == 0 && stop()) {
            stopped = true;
            return least;
        }
        const std::int32_t start = d.start[b];
        for (; next < ready.size(); ++next) {
            const HalfEntry& e = entries[ready[next]];
            if (end_of(e) + std::max(e.min_break, table_gap) > start) break;
            const auto a = static_cast<std::size_t>(e.task);
            const double value = e.value - d.idle * d.end[a];
            for (std::size_t k : d.end_categories(a)) {
                const std::size_t cell = k * row + static_cast<std::size_t>(e.span);
                if (value < table[cell]) {
                    table[cell] = value;
                    table_entry[cell] = static_cast<std::int32_t>(ready[next]);
                }
            }
            lowest_span = std::min<std::int64_t>(lowest_span, e.span);
            highest_span = std::max<std::int64_t>(highest_span, e.span);
        }
        while (window_end < window.size() && end_of(entries[window[window_end]]) <= start - d.long_gap) ++window_end;
        while (window_begin < window_end && end_of(entries[window[window_begin]]) <= start - table_gap) ++window_begin;
        const bool in_window = window_begin < window_end;
        if (highest_span < 0 && !in_window) continue;
        if (!joined.build(&second[b * row], in_window)) continue;
        const std::array<std::size_t, 4> cb = d.start_categories(b);
        const double extra[4] = {d.vehicle_change + d.point_change + permitted, d.point_change + permitted, d.vehicle_change, 0.0};
        Joined best{infinity, -1, static_cast<std::int32_t>(b), -1};
        for (std::int64_t s1 = lowest_span; s1 <= highest_span; ++s1) {
            double first = infinity;
            std::int32_t entry = -1;
            for (int k = 0; k < 4; ++k) {
                if (cb[k] == cats) continue;
                const std::size_t cell = cb[k] * row + static_cast<std::size_t>(s1);
                if (table[cell] + extra[k] < first) {
                    first = table[cell] + extra[k];
                    entry = table_entry[cell];
                }
            }
            if (first == infinity) continue;
            const double v = first + joined.at(s1, -1) + d.idle * start;
            if (v < best.value) best = {v, entry, static_cast<std::int32_t>(b), -1};
        }
        for (std::size_t k = window_begin; k < window_end; ++k) {
            const HalfEntry& e = entries[window[k]];
            const auto a = static_cast<std::size_t>(e.task);
            const std::int64_t gap = start - d.end[a];
            if (gap < e.min_break) continue;
            const double link = d.pair_cost(e.task, static_cast<std::int32_t>(b)) +
                                (d.tasks[a].end_point != d.tasks[b].start_point ? permitted : 0.0);
            const double v = e.value + link + joined.at(e.span, gap + join.flat_from);
            if (v < best.value) best = {v, static_cast<std::int32_t>(window[k]), static_cast<std::int32_t>(b), static_cast<std::int32_t>(gap)};
        }
        least = std::min(least, best.value);
        if (best.value < threshold) found.push_back(best);
    }
    return least < threshold ? least : infinity;
}

// The first halves of `firsts` (forwards) joined with the second halves of
// `seconds` (backwards: each a staircase of the first long gap after the
// break) across a break of at least both min_breaks, one pair at a time
// after what cannot reach the threshold is left out; as join_entries, with
// `other` of each join found the second half's entry.
double join_pairs(const Data& d, const std::vector<HalfEntry>& firsts, const std::vector<HalfEntry>& seconds,
                  double threshold, const std::function<bool()>& stop, bool& stopped, std::vector<Joined>& found,
                  std::vector<std::int32_t>& other) {
    const std::size_t n = d.n;
    auto start_of = [&](const HalfEntry& e) { return static_cast<std::size_t>(d.forward_of[static_cast<std::size_t>(e.task)]); };
    // The least second half at each start, and the least first half - idle x end up to each end.
    std::vector<double> least_second(n, infinity);
    for (const HalfEntry& e : seconds) least_second[start_of(e)] = std::min(least_second[start_of(e)], e.value);
    std::vector<double> suffix(n + 1, infinity);
    for (std::size_t p = n; p-- > 0;) suffix[p] = std::min(suffix[p + 1], d.idle * d.start[p] + least_second[p]);
    std::vector<std::size_t> kept_first;
    for (std::size_t k = 0; k < firsts.size(); ++k) {
        const auto a = static_cast<std::size_t>(firsts[k].task);
        if (firsts[k].value + suffix[first_after_break(d, a)] - d.idle * d.end[a] < threshold) kept_first.push_back(k);
    }
    if (kept_first.empty()) return infinity;
    std::sort(kept_first.begin(), kept_first.end(), [&](std::size_t x, std::size_t y) {
        return d.end[static_cast<std::size_t>(firsts[x].task)] < d.end[static_cast<std::size_t>(firsts[y].task)];
    });
    std::vector<double> prefix(kept_first.size());
    for (std::size_t i = 0; i < kept_first.size(); ++i) {
        const HalfEntry& e = firsts[kept_first[i]];
        prefix[i] = std::min(i > 0 ? prefix[i - 1] : infinity, e.value - d.idle * d.end[static_cast<std::size_t>(e.task)]);
    }
    auto ended_by = [&](std::int64_t minute) {  // first halves ending by then
        return static_cast<std::size_t>(std::upper_bound(kept_first.begin(), kept_first.end(), minute, [&](std::int64_t t, std::size_t k) {
                                            return t < d.end[static_cast<std::size_t>(firsts[k].task)];
                                        }) -
                                        kept_first.begin());
    };
    const SplitJoin join = split_join(d.rules);
    const double permitted = d.rules.weights.tp_permitida, overtime = d.rules.weights.h_extra;
    double least = infinity;
    for (std::size_t k = 0; k < seconds.size(); ++k) {
        if (stop && k % 256 == 0 && stop()) {
            stopped = true;
            return least;
        }
        const HalfEntry& y = seconds[k];
        const std::size_t b = start_of(y);
        const std::size_t count = ended_by(std::int64_t{d.start[b]} - std::max(d.long_gap, y.min_break));
        if (count == 0 || y.value + d.idle * d.start[b] + prefix[count - 1] >= threshold) continue;
        Joined best{infinity, -1, static_cast<std::int32_t>(b), -1};
        for (std::size_t i = 0; i < count; ++i) {
            const HalfEntry& x = firsts[kept_first[i]];
            const auto a = static_cast<std::size_t>(x.task);
            const std::int64_t gap = d.start[b] - d.end[a];
            if (gap < x.min_break) continue;
            const std::int64_t work = std::int64_t{x.span} + y.span;
            double v = x.value + y.value + d.pair_cost(x.task, static_cast<std::int32_t>(b)) +
                       (d.tasks[a].end_point != d.tasks[b].start_point ? permitted : 0.0) + static_cast<double>(split_day_term(work, d.rules));
            if (work <= join.rising_from) v += overtime * static_cast<double>(std::max<std::int64_t>(0, work - gap - join.flat_from));
            if (v < best.value) best = {v, static_cast<std::int32_t>(kept_first[i]), static_cast<std::int32_t>(b), -1};
        }
        least = std::min(least, best.value);
        if (best.value < threshold) {
            found.push_back(best);
            other.push_back(static_cast<std::int32_t>(k));
        }
    }
    return least < threshold ? least : infinity;
}

// The walk back from point p of the staircase at y (w labelled from `first`),
// appended in schedule order as positions; false where it cannot be followed.
bool trace_stair(const Data& d, const Prices& prices, const Workspace& w, std::int32_t first, std::size_t y, Step p, Day& out) {
    Day reversed;
    auto at = static_cast<std::int32_t>(y);
    for (std::size_t steps = 0; steps <= 2 * d.n; ++steps) {
        reversed.push_back(at);
        const std::int32_t x = p.task;
        if (x < 0) return false;
        const auto ux = static_cast<std::size_t>(x);
        if (p.from == -1) {
            if (!trace(w.scratch_from, w.scratch_entry, first, x, d, prices, out)) return false;
            out.insert(out.end(), reversed.rbegin(), reversed.rend());
            return true;
        }
        if (p.from <= -2) {  // a run through the start minute: its tasks of negative gain
            const auto ua = static_cast<std::size_t>(at);
            for (auto i = static_cast<std::size_t>(d.group_begin[ua]); i < static_cast<std::size_t>(d.group_end[ua]); ++i)
                if (i != ua && i != ux && prices.gain[i] < 0) reversed.push_back(static_cast<std::int32_t>(i));
            const auto k = static_cast<std::size_t>(-2 - p.from);
            if (k >= w.before_run[ux].size()) return false;
            p = w.before_run[ux][k];
        } else {
            if (static_cast<std::size_t>(p.from) >= w.stair[ux].size()) return false;
            p = w.stair[ux][static_cast<std::size_t>(p.from)];
        }
        at = x;
    }
    return false;
}

// A join found and how its halves were read: a staircase and a plain
// second half (0), a plain first half and a staircase backwards (1), or a
// staircase each way (2, `other` the backwards entry).
struct Found {
    Joined join;
    int kind;
    std::int32_t other = -1;
};

// The days behind the least joins found, as task list positions. `second`
// and `second_backwards` are the tables of plain second halves, forwards and
// backwards, that were joined.
void trace_joins(const Data& d, const Prices& prices, const Prices& backwards, double crew_dual,
                 const std::vector<HalfEntry>& entries, const std::vector<HalfEntry>& entries_backwards, std::vector<Found> found,
                 const std::vector<double>& second, const std::vector<double>& second_backwards, PricingResult& result) {
    const Data& m = *d.mirror;
    const std::size_t n = d.n;
    const auto row = static_cast<std::size_t>(d.width + 1);
    const SplitJoin join = split_join(d.rules);
    std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) { return x.join.value < y.join.value; });
    if (found.empty()) return;
    if (found.size() > 40) found.resize(40);
    Workspace w(d), wm(m);
    std::vector<double> scratch_second(row), scratch_contained(row);
    auto relabel = [&](const Data& data, const Prices& p, Workspace& space, std::size_t f) {
        std::fill(scratch_second.begin(), scratch_second.end(), infinity);
        std::fill(scratch_contained.begin(), scratch_contained.end(), infinity);
        label_from(data, p, crew_dual, static_cast<std::int32_t>(f), space, space.scratch_from.data(), space.scratch_entry.data(),
                   scratch_second.data(), nullptr, scratch_contained.data());
    };
    // The staircase walk of an entry, as task list positions in schedule order.
    auto stair_walk = [&](bool backward, const HalfEntry& e, Day& out) {
        const Data& data = backward ? m : d;
        const Prices& p = backward ? backwards : prices;
        Workspace& space = backward ? wm : w;
        if (e.first < 0) return false;
        relabel(data, p, space, static_cast<std::size_t>(e.first));
        const std::int32_t gap = e.min_break - (backward ? 1 : 0);
        Day walk;
        for (const Step& point : space.stair[static_cast<std::size_t>(e.task)])
            if (point.gap == gap && point.value == e.value) {
                if (!trace_stair(data, p, space, e.first, static_cast<std::size_t>(e.task), point, walk)) return false;
                const Day positions = to_task_positions(walk, data);
                if (backward) out.insert(out.end(), positions.rbegin(), positions.rend());
                else out.insert(out.end(), positions.begin(), positions.end());
                return true;
            }
        return false;
    };
    // The span of the plain half (second from b, or first to b read backwards) joined with one of span s1.
    auto other_span = [&](const double* halves, std::int64_t s1, std::int32_t gap) {
        double least = infinity;
        std::int32_t at = -1;
        for (std::size_t s2 = 0; s2 < row; ++s2) {
            if (halves[s2] == infinity) continue;
            const std::int64_t work = s1 + static_cast<std::int64_t>(s2);
            double v = halves[s2] + static_cast<double>(split_day_term(work, d.rules));
            if (gap >= 0) v += d.rules.weights.h_extra * static_cast<double>(std::max<std::int64_t>(0, work - gap - join.flat_from));
            if (v < least) {
                least = v;
                at = static_cast<std::int32_t>(s2);
            }
        }
        return at;
    };
    // The plain walk from `first` to `last` of that value, as task list positions.
    auto plain_walk = [&](std::size_t first, std::size_t last, double value, Day& out) {
        relabel(d, prices, w, first);
        Day walk;
        if (w.plain[last] != value ||
            !trace(w.plain_from, w.plain_entry, static_cast<std::int32_t>(first), static_cast<std::int32_t>(last), d, prices, walk))
            return false;
        const Day positions = to_task_positions(walk, d);
        out.insert(out.end(), positions.begin(), positions.end());
        return true;
    };
    for (const Found& found_join : found) {
        const Joined& j = found_join.join;
        Day positions;
        if (found_join.kind == 0) {
            const HalfEntry& e = entries[static_cast<std::size_t>(j.entry)];
            const auto b = static_cast<std::size_t>(j.b);
            const std::int32_t s2 = other_span(&second[b * row], e.span, j.gap);
            if (s2 < 0 || !stair_walk(false, e, positions)) continue;
            const double value = second[b * row + static_cast<std::size_t>(s2)];
            bool traced = false;
            for (auto l = static_cast<std::size_t>(d.group_begin[b]); l < n && !traced; ++l)
                if (d.end[l] - d.start[b] == s2) traced = plain_walk(b, l, value, positions);
            if (!traced) continue;
        } else if (found_join.kind == 1) {
            const HalfEntry& e = entries_backwards[static_cast<std::size_t>(j.entry)];
            const auto b = static_cast<std::size_t>(j.b);
            const std::int32_t s2 = other_span(&second_backwards[b * row], e.span, j.gap);
            if (s2 < 0) continue;
            // The plain first half ending at a, then the staircase read backwards.
            const auto a = static_cast<std::size_t>(d.forward_of[b]);
            const double value = second_backwards[b * row + static_cast<std::size_t>(s2)];
            const std::int32_t start = d.end[a] - s2;
            bool traced = false;
            for (auto f = static_cast<std::size_t>(std::lower_bound(d.start.begin(), d.start.end(), start) - d.start.begin());
                 f < n && d.start[f] == start && !traced; ++f)
                traced = plain_walk(f, a, value, positions);
            if (!traced || !stair_walk(true, e, positions)) continue;
        } else {
            if (!stair_walk(false, entries[static_cast<std::size_t>(j.entry)], positions) ||
                !stair_walk(true, entries_backwards[static_cast<std::size_t>(found_join.other)], positions))
                continue;
        }
        if (!elementary(positions)) continue;
        if (result.best_split.empty()) result.best_split = positions;
        if (j.value - crew_dual < -1e-6) result.days.push_back(std::move(positions));
    }
}

// The split days of two long gaps or more (see the header). The break is
// the longest gap, the last of them where several tie: the long gap before
// it, if any, is at most as long (a staircase of the first half's last long
// gap), and the one after it, if any, shorter (a staircase of the second
// half's first long gap, read backwards from the day's last task). So a
// first half with a staircase joins a plain second half or one with a
// staircase, and a plain first half one with a staircase. Second halves
// whose backwards reading is no walk (contained) join a plain first half or
// one with a staircase with no more said of their long gaps. Each at its
// crew cost with the gap between the halves as the break.
// `result` as it stands before any day is priced, over at least one task.
PricingResult price_multi(const Data& d, std::span<const double> task_duals, double crew_dual, const std::function<bool()>& stop,
                          double threshold, PricingResult result) {
    const std::size_t n = d.n;
    const double limit = threshold + crew_dual;  // before the crew dual
    const Data& m = *d.mirror;
    Prices prices = prices_of(d, task_duals), backwards = prices_of(m, task_duals);
    prices.threshold = backwards.threshold = limit;
    ready_staircases(d, prices);
    ready_staircases(m, backwards);
    prices.before.resize(n);
    backwards.before.resize(n);
    for (std::size_t p = 0; p < n; ++p) {
        const auto q = static_cast<std::size_t>(d.mirror_of[p]);
        prices.before[p] = backwards.after[q];
        backwards.before[q] = prices.after[p];
    }
    const auto row = static_cast<std::size_t>(d.width + 1);
    std::vector<double> second_half(n * row, infinity), second_contained(n * row, infinity);
    // One labelling from every first task, forwards or backwards.
    auto label_all = [&](const Data& data, const Prices& p, std::vector<Workspace>& spaces) {
        const unsigned threads = std::min<unsigned>(d.threads, static_cast<unsigned>(n));
        for (unsigned t = 0; t < threads; ++t) spaces.emplace_back(data);
        return label_every_first(n, spaces, stop, [&](std::size_t f, Workspace& w) {
            label_from(data, p, crew_dual, static_cast<std::int32_t>(f), w, w.scratch_from.data(), w.scratch_entry.data(),
                       data.mirrored ? nullptr : &second_half[f * row], nullptr, data.mirrored ? nullptr : &second_contained[f * row]);
        });
    };
    std::vector<Workspace> forwards;
    if (!label_all(d, prices, forwards)) return result;
    Workspace& w0 = forwards[0];
    for (std::size_t t = 1; t < forwards.size(); ++t) {
        for (std::size_t i = 0; i < w0.first_half_plain.size(); ++i)
            w0.first_half_plain[i] = std::min(w0.first_half_plain[i], forwards[t].first_half_plain[i]);
        w0.entries.insert(w0.entries.end(), forwards[t].entries.begin(), forwards[t].entries.end());
        forwards[t].first_half_plain = {};  // its memory back
    }
    std::vector<Workspace> mirrored;
    if (!label_all(m, backwards, mirrored)) return result;
    std::vector<HalfEntry> entries_backwards;
    for (Workspace& w : mirrored) entries_backwards.insert(entries_backwards.end(), w.entries.begin(), w.entries.end());
    mirrored.clear();
    // Backwards, the second halves are the first halves without a long gap.
    std::vector<double> second_backwards(n * row, infinity);
    std::vector<HalfEntry> plain_entries;
    for (std::size_t a = 0; a < n; ++a) {
        const auto q = static_cast<std::size_t>(d.mirror_of[a]);
        for (std::size_t s = 0; s < row; ++s) {
            const double v = w0.first_half_plain[a * row + s];
            second_backwards[q * row + s] = v;
            if (v < infinity) plain_entries.push_back({static_cast<std::int32_t>(a), static_cast<std::int32_t>(s), d.long_gap, v});
        }
    }
    bool halted = false;
    std::vector<Joined> found, found_backwards, found_pairs, found_contained;
    std::vector<std::int32_t> other;
    double least = join_entries(d, w0.entries, second_half.data(), limit, stop, halted, found);
    least = std::min(least, join_entries(m, entries_backwards, second_backwards.data(), limit, stop, halted, found_backwards));
    least = std::min(least, join_pairs(d, w0.entries, entries_backwards, limit, stop, halted, found_pairs, other));
    least = std::min(least, join_entries(d, plain_entries, second_contained.data(), limit, stop, halted, found_contained));
    least = std::min(least, join_entries(d, w0.entries, second_contained.data(), limit, stop, halted, found_contained));
    if (halted) return result;
    // The least days, where they can be traced (not those of contained second halves).
    std::vector<Found> joins;
    for (const Joined& j : found) joins.push_back({j, 0});
    for (const Joined& j : found_backwards) joins.push_back({j, 1});
    for (std::size_t k = 0; k < found_pairs.size(); ++k) joins.push_back({found_pairs[k], 2, other[k]});
    w0.first_half_plain = {};
    trace_joins(d, prices, backwards, crew_dual, w0.entries, entries_backwards, std::move(joins), second_half, second_backwards, result);
    result.least_split_reduced_cost = least - crew_dual;
    result.least_reduced_cost = std::min(d.empty_day, least) - crew_dual;
    result.complete = true;
    return result;
}

}  // namespace

std::vector<std::int32_t> positions_by_start(const l_tarefas& tasks) {
    std::vector<std::int32_t> order(tasks.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        return tasks[static_cast<std::size_t>(a)].start_time < tasks[static_cast<std::size_t>(b)].start_time;
    });
    return order;
}

namespace {

void build(Data& d, const l_tarefas& tasks, unsigned threads, PricerMode mode, const Rules& rules) {
    d.crew_cost_plain = mode == PricerMode::crew_cost_plain;
    d.split_crew_cost = mode == PricerMode::split_at_crew_cost;
    d.multi_split = mode == PricerMode::multi_split_only;
    d.overtime_gap = static_cast<std::int32_t>(split_join(rules).rising_from) - rules.limits.split_workday - 1;
    d.rules = rules;
    d.long_gap = rules.limits.split_gap + 1;
    d.idle = rules.weights.t_ocioso;
    d.empty_day = static_cast<double>(priced_cost(std::span<const Task>{}, rules));
    d.vehicle_change = rules.weights.t_veiculo;
    d.point_change = rules.weights.tp_proibida;
    d.long_gap_changes = {d.vehicle_change + d.point_change, d.point_change, d.vehicle_change, 0.0};
    d.n = tasks.size();
    d.threads = std::max(1u, threads);
    d.original = positions_by_start(tasks);
    std::map<std::int32_t, std::int32_t> vehicle_ids, point_ids;
    std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> pair_ids;
    for (std::int32_t p : d.original) {
        const Task& t = tasks[static_cast<std::size_t>(p)];
        d.tasks.push_back(t);
        vehicle_ids.emplace(t.vehicle, static_cast<std::int32_t>(vehicle_ids.size()));
        point_ids.emplace(t.start_point, static_cast<std::int32_t>(point_ids.size()));
        point_ids.emplace(t.end_point, static_cast<std::int32_t>(point_ids.size()));
        pair_ids.emplace(std::pair{t.vehicle, t.end_point}, static_cast<std::int32_t>(pair_ids.size()));
    }
    d.vehicles = vehicle_ids.size();
    d.points = point_ids.size();
    d.pairs = pair_ids.size();
    std::int32_t earliest = 0, latest = 0;
    for (std::size_t i = 0; i < d.n; ++i) {
        const Task& t = d.tasks[i];
        d.start.push_back(t.start_time);
        d.end.push_back(t.end_time);
        d.slack_cost.push_back(d.idle * t.slack);
        d.vehicle_id.push_back(vehicle_ids.at(t.vehicle));
        d.start_point_id.push_back(point_ids.at(t.start_point));
        d.end_point_id.push_back(point_ids.at(t.end_point));
        d.pair_end_id.push_back(pair_ids.at({t.vehicle, t.end_point}));
        const auto found = pair_ids.find({t.vehicle, t.start_point});
        d.pair_start_id.push_back(found == pair_ids.end() ? -1 : found->second);
        earliest = i == 0 ? t.start_time : std::min(earliest, t.start_time);
        latest = i == 0 ? t.end_time : std::max(latest, t.end_time);
    }
    d.width = std::max(0, latest - earliest);
    d.group_begin.resize(d.n);
    d.group_end.resize(d.n);
    for (std::size_t i = 0; i < d.n;) {
        std::size_t j = i;
        while (j < d.n && d.start[j] == d.start[i]) ++j;
        for (std::size_t k = i; k < j; ++k) {
            d.group_begin[k] = static_cast<std::int32_t>(i);
            d.group_end[k] = static_cast<std::int32_t>(j);
        }
        i = j;
    }
    d.out_cost.assign(d.n, 0.0);
    for (std::size_t a = 0; a < d.n; ++a) {
        double least = infinity;
        for (auto b = static_cast<std::size_t>(d.group_begin[a]); b < static_cast<std::size_t>(d.group_end[a]); ++b)
            if (b != a) least = std::min(least, d.pair_cost(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b)));
        d.out_cost[a] = least == infinity ? 0.0 : least;
    }
    d.by_end.resize(d.n);
    std::iota(d.by_end.begin(), d.by_end.end(), 0);
    std::stable_sort(d.by_end.begin(), d.by_end.end(),
                     [&](std::int32_t a, std::int32_t b) { return d.end[static_cast<std::size_t>(a)] < d.end[static_cast<std::size_t>(b)]; });
    d.link_begin.assign(1, 0);
    for (std::size_t b = 0; b < d.n; ++b) {
        for (std::size_t a = 0; a < static_cast<std::size_t>(d.group_begin[b]); ++a)
            if (d.start[b] - d.end[a] < d.long_gap)
                d.links.push_back({static_cast<std::int32_t>(a), d.pair_cost(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b))});
        d.link_begin.push_back(d.links.size());
    }
}

}  // namespace

Pricer::Pricer(const l_tarefas& tasks, unsigned threads, PricerMode mode, const Rules& rules) : data_(new Data) {
    Data& d = *data_;
    build(d, tasks, threads, mode, rules);
    if (mode != PricerMode::multi_split_only) return;
    std::int32_t latest = 0;
    for (const Task& t : tasks) latest = std::max(latest, t.end_time);
    l_tarefas backwards = tasks;
    for (Task& t : backwards) {
        t.start_time = latest - t.end_time;
        t.end_time = latest - tasks[static_cast<std::size_t>(&t - backwards.data())].start_time;
        std::swap(t.start_point, t.end_point);
    }
    d.mirror = std::make_unique<Data>();
    build(*d.mirror, backwards, threads, mode, rules);
    d.mirror->mirrored = true;
    std::vector<std::int32_t> place(d.n);
    for (std::size_t q = 0; q < d.n; ++q) place[static_cast<std::size_t>(d.mirror->original[q])] = static_cast<std::int32_t>(q);
    d.mirror_of.resize(d.n);
    d.forward_of.resize(d.n);
    for (std::size_t p = 0; p < d.n; ++p) {
        d.mirror_of[p] = place[static_cast<std::size_t>(d.original[p])];
        d.forward_of[static_cast<std::size_t>(d.mirror_of[p])] = static_cast<std::int32_t>(p);
    }
}

Pricer::~Pricer() { delete data_; }

std::size_t Pricer::links() const { return data_->links.size(); }

PricingResult Pricer::price(std::span<const double> task_duals, double crew_dual, const std::function<bool()>& stop,
                            double threshold) {
    const Data& d = *data_;
    const std::size_t n = d.n;
    PricingResult result;
    result.least_reduced_cost = d.empty_day - crew_dual;
    result.least_split_reduced_cost = infinity;
    if (n == 0) {
        result.complete = true;
        return result;
    }
    if (d.multi_split) return price_multi(d, task_duals, crew_dual, stop, threshold, std::move(result));
    const Prices prices = prices_of(d, task_duals);

    const auto row = static_cast<std::size_t>(d.width + 1);
    std::vector<std::int32_t> any_from(n * n, -1), any_entry(n * n, -1);
    std::vector<double> second_half(n * row, infinity);
    std::vector<std::int32_t> second_half_last(n * row, -1);
    std::vector<Workspace> spaces;
    const unsigned threads = std::min<unsigned>(d.threads, static_cast<unsigned>(n));
    for (unsigned t = 0; t < threads; ++t) spaces.emplace_back(d);
    std::vector<double> plain_by_first(n, infinity);
    for (Workspace& w : spaces) w.plain_by_first = &plain_by_first;
    if (!label_every_first(n, spaces, stop, [&](std::size_t f, Workspace& w) {
            label_from(d, prices, crew_dual, static_cast<std::int32_t>(f), w, &any_from[f * n], &any_entry[f * n], &second_half[f * row],
                       &second_half_last[f * row]);
        }))
        return result;
    result.least_plain_by_first.assign(n, infinity);
    for (std::size_t i = 0; i < n; ++i) result.least_plain_by_first[static_cast<std::size_t>(d.original[i])] = plain_by_first[i];

    // Merge the threads' first-half tables and plain days.
    Workspace& w0 = spaces[0];
    for (unsigned t = 1; t < threads; ++t) {
        Workspace& w = spaces[t];
        for (std::size_t i = 0; i < w.first_half.size(); ++i)
            if (w.first_half[i] < w0.first_half[i]) {
                w0.first_half[i] = w.first_half[i];
                w0.first_half_from[i] = w.first_half_from[i];
            }
        if (w.least_plain < w0.least_plain) {
            w0.least_plain = w.least_plain;
            w0.least_plain_first = w.least_plain_first;
            w0.least_plain_last = w.least_plain_last;
            w0.least_plain_day = std::move(w.least_plain_day);
        }
        for (Day& day : w.days) w0.days.push_back(std::move(day));
    }
    result.days = std::move(w0.days);
    double least = d.empty_day;
    if (w0.least_plain < least && d.crew_cost_plain) {
        least = w0.least_plain;
        result.best = w0.least_plain_day;
    } else if (w0.least_plain < least) {
        least = w0.least_plain;
        // The day itself is traced again from its first task.
        Workspace w(d);
        std::vector<std::int32_t> scratch_from(n), scratch_entry(n);
        std::vector<double> scratch(row, infinity);
        std::vector<std::int32_t> scratch_last(row);
        label_from(d, prices, infinity, w0.least_plain_first, w, scratch_from.data(), scratch_entry.data(), scratch.data(),
                   scratch_last.data());
        Day day;
        if (trace(w.plain_from, w.plain_entry, w0.least_plain_first, w0.least_plain_last, d, prices, day) &&
            elementary(day))
            result.best = to_task_positions(day, d);
    }

    // Split days: sweep the second half's first task b in start order; the
    // first halves that end long enough before b are in the category tables,
    // by span. At their crew cost, the first halves whose break to b is short
    // enough for overtime (a split day's overtime is its work less the break
    // less the split workday) are joined one by one instead.
    double least_split = infinity;
    auto sweep = [&](const std::vector<double>& halves_first, const std::vector<double>& halves_second) {
        const std::size_t cats = d.categories();
        std::vector<double> table(cats * row, infinity);
        std::vector<std::int32_t> table_task(cats * row, -1);
        const SplitJoin join = split_join(d.rules);
        const double overtime = d.split_crew_cost ? static_cast<double>(d.rules.weights.h_extra) : 0.0;
        HalfJoin joined(d.rules, row, overtime);
        const std::int32_t table_gap = d.split_crew_cost ? std::max(d.long_gap, d.overtime_gap + 1) : d.long_gap;
        // The spans at which each task ends a first half.
        std::vector<std::int32_t> span_low(n, d.width + 1), span_high(n, -1);
        for (std::size_t a = 0; a < n; ++a)
            for (std::int32_t s = 0; s <= d.width; ++s)
                if (halves_first[a * row + static_cast<std::size_t>(s)] < infinity) {
                    span_low[a] = std::min(span_low[a], s);
                    span_high[a] = s;
                }
        // The split term (and overtime, at a break of `gap` minutes; 0: none) of a split day's work.
        auto work_term = [&](std::int64_t work, std::int64_t gap) {
            double v = static_cast<double>(split_day_term(work, d.rules));
            if (gap > 0) v += overtime * static_cast<double>(std::max<std::int64_t>(0, work - gap - join.flat_from));
            return v;
        };
        std::size_t next_end = 0, window_begin = 0, window_end = 0;  // into by_end
        std::int64_t lowest_span = d.width + 1, highest_span = -1;
        for (std::size_t b = 0; b < n; ++b) {
            if (stop && stop()) return false;
            while (next_end < n && d.end[static_cast<std::size_t>(d.by_end[next_end])] <= d.start[b] - table_gap) {
                const auto a = static_cast<std::size_t>(d.by_end[next_end++]);
                const std::array<std::size_t, 4> c = d.end_categories(a);
                for (std::int64_t s = span_low[a]; s <= span_high[a]; ++s) {
                    const double v = halves_first[a * row + static_cast<std::size_t>(s)];
                    if (v == infinity) continue;
                    lowest_span = std::min<std::int64_t>(lowest_span, s);
                    highest_span = std::max<std::int64_t>(highest_span, s);
                    const double value = v - d.idle * d.end[a];
                    for (std::size_t k : c)
                        if (value < table[k * row + static_cast<std::size_t>(s)]) {
                            table[k * row + static_cast<std::size_t>(s)] = value;
                            table_task[k * row + static_cast<std::size_t>(s)] = static_cast<std::int32_t>(a);
                        }
                }
            }
            // The first halves joined one by one: breaks of long_gap to overtime_gap minutes.
            if (d.split_crew_cost) {
                while (window_end < n && d.end[static_cast<std::size_t>(d.by_end[window_end])] <= d.start[b] - d.long_gap) ++window_end;
                while (window_begin < window_end && d.end[static_cast<std::size_t>(d.by_end[window_begin])] <= d.start[b] - table_gap)
                    ++window_begin;
            }
            const bool window = window_begin < window_end;
            if (highest_span < 0 && !window) continue;
            const double* second = &halves_second[b * row];
            if (!joined.build(second, window)) continue;
            const std::array<std::size_t, 4> cb = d.start_categories(b);
            // At their crew cost, a point change at the break is also a permitted one.
            const double permitted = d.crew_cost_plain ? 300.0 : d.split_crew_cost ? static_cast<double>(d.rules.weights.tp_permitida) : 0.0;
            const double extra[4] = {d.vehicle_change + d.point_change + permitted, d.point_change + permitted,
                                     d.vehicle_change, 0.0};
            double best = infinity;
            std::int64_t best_span = -1, best_gap = 0;
            std::size_t best_category = 0;
            std::int32_t best_a = -1;  // a first half joined one by one
            for (std::int64_t s1 = lowest_span; s1 <= highest_span; ++s1) {
                double first = infinity;
                std::size_t category = 0;
                for (int k = 0; k < 4; ++k) {
                    if (cb[k] == cats) continue;
                    const double v = table[cb[k] * row + static_cast<std::size_t>(s1)] + extra[k];
                    if (v < first) {
                        first = v;
                        category = cb[k];
                    }
                }
                if (first == infinity) continue;
                const double v = first + joined.at(s1, -1) + d.idle * d.start[b];
                if (v < best) {
                    best = v;
                    best_span = s1;
                    best_category = category;
                    best_a = -1;
                    best_gap = 0;
                }
            }
            for (std::size_t k = window_begin; k < window_end; ++k) {
                const auto a = static_cast<std::size_t>(d.by_end[k]);
                const std::int64_t gap = d.start[b] - d.end[a];
                const double link = d.pair_cost(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b)) +
                                    (d.tasks[a].end_point != d.tasks[b].start_point ? permitted : 0.0);
                for (std::int64_t s1 = span_low[a]; s1 <= span_high[a]; ++s1) {
                    const double v1 = halves_first[a * row + static_cast<std::size_t>(s1)];
                    if (v1 == infinity) continue;
                    const double v = v1 + link + joined.at(s1, gap + join.flat_from);
                    if (v < best) {
                        best = v;
                        best_span = s1;
                        best_a = static_cast<std::int32_t>(a);
                        best_gap = gap;
                    }
                }
            }
            if (best_span < 0) continue;
            const bool least_so_far = best < least;
            if (least_so_far) least = best;
            const bool least_split_so_far = best < least_split;
            if (least_split_so_far) least_split = best;
            if (best - crew_dual >= -1e-6 && !least_so_far && !least_split_so_far) continue;
            // The day: its first half from the tables, its second half's span by a scan.
            const std::int32_t a = best_a >= 0 ? best_a : table_task[best_category * row + static_cast<std::size_t>(best_span)];
            if (a < 0) continue;
            const std::int32_t first = w0.first_half_from[static_cast<std::size_t>(a) * row + static_cast<std::size_t>(best_span)];
            double closest = infinity;
            std::int32_t last = -1;
            for (std::size_t s2 = 0; s2 < row; ++s2) {
                if (second[s2] == infinity) continue;
                const double v = second[s2] + work_term(best_span + static_cast<std::int64_t>(s2), best_gap);
                if (v < closest) {
                    closest = v;
                    last = second_half_last[b * row + s2];
                }
            }
            Day day;
            if (first < 0 || last < 0) continue;
            const auto first_row = static_cast<std::size_t>(first) * n;
            if (!trace({&any_from[first_row], n}, {&any_entry[first_row], n}, first, a, d, prices, day)) continue;
            if (!trace({&any_from[b * n], n}, {&any_entry[b * n], n}, static_cast<std::int32_t>(b), last, d, prices, day))
                continue;
            if (!elementary(day)) continue;
            Day positions = to_task_positions(day, d);
            if (least_so_far) result.best = positions;
            if (least_split_so_far) result.best_split = positions;
            if (best - crew_dual < -1e-6) result.days.push_back(std::move(positions));
        }
        return true;
    };
    if (!sweep(w0.first_half, second_half)) return result;
    if (least == d.empty_day) result.best.clear();
    result.least_reduced_cost = least - crew_dual;
    result.least_split_reduced_cost = least_split - crew_dual;
    result.complete = true;
    return result;
}

}  // namespace escala::columns
