#include "cli.hpp"

#include "cli/command_line.hpp"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>

namespace escala::tools::import {

namespace {

const CLI::Validator metres([](std::string& text) -> std::string {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (!text.empty() && *end == '\0' && std::isfinite(value) && value >= 0 && value <= 100000) return {};
    return "'" + text + "' is not a number of metres from 0 to 100000";
}, "");

const CLI::Validator date([](std::string& text) -> std::string {
    if (gtfs::parse_date(text)) return {};
    return "'" + text + "' is not a date YYYYMMDD";
}, "");

const char* const footer = R"(Reads FEED, a GTFS feed as a folder or a .zip (routes.txt, stops.txt,
trips.txt, stop_times.txt; calendar.txt and calendar_dates.txt for --date
and --list-services, either may be absent).
Writes the task file (--out) and beside it its legend, named after it with
.ids.csv in place of its extension (Lintra.ids.csv): CSV with the header
kind,number,gtfs_id,name, one row per vehicle, point and line used (and
per first or last stop of a trip); and
its trip map, .trips.csv in place of the extension (Lintra.trips.csv): CSV
with the header task,trip_id,block_id,service_id,route_id,headsign,
start_stop,start_time,end_stop,end_time, one row per trip, tasks in file
order (task = the task's line, from 1), each task's trips in time order,
times HH:MM:SS as in the feed (seconds kept, past 24:00:00 stays past).

Tasks: vehicle = the trip's block_id (a trip without one is a vehicle of its
own, trip:<trip_id> in the legend); times in whole minutes from the start of
the service day (seconds dropped, past midnight above 1440); points = first
and last stop_id; lines = route_id; slack = dwell at the stops, and in pieces
mode also the layovers between the piece's trips.
Pieces mode cuts each bus's day only where it stands between two trips at a
relief station (one stop, stops with one parent_station, or, for a stop
without a parent, a stop within --zone-radius metres).

Numbers: an id of decimal digits keeps its value (09011 -> 9011) unless an
earlier one took it or it exceeds 2147483647; the other ids of each kind
(stops, routes, vehicles) are numbered in file order from the smallest power
of ten above the largest kept value (stop escenter -> 100004, route 79x ->
1000 in a feed with numeric ids up to 99911 and 103). The numbers do not
depend on the chosen service.

Exit status: 0 done, 2 unusable command line or feed (nothing written),
1 output cannot be written, 130 after Ctrl-C (SIGINT), 143 after SIGTERM.
Ctrl-C stops the import at the next safe point and writes nothing: an
existing task file, legend and trip map are kept as they were; a second
Ctrl-C ends it at once.)";

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Turns a GTFS feed into a task file for escala.", "escala-import"};
    app.set_version_flag("--version", std::string("escala-import ") + ESCALA_VERSION);
    app.footer(footer);
    ToolOptions options;
    gtfs::ImportOptions& import = options.import;
    std::string date_text, mode = "trips";
    app.add_option("FEED", options.feed, "GTFS feed: a folder or a .zip file")->required();
    auto* service = app.add_option("--service", import.services, "Import the trips of these services (repeatable)")
                        ->type_name("ID[,ID]")
                        ->delimiter(',')
                        ->allow_extra_args(false);
    auto* on_date = app.add_option("--date", date_text, "Import every service running that day")
                        ->type_name("YYYYMMDD")
                        ->check(date);
    service->excludes(on_date);
    auto* list = app.add_flag("--list-services", options.list_services,
                              "Print each service with its days, dates and number of trips, and exit");
    list->excludes(service)->excludes(on_date);
    app.add_option("--mode", mode, "trips: one task per trip; pieces: each bus's day cut into duty pieces")
        ->check(CLI::IsMember({"trips", "pieces"}))
        ->capture_default_str();
    app.add_option("--out", options.out, "Task file to write")->type_name("FILE")->capture_default_str();
    app.add_option("--relief", import.relief, "Pieces: the relief stations, by stop or station id (repeatable)")
        ->type_name("STOP[,STOP]")
        ->delimiter(',')
        ->allow_extra_args(false);
    app.add_option("--relief-count", import.relief_count,
                   "Pieces, without --relief: relieve at the N stations where buses stand most often (0-1000)")
        ->type_name("N")
        ->check(cli::decimal_in(0, 1000))
        ->capture_default_str();
    app.add_option("--zone-radius", import.zone_radius,
                   "Pieces: metres within which a stop without a parent station joins another (0-100000)")
        ->type_name("M")
        ->check(metres)
        ->capture_default_str();
    app.add_option("--min-piece", import.min_piece, "Pieces: shortest wanted piece, minutes (1-2880)")
        ->type_name("MIN")
        ->check(cli::decimal_in(1, 2880))
        ->capture_default_str();
    app.add_option("--max-piece", import.max_piece, "Pieces: longest wanted piece, minutes (1-2880)")
        ->type_name("MIN")
        ->check(cli::decimal_in(1, 2880))
        ->capture_default_str();
    try {
        app.parse(argc, argv);
        if (!options.list_services && import.services.empty() && date_text.empty())
            throw CLI::ValidationError("one of --service, --date or --list-services is required");
        if (import.min_piece > import.max_piece)
            throw CLI::ValidationError("--min-piece " + std::to_string(import.min_piece) + " is above --max-piece " +
                                       std::to_string(import.max_piece));
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, cli::finish_parse(app, e, out, err, "escala-import")};
    }
    if (!date_text.empty()) import.date = gtfs::parse_date(date_text);
    import.mode = mode == "pieces" ? gtfs::Mode::pieces : gtfs::Mode::trips;
    return {options, 0};
}

}  // namespace escala::tools::import
