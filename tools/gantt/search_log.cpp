#include "gantt/search_log.hpp"

#include <charconv>
#include <limits>
#include <string_view>

namespace escala::tools {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ')) s.remove_suffix(1);
    return s;
}

// A field of a log line, quoted for a message when it is short plain text.
std::string shown(std::string_view field) {
    if (field.size() > 20) return "";
    for (char c : field)
        if (c < ' ' || c > '~') return "";
    return " \"" + std::string(field) + "\"";
}

template <typename Int>
std::string parse_field(std::string_view text, const char* name, Int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return std::string(name) + shown(text) + " is out of range (" +
               std::to_string(std::numeric_limits<Int>::min()) + " to " +
               std::to_string(std::numeric_limits<Int>::max()) + ")";
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::string(name) + shown(text) + " is not a whole number";
    return {};
}

// Reads "iteration<TAB>best<TAB>current" into `p`; says what is wrong otherwise.
std::string parse_log_line(std::string_view line, ObjPoint& p) {
    for (char c : line)
        if ((static_cast<unsigned char>(c) < ' ' && c != '\t') || c == '\x7f')
            return "binary content, not a search log line";
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
        if (tab == std::string_view::npos) break;
        at = tab + 1;
    }
    if (fields.size() != 3) return "expected iteration<TAB>best<TAB>current";
    std::string problem = parse_field(fields[0], "iteration", p.iteration);
    if (problem.empty()) problem = parse_field(fields[1], "best", p.best);
    if (problem.empty()) problem = parse_field(fields[2], "current", p.current);
    return problem;
}

}  // namespace

SearchLog read_last_search(std::istream& in, LogReading reading) {
    SearchLog log;
    std::string raw;
    int line_number = 0;
    bool any = false;
    while (std::getline(in, raw)) {
        ++line_number;
        const std::string_view line = trim(raw);
        if (line.empty()) continue;
        ObjPoint p;
        const std::string problem = parse_log_line(line, p);
        if (!problem.empty()) {
            if (reading == LogReading::strict) throw SearchLogError(line_number, problem);
            ++log.skipped_lines;
            continue;
        }
        any = true;
        if (!log.points.empty() && p.iteration <= log.points.back().iteration) log.points.clear();
        log.points.push_back(p);
    }
    if (reading == LogReading::strict && in.bad()) throw SearchLogError(0, "read error");
    if (reading == LogReading::strict && !any)
        throw SearchLogError(0, "no line iteration<TAB>best<TAB>current, not a search log");
    return log;
}

}  // namespace escala::tools
