// Task files from GTFS feeds: the chosen services' trips, one task a trip or
// each bus's day cut into duty pieces at relief points.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/task.hpp"
#include "gtfs/feed.hpp"
#include "gtfs/legend.hpp"
#include "gtfs/trip_map.hpp"

namespace escala::gtfs {

enum class Mode { trips, pieces };

struct ImportOptions {
    std::vector<std::string> services;  // service ids, or
    std::optional<std::int32_t> date;   // every service running that day (days since 1970-01-01)
    Mode mode = Mode::trips;
    std::vector<std::string> relief;    // relief stops; empty: the busiest stations
    int relief_count = 5;
    double zone_radius = 250;           // metres
    int min_piece = 90, max_piece = 240;  // minutes
    const std::atomic<bool>* stop = nullptr;  // polled between files and trips
};

// The stop flag was raised; nothing has been produced.
struct Interrupted : std::runtime_error {
    Interrupted() : std::runtime_error("interrupted") {}
};

struct ImportResult {
    l_tarefas tasks;
    std::vector<LegendEntry> legend;  // the tasks' vehicles, points and lines, and the trips' stops
    std::vector<TripRow> trip_map;    // the trips of each task, tasks in order, trips in time order
    int trips_read = 0;               // trips of the chosen services that have stop times
    int vehicles = 0;
    int pieces_in_range = 0;          // tasks within [min_piece, max_piece] (pieces mode)
};

// Throws FeedError for unusable input, Interrupted when the stop flag rises.
ImportResult import_feed(const Feed& feed, const ImportOptions& options);

// A service of the feed, for listings.
struct ServiceSummary {
    std::string id;
    std::string days;                 // "Mon Tue Wed Thu Fri", "-" when it never runs
    std::optional<std::int32_t> first, last;  // date range it runs in
    int trips = 0;
};

// Every service of trips.txt, calendar.txt and calendar_dates.txt, in the
// order they first appear there.
std::vector<ServiceSummary> list_services(const Feed& feed);
std::string describe(const ServiceSummary& service);

// A bus's day cut at the allowed places: the pieces' first trips, given the
// trips' start and end minutes in time order and whether the bus may be
// handed over after each trip (the last entry is ignored). Pieces fall in
// [min_piece, max_piece] as far as the cuts allow (least minutes outside),
// then as close to its middle as they can (least squared distance).
std::vector<std::size_t> choose_cuts(const std::vector<std::int32_t>& starts, const std::vector<std::int32_t>& ends,
                                     const std::vector<bool>& cut_after, int min_piece, int max_piece);

}  // namespace escala::gtfs
