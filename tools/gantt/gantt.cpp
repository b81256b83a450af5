#include "gantt/gantt.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>
#include <string_view>

#include "check/check.hpp"
#include "crew/crew_util.hpp"
#include "crew/rules.hpp"

namespace escala::tools {

namespace {

// Page geometry, in CSS pixels.
constexpr double label_width = 170;
constexpr double plot_width = 1150;
constexpr double page_width = label_width + plot_width + 30;
constexpr double row_height = 18;
constexpr double bar_height = 14;
constexpr double axis_height = 24;
constexpr double chart_height = 190;
constexpr std::size_t max_chart_points = 2000;

// Vehicle labels on the bars: 10px type, and a width per character that
// errs on the wide side so that a label drawn never spills out of its bar.
constexpr double bar_label_char_width = 6.6;
constexpr double bar_label_margin = 3;

// Colours at least this far apart look clearly different.
constexpr double distinct_colours = 150;

std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

// A number as short as it prints: 2, 15.5.
std::string short_num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// One attribute of an SVG element; tag() quotes and escapes its value.
struct Attribute {
    std::string_view name;
    std::string value;
};

// `<name a="1" b="2"` and then `end`: "/>" for an empty element, ">" before content.
std::string tag(std::string_view name, std::initializer_list<Attribute> attributes, std::string_view end = "/>") {
    std::string text = "<" + std::string(name);
    for (const Attribute& a : attributes)
        text += " " + std::string(a.name) + "=\"" + html_escape(a.value) + "\"";
    return text + std::string(end);
}

// 17563700 as "17 563 700", with narrow no-break spaces.
std::string grouped(std::int64_t v) {
    const std::string digits = std::to_string(v < 0 ? -v : v);
    std::string text = v < 0 ? "-" : "";
    for (std::size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0) text += "\u202f";
        text += digits[k];
    }
    return text;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// ---- colours ----

Rgb from_hsl(double hue, double saturation, double lightness) {
    const double c = (1 - std::fabs(2 * lightness - 1)) * saturation;
    const double h = std::fmod(hue, 360.0) / 60;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    if (h < 1) r = c, g = x;
    else if (h < 2) r = x, g = c;
    else if (h < 3) g = c, b = x;
    else if (h < 4) g = x, b = c;
    else if (h < 5) r = x, b = c;
    else r = c, b = x;
    const double m = lightness - c / 2;
    auto byte = [m](double v) { return static_cast<int>(std::lround((v + m) * 255)); };
    return {byte(r), byte(g), byte(b)};
}

std::string hex(Rgb c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r & 255, c.g & 255, c.b & 255);
    return text;
}

// Twelve hues in a dark and a light shade. Pure red is left out, as red marks
// overlaps. The order steps round the colour wheel in strides of five hues,
// so that colours handed out in turn differ.
const std::vector<Rgb>& palette() {
    static const std::vector<Rgb> colours = [] {
        const double hues[12] = {25, 42, 62, 95, 135, 168, 190, 210, 232, 262, 290, 325};
        std::vector<Rgb> out;
        for (int k = 0; k < 24; ++k) {
            const int hue = (k * 5) % 12;
            const bool dark = (k / 12 + k) % 2 == 0;
            out.push_back(from_hsl(hues[hue], dark ? 0.62 : 0.70, dark ? 0.38 : 0.66));
        }
        return out;
    }();
    return colours;
}

struct BarColours {
    std::map<std::int32_t, Rgb> fill;
    std::string fill_of(std::int32_t vehicle) const {
        const auto found = fill.find(vehicle);
        return hex(found == fill.end() ? Rgb{128, 128, 128} : found->second);
    }
    // The label's class: "vl" dark text, "vl w" white text.
    const char* label_class(std::int32_t vehicle) const {
        const auto found = fill.find(vehicle);
        return found == fill.end() || dark_text_on(found->second) ? "vl" : "vl w";
    }
};

// ---- time axis ----

// The time axis: whole hours around every task, `step` minutes between ticks,
// the ends on multiples of the step.
struct Axis {
    std::int64_t from = 0, to = 1440, step = 60;
    double x(std::int64_t minutes) const {
        return label_width + static_cast<double>(minutes - from) * plot_width / static_cast<double>(to - from);
    }
};

Axis make_axis(const Dump& dump) {
    std::int64_t low = INT64_MAX, high = INT64_MIN;
    for (const DumpCrew& c : dump.crew)
        for (const DumpTask& t : c.tasks) {
            low = std::min<std::int64_t>({low, t.task.start_time, t.task.end_time});
            high = std::max<std::int64_t>({high, t.task.start_time, t.task.end_time});
        }
    Axis axis;
    if (low > high) return axis;  // no task at all: one day
    // At most about 30 ticks: 1, 2, 3, 4, 6 or 12 hours, then whole days.
    const std::int64_t hours = std::max<std::int64_t>(1, -floor_div(-high, 60) - floor_div(low, 60));
    axis.step = 0;
    for (std::int64_t h : {1, 2, 3, 4, 6, 12})
        if (axis.step == 0 && hours / h <= 30) axis.step = h * 60;
    if (axis.step == 0) {
        std::int64_t days = 1;
        while (hours / (24 * days) > 30) days *= 2;
        axis.step = days * 1440;
    }
    axis.from = floor_div(low, axis.step) * axis.step;
    axis.to = std::max(axis.from + axis.step, -floor_div(-high, axis.step) * axis.step);
    return axis;
}

// ---- schedules ----

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
std::optional<std::pair<std::int64_t, std::int64_t>> split_break(const DumpCrew& block, const Rules& rules) {
    Crew crew;
    for (const DumpTask& t : block.tasks) crew.tasks.push_back(t.task);
    crew.sort_tasks();
    if (!crew.is_split_shift(rules)) return std::nullopt;
    const std::int32_t longest = crew.longest_gap();
    for (std::size_t k = 1; k < crew.tasks.size(); ++k)
        if (wrap_sub(crew.tasks[k].start_time, crew.tasks[k - 1].end_time) == longest)
            return std::pair<std::int64_t, std::int64_t>{crew.tasks[k - 1].end_time, crew.tasks[k].start_time};
    return std::nullopt;
}

// Characters of UTF-8 text.
std::size_t characters(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

// "17" or "17 (escenter "Eugene Station")".
std::string with_note(std::int32_t number, const NumberNote& note) {
    const std::string extra = note ? note(number) : std::string();
    return std::to_string(number) + (extra.empty() ? "" : " (" + extra + ")");
}

std::string task_tooltip(const Task& t, std::size_t crew, int line, const std::string& label,
                         const GanttOptions& options) {
    std::string text = t.is_virtual != 0 ? "closing virtual task" : "task";
    text += " of crew " + std::to_string(crew) + ", dump line " + std::to_string(line) + "\nvehicle " +
            std::to_string(t.vehicle) + (label != vehicle_number(t.vehicle) ? " (" + label + ")" : "") + "\n" +
            clock_time(t.start_time) + " \u2013 " + clock_time(t.end_time) + " (" +
            std::to_string(static_cast<std::int64_t>(t.end_time) - t.start_time) + " min)\npoints " +
            with_note(t.start_point, options.point_note) + " \u2192 " + with_note(t.end_point, options.point_note) +
            "\nlines " + with_note(t.start_line, options.line_note) + " \u2192 " +
            with_note(t.end_line, options.line_note) + "\nslack " +
            std::to_string(t.slack) + " min";
    return html_escape(text);
}

// "3, 5, 9–120": crew indices in increasing order, runs shortened.
std::string index_ranges(const std::vector<std::size_t>& indices) {
    std::string text;
    for (std::size_t k = 0; k < indices.size();) {
        std::size_t end = k;
        while (end + 1 < indices.size() && indices[end + 1] == indices[end] + 1) ++end;
        if (!text.empty()) text += ", ";
        text += std::to_string(indices[k]);
        if (end > k) text += (end == k + 1 ? ", " : "\u2013") + std::to_string(indices[end]);
        k = end + 1;
    }
    return text;
}

// ---- the page ----

// The page's style sheet, written inside <style>.
constexpr std::string_view style_sheet =
    R"css(body{font:13px/1.35 system-ui,-apple-system,'Segoe UI',Roboto,sans-serif;margin:16px;color:#1d2330;background:#fff}
h1{font-size:19px;margin:0 0 4px}h2{font-size:15px;margin:14px 0 4px}
.stats{display:flex;flex-wrap:wrap;gap:3px 20px;margin:6px 0 6px}.stats b{font-weight:650}
.measures{column-count:2;column-gap:28px;margin:0;max-width:1320px;font-size:12px;color:#4a5263}
.measures div{break-inside:avoid;margin:0 0 2px}.measures dt{display:inline;font-weight:650;color:#1d2330}.measures dt::after{content:": "}.measures dd{display:inline;margin:0}
.note{color:#667}.folded{margin:4px 0 6px}
svg{display:block}svg text{font-size:11px;fill:#333;font-variant-numeric:tabular-nums}
.axis{position:sticky;top:0;background:#fffe;z-index:1;border-bottom:1px solid #ccd}
.stripe{fill:#eef1f6}.grid{stroke:#dfe3ea}.grid.day{stroke:#7a8294;stroke-dasharray:5 3}
.bar,.k-bar{stroke:#0008;stroke-width:.7}
.virtual{fill:#fff;stroke-width:1.4;stroke-dasharray:3 2}
.clash{stroke:#d40000;stroke-width:1.8}
.overlap,.k-overlap{fill:#e00000;fill-opacity:.6}
.break,.k-break{fill:url(#hatch);stroke:#c9a400;stroke-width:.6}
svg text.vl{font-size:10px;font-weight:600;text-anchor:middle;pointer-events:none;fill:#141820}svg text.vl.w{fill:#fff}
.split{fill:#a66f00;font-weight:700}.cost{fill:#556}
.best{fill:none;stroke:#1f4fbf;stroke-width:1.8}.current{fill:none;stroke:#f08a24;stroke-width:1}
.frame{fill:none;stroke:#99a}.cgrid{stroke:#e4e7ee}
)css";

void write_style(std::ostream& out) { out << "<style>\n" << style_sheet << "</style>\n"; }

// "×40 a minute" and the like, from escala's weights.
std::string weight(std::uint32_t w, const char* unit) { return "\u00d7" + grouped(w) + " a " + unit; }

void write_header(std::ostream& out, const Dump& dump, const std::string& dump_name, const GanttOptions& options) {
    const bool all_crew = options.all_crew;
    const Pesos& pesos = options.rules.weights;
    const Limits& limits = options.rules.limits;
    const std::string beyond = "beyond " + std::to_string(limits.excess_after) + " min";
    v_crew roster = to_roster(dump);
    const std::uint32_t objective = global_objective(roster, options.rules);
    const RosterTotals t = roster_totals(roster, options.rules);
    out << "<h1>escala roster \u2014 " << html_escape(dump_name) << "</h1>\n";
    if (!options.rules_note.empty()) out << "<p class=\"rules\">" << html_escape(options.rules_note) << "</p>\n";
    out << "<div class=\"stats\">"
        << "<span>objective <b>" << objective << "</b></span>"
        << "<span>crew <b>" << t.crew << "</b></span>"
        << "<span>tasks <b>" << t.real_tasks << "</b></span>"
        << "<span>virtual tasks <b>" << t.virtual_tasks << "</b></span>"
        << "<span>crew without tasks <b>" << t.without_tasks << "</b></span>"
        << "<span>split shifts <b>" << t.split_shifts << "</b></span>"
        << "<span>overlap <b>" << t.overlap << "</b> min</span>"
        << "<span>overtime <b>" << t.overtime << "</b> min</span>"
        << "<span>" << beyond << " <b>" << t.excess << "</b> min</span>"
        << "<span>vehicle changes <b>" << t.vehicle_changes << "</b></span>"
        << "<span>point changes <b>" << t.forbidden_point_changes << "</b> (" << t.permitted_point_changes
        << " at the longest gap)</span></div>\n";

    // What each figure means. Work time runs from a schedule's first start to
    // its last end, the closing virtual task included, less a split shift's break.
    std::string objective_meaning =
        "sum of the crew members\u2019 costs, lower is better: idle time " + weight(pesos.t_ocioso, "minute") +
        ", overtime " + weight(pesos.h_extra, "minute") + ", " + beyond + " " + weight(pesos.d_jornada, "minute") +
        ", overlap " + weight(pesos.t_sobreposicao, "minute") + ", rest under " + std::to_string(limits.min_rest) + " min " +
        weight(pesos.i_jornada, "minute") + ", vehicle changes " + weight(pesos.t_veiculo, "change") +
        ", point changes " + weight(pesos.tp_proibida, "change") + " (+" + grouped(pesos.tp_permitida) +
        " for one at the longest gap)";
    if (pesos.p_duplas != 0) objective_meaning += ", split shifts beyond 20 " + weight(pesos.p_duplas, "shift");
    const std::pair<const char*, std::string> meanings[] = {
        {"objective", objective_meaning},
        {"crew", "crew members in the roster: a row each, the cost of the member at the row\u2019s end"},
        {"tasks", "real tasks: pieces of work on a vehicle"},
        {"virtual tasks", "closing time escala adds at a schedule\u2019s end (up to " +
                              std::to_string(std::max(limits.virtual_idle, limits.virtual_short)) +
                              " min; none when its breaks already give that); dashed bars"},
        {"crew without tasks",
         all_crew ? "members with an empty schedule: empty rows"
                  : "members with an empty schedule: listed in one line above the rows, no row each"},
        {"split shifts", "schedules whose longest gap is over " + std::to_string(limits.split_gap) +
                             " min: S in the row, the break hatched, and the break is not work time"},
        {"overlap", "minutes in which a member\u2019s tasks run at once: red outline and red band"},
        {"overtime", "work time beyond " + std::to_string(limits.workday) + " min (beyond " +
                         std::to_string(limits.split_workday) +
                         " min in a split shift); work time runs from the first task\u2019s start to the last "
                         "one\u2019s end"},
        {beyond.c_str(), "work time " + beyond + ", the longest working day"},
        {"vehicle changes", "places where a member\u2019s next task is on another vehicle"},
        {"point changes", "places where a member\u2019s next task starts at another point than the previous one "
                          "ended; in brackets, how many of them fall at the schedule\u2019s longest gap"},
    };
    out << "<dl class=\"measures\">";
    for (const auto& [name, meaning] : meanings)
        out << "<div><dt>" << name << "</dt><dd>" << html_escape(meaning) << "</dd></div>";
    out << "</dl>\n";
}

void write_chart(std::ostream& out, const std::optional<SearchLog>& log, const std::string& log_name) {
    out << "<h2>Convergence of the last search</h2>\n";
    if (!log || log->points.empty()) {
        out << "<p class=\"note\">No search log (" << html_escape(log_name) << ") to chart.</p>\n";
        return;
    }
    const std::vector<ObjPoint>& p = log->points;
    std::int64_t low = INT64_MAX, high = 0;
    for (const ObjPoint& q : p) {
        low = std::min<std::int64_t>({low, q.best, q.current});
        high = std::max<std::int64_t>({high, q.best, q.current});
    }
    // The value scale runs between round values around the data, a tick at each.
    const std::int64_t value_step = round_step(high - low, 5);
    const std::int64_t scale_low = floor_div(low, value_step) * value_step;
    const std::int64_t scale_high = std::max(scale_low + value_step, -floor_div(-high, value_step) * value_step);
    const double left = 90, right = page_width - 20, top = 10, bottom = chart_height - 28;
    const std::int64_t first = p.front().iteration, last = p.back().iteration;
    const double iterations = last > first ? static_cast<double>(last - first) : 1.0;
    auto x = [&](std::int64_t i) { return left + static_cast<double>(i - first) * (right - left) / iterations; };
    const double value_span = static_cast<double>(scale_high - scale_low);
    auto y = [&](std::int64_t v) { return bottom - static_cast<double>(v - scale_low) * (bottom - top) / value_span; };

    out << "<p>" << p.size() << " iterations in " << html_escape(log_name) << ", from " << p.front().current
        << " to best <b>" << p.back().best << "</b>"
        << "; <span style=\"color:#1f4fbf\">\u25ac best</span> <span style=\"color:#f08a24\">\u25ac current</span>";
    if (log->skipped_lines > 0) out << " <span class=\"note\">(" << log->skipped_lines << " unreadable lines skipped)</span>";
    out << "</p>\n"
        << tag("svg", {{"class", "chart"}, {"width", num(page_width)}, {"height", num(chart_height)}}, ">\n");
    for (std::int64_t v = scale_low; v <= scale_high; v += value_step)
        out << tag("line",
                   {{"class", "cgrid"}, {"x1", num(left)}, {"x2", num(right)}, {"y1", num(y(v))}, {"y2", num(y(v))}})
            << tag("text", {{"x", num(left - 6)}, {"y", num(y(v) + 4)}, {"text-anchor", "end"}}, ">") << grouped(v)
            << "</text>\n";
    const std::int64_t iteration_step = round_step(last - first, 8);
    for (std::int64_t i = -floor_div(-first, iteration_step) * iteration_step; i <= last; i += iteration_step)
        out << tag("line", {{"class", "frame"}, {"x1", num(x(i))}, {"x2", num(x(i))}, {"y1", num(bottom)},
                            {"y2", num(bottom + 4)}})
            << tag("text", {{"x", num(x(i))}, {"y", num(bottom + 16)}, {"text-anchor", "middle"}}, ">") << grouped(i)
            << "</text>\n";
    out << tag("rect", {{"class", "frame"}, {"x", num(left)}, {"y", num(top)}, {"width", num(right - left)},
                        {"height", num(bottom - top)}})
        << "\n";
    // Long searches are thinned to about max_chart_points points, keeping the last.
    const std::size_t stride = (p.size() + max_chart_points - 1) / max_chart_points;
    for (const char* series : {"current", "best"}) {
        auto point = [&](const ObjPoint& q) {
            return num(x(q.iteration)) + ',' + num(y(series[0] == 'b' ? q.best : q.current));
        };
        std::string points;
        for (std::size_t k = 0; k < p.size(); k += stride) points += point(p[std::min(k, p.size() - 1)]) + ' ';
        points += point(p.back());
        out << tag("polyline", {{"class", series}, {"points", points}}) << "\n";
    }
    out << "</svg>\n";
}

void write_legend(std::ostream& out, const std::vector<std::size_t>& folded) {
    const Rgb sample = palette()[0], other = palette()[1];
    // Side by side, each item's key and then its text; an item's width says
    // where the next one begins.
    constexpr double key_width = 30, text_after_key = key_width + 6;
    const double widths[] = {260, 168, 160, 160, 100};
    double at = 2;
    std::size_t item = 0;
    auto next = [&] {
        const double here = at;
        at += widths[item++];
        return here;
    };
    auto key = [&](double x, const std::string& classes, Attribute paint) {
        out << tag("rect", {{"class", classes}, {"x", short_num(x)}, {"y", "4"}, {"width", short_num(key_width)},
                            {"height", num(bar_height)}, std::move(paint)});
    };
    auto text = [&](double x, std::string_view words, const std::string& classes = {}) {
        if (classes.empty())
            out << tag("text", {{"x", short_num(x)}, {"y", "15"}}, ">");
        else
            out << tag("text", {{"class", classes}, {"x", short_num(x)}, {"y", "15"}}, ">");
        out << words << "</text>";
    };
    out << "<h2>Crew timelines</h2>\n" << tag("svg", {{"width", num(page_width)}, {"height", "22"}}, ">");
    double x = next();
    key(x, "k-bar", {"fill", hex(sample)});
    out << tag("text", {{"class", dark_text_on(sample) ? "vl" : "vl w"}, {"x", short_num(x + key_width / 2)},
                        {"y", "15.5"}},
               ">")
        << "12</text>";
    text(x + text_after_key, "task: colour and label give the vehicle");
    x = next();
    key(x, "k-bar virtual", {"stroke", hex(sample)});
    text(x + text_after_key, "closing virtual task");
    x = next();
    key(x, "k-bar clash", {"fill", hex(other)});
    out << tag("rect",
               {{"class", "k-overlap"}, {"x", short_num(x + 20)}, {"y", "2"}, {"width", "10"}, {"height", "18"}});
    text(x + text_after_key, "overlapping tasks");
    x = next();
    out << tag("rect", {{"class", "k-break"}, {"x", short_num(x)}, {"y", "4"}, {"width", short_num(key_width)},
                        {"height", num(bar_height)}});
    text(x + text_after_key, "split-shift break");
    x = next();
    text(x, "S", "split");
    text(x + 12, "split shift");
    text(at, "row: crew index and cost; hover a bar for its task");
    out << "</svg>\n";
    if (!folded.empty())
        out << "<p class=\"folded\">" << folded.size() << " crew member" << (folded.size() == 1 ? "" : "s")
            << " without tasks (no row): " << index_ranges(folded) << "</p>\n";
}

void write_axis(std::ostream& out, const Axis& axis) {
    out << "<div class=\"axis\">" << tag("svg", {{"width", num(page_width)}, {"height", num(axis_height)}}, ">")
        << tag("text", {{"x", "6"}, {"y", "16"}}, ">") << "crew \u00b7 cost</text>\n";
    for (std::int64_t t = axis.from; t <= axis.to; t += axis.step) {
        const std::string label = clock_time(t);
        out << tag("text", {{"x", num(axis.x(t))}, {"y", "16"}, {"text-anchor", "middle"}}, ">")
            << label.substr(0, label.find(':')) << "h" << label.substr(5) << "</text>\n";
    }
    out << "</svg></div>\n";
}

void write_rows(std::ostream& out, const Dump& dump, const std::vector<std::size_t>& shown, const Axis& axis,
                const GanttOptions& options) {
    v_crew roster = to_roster(dump);
    const std::vector<CrewMeasures> measures = measure_crew(roster, options.rules);
    const BarColours colours{vehicle_colours(dump)};
    const double height = row_height * static_cast<double>(shown.size()) + 2;
    out << tag("svg", {{"class", "gantt"}, {"width", num(page_width)}, {"height", num(height)}}, ">\n") << "<defs>"
        << tag("pattern", {{"id", "hatch"}, {"width", "6"}, {"height", "6"}, {"patternUnits", "userSpaceOnUse"},
                           {"patternTransform", "rotate(45)"}},
               ">")
        << tag("rect", {{"width", "6"}, {"height", "6"}, {"fill", "#fff3c4"}})
        << tag("line",
               {{"x1", "0"}, {"y1", "0"}, {"x2", "0"}, {"y2", "6"}, {"stroke", "#e0b400"}, {"stroke-width", "2.5"}})
        << "</pattern></defs>\n";
    for (std::size_t r = 1; r < shown.size(); r += 2)
        out << tag("rect", {{"class", "stripe"}, {"x", "0"}, {"y", num(row_height * static_cast<double>(r))},
                            {"width", num(page_width)}, {"height", num(row_height)}})
            << "\n";
    for (std::int64_t t = axis.from; t <= axis.to; t += axis.step)
        out << tag("line", {{"class", t % 1440 == 0 ? "grid day" : "grid"}, {"x1", num(axis.x(t))},
                            {"x2", num(axis.x(t))}, {"y1", "0"}, {"y2", num(height)}})
            << "\n";

    const double pad = (row_height - bar_height) / 2;
    const double text_y = 12.5;
    for (std::size_t r = 0; r < shown.size(); ++r) {
        const std::size_t i = shown[r];
        const DumpCrew& block = dump.crew[i];
        const CrewMeasures& m = measures[i];
        out << tag("g", {{"class", "row"}, {"id", "crew-" + std::to_string(i)},
                         {"transform", "translate(0," + num(row_height * static_cast<double>(r)) + ")"}},
                   ">\n")
            << tag("g", {{"class", "label"}}, ">") << "<title>crew " << i << ": cost " << m.cost << ", work "
            << m.work_time << " min, idle " << m.idle_time << " min, overtime " << m.overtime << " min"
            << (m.split_shift ? ", split shift" : "") << "</title>"
            << tag("text", {{"x", "6"}, {"y", num(text_y)}}, ">") << i << "</text>";
        if (m.split_shift) out << tag("text", {{"class", "split"}, {"x", "40"}, {"y", num(text_y)}}, ">") << "S</text>";
        out << tag("text", {{"class", "cost"}, {"x", num(label_width - 8)}, {"y", num(text_y)}, {"text-anchor", "end"}},
                   ">")
            << m.cost << "</text></g>\n";

        if (const auto gap = split_break(block, options.rules))
            out << tag("rect", {{"class", "break"}, {"x", num(axis.x(gap->first))}, {"y", num(pad)},
                                {"width", num(axis.x(gap->second) - axis.x(gap->first))}, {"height", num(bar_height)}},
                       ">")
                << "<title>split-shift break of " << gap->second - gap->first << " min, "
                << clock_time(gap->first) << " \u2013 " << clock_time(gap->second) << "</title></rect>\n";

        const std::vector<Clash> clashes = find_clashes(block);
        std::set<std::size_t> clashing;
        for (const Clash& c : clashes) clashing.insert({c.earlier, c.later});
        for (std::size_t k = 0; k < block.tasks.size(); ++k) {
            const Task& t = block.tasks[k].task;
            const bool is_virtual = t.is_virtual != 0;
            const double x0 = axis.x(std::min(t.start_time, t.end_time));
            const double w = std::max(1.0, axis.x(std::max(t.start_time, t.end_time)) - x0);
            const std::string label =
                options.vehicle_label ? options.vehicle_label(t.vehicle) : vehicle_number(t.vehicle);
            const std::string classes =
                std::string("bar") + (is_virtual ? " virtual" : "") + (clashing.count(k) ? " clash" : "");
            out << tag("rect", {{"class", classes}, {"x", num(x0)}, {"y", num(pad)}, {"width", num(w)},
                                {"height", num(bar_height)},
                                {is_virtual ? "stroke" : "fill", colours.fill_of(t.vehicle)}},
                       ">")
                << "<title>" << task_tooltip(t, i, block.tasks[k].line, label, options) << "</title></rect>\n";
            // The label only where all of it fits inside the bar.
            if (!label.empty() &&
                w >= static_cast<double>(characters(label)) * bar_label_char_width + 2 * bar_label_margin)
                out << tag("text",
                           {{"class", is_virtual ? "vl" : colours.label_class(t.vehicle)},
                            {"x", num(x0 + w / 2)},
                            {"y", num(text_y)}},
                           ">")
                    << html_escape(label) << "</text>\n";
        }
        for (const Clash& c : clashes)
            out << tag("rect", {{"class", "overlap"}, {"x", num(axis.x(c.from))}, {"y", "0"},
                                {"width", num(std::max(1.0, axis.x(c.to) - axis.x(c.from)))},
                                {"height", num(row_height)}},
                       ">")
                << "<title>overlap of " << c.to - c.from << " min between dump lines "
                << block.tasks[c.earlier].line << " and " << block.tasks[c.later].line << "</title></rect>\n";
        out << "</g>\n";
    }
    out << "</svg>\n";
}

}  // namespace

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

std::string vehicle_number(std::int32_t vehicle) { return std::to_string(vehicle); }

std::int64_t round_step(std::int64_t span, std::int64_t max_steps) {
    if (span <= 0) return 1;
    max_steps = std::max<std::int64_t>(1, max_steps);
    for (std::int64_t power = 1;; power *= 10) {
        for (std::int64_t step : {power, 2 * power, power * 5 / 2, 5 * power})
            if (span / step + (span % step != 0) <= max_steps) return step;
        if (power > std::numeric_limits<std::int64_t>::max() / 100) return span;
    }
}

double colour_distance(Rgb a, Rgb b) {
    // The "redmean" approximation of how different two sRGB colours look.
    const double mean_red = (a.r + b.r) / 2.0;
    const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return std::sqrt((2 + mean_red / 256) * dr * dr + 4 * dg * dg + (2 + (255 - mean_red) / 256) * db * db);
}

bool dark_text_on(Rgb fill) {
    auto linear = [](int byte) {
        const double c = byte / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double luminance = 0.2126 * linear(fill.r) + 0.7152 * linear(fill.g) + 0.0722 * linear(fill.b);
    // Contrast with black (luminance + 0.05) / 0.05 against white 1.05 / (luminance + 0.05).
    return (luminance + 0.05) * (luminance + 0.05) > 0.05 * 1.05;
}

std::map<std::int32_t, Rgb> vehicle_colours(const Dump& dump) {
    std::vector<std::int32_t> vehicles;
    for (const DumpCrew& c : dump.crew)
        for (const DumpTask& t : c.tasks) vehicles.push_back(t.task.vehicle);
    std::sort(vehicles.begin(), vehicles.end());
    vehicles.erase(std::unique(vehicles.begin(), vehicles.end()), vehicles.end());
    auto rank = [&](std::int32_t v) {
        return static_cast<std::size_t>(std::lower_bound(vehicles.begin(), vehicles.end(), v) - vehicles.begin());
    };

    // Which vehicles must look different: close in number (up to two ranks
    // apart), or on bars next to each other in a row.
    std::vector<std::set<std::size_t>> near(vehicles.size());
    auto link = [&](std::size_t a, std::size_t b) {
        if (a != b) near[a].insert(b), near[b].insert(a);
    };
    for (std::size_t r = 0; r < vehicles.size(); ++r)
        for (std::size_t d = 1; d <= 2 && r + d < vehicles.size(); ++d) link(r, r + d);
    for (const DumpCrew& c : dump.crew) {
        std::vector<Task> tasks;
        for (const DumpTask& t : c.tasks) tasks.push_back(t.task);
        std::stable_sort(tasks.begin(), tasks.end());
        for (std::size_t k = 1; k < tasks.size(); ++k) link(rank(tasks[k - 1].vehicle), rank(tasks[k].vehicle));
    }

    // In number order, each vehicle takes the colour that stands furthest
    // from its near vehicles' colours so far; once clearly different, the
    // least used, so the palette is used evenly.
    const std::vector<Rgb>& colours = palette();
    std::vector<std::size_t> chosen(vehicles.size(), colours.size());
    std::vector<int> uses(colours.size(), 0);
    std::map<std::int32_t, Rgb> result;
    for (std::size_t r = 0; r < vehicles.size(); ++r) {
        std::size_t best = 0;
        double best_distance = -1;
        for (std::size_t c = 0; c < colours.size(); ++c) {
            double distance = distinct_colours;
            for (std::size_t n : near[r])
                if (chosen[n] < colours.size())
                    distance = std::min(distance, colour_distance(colours[c], colours[chosen[n]]));
            if (distance > best_distance || (distance == best_distance && uses[c] < uses[best]))
                best = c, best_distance = distance;
        }
        chosen[r] = best;
        ++uses[best];
        result[vehicles[r]] = colours[best];
    }
    return result;
}

void write_gantt(std::ostream& out, const Dump& dump, const std::optional<SearchLog>& log,
                 const std::string& dump_name, const std::string& log_name, const GanttOptions& options) {
    std::vector<std::size_t> shown, folded;
    for (std::size_t i = 0; i < dump.crew.size(); ++i)
        (options.all_crew || !dump.crew[i].tasks.empty() ? shown : folded).push_back(i);
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>escala roster \u2014 "
        << html_escape(dump_name) << "</title>\n";
    write_style(out);
    out << "</head><body>\n";
    write_header(out, dump, dump_name, options);
    write_chart(out, log, log_name);
    write_legend(out, folded);
    const Axis axis = make_axis(dump);
    write_axis(out, axis);
    write_rows(out, dump, shown, axis, options);
    out << "</body></html>\n";
}

}  // namespace escala::tools
