// escala-export end to end: the real binaries in a scratch folder; the LTD
// weekday service checked against the feed as TODS reads it; the run sheets
// printed by headless Chromium.
#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/interrupt_guard.hpp"
#include "gtfs/feed.hpp"
#include "run.hpp"
#include "test_support.hpp"

namespace {

using namespace escala::test;

const fs::path small_feed = source_path("tests/data/gtfs/small");

// A CSV file as rows of fields, the header first.
std::vector<std::vector<std::string>> csv_rows(const fs::path& path) {
    std::vector<std::vector<std::string>> rows;
    escala::gtfs::parse_csv(path.string(), read_file(path),
                            [&](escala::gtfs::CsvRecord& r) { rows.push_back(r.fields); });
    return rows;
}

class ExportTest : public InFolder {
protected:
    // Task file, legend, trip map and a roster of the small feed's three trips.
    void small_roster() const {
        ASSERT_EQ(tool("import", "'" + small_feed.string() + "' --date 20261207").status, 0);
        ASSERT_EQ(tool("batch", "--seed 1 --quiet --tasks Lintra.tsk --out-dir .").status, 0);
    }
};

TEST_F(ExportTest, SmallFeedWritesTheThreeFiles) {
    small_roster();
    const RunResult o = tool("export", "--first-run 101");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto events = csv_rows(path("run_events.txt"));
    int trips = 0;
    for (std::size_t i = 1; i < events.size(); ++i) {
        EXPECT_EQ(events[i][0], "WK");
        EXPECT_GE(std::stoi(events[i][1]), 101);
        if (events[i][6] == "Operator") ++trips;
    }
    EXPECT_EQ(trips, 3);
    EXPECT_TRUE(has(read_file(path("run_events.txt")), ",t3,0200,24:30:00,2,END,25:05:00,2\n"));
    EXPECT_EQ(csv_rows(path("runs.csv")).back()[0], "total");
    EXPECT_TRUE(has(read_file(path("runs.html")), "Terminus"));
    EXPECT_TRUE(has(o.err, " 3 trips, ")) << o.err;
}

struct Spoil {
    const char* name;
    std::string file;     // replaced by `content`
    std::string content;
    std::string message;  // on stderr
};

class ExportRefuses : public ExportTest, public ::testing::WithParamInterface<Spoil> {};

TEST_P(ExportRefuses, ExitsTwoAndWritesNothing) {
    small_roster();
    write_file(path("runs.csv"), "old\n");
    write_file(path(GetParam().file), GetParam().content);
    const RunResult o = tool("export", "");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err.rfind("escala-export: ", 0), 0u) << o.err;
    EXPECT_TRUE(has(o.err, GetParam().message)) << o.err;
    EXPECT_EQ(read_file(path("runs.csv")), "old\n");
    EXPECT_FALSE(fs::exists(path("run_events.txt")));
    EXPECT_FALSE(fs::exists(path("runs.html")));
}

