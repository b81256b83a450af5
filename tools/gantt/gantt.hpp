// The roster as a timeline: one self-contained HTML page (inline SVG and CSS).
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "crew/dump.hpp"
#include "crew/rules.hpp"
#include "gantt/search_log.hpp"
#include "io/printable.hpp"

namespace escala::tools {

// A time of day from minutes: "08:05"; past midnight "01:10+1d", before it "23:30-1d".
std::string clock_time(std::int64_t minutes);

using escala::html_escape;

// The name a bar gives its vehicle.
using VehicleLabel = std::function<std::string(std::int32_t vehicle)>;
std::string vehicle_number(std::int32_t vehicle);

// What a point or a line stands for, shown after its number in the tooltips
// (empty: nothing more to say).
using NumberNote = std::function<std::string(std::int32_t number)>;

struct GanttOptions {
    VehicleLabel vehicle_label = vehicle_number;
    NumberNote point_note;  // none: numbers only
    NumberNote line_note;
    bool all_crew = false;  // a row for members with an empty schedule too, not one folded line
    Rules rules;            // of the costs and measures: escala's own unless a rules file says
    std::string rules_note; // shown under the title when not empty (the rules that differ)
};

// Writes the page: header with the objective and totals and what they mean,
// the convergence chart of `log` (when given), and one timeline row per crew
// member with tasks.
void write_gantt(std::ostream& out, const Dump& dump, const std::optional<SearchLog>& log,
                 const std::string& dump_name, const std::string& log_name, const GanttOptions& options = {});

// The chart scales' step for `span` units in at most `max_steps` steps: 1, 2,
// 2.5 or 5 times a power of ten, whole (so 2.5 only from 25 on).
std::int64_t round_step(std::int64_t span, std::int64_t max_steps);

// A colour as sRGB bytes.
struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// How far apart two colours look (a weighted RGB distance, 0 to about 765).
double colour_distance(Rgb a, Rgb b);

// Whether dark text reads better than white text on `fill`.
bool dark_text_on(Rgb fill);

// A colour for every vehicle of the dump. Vehicles whose numbers come next to
// each other among the roster's vehicles, and vehicles whose bars come next
// to each other in a row, get colours that look clearly different whenever
// the palette allows.
std::map<std::int32_t, Rgb> vehicle_colours(const Dump& dump);

}  // namespace escala::tools
