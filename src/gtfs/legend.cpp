#include "gtfs/legend.hpp"

#include <fstream>
#include <iterator>

#include "gtfs/feed.hpp"

namespace escala::gtfs {

std::string csv_field(const std::string& text) {
    const bool plain = text.find_first_of(",\"\r\n") == std::string::npos &&
                       (text.empty() || (text.front() != ' ' && text.back() != ' '));
    if (plain) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

const char* kind_name(IdKind kind) {
    switch (kind) {
        case IdKind::vehicle: return "vehicle";
        case IdKind::point: return "point";
        case IdKind::line: return "line";
    }
    return "";
}

void write_legend(std::ostream& out, const std::vector<LegendEntry>& entries) {
    out << "kind,number,gtfs_id,name\n";
    for (const LegendEntry& e : entries)
        out << kind_name(e.kind) << ',' << e.number << ',' << csv_field(e.gtfs_id) << ',' << csv_field(e.name) << '\n';
}

std::filesystem::path legend_path(const std::filesystem::path& task_file) {
    std::filesystem::path path = task_file;
    return path.replace_extension(".ids.csv");
}

Legend read_legend(const std::filesystem::path& file) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    if (std::filesystem::is_directory(file, error) || !in) throw LegendError(name + ": cannot be read");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Legend legend;
    bool header = true;
    try {
        parse_csv(name, text, [&](CsvRecord& record) {
            const std::string at = name + ":" + std::to_string(record.line) + ": ";
            if (header) {
                header = false;
                if (record.fields != std::vector<std::string>{"kind", "number", "gtfs_id", "name"})
                    throw LegendError(at + "the header is not kind,number,gtfs_id,name");
                return;
            }
            if (record.fields.size() != 4)
                throw LegendError(at + std::to_string(record.fields.size()) + " fields instead of 4");
            const std::string& kind_text = record.fields[0];
            IdKind kind;
            if (kind_text == "vehicle") kind = IdKind::vehicle;
            else if (kind_text == "point") kind = IdKind::point;
            else if (kind_text == "line") kind = IdKind::line;
            else throw LegendError(at + "unknown kind '" + kind_text + "'");
            const std::string& digits = record.fields[1];
            const std::size_t sign = !digits.empty() && digits[0] == '-' ? 1 : 0;
            if (digits.size() == sign || digits.size() > sign + 10 ||
                digits.find_first_not_of("0123456789", sign) != std::string::npos)
                throw LegendError(at + "'" + digits + "' is not a number");
            const long long number = std::stoll(digits);
            if (number < INT32_MIN || number > INT32_MAX) throw LegendError(at + digits + " is out of 32-bit range");
            if (record.fields[2].empty()) throw LegendError(at + "empty gtfs_id");
            const auto key = std::make_pair(kind, static_cast<std::int32_t>(number));
            if (!legend.emplace(key, LegendName{record.fields[2], record.fields[3]}).second)
                throw LegendError(at + kind_text + " " + digits + " appears twice");
        });
    } catch (const FeedError& e) {
        throw LegendError(e.what());
    }
    if (header) throw LegendError(name + ": empty legend (no header)");
    return legend;
}

std::optional<LegendName> find_name(const Legend& legend, IdKind kind, std::int32_t number) {
    const auto found = legend.find({kind, number});
    if (found == legend.end()) return std::nullopt;
    return found->second;
}

std::string describe(const Legend& legend, IdKind kind, std::int32_t number) {
    const std::optional<LegendName> found = find_name(legend, kind, number);
    if (!found) return {};
    return found->name.empty() ? found->gtfs_id : found->gtfs_id + " \"" + found->name + "\"";
}

std::string describe_task(const Legend& legend, const Task& task) {
    auto named = [&](IdKind kind, std::int32_t number) {
        const std::string text = describe(legend, kind, number);
        return text.empty() ? std::to_string(number) : text;
    };
    std::string text = "block " + named(IdKind::vehicle, task.vehicle) + ", from " +
                       named(IdKind::point, task.start_point) + " to " + named(IdKind::point, task.end_point) +
                       ", route " + named(IdKind::line, task.start_line);
    if (task.end_line != task.start_line) text += " to " + named(IdKind::line, task.end_line);
    return text;
}

}  // namespace escala::gtfs
