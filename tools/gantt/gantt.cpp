#include "gantt/gantt.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <string_view>

#include "check/check.hpp"
#include "crew/crew_util.hpp"

namespace escala::tools {

namespace {

// Page geometry, in CSS pixels.
constexpr double label_width = 170;
constexpr double plot_width = 1150;
constexpr double page_width = label_width + plot_width + 30;
constexpr double row_height = 14;
constexpr double bar_height = 10;
constexpr double axis_height = 24;
constexpr double chart_height = 190;
constexpr std::size_t max_chart_points = 2000;

std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ')) s.remove_suffix(1);
    return s;
}

template <typename Int>
bool parse_whole(std::string_view text, Int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// Spread hues by the golden angle so that neighbouring vehicle numbers differ;
// three lightness steps separate vehicles whose hues come close.
std::string vehicle_colour(std::int32_t vehicle) {
    const auto v = static_cast<std::uint32_t>(vehicle);
    const double hue = std::fmod(v * 137.508, 360.0);
    const int lightness = 42 + static_cast<int>(v % 3) * 10;
    return "hsl(" + num(hue) + ",65%," + std::to_string(lightness) + "%)";
}

// The time axis: whole hours around every task, `step` minutes between ticks.
struct Axis {
    std::int64_t from = 0, to = 1440, step = 60;
    double x(std::int64_t minutes) const {
        return label_width + static_cast<double>(minutes - from) * plot_width / static_cast<double>(to - from);
    }
};

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

Axis make_axis(const Dump& dump) {
    std::int64_t low = INT64_MAX, high = INT64_MIN;
    for (const DumpCrew& c : dump.crew)
        for (const DumpTask& t : c.tasks) {
            low = std::min<std::int64_t>({low, t.task.start_time, t.task.end_time});
            high = std::max<std::int64_t>({high, t.task.start_time, t.task.end_time});
        }
    Axis axis;
    if (low > high) return axis;  // no task at all: one day
    axis.from = floor_div(low, 60) * 60;
    axis.to = std::max(axis.from + 60, -floor_div(-high, 60) * 60);
    // At most about 30 ticks: 1, 2, 3, 4, 6 or 12 hours, then whole days.
    const std::int64_t hours = (axis.to - axis.from) / 60;
    for (std::int64_t h : {1, 2, 3, 4, 6, 12}) {
        axis.step = h * 60;
        if (hours / h <= 30) return axis;
    }
    std::int64_t days = 1;
    while (hours / (24 * days) > 30) days *= 2;
    axis.step = days * 1440;
    return axis;
}

// Where a schedule's real tasks overlap, in start order (as escala-check reports them).
struct Clash {
    std::int64_t from, to;
    std::size_t earlier, later;  // positions in the crew's block
};

std::vector<Clash> find_clashes(const DumpCrew& block) {
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < block.tasks.size(); ++k)
        if (block.tasks[k].task.is_virtual == 0) order.push_back(k);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return block.tasks[a].task < block.tasks[b].task; });
    std::vector<Clash> clashes;
    const Task* latest = nullptr;
    std::size_t latest_at = 0;
    for (std::size_t k : order) {
        const Task& t = block.tasks[k].task;
        if (latest != nullptr && t.start_time < latest->end_time)
            clashes.push_back({t.start_time, std::min(latest->end_time, t.end_time), latest_at, k});
        if (latest == nullptr || t.end_time > latest->end_time) latest = &t, latest_at = k;
    }
    return clashes;
}

// The split-shift break: the first longest gap of the schedule in task order.
std::optional<std::pair<std::int64_t, std::int64_t>> split_break(const DumpCrew& block) {
    Crew crew;
    for (const DumpTask& t : block.tasks) crew.tasks.push_back(t.task);
    crew.sort_tasks();
    if (!crew.is_split_shift()) return std::nullopt;
    const std::int32_t longest = crew.longest_gap();
    for (std::size_t k = 1; k < crew.tasks.size(); ++k)
        if (wrap_sub(crew.tasks[k].start_time, crew.tasks[k - 1].end_time) == longest)
            return std::pair<std::int64_t, std::int64_t>{crew.tasks[k - 1].end_time, crew.tasks[k].start_time};
    return std::nullopt;
}

