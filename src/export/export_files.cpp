#include "export/export_files.hpp"

#include <algorithm>
#include <map>

#include "gtfs/trip_map.hpp"
#include "io/printable.hpp"

namespace escala::exporting {

namespace {

using gtfs::csv_field;
using gtfs::format_seconds;

std::string minutes_text(std::int32_t minutes) {
    const std::int32_t m = minutes % 60;
    return std::to_string(minutes / 60) + ":" + (m < 10 ? "0" : "") + std::to_string(m);
}

const char* const style = R"(
body { font: 14px/1.4 system-ui, sans-serif; margin: 1.5em; color: #111; }
h1 { font-size: 1.5em; margin: 0 0 .3em; }
h2 { font-size: 1.25em; margin: 0 0 .2em; }
.index { columns: 12em; padding: 0; list-style: none; }
.index li { margin: .1em 0; }
.sheet { margin-top: 2em; border-top: 2px solid #333; padding-top: .5em; }
.head { display: flex; flex-wrap: wrap; gap: .3em 1.5em; margin: .3em 0 .6em; }
.head b { font-weight: 600; }
table { border-collapse: collapse; width: 100%; }
th, td { border: 1px solid #aaa; padding: .2em .4em; text-align: left; vertical-align: top; }
th { background: #e8e8e8; }
td.time { white-space: nowrap; font-variant-numeric: tabular-nums; }
tr.other td { background: #f3f3f3; font-style: italic; }
tr.overlap td { background: #fdd; }
.warn { color: #a00; font-weight: 600; }
@media print {
  body { margin: 0; font-size: 11px; }
  .sheet { break-before: page; border-top: none; margin-top: 0; }
  tr { break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
}
)";

}  // namespace

std::string hours_minutes(std::int32_t seconds) {
    const std::string text = format_seconds(seconds);
    return text.substr(0, text.size() - 3);
}

void write_run_events(std::ostream& out, const std::vector<Run>& runs, const std::string& service_id) {
    out << "service_id,run_id,event_sequence,piece_id,block_id,job_type,event_type,trip_id,start_location,"
           "start_time,start_mid_trip,end_location,end_time,end_mid_trip\n";
    for (const Run& run : runs) {
        int sequence = 0;
        for (const Event& e : run.events) {
            const bool trip = e.type == EventType::trip;
            const char* mid = trip ? "2" : "";
            out << csv_field(service_id) << ',' << run.run_id << ',' << (sequence += 10) << ',' << e.piece_id << ','
                << csv_field(e.block_id) << ",Operator," << event_type_name(e.type) << ',' << csv_field(e.trip_id)
                << ',' << csv_field(e.from) << ',' << format_seconds(e.start) << ',' << mid << ',' << csv_field(e.to)
                << ',' << format_seconds(e.end) << ',' << mid << '\n';
        }
    }
}

void write_runs_csv(std::ostream& out, const std::vector<Run>& runs, const std::vector<RunMeasures>& measures,
                    std::uint32_t objective) {
    out << "run_id,member,sign_on,sign_off,pieces,trips,vehicles,platform_minutes,work_time,idle_time,overtime,"
           "excess_time,overlap_time,vehicle_changes,point_changes,split_shift,cost\n";
    std::int64_t sum[14] = {};
    for (const Run& run : runs) {
        const RunMeasures& m = measures.at(static_cast<std::size_t>(run.member));
        const std::int64_t values[14] = {run.pieces,       run.trips,         run.vehicles,    run.platform_minutes,
                                         m.work_time,      m.idle_time,       m.overtime,      m.excess_time,
                                         m.overlap_time,   m.vehicle_changes, m.point_changes, m.split_shift ? 1 : 0,
                                         m.cost,           0};
        out << run.run_id << ',' << run.member << ',' << format_seconds(run.sign_on) << ','
            << format_seconds(run.sign_off);
        for (int i = 0; i < 13; ++i) {
            out << ',' << values[i];
            sum[i] += values[i];
        }
        out << '\n';
    }
    out << "total,,,";
    for (int i = 0; i < 12; ++i) out << ',' << sum[i];
    out << ',' << objective << '\n';
}

void write_run_sheets(std::ostream& out, const std::vector<Run>& runs, const std::vector<RunMeasures>& measures,
                      const gtfs::Legend& legend, const std::string& service_id) {
    std::map<std::string, std::string> stops, routes;  // id -> name
    for (const auto& [key, entry] : legend) {
        if (key.first == gtfs::IdKind::point) stops.emplace(entry.gtfs_id, entry.name);
        if (key.first == gtfs::IdKind::line) routes.emplace(entry.gtfs_id, entry.name);
    }
    const auto name = [](const std::map<std::string, std::string>& names, const std::string& id) {
        const auto found = names.find(id);
        return found == names.end() || found->second.empty() ? id : found->second;
    };
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        << "<title>Run sheets, service " << html_escape(service_id) << "</title>\n<style>" << style << "</style>\n"
        << "</head>\n<body>\n<h1>Run sheets, service " << html_escape(service_id) << "</h1>\n<p>" << runs.size()
        << (runs.size() == 1 ? " run" : " runs") << ".</p>\n<ul class=\"index\">\n";
    for (const Run& run : runs)
        out << "<li><a href=\"#run-" << run.run_id << "\">Run " << run.run_id << "</a> " << hours_minutes(run.sign_on)
            << "&ndash;" << hours_minutes(run.sign_off) << "</li>\n";
    out << "</ul>\n";
    for (const Run& run : runs) {
        const RunMeasures& m = measures.at(static_cast<std::size_t>(run.member));
        out << "<section class=\"sheet\" id=\"run-" << run.run_id << "\">\n<h2>Run " << run.run_id << "</h2>\n"
            << "<div class=\"head\"><span>Crew member <b>" << run.member << "</b></span><span>Sign-on <b>"
            << hours_minutes(run.sign_on) << "</b></span><span>Sign-off <b>" << hours_minutes(run.sign_off)
            << "</b></span><span>Work time <b>" << minutes_text(m.work_time) << "</b></span><span>Trips <b>"
            << run.trips << "</b></span><span>Pieces <b>" << run.pieces << "</b></span></div>\n";
        const bool overlapping =
            std::any_of(run.events.begin(), run.events.end(), [](const Event& e) { return e.overlaps; });
        if (overlapping) out << "<p class=\"warn\">Trips marked &#9888; overlap in time.</p>\n";
        out << "<table>\n<thead><tr><th>Start</th><th>End</th><th>Duty</th><th>Route</th><th>Block</th><th>From</th>"
               "<th>To</th><th>Headsign</th><th>Trip</th></tr></thead>\n<tbody>\n";
        for (const Event& e : run.events) {
            const bool trip = e.type == EventType::trip;
            out << "<tr" << (e.overlaps ? " class=\"overlap\"" : trip ? "" : " class=\"other\"") << "><td class=\"time\">"
                << hours_minutes(e.start) << "</td><td class=\"time\">" << hours_minutes(e.end) << "</td><td>"
                << (e.overlaps ? "&#9888; " : "") << (trip ? "Drive" : event_type_name(e.type)) << "</td><td>"
                << html_escape(trip ? name(routes, e.route_id) : "") << "</td><td>" << html_escape(e.block_id) << "</td><td>"
                << html_escape(name(stops, e.from)) << "</td><td>" << html_escape(name(stops, e.to)) << "</td><td>"
                << html_escape(e.headsign) << "</td><td>" << html_escape(e.trip_id) << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n</section>\n";
    }
    out << "</body>\n</html>\n";
}

}  // namespace escala::exporting
