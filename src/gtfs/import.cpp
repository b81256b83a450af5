#include "gtfs/import.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <numeric>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace escala::gtfs {

namespace {

const char* const day_names[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

void poll(const ImportOptions& options) {
    if (options.stop && options.stop->load()) throw Interrupted();
}

struct Stop {
    std::string id, name, parent;
    bool located = false;
    double lat = 0, lon = 0;
};

struct Route {
    std::string id, short_name;
};

struct Trip {
    std::string id, route, service, vehicle;  // vehicle: the block id, or "trip:<id>"
    std::string block, headsign;              // as trips.txt gives them, maybe empty
};

struct Service {
    std::string id;
    bool weekly = false;  // has a calendar.txt row
    std::array<bool, 7> days{};
    std::int32_t start = 0, end = 0;
    std::set<std::int32_t> added, removed;
    int trips = 0;
};

bool runs_on(const Service& s, std::int32_t date) {
    if (s.removed.count(date)) return false;
    if (s.added.count(date)) return true;
    return s.weekly && s.start <= date && date <= s.end && s.days[static_cast<std::size_t>(weekday(date))];
}

std::int32_t date_field(const Table& table, const CsvRecord& row, std::size_t column) {
    const auto date = parse_date(row.fields[column]);
    if (!date) throw FeedError(table.where(row, column) + "'" + row.fields[column] + "' is not a date YYYYMMDD");
    return *date;
}

// The services of the trips (in order of first appearance) and of the calendars.
std::vector<Service> load_services(const Feed& feed, const std::vector<std::string>& trip_services) {
    std::vector<Service> services;
    std::unordered_map<std::string, std::size_t> index;
    const auto service = [&](const std::string& id) -> Service& {
        const auto [found, added] = index.emplace(id, services.size());
        if (added) {
            Service fresh;
            fresh.id = id;
            services.push_back(std::move(fresh));
        }
        return services[found->second];
    };
    for (const std::string& id : trip_services) ++service(id).trips;
    static const char* const columns[7] = {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};
    std::vector<Column> wanted{{"service_id"}, {"start_date"}, {"end_date"}};
    for (const char* day : columns) wanted.push_back({day});
    if (const auto calendar = feed.table("calendar.txt", wanted, false)) {
        for (const CsvRecord& row : calendar->rows) {
            Service& s = service(row.fields[0]);
            s.weekly = true;
            s.start = date_field(*calendar, row, 1);
            s.end = date_field(*calendar, row, 2);
            for (std::size_t d = 0; d < 7; ++d) {
                const std::string& flag = row.fields[3 + d];
                if (flag != "0" && flag != "1")
                    throw FeedError(calendar->where(row, 3 + d) + "'" + flag + "' is neither 0 nor 1");
                s.days[d] = flag == "1";
            }
        }
    }
    if (const auto dates = feed.table("calendar_dates.txt", {{"service_id"}, {"date"}, {"exception_type"}}, false)) {
        for (const CsvRecord& row : dates->rows) {
            Service& s = service(row.fields[0]);
            const std::int32_t date = date_field(*dates, row, 1);
            const std::string& type = row.fields[2];
            if (type == "1") s.added.insert(date);
            else if (type == "2") s.removed.insert(date);
            else throw FeedError(dates->where(row, 2) + "'" + type + "' is neither 1 nor 2");
        }
    }
    return services;
}

ServiceSummary summarize(const Service& s) {
    ServiceSummary summary{s.id, "", std::nullopt, std::nullopt, s.trips};
    std::array<bool, 7> days{};
    const auto widen = [&](std::int32_t date) {
        summary.first = summary.first ? std::min(*summary.first, date) : date;
        summary.last = summary.last ? std::max(*summary.last, date) : date;
    };
    if (s.weekly && s.start <= s.end && std::find(s.days.begin(), s.days.end(), true) != s.days.end()) {
        days = s.days;
        widen(s.start);
        widen(s.end);
    }
    for (const std::int32_t date : s.added) {
        days[static_cast<std::size_t>(weekday(date))] = true;
        widen(date);
    }
    for (std::size_t d = 0; d < 7; ++d)
        if (days[d]) summary.days += std::string(summary.days.empty() ? "" : " ") + day_names[d];
    if (summary.days.empty()) summary.days = "-";
    return summary;
}

std::string service_list(const std::vector<Service>& services) {
    std::string text;
    for (const Service& s : services) text += "\n  " + describe(summarize(s));
    return text;
}

// The stop times of one trip, as far as tasks need them.
struct StopTime {
    std::int64_t sequence = 0;
    std::optional<std::int32_t> arrival, departure;  // seconds
    std::size_t stop = 0;
    int line = 0;
};

// A trip of the chosen services with its stop times boiled down.
struct TimedTrip {
    std::size_t trip = 0;  // index into the trips
    std::int32_t start = 0, end = 0, slack = 0;  // minutes
    std::size_t first_stop = 0, last_stop = 0;
    std::int32_t start_seconds = 0, end_seconds = 0;
};

std::int32_t minutes(std::int32_t seconds) { return seconds / 60; }

TimedTrip time_trip(std::size_t trip, std::vector<StopTime>& times, const std::string& trip_id) {
    std::stable_sort(times.begin(), times.end(),
                     [](const StopTime& a, const StopTime& b) { return a.sequence < b.sequence; });
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i].sequence == times[i - 1].sequence)
            throw FeedError("stop_times.txt:" + std::to_string(std::max(times[i].line, times[i - 1].line)) +
                            ": column stop_sequence: trip " + trip_id + " has stop_sequence " +
                            std::to_string(times[i].sequence) + " twice");
    const StopTime& first = times.front();
    const StopTime& last = times.back();
    const auto start = first.departure ? first.departure : first.arrival;
    const auto end = last.arrival ? last.arrival : last.departure;
    if (!start)
        throw FeedError("stop_times.txt:" + std::to_string(first.line) + ": column departure_time: trip " + trip_id +
                        " has no time at its first stop");
    if (!end)
        throw FeedError("stop_times.txt:" + std::to_string(last.line) + ": column arrival_time: trip " + trip_id +
                        " has no time at its last stop");
    TimedTrip timed{trip, minutes(*start), minutes(*end), 0, first.stop, last.stop, *start, *end};
    for (const StopTime& t : times)
        if (t.arrival && t.departure) timed.slack += minutes(*t.departure) - minutes(*t.arrival);
    return timed;
}