const std::string map_header =
    "task,trip_id,block_id,service_id,route_id,headsign,start_stop,start_time,end_stop,end_time\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportRefuses,
    ::testing::Values(
        Spoil{"DumpMissesATask", "dumpfile.txt", "1##0\n7,360,420,100,1000,1,1,1\n7,420,449,1000,1000,0,1,1,*\n",
              "Lintra.tsk:2: task 7;430;480;1000;100;0;1;1 is in no schedule of dumpfile.txt"},
        // Every task placed, but crew 0's schedule without its closing virtual task.
        Spoil{"DumpLacksItsVirtualTask", "dumpfile.txt",
              "2##0\n7,360,420,100,1000,1,1,1\n7,430,480,1000,100,0,1,1\n##1\n10,1470,1505,200,1000,0,10,10\n"
              "10,1505,1535,1000,1000,0,10,10,*\n",
              "dumpfile.txt:3: the schedule lacks its closing virtual task 7,480,499,100,100,0,1,1,*"},
        Spoil{"DumpHasAStrangeTask", "dumpfile.txt",
              "1##0\n7,360,420,100,1000,1,1,1\n7,430,480,1000,100,0,1,1\n10,1470,1505,200,1000,0,10,10\n9,1,2,3,4,5,6,7\n",
              "dumpfile.txt:5: task 9;1;2;3;4;5;6;7 is not in Lintra.tsk"},
        Spoil{"DumpHasATaskTwice", "dumpfile.txt",
              "2##0\n7,360,420,100,1000,1,1,1\n7,430,480,1000,100,0,1,1\n7,480,499,100,100,0,1,1,*\n##1\n"
              "10,1470,1505,200,1000,0,10,10\n7,430,480,1000,100,0,1,1\n",
              "dumpfile.txt:7: task 7;430;480;1000;100;0;1;1 is placed more often than Lintra.tsk holds it (also line 3)"},
        Spoil{"LegendLacksAPoint", "Lintra.ids.csv",
              "kind,number,gtfs_id,name\nvehicle,7,007,\nvehicle,10,trip:t3,\npoint,100,0100,Depot\n"
              "point,1000,END,Terminus\nline,1,01,1\nline,10,N,Night\n",
              "Lintra.tsk:3: Lintra.ids.csv has no point 200"},
        Spoil{"TaskWithoutTrips", "Lintra.trips.csv",
              map_header + "1,t1,007,WK,01,,0100,06:00:00,END,07:00:00\n3,t3,,WK,N,,0200,24:30:00,END,25:05:00\n",
              "Lintra.tsk:2: the task has no trip in Lintra.trips.csv"},
        Spoil{"TripTimesDisagree", "Lintra.trips.csv",
              map_header + "1,t1,007,WK,01,,0100,06:00:00,END,07:00:00\n2,t2,007,WK,01,,END,07:11:00,0100,08:00:00\n"
                           "3,t3,,WK,N,,0200,24:30:00,END,25:05:00\n",
              "Lintra.trips.csv:3: trip t2 starts at 07:11:00, the task on Lintra.tsk:2 at minute 430"},
        Spoil{"DumpUnreadable", "dumpfile.txt", "x\n", "dumpfile.txt:1: "}),
    [](const auto& info) { return std::string(info.param.name); });

// Two tasks of one member overlap: written as they are, a warning, status 1.
TEST_F(ExportTest, OverlappingTripsWarnAndExitOne) {
    write_file(path("day.tsk"), "1;360;420;1;2;0;1;1\n2;400;450;3;3;0;1;1\n");
    write_file(path("day.ids.csv"), "kind,number,gtfs_id,name\nvehicle,1,B1,\nvehicle,2,B2,\npoint,1,P1,One\n"
                                    "point,2,P2,Two\npoint,3,P3,Three\nline,1,L1,Line 1\n");
    write_file(path("day.trips.csv"), map_header + "1,ta,B1,S,L1,,P1,06:00:00,P2,07:00:00\n"
                                                   "2,tb,B2,S,L1,,P3,06:40:00,P3,07:30:00\n");
    write_file(path("dump.txt"), "1##0\n1,360,420,1,2,0,1,1\n2,400,450,3,3,0,1,1\n2,450,480,3,3,0,1,1,*\n");
    write_file(path("taken"), "a file, not a folder\n");
    const RunResult o = tool("export", "--tasks day.tsk --dump dump.txt --out-dir taken --service-id X");
    const RunResult again = tool("export", "--tasks day.tsk --dump dump.txt --out-dir out --service-id X");
    EXPECT_EQ(o.status, 1);  // the output folder is taken by a file
    EXPECT_TRUE(has(o.err, "cannot")) << o.err;
    EXPECT_EQ(again.status, 1);  // the folder made, the files written, the overlap said
    EXPECT_TRUE(has(again.err, "escala-export: warning: run 1: trips ta and tb overlap in time\n")) << again.err;
    const std::string events = read_file(path("out/run_events.txt"));
    EXPECT_TRUE(has(events, "X,1,20,,,Operator,Travel,,P2,06:40:00,,P3,06:40:00,\n")) << events;
    EXPECT_TRUE(has(read_file(path("out/runs.html")), "class=\"overlap\""));
}

TEST_F(ExportTest, InterruptWritesNothing) {
    small_roster();
    write_file(path("runs.csv"), "old\n");
    escala::tools::exporting::ToolOptions options;
    options.tasks = path("Lintra.tsk").string();
    options.dump = path("dumpfile.txt").string();
    options.out_dir = dir.path().string();
    const escala::cli::InterruptGuard guard("escala-export");
    escala::cli::InterruptGuard::request_stop(SIGINT);
    std::ostringstream err;
    EXPECT_EQ(escala::tools::exporting::run_export(options, guard, err), 130);
    EXPECT_EQ(err.str(), "escala-export: interrupted (SIGINT); nothing written\n");
    EXPECT_EQ(read_file(path("runs.csv")), "old\n");
    EXPECT_FALSE(fs::exists(path("run_events.txt")));
}

