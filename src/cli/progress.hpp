// Progress lines and percentages as every companion prints them.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace escala::cli {

// A percentage with two decimals, the sign glued on: "2.10%".
std::string percent(double value);

// Writes "<program>: <line>" to a stream at most once a period (2 s by
// default) of the caller's clock, flushed at once.
class ProgressPrinter {
public:
    ProgressPrinter(std::ostream& err, std::string program, double period_seconds = 2);

    // Writes the line that `text` composes when `seconds` (since the start
    // of the work) is a period or more past the last line written, or past
    // 0 for the first; returns whether it wrote.
    bool print(double seconds, const std::function<void(std::ostream& line)>& text);

private:
    std::ostream* err_;
    std::string program_;
    double period_;
    double last_ = 0;
};

}  // namespace escala::cli