// Union-find over relief station keys.
struct Stations {
    std::unordered_map<std::string, std::size_t> index;
    std::vector<std::size_t> parent;
    std::size_t of(const std::string& key) {
        const auto [found, added] = index.emplace(key, parent.size());
        if (added) parent.push_back(parent.size());
        return root(found->second);
    }
    std::size_t root(std::size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    }
    void join(std::size_t a, std::size_t b) { parent[root(a)] = root(b); }
};

struct Model {
    std::vector<Stop> stops;
    std::unordered_map<std::string, std::size_t> stop_index;
    std::vector<Route> routes;
    std::unordered_map<std::string, std::size_t> route_index;
    std::vector<Trip> trips;
    std::unordered_map<std::string, std::int32_t> point_numbers, line_numbers, vehicle_numbers;
};

Model load_model(const Feed& feed, const ImportOptions& options) {
    Model m;
    poll(options);
    const Table routes = *feed.table("routes.txt", {{"route_id"}, {"route_short_name", false}}, true);
    for (const CsvRecord& row : routes.rows) {
        if (row.fields[0].empty()) throw FeedError(routes.where(row, 0) + "empty route_id");
        if (!m.route_index.emplace(row.fields[0], m.routes.size()).second)
            throw FeedError(routes.where(row, 0) + "route " + row.fields[0] + " appears twice");
        m.routes.push_back({row.fields[0], row.fields[1]});
    }
    poll(options);
    const Table stops = *feed.table(
        "stops.txt", {{"stop_id"}, {"stop_name", false}, {"parent_station", false}, {"stop_lat", false}, {"stop_lon", false}},
        true);
    for (const CsvRecord& row : stops.rows) {
        if (row.fields[0].empty()) throw FeedError(stops.where(row, 0) + "empty stop_id");
        if (!m.stop_index.emplace(row.fields[0], m.stops.size()).second)
            throw FeedError(stops.where(row, 0) + "stop " + row.fields[0] + " appears twice");
        Stop stop{row.fields[0], row.fields[1], row.fields[2]};
        char* lat_end = nullptr;
        char* lon_end = nullptr;
        stop.lat = std::strtod(row.fields[3].c_str(), &lat_end);
        stop.lon = std::strtod(row.fields[4].c_str(), &lon_end);
        stop.located = !row.fields[3].empty() && !row.fields[4].empty() && *lat_end == '\0' && *lon_end == '\0';
        m.stops.push_back(std::move(stop));
    }
    poll(options);
    const Table trips = *feed.table(
        "trips.txt", {{"trip_id"}, {"route_id"}, {"service_id"}, {"block_id", false}, {"trip_headsign", false}}, true);
    std::unordered_set<std::string> trip_ids;
    for (const CsvRecord& row : trips.rows) {
        if (row.fields[0].empty()) throw FeedError(trips.where(row, 0) + "empty trip_id");
        if (!trip_ids.insert(row.fields[0]).second)
            throw FeedError(trips.where(row, 0) + "trip " + row.fields[0] + " appears twice");
        if (!m.route_index.count(row.fields[1]))
            throw FeedError(trips.where(row, 1) + "route '" + row.fields[1] + "' is not in routes.txt");
        const std::string vehicle = row.fields[3].empty() ? "trip:" + row.fields[0] : row.fields[3];
        m.trips.push_back({row.fields[0], row.fields[1], row.fields[2], vehicle, row.fields[3], row.fields[4]});
    }
    std::vector<std::string> ids;
    for (const Stop& s : m.stops) ids.push_back(s.id);
    m.point_numbers = number_ids(ids, "stop");
    ids.clear();
    for (const Route& r : m.routes) ids.push_back(r.id);
    m.line_numbers = number_ids(ids, "route");
    ids.clear();
    std::unordered_set<std::string> seen;
    for (const Trip& t : m.trips)
        if (seen.insert(t.vehicle).second) ids.push_back(t.vehicle);
    m.vehicle_numbers = number_ids(ids, "vehicle");
    return m;
}

