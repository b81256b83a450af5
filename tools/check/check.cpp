#include "check/check.hpp"

#include <algorithm>
#include <array>
#include <iomanip>
#include <map>
#include <utility>

#include "cli/progress.hpp"
#include "columns/lower_bound.hpp"
#include "columns/roster_program.hpp"
#include "crew/crew_util.hpp"

namespace escala::tools {

namespace {

using TaskKey = std::array<std::int32_t, 8>;

TaskKey key_of(const Task& t) {
    return {t.vehicle, t.start_time, t.end_time, t.start_point, t.end_point, t.slack, t.start_line, t.end_line};
}

std::string line_ref(int line) { return "line " + std::to_string(line); }

// Every real task of the task file must be placed exactly as many times as
// the file holds it.
void check_placement(const l_tarefas& tasks, const Dump& dump, std::vector<Violation>& out) {
    struct Where {
        std::vector<int> records;                     // task-file records
        std::vector<std::pair<int, int>> placements;  // crew, dump line
    };
    std::map<TaskKey, Where> seen;
    for (std::size_t r = 0; r < tasks.size(); ++r) seen[key_of(tasks[r])].records.push_back(static_cast<int>(r) + 1);
    for (std::size_t c = 0; c < dump.crew.size(); ++c)
        for (const DumpTask& t : dump.crew[c].tasks)
            if (t.task.is_virtual == 0) seen[key_of(t.task)].placements.push_back({static_cast<int>(c), t.line});

    for (const auto& [key, where] : seen) {
        const Task task(key[0], key[1], key[2], key[3], key[4], key[5], key[6], key[7]);
        const std::string text = "task " + dump_line(task);
        if (where.records.empty()) {
            for (const auto& [crew, line] : where.placements)
                out.push_back({crew, line, text + " is not in the task file", {task}});
            continue;
        }
        for (std::size_t k = where.records.size(); k < where.placements.size(); ++k) {
            const auto& [first_crew, first_line] = where.placements.front();
            out.push_back({where.placements[k].first, where.placements[k].second,
                           text + " is placed more than once (also crew " + std::to_string(first_crew) + ", " +
                               line_ref(first_line) + ")",
                           {task}});
        }
        for (std::size_t k = where.placements.size(); k < where.records.size(); ++k)
            out.push_back({-1, where.records[k], text + " is in no schedule", {task}});
    }
}

// Start order, overlaps and the closing virtual task of one schedule.
void check_schedule(int crew, const DumpCrew& block, const Rules& rules, std::vector<Violation>& out) {
    std::vector<DumpTask> real;
    for (std::size_t k = 0; k < block.tasks.size(); ++k) {
        const DumpTask& t = block.tasks[k];
        if (t.task.is_virtual == 0)
            real.push_back(t);
        else if (k + 1 != block.tasks.size())
            out.push_back({crew, t.line, "virtual task " + dump_line(t.task) + " is not the last task of the schedule",
                           {t.task}});
    }
    for (std::size_t k = 1; k < real.size(); ++k)
        if (real[k].task.start_time < real[k - 1].task.start_time)
            out.push_back({crew, real[k].line,
                           "task " + dump_line(real[k].task) + " starts before the task on " +
                               line_ref(real[k - 1].line) + "; a schedule runs in start-time order",
                           {real[k].task, real[k - 1].task}});

    std::vector<DumpTask> sorted = real;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const DumpTask& a, const DumpTask& b) { return a.task < b.task; });
    const DumpTask* latest = nullptr;  // the earlier task that ends last
    for (const DumpTask& t : sorted) {
        if (latest != nullptr && t.task.start_time < latest->task.end_time)
            out.push_back({crew, t.line,
                           "task " + dump_line(t.task) + " overlaps the task on " + line_ref(latest->line) + " by " +
                               std::to_string(std::min<std::int64_t>(latest->task.end_time, t.task.end_time) -
                                              t.task.start_time) +
                               " minutes",
                           {t.task, latest->task}});
        if (latest == nullptr || t.task.end_time > latest->task.end_time) latest = &t;
    }

    // The closing virtual task is whatever assigning the real tasks gives.
    if (const std::optional<ClosingProblem> problem = closing_problem(block, rules))
        out.push_back({crew, problem->line, problem->message, {problem->task}});
}

}  // namespace