std::string task_tooltip(const Task& t, std::size_t crew, int line) {
    std::string text = t.is_virtual != 0 ? "closing virtual task" : "task";
    text += " of crew " + std::to_string(crew) + ", dump line " + std::to_string(line) + "\nvehicle " +
            std::to_string(t.vehicle) + "\n" + clock_time(t.start_time) + " \u2013 " + clock_time(t.end_time) + " (" +
            std::to_string(static_cast<std::int64_t>(t.end_time) - t.start_time) + " min)\npoints " +
            std::to_string(t.start_point) + " \u2192 " + std::to_string(t.end_point) + "\nlines " +
            std::to_string(t.start_line) + " \u2192 " + std::to_string(t.end_line) + "\nslack " +
            std::to_string(t.slack) + " min";
    return html_escape(text);
}

void write_style(std::ostream& out) {
    out << "<style>\n"
           "body{font:13px/1.35 system-ui,-apple-system,'Segoe UI',Roboto,sans-serif;margin:16px;color:#1d2330;"
           "background:#fff}\n"
           "h1{font-size:19px;margin:0 0 4px}h2{font-size:15px;margin:14px 0 4px}\n"
           ".stats{display:flex;flex-wrap:wrap;gap:3px 20px;margin:6px 0 8px}.stats b{font-weight:650}\n"
           ".note{color:#667}\n"
           "svg{display:block}svg text{font-size:11px;fill:#333;font-variant-numeric:tabular-nums}\n"
           ".axis{position:sticky;top:0;background:#fffe;z-index:1;border-bottom:1px solid #ccd}\n"
           ".stripe{fill:#f1f4f8}.grid{stroke:#dfe3ea}.grid.day{stroke:#7a8294;stroke-dasharray:5 3}\n"
           ".bar,.k-bar{stroke:#0006;stroke-width:.6}\n"
           ".virtual{fill:#fff;stroke-width:1.3;stroke-dasharray:2.5 1.5}\n"
           ".clash{stroke:#d40000;stroke-width:1.6}\n"
           ".overlap,.k-overlap{fill:#e00000;fill-opacity:.6}\n"
           ".break,.k-break{fill:url(#hatch);stroke:#c9a400;stroke-width:.6}\n"
           ".split{fill:#a66f00;font-weight:700}.cost{fill:#556}\n"
           ".best{fill:none;stroke:#1f4fbf;stroke-width:1.8}.current{fill:none;stroke:#f08a24;stroke-width:1}\n"
           ".frame{fill:none;stroke:#99a}\n"
           "</style>\n";
}

void write_header(std::ostream& out, const Dump& dump, const std::string& dump_name) {
    v_crew roster = to_roster(dump);
    const std::uint32_t objective = global_objective(roster);
    const RosterTotals t = roster_totals(roster);
    out << "<h1>escala roster \u2014 " << html_escape(dump_name) << "</h1>\n<div class=\"stats\">"
        << "<span>objective <b>" << objective << "</b></span>"
        << "<span>crew <b>" << t.crew << "</b></span>"
        << "<span>tasks <b>" << t.real_tasks << "</b></span>"
        << "<span>virtual tasks <b>" << t.virtual_tasks << "</b></span>"
        << "<span>crew without tasks <b>" << t.without_tasks << "</b></span>"
        << "<span>split shifts <b>" << t.split_shifts << "</b></span>"
        << "<span>overlap <b>" << t.overlap << "</b> min</span>"
        << "<span>overtime <b>" << t.overtime << "</b> min</span>"
        << "<span>beyond 550 min <b>" << t.excess << "</b> min</span>"
        << "<span>vehicle changes <b>" << t.vehicle_changes << "</b></span>"
        << "<span>point changes <b>" << t.forbidden_point_changes << "</b> (" << t.permitted_point_changes
        << " at the longest gap)</span></div>\n";
}