// The chosen trips, in file order; throws when there is none.
std::vector<std::size_t> choose_trips(const Feed& feed, const Model& m, const ImportOptions& options) {
    std::vector<std::string> trip_services;
    for (const Trip& t : m.trips) trip_services.push_back(t.service);
    const std::vector<Service> services = load_services(feed, trip_services);
    std::unordered_set<std::string> chosen;
    if (options.date) {
        for (const Service& s : services)
            if (runs_on(s, *options.date)) chosen.insert(s.id);
    } else {
        for (const std::string& id : options.services) {
            const auto found = std::find_if(services.begin(), services.end(), [&](const Service& s) { return s.id == id; });
            if (found == services.end() || found->trips == 0)
                throw FeedError(feed.path().string() + ": no trip in trips.txt for service " + id +
                                "; the services are:" + service_list(services));
            chosen.insert(id);
        }
    }
    std::vector<std::size_t> picked;
    for (std::size_t i = 0; i < m.trips.size(); ++i)
        if (chosen.count(m.trips[i].service)) picked.push_back(i);
    if (picked.empty())
        throw FeedError(feed.path().string() + ": no trip in trips.txt runs on " +
                        (options.date ? format_date(*options.date) : std::string("the chosen services")) +
                        "; the services are:" + service_list(services));
    return picked;
}

