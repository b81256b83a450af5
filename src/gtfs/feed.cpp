#include "gtfs/feed.hpp"

#include <csv.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

namespace escala::gtfs {

namespace fs = std::filesystem;

namespace {

// What libcsv's callbacks fill; records are handed on only after csv_parse
// has returned, so that no exception crosses the C library.
struct Collector {
    int line = 1;  // the line being fed
    int record_line = 0;
    std::vector<std::string> fields;
    std::vector<CsvRecord> done;
};

void on_field(void* data, std::size_t size, void* collector_ptr) {
    auto& c = *static_cast<Collector*>(collector_ptr);
    std::string field = data ? std::string(static_cast<const char*>(data), size) : std::string();
    // A field ends on the line being fed; one that spans lines started earlier.
    if (c.fields.empty()) c.record_line = c.line - static_cast<int>(std::count(field.begin(), field.end(), '\n'));
    c.fields.push_back(std::move(field));
}

void on_record(int, void* collector_ptr) {
    auto& c = *static_cast<Collector*>(collector_ptr);
    if (c.fields.empty()) return;
    c.done.push_back({c.record_line, std::move(c.fields)});
    c.fields.clear();
}

bool all_blank(const std::vector<std::string>& fields) {
    return std::all_of(fields.begin(), fields.end(), [](const std::string& f) {
        return f.find_first_not_of(" \t\r\n") == std::string::npos;
    });
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string zip_message(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

using ZipHandle = std::unique_ptr<zip_t, decltype(&zip_discard)>;

ZipHandle open_zip(const fs::path& path) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive) throw FeedError(path.string() + ": not a readable zip file (" + zip_message(code) + ")");
    return {archive, &zip_discard};
}

}  // namespace

void parse_csv(const std::string& file, std::string_view text, const std::function<void(CsvRecord&)>& handle) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0)
        throw FeedError(file + ": out of memory");
    const std::unique_ptr<csv_parser, decltype(&csv_free)> owner(&parser, &csv_free);
    Collector collector;
    const auto fail = [&] {
        throw FeedError(file + ":" + std::to_string(collector.line) + ": " + csv_strerror(csv_error(&parser)));
    };
    const auto hand_on = [&] {
        for (CsvRecord& record : collector.done)
            if (!all_blank(record.fields)) handle(record);
        collector.done.clear();
    };
    // Fed a line at a time, so that each record knows where it starts.
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::size_t size = end == std::string_view::npos ? text.size() : end + 1;
        if (csv_parse(&parser, text.data(), size, on_field, on_record, &collector) != size) fail();
        hand_on();
        text.remove_prefix(size);
        if (end != std::string_view::npos && !text.empty()) ++collector.line;
    }
    if (csv_fini(&parser, on_field, on_record, &collector) != 0) fail();
    hand_on();
}

std::string Table::where(const CsvRecord& row, std::size_t column) const {
    return file + ":" + std::to_string(row.line) + ": column " + columns.at(column) + ": ";
}

Table make_table(const std::string& file, std::string_view text, const std::vector<Column>& columns) {
    Table table;
    table.file = file;
    for (const Column& c : columns) table.columns.push_back(c.name);
    table.present.assign(columns.size(), false);
    std::vector<int> source(columns.size(), -1);  // the file's column of each wanted one
    bool header = true;
    parse_csv(file, text, [&](CsvRecord& record) {
        if (header) {
            header = false;
            for (std::size_t i = 0; i < record.fields.size(); ++i) {
                const std::string name = trimmed(record.fields[i]);
                for (std::size_t c = 0; c < columns.size(); ++c)
                    if (columns[c].name == name && source[c] < 0) source[c] = static_cast<int>(i);
            }
            for (std::size_t c = 0; c < columns.size(); ++c) {
                table.present[c] = source[c] >= 0;
                if (!table.present[c] && columns[c].required)
                    throw FeedError(file + ":" + std::to_string(record.line) + ": missing required column " +
                                    columns[c].name);
            }
            return;
        }
        CsvRecord row{record.line, std::vector<std::string>(columns.size())};
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (source[c] >= 0 && static_cast<std::size_t>(source[c]) < record.fields.size())
                row.fields[c] = std::move(record.fields[static_cast<std::size_t>(source[c])]);
        table.rows.push_back(std::move(row));
    });
    if (header) {  // not even a header
        for (const Column& c : columns)
            if (c.required) throw FeedError(file + ":1: missing required column " + c.name);
    }
    return table;
}

Feed::Feed(fs::path path) : path_(std::move(path)) {
    std::error_code error;
    if (fs::is_directory(path_, error)) return;
    if (!fs::exists(path_, error)) throw FeedError(path_.string() + ": no such folder or zip file");
    zip_ = true;
    open_zip(path_);  // fails now rather than at the first table
}

