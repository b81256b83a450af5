// libFuzzer target: the bytes are a search log for the Gantt page. Strict
// reading either refuses it naming a line of the input, or gives the same
// last search as tolerant reading with nothing skipped; tolerant reading
// never fails, and the page is drawn from whatever it read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "require.hpp"
#include "gantt/gantt.hpp"

namespace {

bool same(const escala::tools::SearchLog& a, const escala::tools::SearchLog& b) {
    if (a.points.size() != b.points.size()) return false;
    for (std::size_t i = 0; i < a.points.size(); ++i)
        if (a.points[i].iteration != b.points[i].iteration || a.points[i].best != b.points[i].best ||
            a.points[i].current != b.points[i].current)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace escala::tools;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream tolerant_in(text);
    const SearchLog tolerant = read_last_search(tolerant_in, LogReading::tolerant);
    std::istringstream strict_in(text);
    try {
        const SearchLog strict = read_last_search(strict_in, LogReading::strict);
        require(strict.skipped_lines == 0 && tolerant.skipped_lines == 0, "a strict log has no skipped line");
        require(same(strict, tolerant), "both readings give the same search");
    } catch (const SearchLogError& e) {
        std::size_t lines = 1;
        for (char c : text) lines += c == '\n';
        require(e.line() >= 0 && static_cast<std::size_t>(e.line()) <= lines, "the error names a line of the input");
    }
    if (tolerant.points.size() > 5000) return 0;
    std::ostringstream page;
    write_gantt(page, escala::Dump{}, tolerant, "d.txt", "log.txt");
    return 0;
}
