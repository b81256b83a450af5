// Runs for the operator from a roster: task matching, trip events, pieces, overlaps; files in export_files.hpp.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/task.hpp"
#include "crew/rules.hpp"
#include "gtfs/legend.hpp"
#include "gtfs/trip_map.hpp"

namespace escala::exporting {

// Input that does not fit together; the message reads "FILE:LINE: what".
struct ExportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The task file as read: tasks in file order and the line of each.
struct TaskFile {
    std::string name;
    l_tarefas tasks;
    std::vector<int> lines;
};

// A task of a schedule and its line in the roster dump.
struct PlacedTask {
    Task task;
    int line = 0;
};
// One crew member's schedule as the dump holds it (closing virtual task included).
using Schedule = std::vector<PlacedTask>;

// For each member, the task-file record (index into `file.tasks`) of each of
// its real tasks, in dump order. Identical records are taken in file order.
// Throws when a task is not in the file, is placed more often than the file
// holds it, or a record is placed nowhere.
std::vector<std::vector<std::size_t>> match_tasks(const TaskFile& file, const std::vector<Schedule>& roster,
                                                  const std::string& dump_name);

// Throws when the legend lacks a vehicle, point or line number of the task file.
void check_legend(const TaskFile& file, const gtfs::Legend& legend, const std::string& legend_name);

// The trips of each task record, in time order. Throws when a row names no
// task of the file, a task has no trip, the trips' first departure and last
// arrival are not the task's minutes, or their first and last stops are not
// the task's points in the legend.
std::vector<std::vector<gtfs::TripRow>> trips_by_task(const TaskFile& file, const std::vector<gtfs::TripRow>& map,
                                                      const std::string& map_name, const gtfs::Legend& legend);

// The service of the most rows ("" for none); the first seen wins a tie.
std::string busiest_service(const std::vector<gtfs::TripRow>& map);

enum class EventType { trip, travel, rest, sign_off };
const char* event_type_name(EventType type);  // Operator, Travel, Break, Sign-off

struct Event {
    EventType type = EventType::trip;
    std::string piece_id;                             // "" outside a piece
    std::string trip_id, block_id, route_id, headsign;  // trips only
    std::string from, to;                             // stop ids
    std::int32_t start = 0, end = 0;                  // seconds of the service day
    bool overlaps = false;                            // a trip under way at once with another of the run
};

struct Run {
    int run_id = 0;
    int member = 0;  // position in the dump
    std::vector<Event> events;  // time order
    int pieces = 0, trips = 0, vehicles = 0, travels = 0, rests = 0, sign_offs = 0;
    std::int32_t platform_minutes = 0;
    std::int32_t sign_on = 0, sign_off = 0;  // seconds
};

// One run per member with real tasks, run id = member + first_run. Tasks are
// taken in start order (stable, as the crew cost sorts them); a piece is a
// longest stretch of consecutive tasks on one vehicle without a change of
// point; a travel joins tasks whose points differ, a break two at one point
// more than the rules' split gap (120 minutes) apart; the closing virtual
// task becomes the sign-off.
std::vector<Run> build_runs(const std::vector<Schedule>& roster, const std::vector<std::vector<std::size_t>>& matched,
                            const TaskFile& file, const std::vector<std::vector<gtfs::TripRow>>& trips, int first_run,
                            const Rules& rules);

struct Overlap {
    int run_id = 0;
    std::string first_trip, second_trip;
};

// Trip events of one run under way at one moment (touching is fine); marks them.
std::vector<Overlap> find_overlaps(std::vector<Run>& runs);

}  // namespace escala::exporting
