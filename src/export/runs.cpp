#include "export/runs.hpp"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

namespace escala::exporting {

namespace {

using Key = std::array<std::int32_t, 8>;

Key key_of(const Task& t) {
    return {t.vehicle, t.start_time, t.end_time, t.start_point, t.end_point, t.slack, t.start_line, t.end_line};
}

std::string task_text(const Task& t) {
    std::string text;
    for (const std::int32_t v : key_of(t)) text += (text.empty() ? "" : ";") + std::to_string(v);
    return text;
}

std::string at(const std::string& file, int line) { return file + ":" + std::to_string(line) + ": "; }

}  // namespace

std::vector<std::vector<std::size_t>> match_tasks(const TaskFile& file, const std::vector<Schedule>& roster,
                                                  const std::string& dump_name) {
    std::map<Key, std::deque<std::size_t>> free;
    for (std::size_t r = 0; r < file.tasks.size(); ++r) free[key_of(file.tasks[r])].push_back(r);
    std::map<Key, int> first_placed;  // dump line
    std::vector<bool> used(file.tasks.size(), false);
    std::vector<std::vector<std::size_t>> matched(roster.size());
    for (std::size_t c = 0; c < roster.size(); ++c) {
        for (const PlacedTask& p : roster[c]) {
            if (p.task.is_virtual != 0) continue;
            const Key key = key_of(p.task);
            const auto found = free.find(key);
            if (found == free.end())
                throw ExportError(at(dump_name, p.line) + "task " + task_text(p.task) + " is not in " + file.name);
            if (found->second.empty())
                throw ExportError(at(dump_name, p.line) + "task " + task_text(p.task) + " is placed more often than " +
                                  file.name + " holds it (also line " + std::to_string(first_placed[key]) + ")");
            first_placed.emplace(key, p.line);
            matched[c].push_back(found->second.front());
            used[found->second.front()] = true;
            found->second.pop_front();
        }
    }
    for (std::size_t r = 0; r < file.tasks.size(); ++r)
        if (!used[r])
            throw ExportError(at(file.name, file.lines[r]) + "task " + task_text(file.tasks[r]) +
                              " is in no schedule of " + dump_name);
    return matched;
}

void check_legend(const TaskFile& file, const gtfs::Legend& legend, const std::string& legend_name) {
    for (std::size_t r = 0; r < file.tasks.size(); ++r) {
        const Task& t = file.tasks[r];
        const std::pair<gtfs::IdKind, std::int32_t> used[] = {
            {gtfs::IdKind::vehicle, t.vehicle}, {gtfs::IdKind::point, t.start_point}, {gtfs::IdKind::point, t.end_point},
            {gtfs::IdKind::line, t.start_line}, {gtfs::IdKind::line, t.end_line}};
        for (const auto& [kind, number] : used)
            if (!gtfs::find_name(legend, kind, number))
                throw ExportError(at(file.name, file.lines[r]) + legend_name + " has no " + gtfs::kind_name(kind) + " " +
                                  std::to_string(number));
    }
}

std::vector<std::vector<gtfs::TripRow>> trips_by_task(const TaskFile& file, const std::vector<gtfs::TripRow>& map,
                                                      const std::string& map_name, const gtfs::Legend& legend) {
    std::unordered_map<int, std::size_t> record_of_line;
    for (std::size_t r = 0; r < file.lines.size(); ++r) record_of_line.emplace(file.lines[r], r);
    std::vector<std::vector<gtfs::TripRow>> trips(file.tasks.size());
    for (const gtfs::TripRow& row : map) {
        const auto record = record_of_line.find(row.task);
        if (record == record_of_line.end())
            throw ExportError(at(map_name, row.line) + "task " + std::to_string(row.task) + " is no task line of " +
                              file.name);
        trips[record->second].push_back(row);
    }
    const auto stop_of = [&](std::int32_t point) { return gtfs::find_name(legend, gtfs::IdKind::point, point); };
    for (std::size_t r = 0; r < file.tasks.size(); ++r) {
        auto& list = trips[r];
        const Task& t = file.tasks[r];
        const std::string task = "the task on " + file.name + ":" + std::to_string(file.lines[r]);
        if (list.empty()) throw ExportError(at(file.name, file.lines[r]) + "the task has no trip in " + map_name);
        std::stable_sort(list.begin(), list.end(),
                         [](const gtfs::TripRow& a, const gtfs::TripRow& b) { return a.start_time < b.start_time; });
        const gtfs::TripRow& first = list.front();
        const gtfs::TripRow* last = &list.front();
        for (const gtfs::TripRow& row : list)
            if (row.end_time >= last->end_time) last = &row;
        if (first.start_time / 60 != t.start_time)
            throw ExportError(at(map_name, first.line) + "trip " + first.trip_id + " starts at " +
                              gtfs::format_seconds(first.start_time) + ", " + task + " at minute " +
                              std::to_string(t.start_time));
        if (last->end_time / 60 != t.end_time)
            throw ExportError(at(map_name, last->line) + "trip " + last->trip_id + " ends at " +
                              gtfs::format_seconds(last->end_time) + ", " + task + " at minute " +
                              std::to_string(t.end_time));
        const auto start = stop_of(t.start_point), end = stop_of(t.end_point);
        if (start && start->gtfs_id != first.start_stop)
            throw ExportError(at(map_name, first.line) + "trip " + first.trip_id + " starts at stop " +
                              first.start_stop + ", " + task + " at " + start->gtfs_id);
        if (end && end->gtfs_id != last->end_stop)
            throw ExportError(at(map_name, last->line) + "trip " + last->trip_id + " ends at stop " + last->end_stop +
                              ", " + task + " at " + end->gtfs_id);
    }
    return trips;
}

std::string busiest_service(const std::vector<gtfs::TripRow>& map) {
    std::vector<std::pair<std::string, int>> counts;  // first appearance order
    for (const gtfs::TripRow& row : map) {
        auto found = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == row.service_id; });
        if (found == counts.end()) counts.push_back({row.service_id, 1});
        else ++found->second;
    }
    std::string best;
    int most = 0;
    for (const auto& [id, n] : counts)
        if (n > most) best = id, most = n;
    return best;
}

