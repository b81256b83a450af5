// escala-import end to end: the real binary on a small feed and on the LTD
// feed, escala reading the result, and unusable input refused with nothing written.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/interrupt_guard.hpp"
#include "io/load_list.hpp"
#include "io/strict_tasks.hpp"
#include "run.hpp"
#include "test_support.hpp"

namespace {

using namespace escala::test;

const fs::path small_feed = source_path("tests/data/gtfs/small");

class ImportTest : public InFolder {
protected:
    RunResult import(const std::string& args) const { return tool("import", args); }

    // A copy of the small feed to spoil.
    fs::path feed_copy() const {
        const fs::path copy = path("feed");
        fs::copy(small_feed, copy);
        return copy;
    }
};

TEST_F(ImportTest, SmallFeedTasksAndLegend) {
    const RunResult o = import("'" + small_feed.string() + "' --date 20261207");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read_file(path("Lintra.tsk")),
              "7;360;420;100;1000;1;1;1\n"
              "7;430;480;1000;100;0;1;1\n"
              "10;1470;1505;200;1000;0;10;10\n");
    EXPECT_EQ(read_file(path("Lintra.ids.csv")),
              "kind,number,gtfs_id,name\n"
              "vehicle,7,007,\nvehicle,10,trip:t3,\n"
              "point,100,0100,Depot\npoint,200,0200,Market\npoint,1000,END,Terminus\n"
              "line,1,01,1\nline,10,N,Night\n");
    EXPECT_EQ(o.err,
              "escala-import: 3 trips read, 3 tasks written to Lintra.tsk (2 vehicles, first time 360, last time 1505); "
              "legend in Lintra.ids.csv, trip map in Lintra.trips.csv\n");
    EXPECT_EQ(read_file(path("Lintra.trips.csv")),
              "task,trip_id,block_id,service_id,route_id,headsign,start_stop,start_time,end_stop,end_time\n"
              "1,t1,007,WK,01,,0100,06:00:00,END,07:00:00\n"
              "2,t2,007,WK,01,,END,07:10:00,0100,08:00:00\n"
              "3,t3,,WK,N,,0200,24:30:00,END,25:05:00\n");
}

TEST_F(ImportTest, SmallFeedPiecesAndOutName) {
    const RunResult o = import("'" + small_feed.string() + "' --service WK --mode pieces --min-piece 60 --out day.tsk");
    ASSERT_EQ(o.status, 0) << o.err;
    // 007 stands at the Terminus between its trips; one piece of 120 minutes fits best.
    EXPECT_EQ(read_file(path("day.tsk")), "7;360;480;100;100;11;1;1\n10;1470;1505;200;1000;0;10;10\n");
    EXPECT_TRUE(fs::exists(path("day.ids.csv")));
    EXPECT_EQ(split_lines(read_file(path("day.trips.csv"))).size(), 4u);
    EXPECT_NE(o.err.find("1 of 2 pieces within 60-240 minutes"), std::string::npos) << o.err;
}

TEST_F(ImportTest, ListServices) {
    const RunResult o = import("'" + small_feed.string() + "' --list-services");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "WK  days Mon Tue Wed Thu Fri  dates 20260101-20261231  3 trips\n");
    EXPECT_FALSE(fs::exists(path("Lintra.tsk")));
}

TEST_F(ImportTest, HelpAndVersion) {
    const RunResult help = import("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"--service", "--date", "--relief-count", "130", "143", "Ctrl-C", ".ids.csv", "100004"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    const RunResult version = import("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("escala-import ") + ESCALA_VERSION + "\n");
}