void write_chart(std::ostream& out, const std::optional<SearchLog>& log, const std::string& log_name) {
    out << "<h2>Convergence of the last search</h2>\n";
    if (!log || log->points.empty()) {
        out << "<p class=\"note\">No search log (" << html_escape(log_name) << ") to chart.</p>\n";
        return;
    }
    const std::vector<ObjPoint>& p = log->points;
    std::uint32_t low = UINT32_MAX, high = 0;
    for (const ObjPoint& q : p) low = std::min({low, q.best, q.current}), high = std::max({high, q.best, q.current});
    const double left = 90, right = page_width - 20, top = 10, bottom = chart_height - 28;
    const double span = high > low ? static_cast<double>(high - low) : 1.0;
    const std::int64_t first = p.front().iteration, last = p.back().iteration;
    const double iterations = last > first ? static_cast<double>(last - first) : 1.0;
    auto x = [&](std::int64_t i) { return left + static_cast<double>(i - first) * (right - left) / iterations; };
    auto y = [&](std::uint32_t v) { return bottom - static_cast<double>(v - low) * (bottom - top) / span; };

    out << "<p>" << p.size() << " iterations in " << html_escape(log_name) << ", from " << p.front().current
        << " to best <b>" << p.back().best << "</b>"
        << "; <span style=\"color:#1f4fbf\">\u25ac best</span> <span style=\"color:#f08a24\">\u25ac current</span>";
    if (log->skipped_lines > 0) out << " <span class=\"note\">(" << log->skipped_lines << " unreadable lines skipped)</span>";
    out << "</p>\n<svg class=\"chart\" width=\"" << num(page_width) << "\" height=\"" << num(chart_height) << "\">\n";
    out << "<rect class=\"frame\" x=\"" << num(left) << "\" y=\"" << num(top) << "\" width=\"" << num(right - left)
        << "\" height=\"" << num(bottom - top) << "\"/>\n";
    for (int k = 0; k <= 4; ++k) {
        const std::uint32_t v = low + static_cast<std::uint32_t>(std::llround(span * k / 4.0));
        out << "<text x=\"" << num(left - 6) << "\" y=\"" << num(y(v) + 4) << "\" text-anchor=\"end\">" << v
            << "</text>\n";
        const std::int64_t i = first + std::llround(iterations * k / 4.0);
        out << "<text x=\"" << num(x(i)) << "\" y=\"" << num(bottom + 16) << "\" text-anchor=\"middle\">" << i
            << "</text>\n";
    }
    // Long searches are thinned to about max_chart_points points, keeping the last.
    const std::size_t stride = (p.size() + max_chart_points - 1) / max_chart_points;
    for (const char* series : {"current", "best"}) {
        out << "<polyline class=\"" << series << "\" points=\"";
        for (std::size_t k = 0; k < p.size(); k += stride) {
            const std::size_t at = std::min(k, p.size() - 1);
            out << num(x(p[at].iteration)) << ',' << num(y(series[0] == 'b' ? p[at].best : p[at].current)) << ' ';
        }
        out << num(x(p.back().iteration)) << ','
            << num(y(series[0] == 'b' ? p.back().best : p.back().current)) << "\"/>\n";
    }
    out << "</svg>\n";
}