std::vector<TimedTrip> read_stop_times(const Feed& feed, const Model& m, const std::vector<std::size_t>& picked,
                                       const ImportOptions& options) {
    poll(options);
    std::unordered_map<std::string, std::size_t> wanted;  // trip id -> position in `picked`
    for (std::size_t i = 0; i < picked.size(); ++i) wanted.emplace(m.trips[picked[i]].id, i);
    const Table table = *feed.table(
        "stop_times.txt",
        {{"trip_id"}, {"arrival_time"}, {"departure_time"}, {"stop_id"}, {"stop_sequence"}}, true);
    std::vector<std::vector<StopTime>> times(picked.size());
    std::size_t count = 0;
    for (const CsvRecord& row : table.rows) {
        if (++count % 4096 == 0) poll(options);
        const auto trip = wanted.find(row.fields[0]);
        if (trip == wanted.end()) continue;
        StopTime t;
        t.line = row.line;
        for (std::size_t column : {std::size_t{1}, std::size_t{2}}) {
            const std::string& text = row.fields[column];
            if (text.empty()) continue;
            const auto seconds = parse_time(text);
            if (!seconds) throw FeedError(table.where(row, column) + "'" + text + "' is not a time H:MM:SS");
            (column == 1 ? t.arrival : t.departure) = seconds;
        }
        const auto stop = m.stop_index.find(row.fields[3]);
        if (stop == m.stop_index.end())
            throw FeedError(table.where(row, 3) + "stop '" + row.fields[3] + "' is not in stops.txt");
        t.stop = stop->second;
        const std::string& sequence = row.fields[4];
        if (sequence.empty() || sequence.size() > 9 || sequence.find_first_not_of("0123456789") != std::string::npos)
            throw FeedError(table.where(row, 4) + "'" + sequence + "' is not a whole number");
        t.sequence = std::stoll(sequence);
        times[trip->second].push_back(t);
    }
    std::vector<TimedTrip> timed;
    for (std::size_t i = 0; i < picked.size(); ++i) {
        poll(options);
        if (!times[i].empty()) timed.push_back(time_trip(picked[i], times[i], m.trips[picked[i]].id));
    }
    return timed;
}

Task trip_task(const Model& m, const TimedTrip& t) {
    const Trip& trip = m.trips[t.trip];
    const std::int32_t line = m.line_numbers.at(trip.route);
    return Task(m.vehicle_numbers.at(trip.vehicle), t.start, t.end, m.point_numbers.at(m.stops[t.first_stop].id),
                m.point_numbers.at(m.stops[t.last_stop].id), t.slack, line, line);
}

// The trip map row of a trip of task `task` (1-based).
TripRow trip_row(const Model& m, const TimedTrip& t, int task) {
    const Trip& trip = m.trips[t.trip];
    return {task,          trip.id,        trip.block,     trip.service,  trip.route, trip.headsign,
            m.stops[t.first_stop].id, t.start_seconds, m.stops[t.last_stop].id, t.end_seconds, 0};
}

std::string station_key(const Stop& s) { return s.parent.empty() ? s.id : s.parent; }

// Whether a bus that arrived at `a` and leaves from `b` stood at one station.
bool same_station(const Stop& a, const Stop& b, double radius) {
    if (station_key(a) == station_key(b)) return true;
    if (!a.parent.empty() && !b.parent.empty()) return false;
    return a.located && b.located && distance_metres(a.lat, a.lon, b.lat, b.lon) <= radius;
}

