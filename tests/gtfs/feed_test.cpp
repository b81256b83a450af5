// Reading GTFS tables: CSV corners, zip and folder feeds, times, dates, id numbers.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "gtfs/feed.hpp"
#include "test_support.hpp"

using namespace escala::gtfs;
using escala::test::TempDir;

namespace {

struct CsvCase {
    const char* name;
    std::string text;
    std::vector<CsvRecord> expected;  // the records after the header
};

void PrintTo(const CsvCase& c, std::ostream* out) { *out << c.name; }

class CsvCorners : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvCorners, ReadsRecordsWithTheirLines) {
    std::vector<CsvRecord> records;
    bool header = true;
    parse_csv("x.txt", GetParam().text, [&](CsvRecord& r) {
        if (!header) records.push_back(r);
        header = false;
    });
    ASSERT_EQ(records.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].line, GetParam().expected[i].line) << i;
        EXPECT_EQ(records[i].fields, GetParam().expected[i].fields) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gtfs, CsvCorners,
    ::testing::Values(
        CsvCase{"Plain", "a,b\n1,2\n3,4\n", {{2, {"1", "2"}}, {3, {"3", "4"}}}},
        CsvCase{"QuotedEverywhere", "\"a\",\"b\"\n\"1\",\"x,y\"\n", {{2, {"1", "x,y"}}}},
        CsvCase{"DoubledQuotes", "a,b\n\"say \"\"hi\"\"\",2\n", {{2, {"say \"hi\"", "2"}}}},
        CsvCase{"ByteOrderMark", "\xEF\xBB\xBF" "a,b\n1,2\n", {{2, {"1", "2"}}}},
        CsvCase{"Crlf", "a,b\r\n1,2\r\n3,4\r\n", {{2, {"1", "2"}}, {3, {"3", "4"}}}},
        CsvCase{"NoFinalLineEnd", "a,b\n1,2", {{2, {"1", "2"}}}},
        CsvCase{"EmptyFieldsAndEmptyRowSkipped", "a,b,c\n,,\n1,,3\n", {{3, {"1", "", "3"}}}},
        CsvCase{"BlankLinesSkipped", "a\n\n1\n\n2\n", {{3, {"1"}}, {5, {"2"}}}},
        CsvCase{"NewlineInsideQuotes", "a,b\n\"two\nlines\",x\n5,6\n", {{2, {"two\nlines", "x"}}, {4, {"5", "6"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Csv, BadQuotingNamesFileAndLine) {
    try {
        parse_csv("stops.txt", "a,b\n1,2\n\"open,3\n", [](CsvRecord&) {});
        FAIL() << "no error";
    } catch (const FeedError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("stops.txt:3: ", 0), 0u) << e.what();
    }
}

TEST(Table, KeepsWantedColumnsInAnyOrder) {
    const Table t = make_table("t.txt", "extra,b,a\r\nx,2,1\r\ny,4\r\n", {{"a"}, {"b"}, {"c", false}});
    EXPECT_EQ(t.present, (std::vector<bool>{true, true, false}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].fields, (std::vector<std::string>{"1", "2", ""}));
    EXPECT_EQ(t.rows[1].fields, (std::vector<std::string>{"", "4", ""}));  // a short row
    EXPECT_EQ(t.where(t.rows[1], 1), "t.txt:3: column b: ");
}

TEST(Table, MissingRequiredColumnIsNamed) {
    EXPECT_THROW(
        {
            try {
                make_table("trips.txt", "route_id,service_id\n1,2\n", {{"route_id"}, {"trip_id"}});
            } catch (const FeedError& e) {
                EXPECT_STREQ(e.what(), "trips.txt:1: missing required column trip_id");
                throw;
            }
        },
        FeedError);
}

struct TimeCase {
    const char* name;
    const char* text;
    std::optional<std::int32_t> seconds;
};

void PrintTo(const TimeCase& c, std::ostream* out) { *out << c.name; }

class Times : public ::testing::TestWithParam<TimeCase> {};

TEST_P(Times, Parse) { EXPECT_EQ(parse_time(GetParam().text), GetParam().seconds); }

INSTANTIATE_TEST_SUITE_P(
    Gtfs, Times,
    ::testing::Values(TimeCase{"TwoDigitHours", "06:31:00", 6 * 3600 + 31 * 60},
                      TimeCase{"OneDigitHour", "6:31:59", 6 * 3600 + 31 * 60 + 59},
                      TimeCase{"LeadingSpace", " 6:05:00", 6 * 3600 + 5 * 60},
                      TimeCase{"PastMidnight", "24:03:00", 24 * 3600 + 3 * 60},
                      TimeCase{"ThreeDigitHours", "100:00:00", 360000},
                      TimeCase{"Empty", "", std::nullopt}, TimeCase{"NoSeconds", "06:31", std::nullopt},
                      TimeCase{"OneDigitMinute", "6:3:00", std::nullopt},
                      TimeCase{"MinuteSixty", "06:60:00", std::nullopt},
                      TimeCase{"SecondSixty", "06:00:60", std::nullopt},
                      TimeCase{"Letters", "ab:cd:ef", std::nullopt},
                      TimeCase{"TrailingText", "06:31:00x", std::nullopt},
                      TimeCase{"NegativeHour", "-1:00:00", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dates, ParseFormatAndWeekday) {
    EXPECT_EQ(parse_date("19700101"), 0);
    ASSERT_TRUE(parse_date("20230109"));
    EXPECT_EQ(format_date(*parse_date("20230109")), "20230109");
    EXPECT_EQ(weekday(*parse_date("20230109")), 0);  // a Monday
    EXPECT_EQ(weekday(*parse_date("20230108")), 6);
    EXPECT_EQ(parse_date("20230229"), std::nullopt);
    EXPECT_EQ(parse_date("2023019"), std::nullopt);
    EXPECT_EQ(parse_date("2023-1-09"), std::nullopt);
}

struct NumberCase {
    const char* name;
    std::vector<std::string> ids;
    std::vector<std::int32_t> numbers;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << c.name; }

class Numbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Numbers, AreDistinctAndFollowTheRule) {
    const auto numbers = number_ids(GetParam().ids, "stop");
    for (std::size_t i = 0; i < GetParam().ids.size(); ++i)
        EXPECT_EQ(numbers.at(GetParam().ids[i]), GetParam().numbers[i]) << GetParam().ids[i];
}

INSTANTIATE_TEST_SUITE_P(
    Gtfs, Numbers,
    ::testing::Values(
        NumberCase{"LeadingZerosDropped", {"09011", "1060"}, {9011, 1060}},
        // As in the LTD feed: stops up to 99911, so words start at 100000; routes up to 103.
        NumberCase{"WordsAboveNextPowerOfTen", {"00001", "arr_lcc", "99911", "escenter"}, {1, 100000, 99911, 100001}},
        NumberCase{"RoutesLikeLtd", {"01", "103", "79x"}, {1, 103, 1000}},
        NumberCase{"TakenNumberMovesUp", {"9011", "09011"}, {9011, 10000}},
        NumberCase{"NoNumericIds", {"b", "a"}, {1, 2}},
        NumberCase{"ZeroOnly", {"0", "x"}, {0, 1}},
        NumberCase{"TooBigForThirtyTwoBits", {"2147483648", "5"}, {10, 5}},
        NumberCase{"PowerOfTenWouldNotFit", {"2000000000", "x"}, {2000000000, 2000000001}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Numbers, RunOutAbove32Bits) {
    EXPECT_THROW(number_ids({"2147483647", "x"}, "stop"), FeedError);
}

TEST(Feed, ReadsAZipAndTellsAbsentFiles) {
    const TempDir dir;
    const auto zip_path = dir.path() / "feed.zip";
    int code = 0;
    zip_t* archive = zip_open(zip_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(archive, nullptr);
    static const char text[] = "\"route_id\"\r\n\"7\"\r\n";
    zip_source_t* source = zip_source_buffer(archive, text, sizeof text - 1, 0);
    ASSERT_GE(zip_file_add(archive, "routes.txt", source, 0), 0);
    ASSERT_EQ(zip_close(archive), 0);

    const Feed feed(zip_path);
    EXPECT_EQ(feed.read("routes.txt"), std::string(text));
    EXPECT_EQ(feed.read("stops.txt"), std::nullopt);
    EXPECT_THROW(feed.table("stops.txt", {{"stop_id"}}, true), FeedError);
    EXPECT_EQ(feed.table("calendar.txt", {{"service_id"}}, false), std::nullopt);
}

TEST(Feed, UnreadableZipIsAnError) {
    const TempDir dir;
    escala::test::write_files(dir.path(), {{"feed.zip", "not a zip at all"}});
    EXPECT_THROW(Feed(dir.path() / "feed.zip"), FeedError);
    EXPECT_THROW(Feed(dir.path() / "missing"), FeedError);
}

TEST(Distance, MetresBetweenPoints) {
    EXPECT_NEAR(distance_metres(45.0, 7.0, 45.001, 7.0), 111.2, 0.5);  // a thousandth of a degree of latitude
    EXPECT_EQ(distance_metres(44.0, -123.0, 44.0, -123.0), 0.0);
}

}  // namespace