TEST_F(ExportTest, HelpAndVersion) {
    const RunResult help = tool("export", "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"--tasks", "--dump", "--ids", "--trips", "--out-dir", "--service-id", "--first-run",
                             "run_events.txt", "runs.csv", "runs.html", "130", "143", "Ctrl-C"})
        EXPECT_TRUE(has(help.out, text)) << text;
    const RunResult version = tool("export", "--version");
    EXPECT_EQ(version.out, std::string("escala-export ") + ESCALA_VERSION + "\n");
    const RunResult bad = tool("export", "--first-run x");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.rfind("escala-export: ", 0), 0u) << bad.err;
}

// The trips of the feed's weekday service, as TODS describes a trip event.
struct FeedTrip {
    std::string block, first_stop, last_stop;
    std::int32_t departure = 0, arrival = 0;
    long first_sequence = -1, last_sequence = -1;
};

std::map<std::string, FeedTrip> weekday_trips(const fs::path& zip) {
    const escala::gtfs::Feed feed(zip);
    std::map<std::string, FeedTrip> trips;
    const auto table = feed.table("trips.txt", {{"trip_id"}, {"service_id"}, {"block_id", false}}, true);
    for (const auto& row : table->rows)
        if (row.fields[1] == "13105300" || row.fields[1] == "13105304") trips[row.fields[0]].block = row.fields[2];
    const auto times = feed.table(
        "stop_times.txt", {{"trip_id"}, {"arrival_time"}, {"departure_time"}, {"stop_id"}, {"stop_sequence"}}, true);
    for (const auto& row : times->rows) {
        const auto found = trips.find(row.fields[0]);
        if (found == trips.end()) continue;
        FeedTrip& t = found->second;
        const long sequence = std::stol(row.fields[4]);
        if (t.first_sequence < 0 || sequence < t.first_sequence) {
            t.first_sequence = sequence;
            t.first_stop = row.fields[3];
            t.departure = *escala::gtfs::parse_time(row.fields[2]);
        }
        if (sequence > t.last_sequence) {
            t.last_sequence = sequence;
            t.last_stop = row.fields[3];
            t.arrival = *escala::gtfs::parse_time(row.fields[1]);
        }
    }
    return trips;
}