ImportResult cut_pieces(const Model& m, const std::vector<TimedTrip>& timed, const ImportOptions& options) {
    // Each bus's trips in time order; buses in order of first appearance.
    std::vector<std::vector<TimedTrip>> blocks;
    std::unordered_map<std::string, std::size_t> block_index;
    for (const TimedTrip& t : timed) {
        const auto [found, added] = block_index.emplace(m.trips[t.trip].vehicle, blocks.size());
        if (added) blocks.emplace_back();
        blocks[found->second].push_back(t);
    }
    for (auto& block : blocks)
        std::stable_sort(block.begin(), block.end(), [](const TimedTrip& a, const TimedTrip& b) { return a.start < b.start; });

    // Where buses stand between trips, and which of those places are relief stations.
    Stations stations;
    std::vector<std::vector<std::optional<std::size_t>>> stands(blocks.size());  // key of each standing event
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        for (std::size_t i = 0; i + 1 < blocks[b].size(); ++i) {
            const Stop& from = m.stops[blocks[b][i].last_stop];
            const Stop& to = m.stops[blocks[b][i + 1].first_stop];
            std::optional<std::size_t> key;
            if (same_station(from, to, options.zone_radius)) {
                const std::size_t x = stations.of(station_key(from)), y = stations.of(station_key(to));
                stations.join(x, y);
                key = x;
            }
            stands[b].push_back(key);
        }
    }
    std::set<std::size_t> relief;
    if (!options.relief.empty()) {
        for (const std::string& id : options.relief) {
            const auto stop = m.stop_index.find(id);
            if (stop == m.stop_index.end()) throw FeedError("relief stop '" + id + "' is not in stops.txt");
            // A station where no bus stands is no place to cut.
            const auto key = stations.index.find(station_key(m.stops[stop->second]));
            if (key != stations.index.end()) relief.insert(stations.root(key->second));
        }
    } else {
        std::map<std::size_t, std::pair<int, std::size_t>> busy;  // root -> (stands, first seen)
        std::size_t seen = 0;
        for (const auto& block : stands)
            for (const auto& key : block)
                if (key) {
                    auto& entry = busy.try_emplace(stations.root(*key), 0, seen++).first->second;
                    ++entry.first;
                }
        std::vector<std::pair<std::size_t, std::pair<int, std::size_t>>> ranked(busy.begin(), busy.end());
        std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            return a.second.first != b.second.first ? a.second.first > b.second.first : a.second.second < b.second.second;
        });
        for (std::size_t i = 0; i < ranked.size() && i < static_cast<std::size_t>(options.relief_count); ++i)
            relief.insert(ranked[i].first);
    }

    ImportResult result;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        poll(options);
        const auto& block = blocks[b];
        std::vector<std::int32_t> starts, ends;
        std::vector<bool> cut_after;
        for (std::size_t i = 0; i < block.size(); ++i) {
            starts.push_back(block[i].start);
            ends.push_back(block[i].end);
            cut_after.push_back(i < stands[b].size() && stands[b][i] && relief.count(stations.root(*stands[b][i])));
        }
        std::vector<std::size_t> firsts = choose_cuts(starts, ends, cut_after, options.min_piece, options.max_piece);
        firsts.push_back(block.size());
        for (std::size_t p = 0; p + 1 < firsts.size(); ++p) {
            const TimedTrip& first = block[firsts[p]];
            const TimedTrip& last = block[firsts[p + 1] - 1];
            Task task = trip_task(m, first);
            const Task closing = trip_task(m, last);
            task.end_time = closing.end_time;
            task.end_point = closing.end_point;
            task.end_line = closing.end_line;
            task.slack = 0;
            for (std::size_t i = firsts[p]; i < firsts[p + 1]; ++i) {
                task.slack += block[i].slack;
                // Overlapping trips (a fault of the feed) add no layover.
                if (i > firsts[p]) task.slack += std::max(0, block[i].start - block[i - 1].end);
            }
            if (task.duration() >= options.min_piece && task.duration() <= options.max_piece) ++result.pieces_in_range;
            result.tasks.push_back(task);
            for (std::size_t i = firsts[p]; i < firsts[p + 1]; ++i)
                result.trip_map.push_back(trip_row(m, block[i], static_cast<int>(result.tasks.size())));
        }
    }
    return result;
}

void fill_legend(const Model& m, ImportResult& result) {
    std::map<std::int32_t, std::string> vehicles, points, lines;
    for (const auto& [id, number] : m.vehicle_numbers) vehicles[number] = id;
    for (const auto& [id, number] : m.point_numbers) points[number] = id;
    for (const auto& [id, number] : m.line_numbers) lines[number] = id;
    std::set<std::int32_t> used_vehicles, used_points, used_lines;
    for (const Task& t : result.tasks) {
        used_vehicles.insert(t.vehicle);
        used_points.insert({t.start_point, t.end_point});
        used_lines.insert({t.start_line, t.end_line});
    }
    // The trip map's stops too, so that run sheets can name where a piece's inner trips start and end.
    for (const TripRow& r : result.trip_map)
        used_points.insert({m.point_numbers.at(r.start_stop), m.point_numbers.at(r.end_stop)});
    for (std::int32_t n : used_vehicles) result.legend.push_back({IdKind::vehicle, n, vehicles.at(n), ""});
    for (std::int32_t n : used_points) {
        const std::string& id = points.at(n);
        result.legend.push_back({IdKind::point, n, id, m.stops[m.stop_index.at(id)].name});
    }
    for (std::int32_t n : used_lines) {
        const std::string& id = lines.at(n);
        result.legend.push_back({IdKind::line, n, id, m.routes[m.route_index.at(id)].short_name});
    }
    result.vehicles = static_cast<int>(used_vehicles.size());
}

}  // namespace

