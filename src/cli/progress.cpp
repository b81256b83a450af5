#include "cli/progress.hpp"

#include <iomanip>
#include <sstream>

namespace escala::cli {

std::string percent(double value) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << value << '%';
    return text.str();
}

ProgressPrinter::ProgressPrinter(std::ostream& err, std::string program, double period_seconds)
    : err_(&err), program_(std::move(program)), period_(period_seconds) {}

bool ProgressPrinter::print(double seconds, const std::function<void(std::ostream& line)>& text) {
    if (seconds - last_ < period_) return false;
    last_ = seconds;
    std::ostringstream line;
    text(line);
    *err_ << program_ << ": " << line.str() << '\n' << std::flush;
    return true;
}

}  // namespace escala::cli