void write_legend(std::ostream& out) {
    out << "<h2>Crew timelines</h2>\n<svg width=\"" << num(page_width) << "\" height=\"20\">"
        << "<rect class=\"k-bar\" x=\"2\" y=\"4\" width=\"30\" height=\"10\" fill=\"" << vehicle_colour(3) << "\"/>"
        << "<text x=\"38\" y=\"13\">task (colour: vehicle)</text>"
        << "<rect class=\"k-bar virtual\" x=\"180\" y=\"4\" width=\"30\" height=\"10\" stroke=\"" << vehicle_colour(3)
        << "\"/><text x=\"216\" y=\"13\">closing virtual task</text>"
        << "<rect class=\"k-bar clash\" x=\"350\" y=\"4\" width=\"30\" height=\"10\" fill=\"" << vehicle_colour(5)
        << "\"/><rect class=\"k-overlap\" x=\"370\" y=\"2\" width=\"10\" height=\"14\"/>"
        << "<text x=\"386\" y=\"13\">overlapping tasks</text>"
        << "<rect class=\"k-break\" x=\"510\" y=\"4\" width=\"30\" height=\"10\"/>"
        << "<text x=\"546\" y=\"13\">split-shift break</text>"
        << "<text class=\"split\" x=\"680\" y=\"13\">S</text><text x=\"692\" y=\"13\">split shift</text>"
        << "<text x=\"800\" y=\"13\">row label: crew index and cost; hover for details</text></svg>\n";
}

void write_axis(std::ostream& out, const Axis& axis) {
    out << "<div class=\"axis\"><svg width=\"" << num(page_width) << "\" height=\"" << num(axis_height) << "\">"
        << "<text x=\"6\" y=\"16\">crew \u00b7 cost</text>\n";
    for (std::int64_t t = axis.from; t <= axis.to; t += axis.step) {
        const std::string label = clock_time(t);
        out << "<text x=\"" << num(axis.x(t)) << "\" y=\"16\" text-anchor=\"middle\">"
            << label.substr(0, label.find(':')) << "h" << label.substr(5) << "</text>\n";
    }
    out << "</svg></div>\n";
}