std::vector<std::size_t> choose_cuts(const std::vector<std::int32_t>& starts, const std::vector<std::int32_t>& ends,
                                     const std::vector<bool>& cut_after, int min_piece, int max_piece) {
    const std::size_t n = starts.size();
    if (n == 0) return {};
    std::vector<std::size_t> firsts{0};  // the trips a piece may start with
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (cut_after[i]) firsts.push_back(i + 1);
    const std::size_t k = firsts.size();
    using Cost = std::pair<std::int64_t, std::int64_t>;  // (minutes outside the range, squared distance to its middle)
    const auto piece_cost = [&](std::size_t first, std::size_t end) {
        const std::int64_t length = std::int64_t{ends[end - 1]} - starts[first];
        const std::int64_t outside = std::max<std::int64_t>(0, min_piece - length) + std::max<std::int64_t>(0, length - max_piece);
        const std::int64_t off = 2 * length - min_piece - max_piece;  // twice the distance, kept whole
        return Cost{outside, off * off};
    };
    // best[j]: the cheapest cutting of the trips from firsts[j] on, and the next piece's start.
    std::vector<Cost> best(k + 1, Cost{0, 0});
    std::vector<std::size_t> next(k + 1, k);
    for (std::size_t j = k; j-- > 0;) {
        bool found = false;
        for (std::size_t l = j + 1; l <= k; ++l) {
            const Cost piece = piece_cost(firsts[j], l < k ? firsts[l] : n);
            const Cost total{piece.first + best[l].first, piece.second + best[l].second};
            if (!found || total < best[j]) {
                best[j] = total;
                next[j] = l;
                found = true;
            }
        }
    }
    std::vector<std::size_t> chosen;
    for (std::size_t j = 0; j < k; j = next[j]) chosen.push_back(firsts[j]);
    return chosen;
}

ImportResult import_feed(const Feed& feed, const ImportOptions& options) {
    const Model m = load_model(feed, options);
    poll(options);
    const std::vector<std::size_t> picked = choose_trips(feed, m, options);
    const std::vector<TimedTrip> timed = read_stop_times(feed, m, picked, options);
    if (timed.empty())
        throw FeedError(feed.path().string() + ": stop_times.txt: no trip of the chosen services has stop times");
    ImportResult result;
    if (options.mode == Mode::pieces) {
        result = cut_pieces(m, timed, options);
    } else {
        for (const TimedTrip& t : timed) {
            result.tasks.push_back(trip_task(m, t));
            result.trip_map.push_back(trip_row(m, t, static_cast<int>(result.tasks.size())));
        }
    }
    result.trips_read = static_cast<int>(timed.size());
    fill_legend(m, result);
    return result;
}

std::vector<ServiceSummary> list_services(const Feed& feed) {
    const Table trips = *feed.table("trips.txt", {{"service_id"}}, true);
    std::vector<std::string> ids;
    for (const CsvRecord& row : trips.rows) ids.push_back(row.fields[0]);
    std::vector<ServiceSummary> list;
    for (const Service& s : load_services(feed, ids)) list.push_back(summarize(s));
    return list;
}

std::string describe(const ServiceSummary& s) {
    std::string text = s.id + "  days " + s.days + "  dates ";
    text += s.first ? format_date(*s.first) + "-" + format_date(*s.last) : "-";
    return text + "  " + std::to_string(s.trips) + (s.trips == 1 ? " trip" : " trips");
}

}  // namespace escala::gtfs