TEST_F(ExportTest, LtdWeekdayPiecesFollowTods) {
    const fs::path data = shared_data();
    if (data.empty()) GTEST_SKIP() << "the LTD feed is not there";
    const fs::path zip = data / "gtfs/ltd-2023.zip";
    ASSERT_EQ(tool("import", "'" + zip.string() + "' --date 20230110 --mode pieces").status, 0);
    ASSERT_EQ(tool("batch", "--seed 1 --quiet --tasks Lintra.tsk --out-dir .").status, 0);
    const RunResult check = tool("check", "");
    ASSERT_TRUE(has(check.out, "\nresult valid\n")) << check.out;  // no overlaps either
    const RunResult o = tool("export", "");
    ASSERT_EQ(o.status, 0) << o.err;

    const auto rows = csv_rows(path("run_events.txt"));
    ASSERT_EQ(rows.front(), (std::vector<std::string>{"service_id", "run_id", "event_sequence", "piece_id", "block_id",
                                                      "job_type", "event_type", "trip_id", "start_location",
                                                      "start_time", "start_mid_trip", "end_location", "end_time",
                                                      "end_mid_trip"}));
    std::map<std::string, FeedTrip> feed = weekday_trips(zip);
    ASSERT_EQ(feed.size(), 1257u);
    std::set<std::string> services, keys, worked;
    // Per run: (sequence, start, end, is trip) in file order.
    std::map<std::string, std::vector<std::tuple<long, std::int32_t, std::int32_t, bool>>> runs;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto& r = rows[i];
        ASSERT_EQ(r.size(), 14u) << "row " << i + 1;
        services.insert(r[0]);
        EXPECT_TRUE(keys.insert(r[0] + "/" + r[1] + "/" + r[2]).second) << "row " << i + 1 << " key repeated";
        const auto start = escala::gtfs::parse_time(r[9]), end = escala::gtfs::parse_time(r[12]);
        ASSERT_TRUE(start && end) << "row " << i + 1;
        EXPECT_LE(*start, *end) << "row " << i + 1;
        EXPECT_EQ(r[5], "Operator");
        const bool trip = !r[7].empty();
        runs[r[0] + "/" + r[1]].emplace_back(std::stol(r[2]), *start, *end, trip);
        if (r[6] != "Operator") {
            EXPECT_FALSE(trip) << "row " << i + 1;
            continue;
        }
        const auto found = feed.find(r[7]);
        ASSERT_NE(found, feed.end()) << "trip " << r[7] << " is not a weekday trip";
        EXPECT_TRUE(worked.insert(r[7]).second) << "trip " << r[7] << " worked twice";
        const FeedTrip& t = found->second;
        EXPECT_EQ(r[4], t.block) << r[7];
        EXPECT_EQ(r[8], t.first_stop) << r[7];
        EXPECT_EQ(r[11], t.last_stop) << r[7];
        EXPECT_EQ(*start, t.departure) << r[7];
        EXPECT_EQ(*end, t.arrival) << r[7];
        EXPECT_EQ(r[10], "2");
        EXPECT_EQ(r[13], "2");
        EXPECT_FALSE(r[3].empty()) << r[7];
    }
    EXPECT_EQ(worked.size(), feed.size());
    EXPECT_EQ(services.size(), 1u);  // one service: no run split over two
    for (const auto& [run, events] : runs) {
        for (std::size_t k = 1; k < events.size(); ++k) {
            EXPECT_LT(std::get<0>(events[k - 1]), std::get<0>(events[k])) << run;
            EXPECT_LE(std::get<1>(events[k - 1]), std::get<1>(events[k])) << run << " sequence not in time order";
        }
        for (std::size_t a = 0; a < events.size(); ++a)
            for (std::size_t b = a + 1; b < events.size(); ++b)
                if (std::get<3>(events[a]) && std::get<3>(events[b])) {
                    EXPECT_LE(std::min(std::get<2>(events[a]), std::get<2>(events[b])) -
                                  std::max(std::get<1>(events[a]), std::get<1>(events[b])),
                              0)
                        << run << " trips overlap";
                }
    }

    // The legend names every stop the events use, for the run sheets.
    std::set<std::string> named;
    for (const auto& entry : csv_rows(path("Lintra.ids.csv")))
        if (entry[0] == "point") named.insert(entry[2]);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_TRUE(named.count(rows[i][8])) << rows[i][8];
        EXPECT_TRUE(named.count(rows[i][11])) << rows[i][11];
    }

    std::smatch objective;
    ASSERT_TRUE(std::regex_search(check.out, objective, std::regex("\nobjective (\\d+)\n")));
    const auto table = csv_rows(path("runs.csv"));
    ASSERT_EQ(table.back()[0], "total");
    EXPECT_EQ(table.back().back(), objective[1].str());
    EXPECT_EQ(table.size(), runs.size() + 2);
}

TEST_F(ExportTest, RunSheetsPrintOnePagePerRun) {
    if (std::system("command -v chromium >/dev/null 2>&1 && command -v pdftotext >/dev/null 2>&1 && "
                    "command -v pdfinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium or poppler-utils is missing";
    small_roster();
    ASSERT_EQ(tool("export", "").status, 0);
    const auto table = csv_rows(path("runs.csv"));
    const RunResult print = run(
        "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update "
        "--disable-sync --no-first-run --user-data-dir=profile --no-pdf-header-footer --print-to-pdf=runs.pdf "
        "file://" + path("runs.html").string());
    ASSERT_TRUE(fs::exists(path("runs.pdf"))) << print.err;
    const RunResult info = run("pdfinfo runs.pdf");
    std::smatch pages;
    ASSERT_TRUE(std::regex_search(info.out, pages, std::regex("Pages:\\s+(\\d+)"))) << info.out;
    const std::size_t runs = table.size() - 2;
    ASSERT_GT(runs, 0u);
    EXPECT_GE(std::stoul(pages[1].str()), runs + 1);  // the index, then a page a run
    const RunResult text = run("pdftotext runs.pdf -");
    for (std::size_t i = 1; i + 1 < table.size(); ++i)
        EXPECT_TRUE(has(text.out, "Run " + table[i][0] + "\n")) << table[i][0] << "\n" << text.out;
}

}  // namespace
