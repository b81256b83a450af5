// The trip map beside an imported task file: which GTFS trips each task drives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace escala::gtfs {

// One trip of one task, times in seconds of the service day as the feed gives them.
struct TripRow {
    int task = 0;  // the task's line in the task file, from 1
    std::string trip_id, block_id, service_id, route_id, headsign;
    std::string start_stop;
    std::int32_t start_time = 0;  // departure at the first stop
    std::string end_stop;
    std::int32_t end_time = 0;    // arrival at the last stop
    int line = 0;                 // the row's line in the map, when read back
};

// "Lintra.tsk" -> "Lintra.trips.csv".
std::filesystem::path trip_map_path(const std::filesystem::path& task_file);

// "HH:MM:SS" with at least two hour digits; past 24 hours stays past 24.
std::string format_seconds(std::int32_t seconds);

// Header "task,trip_id,block_id,service_id,route_id,headsign,start_stop,
// start_time,end_stop,end_time", then one row a trip in the given order.
void write_trip_map(std::ostream& out, const std::vector<TripRow>& rows);

// Reads a trip map strictly: that header, then rows of ten fields with a task
// number from 1, a non-empty trip id, non-empty stops and H:MM:SS times, no
// trip twice. Throws FeedError ("FILE:LINE: what").
std::vector<TripRow> read_trip_map(const std::filesystem::path& file);

}  // namespace escala::gtfs