const char* event_type_name(EventType type) {
    switch (type) {
        case EventType::trip: return "Operator";
        case EventType::travel: return "Travel";
        case EventType::rest: return "Break";
        case EventType::sign_off: return "Sign-off";
    }
    return "";
}

std::vector<Run> build_runs(const std::vector<Schedule>& roster, const std::vector<std::vector<std::size_t>>& matched,
                            const TaskFile& file, const std::vector<std::vector<gtfs::TripRow>>& trips, int first_run,
                            const Rules& rules) {
    std::vector<Run> runs;
    for (std::size_t c = 0; c < roster.size(); ++c) {
        std::vector<std::size_t> records = matched[c];  // dump order of the real tasks
        if (records.empty()) continue;
        std::stable_sort(records.begin(), records.end(), [&](std::size_t a, std::size_t b) {
            return file.tasks[a].start_time < file.tasks[b].start_time;
        });
        const Task* closing = nullptr;
        for (const PlacedTask& p : roster[c])
            if (p.task.is_virtual != 0) closing = &p.task;

        Run run;
        run.member = static_cast<int>(c);
        run.run_id = run.member + first_run;
        std::set<std::int32_t> vehicles;
        // The trip of a task that ends last.
        const auto last_trip = [&](std::size_t record) -> const gtfs::TripRow& {
            return *std::max_element(trips[record].begin(), trips[record].end(),
                                     [](const gtfs::TripRow& a, const gtfs::TripRow& b) { return a.end_time < b.end_time; });
        };
        for (std::size_t k = 0; k < records.size(); ++k) {
            const Task& task = file.tasks[records[k]];
            const gtfs::TripRow& first = trips[records[k]].front();
            bool new_piece = k == 0;
            if (k > 0) {
                const Task& prev = file.tasks[records[k - 1]];
                const gtfs::TripRow& before = last_trip(records[k - 1]);
                Event between;
                between.from = before.end_stop;
                between.to = first.start_stop;
                between.start = std::min(before.end_time, first.start_time);
                between.end = first.start_time;
                if (prev.end_point != task.start_point) {
                    between.type = EventType::travel;
                    run.events.push_back(between);
                    ++run.travels;
                } else if (task.start_time - prev.end_time > rules.limits.split_gap) {
                    between.type = EventType::rest;
                    run.events.push_back(between);
                    ++run.rests;
                }
                new_piece = prev.vehicle != task.vehicle || prev.end_point != task.start_point;
            }
            if (new_piece) ++run.pieces;
            vehicles.insert(task.vehicle);
            run.platform_minutes += task.duration();
            for (const gtfs::TripRow& row : trips[records[k]]) {
                Event e;
                e.piece_id = std::to_string(run.run_id) + "-" + std::to_string(run.pieces);
                e.trip_id = row.trip_id;
                e.block_id = row.block_id;
                e.route_id = row.route_id;
                e.headsign = row.headsign;
                e.from = row.start_stop;
                e.to = row.end_stop;
                e.start = row.start_time;
                e.end = row.end_time;
                run.events.push_back(e);
                ++run.trips;
            }
        }
        if (closing != nullptr) {
            const gtfs::TripRow& last = last_trip(records.back());
            Event e;
            e.type = EventType::sign_off;
            e.from = e.to = last.end_stop;
            e.start = last.end_time;
            e.end = last.end_time + closing->duration() * 60;
            run.events.push_back(e);
            ++run.sign_offs;
        }
        std::stable_sort(run.events.begin(), run.events.end(),
                         [](const Event& a, const Event& b) { return a.start < b.start; });
        run.vehicles = static_cast<int>(vehicles.size());
        run.sign_on = run.events.front().start;
        for (const Event& e : run.events) run.sign_off = std::max(run.sign_off, e.end);
        runs.push_back(std::move(run));
    }
    return runs;
}

std::vector<Overlap> find_overlaps(std::vector<Run>& runs) {
    std::vector<Overlap> found;
    for (Run& run : runs) {
        auto& events = run.events;
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i].type != EventType::trip) continue;
            for (std::size_t j = i + 1; j < events.size() && events[j].start < events[i].end; ++j) {
                if (events[j].type != EventType::trip || std::max(events[i].start, events[j].start) >=
                                                             std::min(events[i].end, events[j].end))
                    continue;
                events[i].overlaps = events[j].overlaps = true;
                found.push_back({run.run_id, events[i].trip_id, events[j].trip_id});
            }
        }
    }
    return found;
}

}  // namespace escala::exporting