struct BadCase {
    const char* name;
    std::string file;                 // file of the feed copy to replace ("" none; "-" deletes `args`' file)
    std::string content;
    std::string args;                 // after the feed
    std::string message;              // expected on stderr
    bool command_line = false;        // a fault of the command line rather than the feed
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class BadInput : public ImportTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BadInput, ExitsTwoWithMessageAndWritesNothing) {
    const BadCase& c = GetParam();
    const fs::path feed = feed_copy();
    if (c.file == "stops.txt-") fs::remove(feed / "stops.txt");
    else if (!c.file.empty()) write_file(feed / c.file, c.content);
    write_file(path("Lintra.tsk"), "1;2;3;4;5;6;7;8\n");
    const std::string feed_arg = c.file == "zip" ? path("feed/" + c.file).string() : feed.string();
    const RunResult o = import("'" + feed_arg + "' " + c.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    if (!c.command_line) {  // CLI11 words command-line faults itself
        EXPECT_EQ(o.err.rfind("escala-import: ", 0), 0u) << o.err;
    }
    EXPECT_EQ(read_file(path("Lintra.tsk")), "1;2;3;4;5;6;7;8\n");
    EXPECT_FALSE(fs::exists(path("Lintra.ids.csv")));
    EXPECT_FALSE(fs::exists(path("Lintra.trips.csv")));
}

const std::string stop_times_head = "trip_id,arrival_time,departure_time,stop_id,stop_sequence\n";

INSTANTIATE_TEST_SUITE_P(
    Import, BadInput,
    ::testing::Values(
        BadCase{"MissingFile", "stops.txt-", "", "--service WK", "missing required file stops.txt"},
        BadCase{"MissingColumn", "stop_times.txt", "trip_id,arrival_time,departure_time,stop_id\n", "--service WK",
                "stop_times.txt:1: missing required column stop_sequence"},
        BadCase{"BadTime", "stop_times.txt", stop_times_head + "t1,06:00:00,06:00:00,0100,1\nt1,6:3:00,06:03:00,END,2\n",
                "--service WK", "stop_times.txt:3: column arrival_time: '6:3:00' is not a time H:MM:SS"},
        BadCase{"NoTimeAtFirstStop", "stop_times.txt", stop_times_head + "t1,,,0100,1\nt1,06:30:00,06:30:00,END,2\n",
                "--service WK", "stop_times.txt:2: column departure_time: trip t1 has no time at its first stop"},
        BadCase{"NoTimeAtLastStop", "stop_times.txt",
                stop_times_head + "t1,06:00:00,06:00:00,0100,1\nt1,,,END,2\nt1,06:30:00,06:30:00,0200,0\n",
                "--service WK", "stop_times.txt:3: column arrival_time: trip t1 has no time at its last stop"},
        BadCase{"UnknownStop", "stop_times.txt", stop_times_head + "t1,06:00:00,06:00:00,9999,1\n", "--service WK",
                "stop_times.txt:2: column stop_id: stop '9999' is not in stops.txt"},
        BadCase{"BadQuoting", "trips.txt", "route_id,service_id,trip_id\n\"01,WK,t1\n", "--service WK",
                "trips.txt:2: "},
        BadCase{"UnknownService", "", "", "--service NOPE",
                "no trip in trips.txt for service NOPE; the services are:\n  WK  days Mon Tue Wed Thu Fri"},
        BadCase{"DateWithoutService", "", "", "--date 20261205", "no trip in trips.txt runs on 20261205"},
        BadCase{"UnreadableZip", "zip", "PK but not a zip", "--service WK", "not a readable zip file"},
        BadCase{"NoChoice", "", "", "", "one of --service, --date or --list-services is required", true},
        BadCase{"BadDate", "", "", "--date 20260231", "is not a date YYYYMMDD", true},
        BadCase{"PieceBoundsCrossed", "", "", "--service WK --min-piece 300 --max-piece 200",
                "--min-piece 300 is above --max-piece 200", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImportTest, UnwritableOutputExitsOne) {
    const RunResult o = import("'" + small_feed.string() + "' --service WK --out no/such/dir/x.tsk");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("escala-import: cannot write"), std::string::npos) << o.err;
}

TEST_F(ImportTest, InterruptWritesNothing) {
    write_file(path("Lintra.tsk"), "old\n");
    escala::tools::import::ToolOptions options;
    options.feed = small_feed.string();
    options.out = path("Lintra.tsk").string();
    options.import.services = {"WK"};
    const escala::cli::InterruptGuard guard("escala-import");
    escala::cli::InterruptGuard::request_stop(SIGINT);
    std::ostringstream out, err;
    EXPECT_EQ(escala::tools::import::run_import(options, guard, out, err), 130);
    EXPECT_EQ(err.str(), "escala-import: interrupted; nothing written\n");
    EXPECT_EQ(read_file(path("Lintra.tsk")), "old\n");
    EXPECT_FALSE(fs::exists(path("Lintra.ids.csv")));
    EXPECT_FALSE(fs::exists(path("Lintra.trips.csv")));
}

// The trips mode on the LTD feed gives the shared task files record by record.
TEST_F(ImportTest, LtdTripsMatchTheSharedTaskFiles) {
    const fs::path data = shared_data();
    if (data.empty()) GTEST_SKIP() << "the LTD feed is not there";
    const std::string zip = (data / "gtfs/ltd-2023.zip").string();
    for (const auto& [day, args] : std::vector<std::pair<std::string, std::string>>{
             {"weekday", "--service 13105300 --service 13105304"},
             {"saturday", "--date 20230114"},
             {"sunday", "--service 13105200"}}) {
        const RunResult o = import("'" + zip + "' " + args + " --out " + day + ".tsk");
        ASSERT_EQ(o.status, 0) << o.err;
        const auto ours = split_lines(read_file(path(day + ".tsk")));
        const auto theirs = split_lines(read_file(data / ("ltd-p1-" + day + "-trips.tsk")));
        ASSERT_EQ(ours.size(), theirs.size()) << day;
        for (std::size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(ours[i], theirs[i]) << day << " line " << i + 1;
    }
    const std::string legend = read_file(path("weekday.ids.csv"));
    EXPECT_NE(legend.find("\npoint,100004,escenter,Eugene Sta central arrival zone\n"), std::string::npos);
    EXPECT_NE(legend.find("\nline,1000,79x,79x\n"), std::string::npos);
}

// The weekday service in pieces mode, read by both readers and by escala itself.
TEST_F(ImportTest, LtdWeekdayPiecesRunThroughEscala) {
    const fs::path data = shared_data();
    if (data.empty()) GTEST_SKIP() << "the LTD feed is not there";
    const RunResult o =
        import("'" + (data / "gtfs/ltd-2023.zip").string() + "' --service 13105300,13105304 --mode pieces");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("1257 trips read"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("102 vehicles, first time 325, last time 1443"), std::string::npos) << o.err;

    const escala::StrictTasks strict = escala::load_tasks_strict(path("Lintra.tsk"));
    EXPECT_TRUE(strict.warnings.empty());
    std::ifstream in(path("Lintra.tsk"));
    escala::l_tarefas tasks;
    const escala::ReadOutcome read = escala::read_tasks(in, tasks);
    EXPECT_FALSE(read.malformed) << "line " << read.stop_line;
    EXPECT_EQ(tasks.size(), strict.tasks.size());
    EXPECT_GT(tasks.size(), 200u);

    const RunResult e = run_escala(dir.path());
    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.err.find("arning"), std::string::npos) << e.err;
    const auto out = split_lines(e.out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().rfind("End of Orvik Dummie Seacrh.", 0), 0u) << out.back();
}

}  // namespace
