// The legend beside an imported task file: which GTFS id and name each number stands for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/task.hpp"

namespace escala::gtfs {

enum class IdKind { vehicle, point, line };
const char* kind_name(IdKind kind);

struct LegendEntry {
    IdKind kind = IdKind::vehicle;
    std::int32_t number = 0;
    std::string gtfs_id;  // block id, "trip:<trip_id>", stop id or route id
    std::string name;     // stop name, route short name, or empty
};

// A legend that cannot be used; the message reads "FILE:LINE: what".
struct LegendError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A CSV field as written: quoted when a reader would otherwise split or trim it.
std::string csv_field(const std::string& text);

// The CSV legend: header "kind,number,gtfs_id,name", then one row an entry.
void write_legend(std::ostream& out, const std::vector<LegendEntry>& entries);

// "Lintra.tsk" -> "Lintra.ids.csv".
std::filesystem::path legend_path(const std::filesystem::path& task_file);

struct LegendName {
    std::string gtfs_id;
    std::string name;
};
using Legend = std::map<std::pair<IdKind, std::int32_t>, LegendName>;

// Reads a legend strictly: the header, then rows of four fields with a known
// kind, a 32-bit decimal number and a non-empty id, no (kind, number) twice.
Legend read_legend(const std::filesystem::path& file);

// The entry of a number, if the legend has one.
std::optional<LegendName> find_name(const Legend& legend, IdKind kind, std::int32_t number);

// What a number stands for, for people: its GTFS id, then its name in
// quotes when it has one ("escenter \"Eugene Station\""); empty when the
// legend lacks the number.
std::string describe(const Legend& legend, IdKind kind, std::int32_t number);

// A task's vehicle, stops and routes as the feed names them: "block 42, from
// 9011 \"Eugene Station\" to escenter, route 82 \"82\"" (a number the legend
// lacks is given as it is).
std::string describe_task(const Legend& legend, const Task& task);

}  // namespace escala::gtfs