std::vector<CrewMeasures> measure_crew(const v_crew& roster, const Rules& rules) {
    std::vector<CrewMeasures> measures;
    for (Crew member : roster) {
        CrewMeasures m;
        m.cost = member.cost(rules);  // sorts the copy
        m.work_time = member.work_time(rules);
        m.idle_time = member.idle_time(rules);
        m.overtime = member.overtime(rules);
        m.split_shift = member.is_split_shift(rules);
        measures.push_back(m);
    }
    return measures;
}

RosterTotals roster_totals(const v_crew& roster, const Rules& rules) {
    RosterTotals t;
    t.crew = static_cast<std::int32_t>(roster.size());
    t.virtual_tasks = count_virtual_tasks(roster);
    for (const Crew& c : roster) t.real_tasks += static_cast<std::int32_t>(c.tasks.size());
    t.real_tasks -= t.virtual_tasks;
    t.without_tasks = count_crew_without_tasks(roster);
    t.split_shifts = count_split_shifts(roster, rules);
    t.overlap = total_overlap_time(roster);
    t.overtime = total_overtime(roster, rules);
    t.excess = total_excess_time(roster, rules);
    t.vehicle_changes = total_vehicle_changes(roster);
    t.permitted_point_changes = total_permitted_point_changes(roster);
    t.forbidden_point_changes = total_forbidden_point_changes(roster);
    return t;
}

std::int32_t max_simultaneous(const l_tarefas& tasks) {
    std::vector<std::pair<std::int32_t, int>> events;  // time, -1 for an end, +1 for a start
    for (const Task& t : tasks) {
        if (t.is_virtual != 0 || t.end_time <= t.start_time) continue;
        events.push_back({t.start_time, +1});
        events.push_back({t.end_time, -1});
    }
    std::sort(events.begin(), events.end());  // ends before starts at one moment
    std::int32_t now = 0, most = 0;
    for (const auto& [time, step] : events) most = std::max(most, now += step);
    return most;
}

CheckReport check_roster(const l_tarefas& tasks, const Dump& dump, const Rules& rules) {
    CheckReport report;
    for (std::size_t c = 0; c < dump.crew.size(); ++c) check_schedule(static_cast<int>(c), dump.crew[c], rules, report.violations);
    check_placement(tasks, dump, report.violations);
    std::stable_sort(report.violations.begin(), report.violations.end(), [](const Violation& a, const Violation& b) {
        const bool a_file = a.crew < 0, b_file = b.crew < 0;
        return a_file != b_file ? b_file : a.line < b.line;
    });

    v_crew roster = to_roster(dump);
    report.crew = measure_crew(roster, rules);
    report.objective = global_objective(roster, rules);
    report.totals = roster_totals(roster, rules);
    report.lower_bound = max_simultaneous(tasks);
    report.objective_lower_bound = columns::objective_lower_bound(tasks, dump.crew.size(), rules).value;
    return report;
}

std::vector<columns::Day> dump_days(const l_tarefas& tasks, const Dump& dump) {
    std::vector<columns::Day> days;
    for (std::optional<columns::Day>& day : columns::days_of_roster(tasks, to_roster(dump)))
        if (day && !day->empty()) days.push_back(std::move(*day));
    return days;
}

std::int64_t best_bound(const CheckReport& report) {
    const std::int64_t tight = report.tight.found ? report.tight.value : 0;
    const std::int64_t exact = report.exact.found ? report.exact.value : 0;
    return std::max({report.objective_lower_bound, tight, exact});
}