void write_rows(std::ostream& out, const Dump& dump, const Axis& axis) {
    v_crew roster = to_roster(dump);
    const std::vector<CrewMeasures> measures = measure_crew(roster);
    const double height = row_height * static_cast<double>(dump.crew.size()) + 2;
    out << "<svg class=\"gantt\" width=\"" << num(page_width) << "\" height=\"" << num(height) << "\">\n"
        << "<defs><pattern id=\"hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#fff3c4\"/>"
           "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#e0b400\" stroke-width=\"2.5\"/></pattern></defs>\n";
    for (std::size_t i = 1; i < dump.crew.size(); i += 2)
        out << "<rect class=\"stripe\" x=\"0\" y=\"" << num(row_height * static_cast<double>(i)) << "\" width=\""
            << num(page_width) << "\" height=\"" << num(row_height) << "\"/>\n";
    for (std::int64_t t = axis.from; t <= axis.to; t += axis.step)
        out << "<line class=\"grid" << (t % 1440 == 0 ? " day" : "") << "\" x1=\"" << num(axis.x(t)) << "\" x2=\""
            << num(axis.x(t)) << "\" y1=\"0\" y2=\"" << num(height) << "\"/>\n";

    const double pad = (row_height - bar_height) / 2;
    for (std::size_t i = 0; i < dump.crew.size(); ++i) {
        const DumpCrew& block = dump.crew[i];
        const CrewMeasures& m = measures[i];
        out << "<g class=\"row\" id=\"crew-" << i << "\" transform=\"translate(0," << num(row_height * static_cast<double>(i))
            << ")\">\n<g class=\"label\"><title>crew " << i << ": cost " << m.cost << ", work " << m.work_time
            << " min, idle " << m.idle_time << " min, overtime " << m.overtime << " min"
            << (m.split_shift ? ", split shift" : "") << "</title><text x=\"6\" y=\"11\">" << i << "</text>";
        if (m.split_shift) out << "<text class=\"split\" x=\"40\" y=\"11\">S</text>";
        out << "<text class=\"cost\" x=\"" << num(label_width - 8) << "\" y=\"11\" text-anchor=\"end\">" << m.cost
            << "</text></g>\n";

        if (const auto gap = split_break(block))
            out << "<rect class=\"break\" x=\"" << num(axis.x(gap->first)) << "\" y=\"" << num(pad) << "\" width=\""
                << num(axis.x(gap->second) - axis.x(gap->first)) << "\" height=\"" << num(bar_height)
                << "\"><title>split-shift break of " << gap->second - gap->first << " min, "
                << clock_time(gap->first) << " \u2013 " << clock_time(gap->second) << "</title></rect>\n";

        const std::vector<Clash> clashes = find_clashes(block);
        std::set<std::size_t> clashing;
        for (const Clash& c : clashes) clashing.insert({c.earlier, c.later});
        for (std::size_t k = 0; k < block.tasks.size(); ++k) {
            const Task& t = block.tasks[k].task;
            const double x0 = axis.x(std::min(t.start_time, t.end_time));
            const double w = std::max(1.0, axis.x(std::max(t.start_time, t.end_time)) - x0);
            const std::string colour = vehicle_colour(t.vehicle);
            out << "<rect class=\"bar" << (t.is_virtual != 0 ? " virtual" : "") << (clashing.count(k) ? " clash" : "")
                << "\" x=\"" << num(x0) << "\" y=\"" << num(pad) << "\" width=\"" << num(w) << "\" height=\""
                << num(bar_height) << "\" " << (t.is_virtual != 0 ? "stroke" : "fill") << "=\"" << colour << "\"><title>"
                << task_tooltip(t, i, block.tasks[k].line) << "</title></rect>\n";
        }
        for (const Clash& c : clashes)
            out << "<rect class=\"overlap\" x=\"" << num(axis.x(c.from)) << "\" y=\"0\" width=\""
                << num(std::max(1.0, axis.x(c.to) - axis.x(c.from))) << "\" height=\"" << num(row_height)
                << "\"><title>overlap of " << c.to - c.from << " min between dump lines "
                << block.tasks[c.earlier].line << " and " << block.tasks[c.later].line << "</title></rect>\n";
        out << "</g>\n";
    }
    out << "</svg>\n";
}

}  // namespace

SearchLog read_last_search(std::istream& in) {
    SearchLog log;
    std::string raw;
    while (std::getline(in, raw)) {
        const std::string_view line = trim(raw);
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        ObjPoint p;
        if (tab2 == std::string_view::npos || !parse_whole(line.substr(0, tab1), p.iteration) ||
            !parse_whole(line.substr(tab1 + 1, tab2 - tab1 - 1), p.best) ||
            !parse_whole(line.substr(tab2 + 1), p.current)) {
            if (!line.empty()) ++log.skipped_lines;
            continue;
        }
        if (!log.points.empty() && p.iteration <= log.points.back().iteration) log.points.clear();
        log.points.push_back(p);
    }
    return log;
}

std::string clock_time(std::int64_t minutes) {
    const std::int64_t day = floor_div(minutes, 1440);
    const std::int64_t in_day = minutes - day * 1440;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(in_day / 60),
                  static_cast<long long>(in_day % 60));
    std::string result = text;
    if (day != 0) {
        if (day > 0) result += '+';
        result += std::to_string(day);
        result += 'd';
    }
    return result;
}

std::string html_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

void write_gantt(std::ostream& out, const Dump& dump, const std::optional<SearchLog>& log,
                 const std::string& dump_name, const std::string& log_name) {
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>escala roster \u2014 "
        << html_escape(dump_name) << "</title>\n";
    write_style(out);
    out << "</head><body>\n";
    write_header(out, dump, dump_name);
    write_chart(out, log, log_name);
    write_legend(out);
    const Axis axis = make_axis(dump);
    write_axis(out, axis);
    write_rows(out, dump, axis);
    out << "</body></html>\n";
}

}  // namespace escala::tools
