// The search log that escala appends to ("file_obj.txt"), read for the
// Gantt page's convergence chart.
#pragma once

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace escala::tools {

// One line of the search log "file_obj.txt": iteration, best value, current value.
struct ObjPoint {
    std::int32_t iteration = 0;
    std::uint32_t best = 0;
    std::uint32_t current = 0;
};

// The last search of a search log. Each run of escala appends its lines, so a
// search begins wherever the iteration number does not grow.
struct SearchLog {
    std::vector<ObjPoint> points;
    int skipped_lines = 0;  // unreadable lines passed over (tolerant reading only)
};

// A search log that cannot be used; `line` is 1-based, 0 for the whole file.
class SearchLogError : public std::runtime_error {
public:
    SearchLogError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Tolerant reading skips and counts the lines that are not three
// tab-separated numbers "iteration<TAB>best<TAB>current" (an interrupted run
// may leave half a line). Strict reading throws SearchLogError at the first
// such line, and when the log holds no line at all. Blank lines pass in both.
enum class LogReading { tolerant, strict };
SearchLog read_last_search(std::istream& in, LogReading reading = LogReading::tolerant);

}  // namespace escala::tools
