#include "gtfs/trip_map.hpp"

#include <fstream>
#include <iterator>
#include <unordered_map>

#include "gtfs/feed.hpp"
#include "gtfs/legend.hpp"

namespace escala::gtfs {

namespace {

const std::vector<std::string> header{"task",      "trip_id",    "block_id",   "service_id", "route_id",
                                      "headsign",  "start_stop", "start_time", "end_stop",   "end_time"};

}  // namespace

std::filesystem::path trip_map_path(const std::filesystem::path& task_file) {
    std::filesystem::path path = task_file;
    return path.replace_extension(".trips.csv");
}

std::string format_seconds(std::int32_t seconds) {
    const std::int32_t hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
    const auto two = [](std::int32_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    return two(hours) + ":" + two(minutes) + ":" + two(rest);
}

void write_trip_map(std::ostream& out, const std::vector<TripRow>& rows) {
    for (std::size_t i = 0; i < header.size(); ++i) out << (i ? "," : "") << header[i];
    out << '\n';
    for (const TripRow& r : rows)
        out << r.task << ',' << csv_field(r.trip_id) << ',' << csv_field(r.block_id) << ','
            << csv_field(r.service_id) << ',' << csv_field(r.route_id) << ',' << csv_field(r.headsign) << ','
            << csv_field(r.start_stop) << ',' << format_seconds(r.start_time) << ',' << csv_field(r.end_stop) << ','
            << format_seconds(r.end_time) << '\n';
}

std::vector<TripRow> read_trip_map(const std::filesystem::path& file) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    if (std::filesystem::is_directory(file, error) || !in) throw FeedError(name + ": cannot be read");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<TripRow> rows;
    std::unordered_map<std::string, int> seen;  // trip id -> line
    bool first = true;
    parse_csv(name, text, [&](CsvRecord& record) {
        const std::string at = name + ":" + std::to_string(record.line) + ": ";
        if (first) {
            first = false;
            if (record.fields != header) throw FeedError(at + "the header is not task,trip_id,...,end_time");
            return;
        }
        auto& f = record.fields;
        if (f.size() != header.size())
            throw FeedError(at + std::to_string(f.size()) + " fields instead of " + std::to_string(header.size()));
        TripRow row;
        row.line = record.line;
        if (f[0].empty() || f[0].size() > 9 || f[0].find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(f[0]) == 0)
            throw FeedError(at + "column task: '" + f[0] + "' is not a task line number");
        row.task = std::stoi(f[0]);
        row.trip_id = f[1];
        if (row.trip_id.empty()) throw FeedError(at + "column trip_id: empty");
        const auto [earlier, added] = seen.emplace(row.trip_id, record.line);
        if (!added)
            throw FeedError(at + "trip " + row.trip_id + " appears twice (also line " +
                            std::to_string(earlier->second) + ")");
        row.block_id = f[2];
        row.service_id = f[3];
        row.route_id = f[4];
        row.headsign = f[5];
        for (std::size_t c : {std::size_t{6}, std::size_t{8}})
            if (f[c].empty()) throw FeedError(at + "column " + header[c] + ": empty");
        row.start_stop = f[6];
        row.end_stop = f[8];
        for (std::size_t c : {std::size_t{7}, std::size_t{9}}) {
            const auto seconds = parse_time(f[c]);
            if (!seconds || f[c].find(' ') != std::string::npos)
                throw FeedError(at + "column " + header[c] + ": '" + f[c] + "' is not a time HH:MM:SS");
            (c == 7 ? row.start_time : row.end_time) = *seconds;
        }
        rows.push_back(std::move(row));
    });
    if (first) throw FeedError(name + ": empty trip map (no header)");
    return rows;
}

}  // namespace escala::gtfs
