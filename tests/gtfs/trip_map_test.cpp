// The trip map: its times, its round trip through the file and what reading refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "gtfs/feed.hpp"
#include "gtfs/trip_map.hpp"
#include "test_support.hpp"

using namespace escala::gtfs;

namespace {

const std::string header =
    "task,trip_id,block_id,service_id,route_id,headsign,start_stop,start_time,end_stop,end_time\n";

TEST(TripMap, PathBesideTheTaskFile) {
    EXPECT_EQ(trip_map_path("dir/Lintra.tsk"), std::filesystem::path("dir/Lintra.trips.csv"));
    EXPECT_EQ(trip_map_path("day"), std::filesystem::path("day.trips.csv"));
}

TEST(TripMap, SecondsAsTwoDigitHours) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "00:00:00"}, {3599, "00:59:59"}, {6 * 3600 + 5 * 60 + 7, "06:05:07"}, {25 * 3600 + 41, "25:00:41"},
        {100 * 3600, "100:00:00"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(format_seconds(seconds), text) << seconds;
}

TEST(TripMap, WrittenAndReadBack) {
    const escala::test::TempDir dir;
    const std::vector<TripRow> rows{{3, "t,1", "", "WK", "01", "To \"Town\", east", "A", 21600, "B", 91800, 0}};
    { std::ofstream out(dir.path() / "m.csv"); write_trip_map(out, rows); }
    const std::vector<TripRow> back = read_trip_map(dir.path() / "m.csv");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].task, 3);
    EXPECT_EQ(back[0].trip_id, "t,1");
    EXPECT_EQ(back[0].headsign, "To \"Town\", east");
    EXPECT_EQ(back[0].start_time, 21600);
    EXPECT_EQ(back[0].end_time, 91800);
    EXPECT_EQ(back[0].line, 2);
}

struct Bad {
    const char* name;
    std::string text;
    std::string message;
};

class TripMapRefuses : public ::testing::TestWithParam<Bad> {};

TEST_P(TripMapRefuses, NamesTheLine) {
    const escala::test::TempDir dir;
    const auto file = dir.path() / "m.csv";
    std::ofstream(file, std::ios::binary) << GetParam().text;
    try {
        read_trip_map(file);
        FAIL() << "accepted";
    } catch (const FeedError& e) {
        EXPECT_EQ(e.what(), file.string() + GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TripMapRefuses,
    ::testing::Values(
        Bad{"Empty", "", ": empty trip map (no header)"},
        Bad{"WrongHeader", "task,trip\n", ":1: the header is not task,trip_id,...,end_time"},
        Bad{"ShortRow", header + "1,t1,b,WK,01,,A,06:00:00,B\n", ":2: 9 fields instead of 10"},
        Bad{"TaskZero", header + "0,t1,b,WK,01,,A,06:00:00,B,07:00:00\n", ":2: column task: '0' is not a task line number"},
        Bad{"BadTime", header + "1,t1,b,WK,01,,A,6h,B,07:00:00\n", ":2: column start_time: '6h' is not a time HH:MM:SS"},
        Bad{"EmptyStop", header + "1,t1,b,WK,01,,A,06:00:00,,07:00:00\n", ":2: column end_stop: empty"},
        Bad{"TripTwice", header + "1,t1,b,WK,01,,A,06:00:00,B,07:00:00\n2,t1,b,WK,01,,A,06:00:00,B,07:00:00\n",
            ":3: trip t1 appears twice (also line 2)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