void print_report(std::ostream& out, const CheckReport& report, const std::string& task_file,
                  const std::string& dump_file, const std::function<std::string(const Task&)>& names) {
    for (std::size_t i = 0; i < report.crew.size(); ++i) {
        const CrewMeasures& m = report.crew[i];
        out << "crew " << i << " cost " << m.cost << " work " << m.work_time << " idle " << m.idle_time
            << " overtime " << m.overtime << " split " << (m.split_shift ? "yes" : "no") << '\n';
    }
    const RosterTotals& t = report.totals;
    out << "objective " << report.objective << '\n'
        << "totals crew " << t.crew << " tasks " << t.real_tasks << " virtual " << t.virtual_tasks
        << " without_tasks " << t.without_tasks << " split_shifts " << t.split_shifts << " overlap " << t.overlap
        << " overtime " << t.overtime << " excess " << t.excess << " vehicle_changes " << t.vehicle_changes
        << " permitted_point_changes " << t.permitted_point_changes << " forbidden_point_changes "
        << t.forbidden_point_changes << '\n'
        << "lower_bound " << report.lower_bound << '\n'
        << "objective_lower_bound " << report.objective_lower_bound << '\n';
    for (int k = 0; report.tight_requested && k < 2; ++k) {
        const columns::TightBound& tight = k == 0 ? report.tight : report.exact;
        out << (k == 0 ? "objective_lower_bound_cg " : "objective_lower_bound_exact ");
        if (!tight.obstacle.empty()) {
            out << "none (" << tight.obstacle << ")\n";
        } else {
            const std::ios::fmtflags flags = out.flags();
            if (tight.found)
                out << tight.value;
            else
                out << "none";
            out << " rounds " << tight.rounds << " seconds " << std::fixed << std::setprecision(1) << tight.seconds
                << (tight.converged ? " converged\n" : " not converged\n");
            out.flags(flags);
        }
    }
    if (best_bound(report) > 0) {
        out << "gap " << cli::percent(columns::gap_percent(report.objective, best_bound(report))) << '\n';
    } else {
        out << "gap none\n";
    }
    for (const Violation& v : report.violations) {
        if (v.crew < 0)
            out << "violation " << task_file << " record " << v.line << ": " << v.message;
        else
            out << "violation " << dump_file << ':' << v.line << " crew " << v.crew << ": " << v.message;
        if (names && !v.tasks.empty()) {
            out << " (";
            for (std::size_t k = 0; k < v.tasks.size(); ++k) out << (k > 0 ? "; " : "") << names(v.tasks[k]);
            out << ')';
        }
        out << '\n';
    }
    if (report.valid() && report.objective > 0 && best_bound(report) >= report.objective)
        out << "roster proven optimal\n";
    if (report.valid())
        out << "result valid\n";
    else
        out << "result invalid " << report.violations.size()
            << (report.violations.size() == 1 ? " violation\n" : " violations\n");
}

std::string print_format() {
    return "Output, one item a line (times in minutes, costs with escala's weights and limits or\n"
           "those of --rules):\n"
           "  rules <file>: <key> <value>, ...   with --rules, the values that are not escala's own\n"
           "  crew <i> cost <c> work <w> idle <d> overtime <o> split <yes|no>\n"
           "  objective <value>\n"
           "  totals crew <n> tasks <real> virtual <v> without_tasks <k> split_shifts <s> overlap <m>\n"
           "         overtime <m> excess <m> vehicle_changes <k> permitted_point_changes <k>\n"
           "         forbidden_point_changes <k>          (all on one line)\n"
           "  lower_bound <k>   most real tasks under way at one moment: crew needed at least\n"
           "  objective_lower_bound <b>   no roster of this many members for these tasks has a\n"
           "                    lower objective: idle time of the members at the workday (430\n"
           "                    minutes) less the task minutes and the longest virtual task (30) each,\n"
           "                    plus the cheapest\n"
           "                    vehicle and point changes of (tasks - members) consecutive pairs\n"
           "  objective_lower_bound_cg <b> rounds <r> seconds <s> converged|not converged\n"
           "                    with --tight-bound: the linear relaxation of the roster over every\n"
           "                    possible crew day, by column generation; 'not converged' when the\n"
           "                    time ran out (the value is still a bound), 'none' when no round ended\n"
           "                    or the rules are outside the bound's range\n"
           "  objective_lower_bound_exact <b> rounds <r> seconds <s> converged|not converged\n"
           "                    with --tight-bound: the same relaxation at the crew cost itself (its\n"
           "                    closing virtual task included), from where the first one ended, in\n"
           "                    the time left of --bound-time once the first has converged; 'none' as\n"
           "                    above, or when the first did not converge\n"
           "  gap <p>%          objective over the largest bound, less 1, in percent (none: bound 0)\n"
           "  violation <dump>:<line> crew <i>: <what is wrong>\n"
           "  violation <tasks> record <r>: <task> is in no schedule\n"
           "  roster proven optimal   when a bound, rounded up, reaches the objective\n"
           "  result valid | result invalid <k> violation(s)\n";
}

}  // namespace escala::tools