std::optional<std::string> Feed::read(const std::string& file) const {
    if (!zip_) {
        const fs::path path = path_ / file;
        std::error_code error;
        if (!fs::exists(path, error)) return std::nullopt;
        std::ifstream in(path, std::ios::binary);
        if (fs::is_directory(path, error) || !in) throw FeedError((path_ / file).string() + ": cannot be read");
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad()) throw FeedError((path_ / file).string() + ": cannot be read");
        return text;
    }
    const ZipHandle archive = open_zip(path_);
    zip_int64_t index = zip_name_locate(archive.get(), file.c_str(), 0);
    if (index < 0) index = zip_name_locate(archive.get(), file.c_str(), ZIP_FL_NODIR);  // a feed inside a folder
    if (index < 0) return std::nullopt;
    const std::string name = path_.string() + ": " + file;
    zip_stat_t stat;
    if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        throw FeedError(name + ": cannot be read from the zip");
    zip_file_t* entry = zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0);
    if (!entry) throw FeedError(name + ": cannot be read from the zip (" + zip_strerror(archive.get()) + ")");
    const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> owner(entry, &zip_fclose);
    std::string text(static_cast<std::size_t>(stat.size), '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const zip_int64_t got = zip_fread(entry, text.data() + filled, text.size() - filled);
        if (got <= 0) throw FeedError(name + ": cannot be read from the zip (" + zip_file_strerror(entry) + ")");
        filled += static_cast<std::size_t>(got);
    }
    return text;
}

std::optional<Table> Feed::table(const std::string& file, const std::vector<Column>& columns, bool required) const {
    const std::optional<std::string> text = read(file);
    if (!text) {
        if (required) throw FeedError(path_.string() + ": missing required file " + file);
        return std::nullopt;
    }
    return make_table(file, *text, columns);
}

std::optional<std::int32_t> parse_time(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 4 || text.size() != colon + 6 ||
        text[colon + 3] != ':')
        return std::nullopt;
    const auto digits = [&](std::size_t from, std::size_t count) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto hours = digits(0, colon), minutes = digits(colon + 1, 2), seconds = digits(colon + 4, 2);
    if (!hours || !minutes || !seconds || *minutes > 59 || *seconds > 59) return std::nullopt;
    return *hours * 3600 + *minutes * 60 + *seconds;
}

std::optional<std::int32_t> parse_date(std::string_view text) {
    if (text.size() != 8 || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    const int number = std::stoi(std::string(text));
    const std::chrono::year_month_day date{std::chrono::year(number / 10000),
                                           std::chrono::month(static_cast<unsigned>(number / 100 % 100)),
                                           std::chrono::day(static_cast<unsigned>(number % 100))};
    if (!date.ok()) return std::nullopt;
    return std::chrono::sys_days(date).time_since_epoch().count();
}

std::string format_date(std::int32_t days) {
    const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(days))};
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

int weekday(std::int32_t days) {
    return static_cast<int>(
        std::chrono::weekday(std::chrono::sys_days(std::chrono::days(days))).iso_encoding() - 1);
}

std::unordered_map<std::string, std::int32_t> number_ids(const std::vector<std::string>& ids, const std::string& kind) {
    constexpr std::int64_t top = std::numeric_limits<std::int32_t>::max();
    std::unordered_map<std::string, std::int32_t> numbers;
    std::unordered_map<std::int32_t, bool> taken;
    std::vector<const std::string*> others;
    std::int64_t largest = -1;
    for (const std::string& id : ids) {
        std::int64_t value = -1;
        if (!id.empty() && id.size() <= 10 && id.find_first_not_of("0123456789") == std::string::npos) {
            value = std::stoll(id);
            if (value > top || taken.count(static_cast<std::int32_t>(value))) value = -1;
        }
        if (value < 0) {
            others.push_back(&id);
            continue;
        }
        taken[static_cast<std::int32_t>(value)] = true;
        numbers[id] = static_cast<std::int32_t>(value);
        largest = std::max(largest, value);
    }
    std::int64_t next = 1;
    while (next <= largest) next *= 10;
    if (next > top) next = largest + 1;
    if (next + static_cast<std::int64_t>(others.size()) - 1 > top)
        throw FeedError("too many " + kind + " ids for 32-bit numbers");
    for (const std::string* id : others) numbers[*id] = static_cast<std::int32_t>(next++);
    return numbers;
}

double distance_metres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double radius = 6371000.0, to_radians = 3.14159265358979323846 / 180.0;
    const double dlat = (lat2 - lat1) * to_radians, dlon = (lon2 - lon1) * to_radians;
    const double a = std::sin(dlat / 2) * std::sin(dlat / 2) +
                     std::cos(lat1 * to_radians) * std::cos(lat2 * to_radians) * std::sin(dlon / 2) * std::sin(dlon / 2);
    return 2 * radius * std::asin(std::min(1.0, std::sqrt(a)));
}

}  // namespace escala::gtfs
