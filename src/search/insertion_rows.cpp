#include "search/insertion_rows.hpp"

#include <algorithm>
#include <cstring>

namespace escala {

namespace {

// Eight 32-bit lanes. Arithmetic is done on the unsigned type, where it
// wraps modulo 2^32, and read back as signed where a comparison needs it:
// the same values the scalar code gets from wrap_add and wrap_sub.
using vi = std::int32_t __attribute__((vector_size(32)));
using vu = std::uint32_t __attribute__((vector_size(32)));
constexpr std::size_t kLanes = sizeof(vi) / sizeof(std::int32_t);
static_assert(kLanes < kRunPadding);

// The pair aggregate of every lane, as PairAggregate keeps it for one schedule.
struct LanePairs {
    vi longest, permitted;
    vu gap_time, overlap, vehicle_changes, point_changes;
};

// Adds the pair (prev, next) in every lane. A comparison gives -1 in the
// lanes where it holds, 0 elsewhere, so subtracting it counts.
[[gnu::always_inline]] inline void add_lane_pair(LanePairs& a, const vi& prev_end, const vi& prev_end_point,
                                                 const vi& prev_vehicle, const vi& next_start,
                                                 const vi& next_start_point, const vi& next_vehicle) {
    const vi zero{};
    const vi gap = (vi)((vu)next_start - (vu)prev_end);
    const vi point_change = next_start_point != prev_end_point;
    const vi longer = gap > a.longest;
    const vi tie = gap == a.longest;
    a.permitted = longer ? -point_change : (tie ? a.permitted - point_change : a.permitted);
    a.longest = longer ? gap : a.longest;
    a.gap_time += (vu)(gap >= 1 ? gap : zero);
    a.overlap += (vu)(next_start < prev_end ? (vi)((vu)prev_end - (vu)next_start) : zero);
    a.vehicle_changes -= (vu)(next_vehicle != prev_vehicle);
    a.point_changes -= (vu)point_change;
}

// escala's own rules as constants: under them the kernels fold the numbers in.
constexpr Rules escala_rules{};
static_assert(sizeof(Rules) == 19 * sizeof(std::uint32_t), "Rules is compared as bytes: no padding");

// Whether `rules` are escala's own, in a few vector compares (the kernels ask per slot).
bool are_escala_rules(const Rules& rules) { return std::memcmp(&rules, &escala_rules, sizeof(Rules)) == 0; }

// The insertion of tasks [begin, end) at one slot; the slot's neighbours,
// and whether the rules are escala's own, are known at compile time, the
// rest is read from the slot.
template <bool kLeft, bool kRight, bool kEscalaRules>
[[gnu::always_inline]] inline void insert_run(const Slot& s, std::uint32_t receiver_slack, const TaskColumns& t,
                                              std::size_t begin, std::size_t end, const Rules& given,
                                              std::uint32_t* out) {
    // The weights and limits in locals, read once for the whole run.
    const Rules& rules = kEscalaRules ? escala_rules : given;
    const Pesos w = rules.weights;
    const Limits l = rules.limits;
    const vi zero{};
    const vi split_gap = zero + l.split_gap, break_gap = zero + l.break_gap;
    const vi virtual_idle = zero + l.virtual_idle, virtual_short = zero + l.virtual_short;
    const vi workday = zero + l.workday, split_workday = zero + l.split_workday;
    const vu excess_after = (vu)zero + static_cast<std::uint32_t>(l.excess_after);
    const vu rest_left = (vu)zero + static_cast<std::uint32_t>(l.min_rest - day_minutes);
    for (std::size_t x = begin; x < end; x += kLanes) {
        vi start, finish, start_point, end_point, vehicle, slack;
        std::memcpy(&start, t.start.data() + x, sizeof start);
        std::memcpy(&finish, t.end.data() + x, sizeof finish);
        std::memcpy(&start_point, t.start_point.data() + x, sizeof start_point);
        std::memcpy(&end_point, t.end_point.data() + x, sizeof end_point);
        std::memcpy(&vehicle, t.vehicle.data() + x, sizeof vehicle);
        std::memcpy(&slack, t.slack.data() + x, sizeof slack);

        const PairAggregate& u = s.untouched;
        LanePairs pairs{zero + u.longest_gap,      zero + u.permitted_changes,  (vu)zero + u.gap_time,
                        (vu)zero + u.overlap_time, (vu)zero + u.vehicle_changes, (vu)zero + u.point_changes};
        vi first_start = start;
        vi last_end = finish;
        if constexpr (kLeft) {  // the pair (left neighbour, task)
            add_lane_pair(pairs, zero + s.left_end, zero + s.left_end_point, zero + s.left_vehicle, start,
                          start_point, vehicle);
            first_start = zero + s.first_start;
        }
        if constexpr (kRight) {  // the pair (task, right neighbour)
            add_lane_pair(pairs, finish, end_point, vehicle, zero + s.right_start, zero + s.right_start_point,
                          zero + s.right_vehicle);
            last_end = zero + s.last_end;
        }
        const vi longest = pairs.longest, permitted = pairs.permitted;
        const vu gap_time = pairs.gap_time, overlap = pairs.overlap;
        const vu vehicle_changes = pairs.vehicle_changes, point_changes = pairs.point_changes;
        const vi total_slack = (vi)((vu)slack + receiver_slack);

        // The schedule's value, as schedule_value computes it (the schedule
        // has at least one real task).
        const vi split = longest > split_gap;
        const vi gaps = (vi)gap_time;
        const vi idle = (vi)((vu)gaps + (vu)total_slack);
        const vi to_idle = (vi)((vu)virtual_idle - (vu)idle);
        const vi long_gap = split | (longest >= break_gap);
        const vi closing =
            long_gap ? (idle < virtual_idle ? to_idle : zero) : (idle >= virtual_short ? virtual_short : to_idle);
        const vi span = (vi)((vu)last_end + (vu)closing - (vu)first_start);
        const vi work = split ? (vi)((vu)span - (vu)longest) : span;
        const vi threshold = split ? split_workday : workday;
        const vi shortfall = work <= threshold ? (vi)((vu)threshold - (vu)work) : zero;
        const vu idle_time = (vu)shortfall + (vu)gaps + (vu)total_slack;
        const vi split_over = (vi)((vu)work - (vu)longest - (vu)split_workday);
        const vi plain_over = work >= workday ? (vi)((vu)work - (vu)workday) : zero;
        const vi over = split ? (split_over < 0 ? zero : split_over) : plain_over;
        const vi overtime = work > split_workday ? over : zero;
        const vi beyond = (vi)((vu)work - excess_after);
        const vi excess = beyond < 0 ? zero : beyond;
        const vi rest = (vi)(rest_left + (vu)work);
        const vi rest_shortfall = rest < 0 ? zero : rest;

        vu cost = idle_time * w.t_ocioso;
        cost += (vu)overtime * w.h_extra;
        cost += (vu)excess * w.d_jornada;
        cost += overlap * w.t_sobreposicao;
        cost += point_changes * w.tp_proibida;
        cost += (vu)permitted * w.tp_permitida;
        cost += vehicle_changes * w.t_veiculo;
        cost += (vu)rest_shortfall * w.i_jornada;
        cost += (vu)split & w.p_duplas;
        std::memcpy(out + x, &cost, sizeof cost);
    }
}

}  // namespace

void TaskColumns::resize(std::size_t count) {
    for (std::vector<std::int32_t>* column : {&start, &end, &start_point, &end_point, &vehicle, &slack})
        column->assign(count + kRunPadding, 0);
}

namespace {

[[gnu::always_inline]] inline void fill_run(const MemberCache& into, std::size_t slot, const TaskColumns& tasks,
                                            std::size_t begin, std::size_t end, std::uint32_t* out) {
    const Slot& s = into.slot(slot);
    const std::uint32_t slack = into.slack();
    const Rules& rules = into.rules();
    if (are_escala_rules(rules)) {
        if (s.has_left && s.has_right) insert_run<true, true, true>(s, slack, tasks, begin, end, rules, out);
        else if (s.has_left) insert_run<true, false, true>(s, slack, tasks, begin, end, rules, out);
        else if (s.has_right) insert_run<false, true, true>(s, slack, tasks, begin, end, rules, out);
        else insert_run<false, false, true>(s, slack, tasks, begin, end, rules, out);
        return;
    }
    if (s.has_left && s.has_right) insert_run<true, true, false>(s, slack, tasks, begin, end, rules, out);
    else if (s.has_left) insert_run<true, false, false>(s, slack, tasks, begin, end, rules, out);
    else if (s.has_right) insert_run<false, true, false>(s, slack, tasks, begin, end, rules, out);
    else insert_run<false, false, false>(s, slack, tasks, begin, end, rules, out);
}

}  // namespace

namespace detail {

void fill_insertion_run_generic(const MemberCache& into, std::size_t slot, const TaskColumns& tasks,
                                std::size_t begin, std::size_t end, std::uint32_t* out) {
    fill_run(into, slot, tasks, begin, end, out);
}

__attribute__((target("avx2"))) void fill_insertion_run_avx2(const MemberCache& into, std::size_t slot,
                                                             const TaskColumns& tasks, std::size_t begin,
                                                             std::size_t end, std::uint32_t* out) {
    fill_run(into, slot, tasks, begin, end, out);
}

bool has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace detail

void fill_insertion_run(const MemberCache& into, std::size_t slot, const TaskColumns& tasks, std::size_t begin,
                        std::size_t end, std::uint32_t* out) {
    if (detail::has_avx2()) detail::fill_insertion_run_avx2(into, slot, tasks, begin, end, out);
    else detail::fill_insertion_run_generic(into, slot, tasks, begin, end, out);
}

void fill_row(const MemberCache& into, const TaskColumns& tasks, std::size_t count, std::uint32_t* out) {
    const std::int32_t* starts = into.starts();
    const std::int32_t* sorted = tasks.start.data();
    const std::size_t n = into.real_count();
    // Slot p takes the tasks that start at or after real task p-1 and before real task p.
    std::size_t begin = 0;
    for (std::size_t p = 0; p <= n && begin < count; ++p) {
        const std::size_t end =
            p < n ? static_cast<std::size_t>(std::lower_bound(sorted + begin, sorted + count, starts[p]) - sorted)
                  : count;
        if (end > begin) fill_insertion_run(into, p, tasks, begin, end, out);
        begin = end;
    }
}

}  // namespace escala
