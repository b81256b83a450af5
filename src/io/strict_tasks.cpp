#include "io/strict_tasks.hpp"

#include "io/printable.hpp"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>

namespace escala {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string field_name(int index) { return "field " + std::to_string(index + 1); }

std::string count_text(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " field" : " fields") + " where 8 are expected";
}

// Parses one line into its fields, or says what is wrong with it.
std::string parse_line(std::string_view text, std::vector<std::int32_t>& fields) {
    fields.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t begin = at;
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
        const std::size_t digits = at;
        while (at < text.size() && is_digit(text[at])) ++at;
        if (at == digits) {
            if (begin == text.size()) return "a separator after the last field";
            if (is_blank(text[begin])) return "a blank after " + field_name(static_cast<int>(fields.size()) - 1) +
                                              "'s separator; fields are separated by one character";
            std::size_t end = begin;
            while (end < text.size() && !is_blank(text[end])) ++end;
            return field_name(static_cast<int>(fields.size())) + " \"" + printable(text.substr(begin, end - begin)) +
                   "\" is not an integer";
        }
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data() + digits, text.data() + at, value);
        if (text[begin] == '-') value = -value;
        if (error != std::errc() || end != text.data() + at || value < INT32_MIN || value > INT32_MAX)
            return field_name(static_cast<int>(fields.size())) + " \"" + printable(text.substr(begin, at - begin)) +
                   "\" does not fit in 32 bits";
        fields.push_back(static_cast<std::int32_t>(value));
        if (at == text.size()) break;
        if (is_blank(text[at]))
            return "a blank after " + field_name(static_cast<int>(fields.size()) - 1) +
                   "; fields are separated by one character";
        ++at;  // the separator
    }
    if (fields.size() != 8) return count_text(fields.size());
    return {};
}

}  // namespace

StrictTasks read_tasks_strict(std::istream& in, const std::string& name) {
    StrictTasks result;
    std::string raw;
    int line = 0;
    std::vector<std::int32_t> f;
    while (std::getline(in, raw)) {
        ++line;
        std::string_view text = raw;
        while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
        while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
        if (text.empty()) continue;
        const std::string fault = parse_line(text, f);
        if (!fault.empty()) throw TaskFileError(name + ":" + std::to_string(line) + ": " + fault);
        const Task task(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
        if (task.end_time < task.start_time)
            result.warnings.push_back(name + ":" + std::to_string(line) + ": warning: the task ends (" +
                                      std::to_string(task.end_time) + ") before it starts (" +
                                      std::to_string(task.start_time) + ")");
        result.tasks.push_back(task);
        result.lines.push_back(line);
    }
    if (in.bad()) throw TaskFileError(name + ":" + std::to_string(line + 1) + ": read error");
    if (result.tasks.empty()) throw TaskFileError(name + ": holds no task");
    return result;
}

StrictTasks load_tasks_strict(const std::filesystem::path& file) {
    const std::string name = file.string();
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) throw TaskFileError(name + ": is a folder, not a task file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw TaskFileError(name + ": cannot read the task file: " + std::strerror(errno));
    return read_tasks_strict(in, name);
}

}  // namespace escala
