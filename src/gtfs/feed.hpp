// GTFS feeds as escala reads them: a folder or zip, CSV tables with line numbers, times, dates and ids.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace escala::gtfs {

// A feed that cannot be used; the message reads "FILE:LINE: column NAME: what"
// when a field is at fault, "FILE:LINE: what" or "FILE: what" otherwise.
struct FeedError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One CSV record: the 1-based line it starts on and its fields.
struct CsvRecord {
    int line = 0;
    std::vector<std::string> fields;
};

// Calls `on_record` for each record of `text` (the header too), in order.
// Quoted fields, doubled quotes, CRLF or LF and a UTF-8 byte-order mark are
// taken as GTFS writes them; blank lines are skipped. Malformed quoting is a
// FeedError naming `file` and the line.
void parse_csv(const std::string& file, std::string_view text, const std::function<void(CsvRecord&)>& on_record);

// A column a reader wants from a table.
struct Column {
    std::string name;
    bool required = true;
};

// A table cut down to the wanted columns: each row's fields are in the order
// of those columns, "" for a column the file lacks or a row that is short.
struct Table {
    std::string file;
    std::vector<std::string> columns;  // the wanted names
    std::vector<bool> present;         // whether the file has each one
    std::vector<CsvRecord> rows;       // the records after the header

    // "FILE:LINE: column NAME: what" for the field `column` of `row`.
    std::string where(const CsvRecord& row, std::size_t column) const;
};

// Reads a table from CSV text; a missing required column is a FeedError.
Table make_table(const std::string& file, std::string_view text, const std::vector<Column>& columns);

// A GTFS feed: a folder or a zip file of .txt tables.
class Feed {
public:
    // Throws FeedError when the path is neither a readable folder nor a readable zip.
    explicit Feed(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }
    // The content of a table (`stops.txt`), or nothing when the feed lacks it.
    std::optional<std::string> read(const std::string& file) const;
    // Reads a table; nothing when the file is absent and not `required`.
    std::optional<Table> table(const std::string& file, const std::vector<Column>& columns, bool required) const;

private:
    std::filesystem::path path_;
    bool zip_ = false;
};

// Seconds of a GTFS time "H:MM:SS" (one or more hour digits, up to 9999, and
// blanks before it allowed; past 24:00:00 is fine), nothing for anything else.
std::optional<std::int32_t> parse_time(std::string_view text);

// Days since 1970-01-01 of a valid YYYYMMDD date, nothing otherwise.
std::optional<std::int32_t> parse_date(std::string_view text);
std::string format_date(std::int32_t days);
// 0 for Monday ... 6 for Sunday.
int weekday(std::int32_t days);

// The numbers of the ids of one kind, given once each in the order they first
// appear. An id of decimal digits keeps its value unless an earlier id took it
// or it exceeds 2^31-1; every other id is numbered upwards, in order, from the
// smallest power of ten above the largest value kept (from that value + 1
// when the power would not fit 32 bits). Throws FeedError when the numbers run out.
std::unordered_map<std::string, std::int32_t> number_ids(const std::vector<std::string>& ids, const std::string& kind);

// Metres between two points given in degrees.
double distance_metres(double lat1, double lon1, double lat2, double lon2);

}  // namespace escala::gtfs
