// The roster as a timeline: one self-contained HTML page (inline SVG and CSS).
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "check/dump.hpp"

namespace escala::tools {

// One line of the search log "file_obj.txt": iteration, best value, current value.
struct ObjPoint {
    std::int32_t iteration = 0;
    std::uint32_t best = 0;
    std::uint32_t current = 0;
};

// The last search of a search log. Each run of escala appends its lines, so a
// search begins wherever the iteration number does not grow. Lines that are
// not three tab-separated numbers are skipped and counted.
struct SearchLog {
    std::vector<ObjPoint> points;
    int skipped_lines = 0;
};
SearchLog read_last_search(std::istream& in);

// A time of day from minutes: "08:05"; past midnight "01:10+1d", before it "23:30-1d".
std::string clock_time(std::int64_t minutes);

// Text safe inside HTML elements and attribute values.
std::string html_escape(const std::string& text);

// Writes the page: header with the objective and totals, the convergence
// chart of `log` (when given), and one timeline row per crew member.
void write_gantt(std::ostream& out, const Dump& dump, const std::optional<SearchLog>& log,
                 const std::string& dump_name, const std::string& log_name);

}  // namespace escala::tools
