#include "crew/dump.hpp"

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

#include "cli/tool.hpp"
#include "io/printable.hpp"

namespace escala {

namespace {

// Longer lines cannot come from escala; refusing them keeps the messages short.
constexpr std::size_t max_line_length = 4096;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A signed 32-bit decimal integer making up the whole of `text`.
std::int32_t parse_int(std::string_view text, int line, const std::string& what) {
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range)
        throw DumpError(line, what + " \"" + printable(text) + "\" does not fit in 32 bits");
    if (text.empty() || error != std::errc() || end != last)
        throw DumpError(line, what + " \"" + printable(text) + "\" is not an integer");
    return value;
}

Task parse_task(std::string_view text, int line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = text.find(',');
        fields.push_back(trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    const bool is_virtual = fields.size() == 9 && fields[8] == "*";
    if (fields.size() != 8 && !is_virtual)
        throw DumpError(line, "expected a marker \"##i\" or a task of 8 comma-separated integers"
                              " (with \",*\" appended for a virtual task)");
    std::int32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = parse_int(fields[i], line, "field " + std::to_string(i + 1));
    return Task(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], is_virtual ? 1 : 0);
}

}  // namespace

DumpError::DumpError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}

int Dump::task_lines() const {
    int count = 0;
    for (const DumpCrew& c : crew) count += static_cast<int>(c.tasks.size());
    return count;
}

Dump read_dump(std::istream& in) {
    Dump dump;
    std::string raw;
    int line = 0;
    std::int32_t declared = -1;  // the roster size, once read
    while (std::getline(in, raw)) {
        ++line;
        if (raw.size() > max_line_length) throw DumpError(line, "line too long");
        std::string_view text = trim(raw);
        if (declared < 0) {
            // The size and the first marker share the first line.
            const std::size_t hashes = text.find("##");
            declared = parse_int(trim(text.substr(0, hashes)), line, "roster size");
            if (declared < 0) throw DumpError(line, "the roster size is negative");
            if (hashes == std::string_view::npos) {
                if (declared != 0)
                    throw DumpError(line, "expected the roster size followed at once by \"##0\"");
                continue;
            }
            text.remove_prefix(hashes);
        }
        if (text.empty()) continue;
        if (text.starts_with("##")) {
            const std::int32_t index = parse_int(trim(text.substr(2)), line, "crew marker");
            const std::size_t expected = dump.crew.size();
            if (static_cast<std::size_t>(declared) <= expected)
                throw DumpError(line, "marker ##" + std::to_string(index) + " beyond the roster size " +
                                          std::to_string(declared));
            if (index < 0 || static_cast<std::size_t>(index) != expected)
                throw DumpError(line, "marker ##" + std::to_string(index) + " where ##" +
                                          std::to_string(expected) + " was expected");
            dump.crew.push_back(DumpCrew{line, {}});
            continue;
        }
        if (dump.crew.empty()) throw DumpError(line, "task line before the first crew marker");
        dump.crew.back().tasks.push_back(DumpTask{parse_task(text, line), line});
    }
    if (in.bad()) throw DumpError(line + 1, "read error");
    if (declared < 0) throw DumpError(1, "empty dump: expected the roster size followed by \"##0\"");
    if (dump.crew.size() != static_cast<std::size_t>(declared))
        throw DumpError(1, "the roster size is " + std::to_string(declared) + " but the dump has " +
                               std::to_string(dump.crew.size()) + " crew markers");
    return dump;
}

v_crew to_roster(const Dump& dump) {
    v_crew roster(dump.crew.size());
    for (std::size_t i = 0; i < dump.crew.size(); ++i) {
        roster[i].id = static_cast<std::int32_t>(i);
        for (const DumpTask& t : dump.crew[i].tasks) roster[i].tasks.push_back(t.task);
    }
    return roster;
}

std::string dump_line(const Task& t) {
    std::ostringstream out;
    out << t.vehicle << ',' << t.start_time << ',' << t.end_time << ',' << t.start_point << ','
        << t.end_point << ',' << t.slack << ',' << t.start_line << ',' << t.end_line;
    if (t.is_virtual != 0) out << ",*";
    return out.str();
}

std::optional<ClosingProblem> closing_problem(const DumpCrew& schedule, const Rules& rules) {
    Crew expected;
    bool any_real = false;
    for (const DumpTask& t : schedule.tasks)
        if (t.task.is_virtual == 0) {
            expected.assign_task(t.task, rules);
            any_real = true;
        }
    const DumpTask* last = schedule.tasks.empty() ? nullptr : &schedule.tasks.back();
    const bool dump_closes = last != nullptr && last->task.is_virtual != 0;
    if (expected.has_virtual_task()) {
        const Task& due = expected.tasks.back();
        if (!dump_closes)
            return ClosingProblem{last != nullptr ? last->line : schedule.marker_line,
                                  "the schedule lacks its closing virtual task " + dump_line(due), due};
        if (!(last->task == due))
            return ClosingProblem{last->line,
                                  "closing virtual task " + dump_line(last->task) + " should be " + dump_line(due),
                                  last->task};
    } else if (dump_closes) {
        return ClosingProblem{last->line,
                              "virtual task " + dump_line(last->task) +
                                  (any_real ? " is not due: gaps and slack reach " + std::to_string(rules.limits.virtual_idle) +
                                               " minutes with a break"
                                            : " closes a schedule without real tasks"),
                              last->task};
    }
    return std::nullopt;
}

Dump load_dump_file(const std::filesystem::path& path, const Rules& rules, ClosingTasks closing) {
    const std::string name = path.string();
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw cli::UnusableInput(name + ": is a folder, not a roster dump");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw cli::UnusableInput("cannot read dump \"" + name + "\"");
    Dump dump;
    try {
        dump = read_dump(in);
    } catch (const DumpError& e) {
        throw cli::UnusableInput(name + ":" + std::to_string(e.line()) + ": " + e.what());
    } catch (const std::ios_base::failure&) {
        throw cli::UnusableInput("cannot read dump \"" + name + "\"");
    }
    if (closing == ClosingTasks::refused)
        for (const DumpCrew& schedule : dump.crew)
            if (const std::optional<ClosingProblem> problem = closing_problem(schedule, rules))
                throw cli::UnusableInput(name + ":" + std::to_string(problem->line) + ": " + problem->message);
    return dump;
}

v_crew load_dump(const std::filesystem::path& path, const Rules& rules) {
    return to_roster(load_dump_file(path, rules));
}

}  // namespace escala
