// Tasks from tiny feeds: trips, services by id and date, relief stations and cuts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "gtfs/import.hpp"
#include "test_support.hpp"

using namespace escala::gtfs;
using escala::Task;
using escala::test::Files;
using escala::test::TempDir;

namespace {

// Stops: 07 -> 7, 8 -> 8, then ST 10 (a station), its bays A 11 and B 12,
// and Z 13, a parentless arrival zone about 45 m from the bays.
const char* const stops_txt =
    "stop_id,stop_name,stop_lat,stop_lon,parent_station,location_type\n"
    "ST,Central,45.0,7.0,,1\n"
    "A,Central bay A,45.0,7.0,ST,\n"
    "B,Central bay B,45.0001,7.0,ST,\n"
    "07,Far End,45.1,7.1,,\n"
    "Z,Central arrival zone,45.0005,7.0,,\n"
    "8,Other End,45.2,7.2,,\n";

// Lines: 10 -> 10, X -> 100.
const char* const routes_txt =
    "route_type,route_short_name,route_id\n"
    "3,Ten,10\n"
    "3,\"Express, \"\"fast\"\"\",X\n";

Files tiny_feed() {
    return {
        {"stops.txt", stops_txt},
        {"routes.txt", routes_txt},
        {"calendar.txt",
         "service_id,monday,tuesday,wednesday,thursday,friday,saturday,sunday,start_date,end_date\n"
         "WK,1,1,1,1,1,0,0,20230102,20230131\n"
         "SA,0,0,0,0,0,1,0,20230102,20230131\n"},
        // Monday the 16th runs the Saturday service.
        {"calendar_dates.txt", "service_id,date,exception_type\nWK,20230116,2\nSA,20230116,1\n"},
        {"trips.txt",
         "\xEF\xBB\xBF\"service_id\",\"trip_id\",\"route_id\",\"block_id\",\"headsign\"\r\n"
         "\"WK\",\"t1\",\"10\",\"b1\",\"x\"\r\n"
         "\"WK\",\"t2\",\"10\",\"b1\",\"\"\r\n"
         "\"WK\",\"t3\",\"X\",\"\",\"\"\r\n"
         "\"SA\",\"t4\",\"10\",\"b1\",\"\"\r\n"
         "\"WK\",\"t5\",\"10\",\"b1\",\"\"\r\n"},  // t5 has no stop times
        {"stop_times.txt",
         "trip_id,stop_sequence,stop_id,arrival_time,departure_time\n"
         "t1,2,07,06:40:30,06:42:10\n"
         "t1,1,A,06:00:00,06:00:00\n"
         "t1,3,8,06:50:00,06:50:00\n"
         "t2,1,8,7:05:00,7:06:00\n"
         "t2,2,Z,\" 7:59:59\",\" 7:59:59\"\n"
         "t3,1,B,25:10:00,25:10:00\n"
         "t3,2,07,,\n"
         "t3,3,8,25:40:59,25:41:00\n"
         "t4,1,A,08:00:00,08:00:00\n"
         "t4,2,8,08:30:00,08:30:00\n"},
    };
}

// Tasks as task file lines, which read well in a failure.
std::vector<std::string> lines(const std::vector<Task>& tasks) {
    std::vector<std::string> out;
    for (const Task& t : tasks)
        out.push_back(std::to_string(t.vehicle) + ";" + std::to_string(t.start_time) + ";" + std::to_string(t.end_time) +
                      ";" + std::to_string(t.start_point) + ";" + std::to_string(t.end_point) + ";" +
                      std::to_string(t.slack) + ";" + std::to_string(t.start_line) + ";" + std::to_string(t.end_line));
    return out;
}

ImportResult import_files(const Files& files, ImportOptions options) {
    const TempDir dir;
    escala::test::write_files(dir.path(), files);
    return import_feed(Feed(dir.path()), options);
}

ImportOptions service(const std::string& id, Mode mode = Mode::trips) {
    ImportOptions options;
    options.services = {id};
    options.mode = mode;
    return options;
}

TEST(Trips, OneTaskPerTripWithHandComputedFields) {
    const ImportResult r = import_files(tiny_feed(), service("WK"));
    const std::vector<Task> expected{
        // Stops in stop_sequence order; 06:42:10 - 06:40:30 counts 402 - 400 minutes of dwell.
        {1, 360, 410, 11, 8, 2, 10, 10},
        // Starts at the first departure (07:06); the minute at the first stop is dwell all the same.
        {1, 426, 479, 8, 13, 1, 10, 10},
        // No block: a vehicle of its own; past midnight stays above 1440.
        {2, 1510, 1540, 12, 8, 1, 100, 100},
    };
    EXPECT_EQ(lines(r.tasks), lines(expected));
    EXPECT_EQ(r.trips_read, 3);
    EXPECT_EQ(r.vehicles, 2);
}

TEST(Trips, LegendNamesWhatTheTasksUse) {
    const ImportResult r = import_files(tiny_feed(), service("WK"));
    std::vector<std::string> rows;
    for (const LegendEntry& e : r.legend)
        rows.push_back(std::string(kind_name(e.kind)) + " " + std::to_string(e.number) + " " + e.gtfs_id + " " + e.name);
    EXPECT_EQ(rows, (std::vector<std::string>{"vehicle 1 b1 ", "vehicle 2 trip:t3 ", "point 8 8 Other End",
                                              "point 11 A Central bay A", "point 12 B Central bay B",
                                              "point 13 Z Central arrival zone", "line 10 10 Ten",
                                              "line 100 X Express, \"fast\""}));
}

TEST(Trips, DateFollowsCalendarAndExceptions) {
    ImportOptions options;
    options.date = parse_date("20230116");
    EXPECT_EQ(lines(import_files(tiny_feed(), options).tasks), lines(std::vector<Task>{{1, 480, 510, 11, 8, 0, 10, 10}}));
    options.date = parse_date("20230110");
    EXPECT_EQ(import_files(tiny_feed(), options).tasks.size(), 3u);
}

TEST(Trips, NumbersDoNotDependOnTheService) {
    // t4 alone still has vehicle 1 and the stops' numbers of the whole feed.
    EXPECT_EQ(lines(import_files(tiny_feed(), service("SA")).tasks), lines(std::vector<Task>{{1, 480, 510, 11, 8, 0, 10, 10}}));
}

TEST(Trips, DateWithoutAnyCalendarFindsNoTrip) {
    Files files = tiny_feed();
    files.erase("calendar.txt");
    files.erase("calendar_dates.txt");
    ImportOptions options;
    options.date = parse_date("20230110");
    EXPECT_THROW(import_files(files, options), FeedError);
    EXPECT_EQ(import_files(files, service("WK")).tasks.size(), 3u);  // ids need no calendar
}

TEST(Pieces, JoinsABlockIntoOnePieceWithLayovers) {
    const ImportResult r = import_files(tiny_feed(), service("WK", Mode::pieces));
    // b1: 06:00-06:50 and 07:06-07:59, one piece of 119 minutes; slack 2 + 1 dwell + 16 layover.
    EXPECT_EQ(lines(r.tasks), lines(std::vector<Task>{{1, 360, 479, 11, 13, 19, 10, 10}, {2, 1510, 1540, 12, 8, 1, 100, 100}}));
    EXPECT_EQ(r.pieces_in_range, 1);
}

TEST(Pieces, CutsWhereBoundsAskForIt) {
    ImportOptions options = service("WK", Mode::pieces);
    options.min_piece = 30;
    options.max_piece = 60;
    const ImportResult r = import_files(tiny_feed(), options);
    EXPECT_EQ(lines(r.tasks), lines(std::vector<Task>{{1, 360, 410, 11, 8, 2, 10, 10},
                                          {1, 426, 479, 8, 13, 1, 10, 10},
                                          {2, 1510, 1540, 12, 8, 1, 100, 100}}));
    EXPECT_EQ(r.pieces_in_range, 3);
}

// One bus, four trips of about an hour: A -> 8, 8 -> Z, B -> 8, 8 -> A.
// It stands at 8 twice (same stop) and at Central once (Z, then bay B).
Files relief_feed() {
    return {
        {"stops.txt", stops_txt},
        {"routes.txt", routes_txt},
        {"trips.txt", "route_id,service_id,trip_id,block_id\n10,WK,p1,9\n10,WK,p2,9\n10,WK,p3,9\n10,WK,p4,9\n"},
        {"stop_times.txt",
         "trip_id,arrival_time,departure_time,stop_id,stop_sequence\n"
         "p1,06:00:00,06:00:00,A,1\np1,07:00:00,07:00:00,8,2\n"
         "p2,07:05:00,07:05:00,8,1\np2,08:00:00,08:00:00,Z,2\n"
         "p3,08:10:00,08:10:00,B,1\np3,09:00:00,09:00:00,8,2\n"
         "p4,09:10:00,09:10:00,8,1\np4,10:00:00,10:00:00,A,2\n"},
    };
}

struct ReliefCase {
    const char* name;
    std::vector<std::string> relief;
    int relief_count;
    double radius;
    int max_piece;
    std::vector<std::pair<int, int>> pieces;  // start and end minutes
};

void PrintTo(const ReliefCase& c, std::ostream* out) { *out << c.name; }

class Relief : public ::testing::TestWithParam<ReliefCase> {};

TEST_P(Relief, CutsOnlyAtReliefStations) {
    ImportOptions options = service("WK", Mode::pieces);
    options.relief = GetParam().relief;
    options.relief_count = GetParam().relief_count;
    options.zone_radius = GetParam().radius;
    options.max_piece = GetParam().max_piece;
    std::vector<std::pair<int, int>> pieces;
    for (const Task& t : import_files(relief_feed(), options).tasks) pieces.emplace_back(t.start_time, t.end_time);
    EXPECT_EQ(pieces, GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Gtfs, Relief,
    ::testing::Values(
        // Z lies within 250 m of bay B: the bus stands at Central; two pieces near the middle beat one of 240.
        ReliefCase{"StationByParent", {"ST"}, 5, 250, 240, {{360, 480}, {490, 600}}},
        ReliefCase{"StationNamedByArrivalZone", {"Z"}, 5, 250, 240, {{360, 480}, {490, 600}}},
        ReliefCase{"ZoneTooSmallToJoin", {"ST"}, 5, 10, 240, {{360, 600}}},
        // Busiest alone is stop 8; cutting there leaves a piece of 60 or 50: one piece of 240 fits.
        ReliefCase{"BusiestStationOnly", {}, 1, 250, 240, {{360, 600}}},
        ReliefCase{"BusiestStationShorterPieces", {}, 1, 250, 200, {{360, 420}, {425, 600}}},
        ReliefCase{"TwoBusiestStations", {}, 2, 250, 200, {{360, 480}, {490, 600}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pieces, SlackAndEndsOfCutPieces) {
    ImportOptions options = service("WK", Mode::pieces);
    options.relief = {"ST"};
    EXPECT_EQ(lines(import_files(relief_feed(), options).tasks), lines(std::vector<Task>{{9, 360, 480, 11, 13, 5, 10, 10}, {9, 490, 600, 12, 11, 10, 10, 10}}));
}

TEST(Pieces, UnknownReliefStopIsAnError) {
    ImportOptions options = service("WK", Mode::pieces);
    options.relief = {"nowhere"};
    EXPECT_THROW(import_files(relief_feed(), options), FeedError);
}

struct CutCase {
    const char* name;
    std::vector<std::int32_t> starts, ends;
    std::vector<bool> cut_after;
    std::vector<std::size_t> firsts;
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

class Cuts : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cuts, ChooseTheBestPieces) {
    EXPECT_EQ(choose_cuts(GetParam().starts, GetParam().ends, GetParam().cut_after, 90, 240), GetParam().firsts);
}

INSTANTIATE_TEST_SUITE_P(
    Gtfs, Cuts,
    ::testing::Values(
        CutCase{"NoTrips", {}, {}, {}, {}},
        CutCase{"OneTrip", {0}, {500}, {false}, {0}},
        CutCase{"NoCutAllowed", {0, 60, 120}, {60, 120, 180}, {false, false, false}, {0}},
        // Six hours cut anywhere: 180 + 180 is nearest the middle (165).
        CutCase{"TwoEvenPieces", {0, 60, 120, 180, 240, 300}, {60, 120, 180, 240, 300, 360},
                {true, true, true, true, true, true}, {0, 3}},
        // Cutting would leave a 10-minute stub: 70 minutes over beats 60 + 80 out of range.
        CutCase{"StubNotWorthIt", {0, 300}, {300, 310}, {true, true}, {0}},
        CutCase{"LongDayCutInRange", {0, 200, 400}, {190, 390, 590}, {true, true, true}, {0, 1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The tiny feed with trip_headsign as GTFS names it.
Files feed_with_headsigns() {
    Files files = tiny_feed();
    std::string& trips = files["trips.txt"];
    trips.replace(trips.find("\"headsign\""), 10, "\"trip_headsign\"");
    return files;
}

std::vector<std::string> map_lines(const ImportResult& r) {
    std::ostringstream out;
    write_trip_map(out, r.trip_map);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const char* const map_header = "task,trip_id,block_id,service_id,route_id,headsign,start_stop,start_time,end_stop,end_time";

}  // namespace

// First departure and last arrival with their seconds, past 24 hours kept.
TEST(TripMap, TripsModeOneRowPerTask) {
    EXPECT_EQ(map_lines(import_files(feed_with_headsigns(), service("WK"))),
              (std::vector<std::string>{map_header, "1,t1,b1,WK,10,x,A,06:00:00,8,06:50:00",
                                        "2,t2,b1,WK,10,,8,07:06:00,Z,07:59:59", "3,t3,,WK,X,,B,25:10:00,8,25:40:59"}));
}

TEST(TripMap, PiecesModeOneRowPerTripOfEachPiece) {
    EXPECT_EQ(map_lines(import_files(feed_with_headsigns(), service("WK", Mode::pieces))),
              (std::vector<std::string>{map_header, "1,t1,b1,WK,10,x,A,06:00:00,8,06:50:00",
                                        "1,t2,b1,WK,10,,8,07:06:00,Z,07:59:59", "2,t3,,WK,X,,B,25:10:00,8,25:40:59"}));
}
