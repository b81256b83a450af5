// Runs from a roster: matching identical records, refusing what does not fit,
// pieces, travel, break and sign-off events, overlaps and the files' rows.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "export/export_files.hpp"
#include "export/runs.hpp"

using namespace escala;
using namespace escala::exporting;

namespace {

// Points 10.. stand for stops S10..; vehicles 1.. for blocks B1..
gtfs::Legend legend_for(const l_tarefas& tasks) {
    gtfs::Legend legend;
    for (const Task& t : tasks) {
        legend[{gtfs::IdKind::vehicle, t.vehicle}] = {"B" + std::to_string(t.vehicle), ""};
        for (const std::int32_t p : {t.start_point, t.end_point})
            legend[{gtfs::IdKind::point, p}] = {"S" + std::to_string(p), "Stop <" + std::to_string(p) + ">"};
        legend[{gtfs::IdKind::line, t.start_line}] = {"R" + std::to_string(t.start_line), "Line & " + std::to_string(t.start_line)};
    }
    return legend;
}

TaskFile task_file(const l_tarefas& tasks) {
    TaskFile file{"day.tsk", tasks, {}};
    for (std::size_t i = 0; i < tasks.size(); ++i) file.lines.push_back(static_cast<int>(i) + 1);
    return file;
}

std::int32_t hms(int h, int m, int s = 0) { return h * 3600 + m * 60 + s; }

gtfs::TripRow trip(int task, const std::string& id, const std::string& from, std::int32_t start, const std::string& to,
                   std::int32_t end) {
    return {task, id, "B", "WK", "R1", "", from, start, to, end, 0};
}

Schedule schedule(const l_tarefas& tasks, int first_line) {
    Schedule s;
    for (const Task& t : tasks) s.push_back({t, first_line++});
    return s;
}

const Task dup(1, 360, 420, 10, 20, 0, 1, 1), other(2, 500, 530, 20, 10, 0, 1, 1);

TEST(Matching, IdenticalRecordsTakenInFileOrder) {
    TaskFile file = task_file({dup, other, dup});
    file.lines = {1, 2, 4};  // a blank line 3
    const auto matched = match_tasks(file, {schedule({dup}, 2), schedule({other, dup}, 4)}, "dump");
    EXPECT_EQ(matched, (std::vector<std::vector<std::size_t>>{{0}, {1, 2}}));
}

TEST(Matching, VirtualTasksAreNotMatched) {
    Task closing = other;
    closing.is_virtual = 1;
    const auto matched = match_tasks(task_file({other}), {schedule({other, closing}, 2)}, "dump");
    EXPECT_EQ(matched, (std::vector<std::vector<std::size_t>>{{0}}));
}

struct Refusal {
    const char* name;
    l_tarefas file;
    std::vector<l_tarefas> roster;
    std::string message;
};

class MatchingRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(MatchingRefuses, NamesFileAndLine) {
    std::vector<Schedule> roster;
    int line = 1;
    for (const l_tarefas& tasks : GetParam().roster) {
        roster.push_back(schedule(tasks, line + 1));
        line += static_cast<int>(tasks.size()) + 1;
    }
    try {
        match_tasks(task_file(GetParam().file), roster, "dump");
        FAIL() << "accepted";
    } catch (const ExportError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchingRefuses,
    ::testing::Values(
        Refusal{"TaskMissing", {dup, other}, {{other}}, "day.tsk:1: task 1;360;420;10;20;0;1;1 is in no schedule of dump"},
        Refusal{"TaskTwice", {dup, other}, {{dup, other}, {dup}},
                "dump:5: task 1;360;420;10;20;0;1;1 is placed more often than day.tsk holds it (also line 2)"},
        Refusal{"TaskNotInFile", {dup}, {{dup}, {other}},
                "dump:4: task 2;500;530;20;10;0;1;1 is not in day.tsk"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Legend, MissingNumberRefused) {
    gtfs::Legend legend = legend_for({dup, other});
    legend.erase({gtfs::IdKind::line, 1});
    try {
        check_legend(task_file({dup, other}), legend, "day.ids.csv");
        FAIL() << "accepted";
    } catch (const ExportError& e) {
        EXPECT_EQ(std::string(e.what()), "day.tsk:1: day.ids.csv has no line 1");
    }
}

struct MapRefusal {
    const char* name;
    std::vector<gtfs::TripRow> rows;
    std::string message;
};

class TripMapDoesNotFit : public ::testing::TestWithParam<MapRefusal> {};

TEST_P(TripMapDoesNotFit, NamesFileAndLine) {
    std::vector<gtfs::TripRow> rows = GetParam().rows;
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].line = static_cast<int>(i) + 2;
    try {
        trips_by_task(task_file({dup, other}), rows, "map", legend_for({dup, other}));
        FAIL() << "accepted";
    } catch (const ExportError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

const gtfs::TripRow dup_trip = trip(1, "t1", "S10", hms(6, 0, 59), "S20", hms(7, 0, 30));
const gtfs::TripRow other_trip = trip(2, "t2", "S20", hms(8, 20), "S10", hms(8, 50));

INSTANTIATE_TEST_SUITE_P(
    Cases, TripMapDoesNotFit,
    ::testing::Values(
        MapRefusal{"TaskWithoutTrips", {dup_trip}, "day.tsk:2: the task has no trip in map"},
        MapRefusal{"NoSuchTaskLine", {dup_trip, other_trip, trip(3, "t3", "S10", 0, "S10", 60)},
                   "map:4: task 3 is no task line of day.tsk"},
        MapRefusal{"StartDisagrees", {trip(1, "t1", "S10", hms(6, 1), "S20", hms(7, 0)), other_trip},
                   "map:2: trip t1 starts at 06:01:00, the task on day.tsk:1 at minute 360"},
        MapRefusal{"EndDisagrees", {dup_trip, trip(2, "t2", "S20", hms(8, 20), "S10", hms(8, 51))},
                   "map:3: trip t2 ends at 08:51:00, the task on day.tsk:2 at minute 530"},
        MapRefusal{"StopDisagrees", {dup_trip, trip(2, "t2", "S21", hms(8, 20), "S10", hms(8, 50))},
                   "map:3: trip t2 starts at stop S21, the task on day.tsk:2 at S20"}),
    [](const auto& info) { return std::string(info.param.name); });

// One member with two pieces on vehicle 1 and 2, a point change, a split
// shift and a closing virtual task; one member without work; one whose
// tasks touch and overlap at different stops.
struct Day {
    l_tarefas tasks{{1, 360, 420, 10, 20, 0, 1, 1},  // A
                    {1, 420, 480, 20, 20, 0, 1, 1},  // B: same bus, same stop
                    {2, 490, 520, 30, 30, 0, 1, 1},  // C: travel from 20
                    {3, 700, 760, 30, 40, 0, 1, 1},  // D: 180 minutes later at 30
                    {4, 600, 630, 50, 50, 0, 1, 1},  // E
                    {5, 630, 660, 60, 60, 0, 1, 1},  // F: touches E elsewhere
                    {6, 650, 700, 70, 70, 0, 1, 1}};  // G: overlaps F
    std::vector<gtfs::TripRow> map{trip(1, "a1", "S10", hms(6, 0), "S15", hms(6, 30)),
                                   trip(1, "a2", "S15", hms(6, 35), "S20", hms(7, 0, 40)),
                                   trip(2, "b1", "S20", hms(7, 0, 40), "S20", hms(8, 0)),
                                   trip(3, "c1", "S30", hms(8, 10), "S30", hms(8, 40)),
                                   trip(4, "d1", "S30", hms(11, 40), "S40", hms(12, 40)),
                                   trip(5, "e1", "S50", hms(10, 0), "S50", hms(10, 30)),
                                   trip(6, "f1", "S60", hms(10, 30), "S60", hms(11, 0)),
                                   trip(7, "g1", "S70", hms(10, 50), "S70", hms(11, 40))};
    std::vector<Schedule> roster;
    std::vector<Run> runs;

    Day() {
        Task closing(3, 760, 775, 40, 40, 0, 1, 1, 1);
        // The dump holds D before C: the run takes them in time order.
        roster = {schedule({tasks[0], tasks[1], tasks[3], tasks[2], closing}, 2), {},
                  schedule({tasks[4], tasks[5], tasks[6]}, 9)};
        const TaskFile file = task_file(tasks);
        const auto trips = trips_by_task(file, map, "map", legend_for(tasks));
        runs = build_runs(roster, match_tasks(file, roster, "dump"), file, trips, 5, default_rules());
    }
};

struct Row {
    std::string type, piece, trip, from, to;
    std::int32_t start, end;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rows(const Run& run) {
    std::vector<Row> out;
    for (const Event& e : run.events)
        out.push_back({event_type_name(e.type), e.piece_id, e.trip_id, e.from, e.to, e.start, e.end});
    return out;
}

void PrintTo(const Row& r, std::ostream* os) {
    *os << r.type << ' ' << r.piece << ' ' << r.trip << ' ' << r.from << "->" << r.to << ' ' << r.start << '-' << r.end;
}

TEST(Runs, PiecesTravelBreakAndSignOff) {
    const Day day;
    ASSERT_EQ(day.runs.size(), 2u);  // member 1 has no work
    const exporting::Run& run = day.runs[0];
    EXPECT_EQ(run.run_id, 5);
    EXPECT_EQ(rows(run), (std::vector<Row>{{"Operator", "5-1", "a1", "S10", "S15", hms(6, 0), hms(6, 30)},
                                           {"Operator", "5-1", "a2", "S15", "S20", hms(6, 35), hms(7, 0, 40)},
                                           {"Operator", "5-1", "b1", "S20", "S20", hms(7, 0, 40), hms(8, 0)},
                                           {"Travel", "", "", "S20", "S30", hms(8, 0), hms(8, 10)},
                                           {"Operator", "5-2", "c1", "S30", "S30", hms(8, 10), hms(8, 40)},
                                           {"Break", "", "", "S30", "S30", hms(8, 40), hms(11, 40)},
                                           {"Operator", "5-3", "d1", "S30", "S40", hms(11, 40), hms(12, 40)},
                                           {"Sign-off", "", "", "S40", "S40", hms(12, 40), hms(12, 55)}}));
    EXPECT_EQ(run.pieces, 3);
    EXPECT_EQ(run.trips, 5);
    EXPECT_EQ(run.vehicles, 3);
    EXPECT_EQ(run.platform_minutes, 60 + 60 + 30 + 60);
    EXPECT_EQ(run.sign_on, hms(6, 0));
    EXPECT_EQ(run.sign_off, hms(12, 55));
}

TEST(Runs, TravelIsAnInstantWhenTasksTouchOrOverlap) {
    Day day;
    const exporting::Run& run = day.runs[1];
    EXPECT_EQ(run.run_id, 7);
    EXPECT_EQ(rows(run), (std::vector<Row>{{"Operator", "7-1", "e1", "S50", "S50", hms(10, 0), hms(10, 30)},
                                           {"Travel", "", "", "S50", "S60", hms(10, 30), hms(10, 30)},
                                           {"Operator", "7-2", "f1", "S60", "S60", hms(10, 30), hms(11, 0)},
                                           {"Travel", "", "", "S60", "S70", hms(10, 50), hms(10, 50)},
                                           {"Operator", "7-3", "g1", "S70", "S70", hms(10, 50), hms(11, 40)}}));
    const std::vector<Overlap> overlaps = find_overlaps(day.runs);
    ASSERT_EQ(overlaps.size(), 1u);
    EXPECT_EQ(overlaps[0].run_id, 7);
    EXPECT_EQ(overlaps[0].first_trip, "f1");
    EXPECT_EQ(overlaps[0].second_trip, "g1");
    EXPECT_TRUE(day.runs[1].events[2].overlaps);
    EXPECT_FALSE(day.runs[1].events[0].overlaps);  // e1 only touches f1
}

TEST(Files, RunEventsRowsAndSequence) {
    const Day day;
    std::ostringstream out;
    write_run_events(out, {day.runs[0]}, "WK");
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], "WK,5,10,5-1,B,Operator,Operator,a1,S10,06:00:00,2,S15,06:30:00,2");
    EXPECT_EQ(lines[4], "WK,5,40,,,Operator,Travel,,S20,08:00:00,,S30,08:10:00,");
    EXPECT_EQ(lines[8], "WK,5,80,,,Operator,Sign-off,,S40,12:40:00,,S40,12:55:00,");
}

TEST(Files, RunsTableTotalCarriesTheObjective) {
    const Day day;
    std::vector<RunMeasures> measures(3);
    measures[0] = {100, 400, 30, 0, 0, 0, 2, 1, true};
    measures[2] = {50, 100, 330, 0, 0, 10, 2, 2, false};
    std::ostringstream out;
    write_runs_csv(out, day.runs, measures, 777);
    EXPECT_EQ(out.str(),
              "run_id,member,sign_on,sign_off,pieces,trips,vehicles,platform_minutes,work_time,idle_time,overtime,"
              "excess_time,overlap_time,vehicle_changes,point_changes,split_shift,cost\n"
              "5,0,06:00:00,12:55:00,3,5,3,210,400,30,0,0,0,2,1,1,100\n"
              "7,2,10:00:00,11:40:00,3,3,3,110,100,330,0,0,10,2,2,0,50\n"
              "total,,,,6,8,6,320,500,360,0,0,10,4,3,1,777\n");
}

TEST(Files, RunSheetsEscapeNamesAndBreakPages) {
    Day day;
    find_overlaps(day.runs);
    std::ostringstream out;
    write_run_sheets(out, day.runs, std::vector<RunMeasures>(3), legend_for(day.tasks), "W<K>");
    const std::string html = out.str();
    for (const char* text : {"href=\"#run-5\"", "id=\"run-7\"", "break-before: page", "Stop &lt;30&gt;",
                             "Line &amp; 1", "W&lt;K&gt;", "class=\"overlap\"", ">Sign-off<", ">Break<", ">Travel<"})
        EXPECT_NE(html.find(text), std::string::npos) << text;
    EXPECT_EQ(html.find("Stop <"), std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos);  // nothing fetched
}

TEST(Files, BusiestServiceFirstOnATie) {
    std::vector<gtfs::TripRow> map(5);
    const char* services[] = {"A", "B", "B", "A", "C"};
    for (int i = 0; i < 5; ++i) map[i].service_id = services[i];
    EXPECT_EQ(busiest_service(map), "A");
    map[4].service_id = "B";
    EXPECT_EQ(busiest_service(map), "B");
}

}  // namespace
