// escala-gantt: the search log reader, the time labels and the page.
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <set>
#include <sstream>

#include "gantt/gantt.hpp"
#include "test_support.hpp"

namespace escala::tools {
namespace {

using namespace escala::test;

std::string page(const std::string& dump_text, const std::optional<SearchLog>& log = std::nullopt,
                 const GanttOptions& options = {}) {
    std::ostringstream out;
    write_gantt(out, dump_of(dump_text), log, "dumpfile.txt", "file_obj.txt", options);
    return out.str();
}

SearchLog log_of(const std::string& text) {
    std::istringstream in(text);
    return read_last_search(in);
}

// Times of day wrap at midnight and say how many days they are off.
TEST(ClockTime, WrapsAtMidnight) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "00:00"},       {485, "08:05"},       {1439, "23:59"},      {1440, "00:00+1d"},
        {1510, "01:10+1d"}, {2880, "00:00+2d"},   {-30, "23:30-1d"},    {-1440, "00:00-1d"},
    };
    for (const auto& [minutes, text] : cases) EXPECT_EQ(clock_time(minutes), text) << minutes;
}

// The five characters with a meaning in HTML are replaced.
TEST(HtmlEscape, EscapesMarkup) { EXPECT_EQ(html_escape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;"); }

// Runs append to the log; only the last one, where the count restarts, is kept.
TEST(ReadLastSearch, KeepsTheLastRunAndSkipsUnreadableLines) {
    const SearchLog log = log_of("1\t100\t100\n2\t90\t90\n3\t90\t95\n1\t80\t80\r\njunk\n2\t70\t70\n\n2\t1\n"
                                 "3\t70\t99999999999\n3\t70\t75");
    ASSERT_EQ(log.points.size(), 3u);
    EXPECT_EQ(log.points[0].iteration, 1);
    EXPECT_EQ(log.points[0].best, 80u);
    EXPECT_EQ(log.points[2].iteration, 3);
    EXPECT_EQ(log.points[2].current, 75u);
    EXPECT_EQ(log.skipped_lines, 3);
    EXPECT_TRUE(log_of("").points.empty());
}

// A task of crew 0 with its virtual task; a split shift (crew 1); two tasks
// that overlap by 40 minutes (crew 2). Costs 11200, 31300 and 208800 (work 210,
// idle 220, overlap 40), so the objective is 251300.
const std::string small_dump =
    "3##0\n7,480,600,1,2,0,3,4\n7,600,630,2,2,0,4,4,*\n"
    "##1\n1,360,600,1,2,0,0,0\n2,900,1080,3,4,0,0,0\n"
    "##2\n5,480,600,1,1,0,0,0\n5,560,660,1,1,0,0,0\n5,660,690,1,1,0,0,0,*\n";

// One row per crew member and one bar per task line, virtual ones distinct.
TEST(WriteGantt, RowsBarsAndVirtualTasks) {
    const std::string html = page(small_dump);
    EXPECT_EQ(count_occurrences(html, "<g class=\"row\""), 3u);
    EXPECT_EQ(count_occurrences(html, "<rect class=\"bar"), 7u);
    EXPECT_EQ(count_occurrences(html, "<rect class=\"bar virtual"), 2u);
    EXPECT_NE(html.find("objective <b>251300</b>"), std::string::npos);
    EXPECT_NE(html.find("<span>tasks <b>5</b></span><span>virtual tasks <b>2</b></span>"), std::string::npos);
    EXPECT_NE(html.find(">11200</text>"), std::string::npos);
    EXPECT_NE(html.find(">208800</text>"), std::string::npos);
}

// Each bar carries its fields in a tooltip; times past midnight are marked.
TEST(WriteGantt, TooltipsHoldTheTaskFields) {
    const std::string html = page(small_dump);
    EXPECT_NE(html.find("<title>task of crew 0, dump line 2\nvehicle 7\n08:00 \u2013 10:00 (120 min)\n"
                        "points 1 \u2192 2\nlines 3 \u2192 4\nslack 0 min</title>"),
              std::string::npos);
    EXPECT_NE(html.find("<title>closing virtual task of crew 0, dump line 3\n"), std::string::npos);
    EXPECT_NE(page("1##0\n7,1400,1500,1,2,0,3,4\n").find("23:20 \u2013 01:00+1d (100 min)"), std::string::npos);
}

// The overlap is marked (both bars and the overlapping stretch); the split
// shift's break is hatched and its member flagged.
TEST(WriteGantt, OverlapsAndSplitShiftBreaks) {
    const std::string html = page(small_dump);
    EXPECT_EQ(count_occurrences(html, "<rect class=\"bar clash\""), 2u);
    EXPECT_EQ(count_occurrences(html, "<rect class=\"overlap\""), 1u);
    EXPECT_NE(html.find("<title>overlap of 40 min between dump lines 8 and 9</title>"), std::string::npos);
    EXPECT_EQ(count_occurrences(html, "<rect class=\"break\""), 1u);
    EXPECT_NE(html.find("<title>split-shift break of 300 min, 10:00 \u2013 15:00</title>"), std::string::npos);
    EXPECT_NE(html.find("<title>crew 1: cost 31300, work 420 min, idle 300 min, overtime 0 min, split shift</title>"),
              std::string::npos);
}

// The page works offline: no script, no external reference of any kind.
TEST(WriteGantt, SelfContained) {
    const std::string html = page(small_dump, log_of("1\t10\t10\n2\t8\t9\n"));
    for (const char* banned : {"<script", "http", "src=", "href=", "@import", "<link"})
        EXPECT_EQ(html.find(banned), std::string::npos) << banned;
    EXPECT_EQ(count_occurrences(html, "url("), count_occurrences(html, "url(#"));
}

// The convergence chart draws best and current of the last search.
TEST(WriteGantt, ConvergenceChart) {
    const std::string html = page(small_dump, log_of("1\t10\t10\n2\t8\t8\n3\t8\t9\n"));
    EXPECT_NE(html.find("3 iterations in file_obj.txt, from 10 to best <b>8</b>"), std::string::npos);
    EXPECT_EQ(count_occurrences(html, "<polyline class=\"best\""), 1u);
    EXPECT_EQ(count_occurrences(html, "<polyline class=\"current\""), 1u);
    EXPECT_NE(page(small_dump).find("No search log (file_obj.txt) to chart."), std::string::npos);
}

// A full-size roster (219 members, 1,500 tasks across a day and a half) stays
// one bar a task, with a bounded number of hour lines and a modest page size.
TEST(WriteGantt, FullSizeRoster) {
    std::string dump = "219";
    for (int crew = 0; crew < 219; ++crew) {
        dump += "##" + std::to_string(crew) + "\n";
        const int tasks = crew < 186 ? 7 : 6;  // 186 * 7 + 33 * 6 = 1500
        for (int k = 0; k < tasks; ++k) {
            const int start = 300 + crew + k * 190;
            dump += std::to_string(crew % 40) + "," + std::to_string(start) + "," + std::to_string(start + 180) +
                    ",1,1,0,1,1\n";
        }
    }
    const std::string html = page(dump);
    EXPECT_EQ(count_occurrences(html, "<g class=\"row\""), 219u);
    EXPECT_EQ(count_occurrences(html, "<rect class=\"bar\""), 1500u);
    EXPECT_LE(count_occurrences(html, "<line class=\"grid"), 31u);
    EXPECT_LT(html.size(), 1500000u);
    // Every bar lies inside the plot area.
    const std::regex bar_x("<rect class=\"bar\" x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), bar_x); it != std::sregex_iterator(); ++it) {
        const double x = std::stod((*it)[1].str()), w = std::stod((*it)[2].str());
        ASSERT_GE(x, 170.0);
        ASSERT_LE(x + w, 170.0 + 1150.0 + 0.1);
    }
}

// Every figure of the header has its line in the legend under it.
TEST(WriteGantt, EveryHeaderFigureIsExplained) {
    const std::string html = page(small_dump);
    const std::regex figure("<span>([a-z0-9 ]+) <b>");
    std::size_t figures = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), figure); it != std::sregex_iterator(); ++it) {
        ++figures;
        EXPECT_NE(html.find("<dt>" + (*it)[1].str() + "</dt>"), std::string::npos) << (*it)[1].str();
    }
    EXPECT_EQ(figures, 11u);
}

// Chart scales step by 1, 2, 2.5 or 5 times a power of ten, whole numbers only.
TEST(RoundStep, OneTwoTwoAndAHalfFive) {
    const std::vector<std::array<std::int64_t, 3>> cases = {
        {0, 5, 1},   {1, 5, 1},    {7, 5, 2},         {10, 5, 2},       {11, 5, 5},       {23, 5, 5},
        {26, 5, 10}, {120, 5, 25}, {1000, 10, 100},   {3771, 8, 500},   {8942380, 5, 2000000},
        {4294967295, 5, 1000000000},
    };
    for (const auto& [span, steps, step] : cases) EXPECT_EQ(round_step(span, steps), step) << span << " in " << steps;
}

// The value scale of the convergence chart ends on round values with a line at
// each; iterations are marked at round numbers.
TEST(WriteGantt, ChartTicksOnRoundValues) {
    const std::string html = page(small_dump, log_of("1\t17563700\t17563700\n3772\t8621320\t8621320\n"));
    EXPECT_EQ(count_occurrences(html, "<line class=\"cgrid\""), 6u);
    for (const char* label : {">8\u202f000\u202f000</text>", ">18\u202f000\u202f000</text>", ">500</text>",
                              ">3\u202f500</text>"})
        EXPECT_NE(html.find(label), std::string::npos) << label;
    EXPECT_EQ(html.find(">4\u202f000</text>"), std::string::npos);
    // A search of one iteration still has a scale.
    const std::string flat = page(small_dump, log_of("5\t7\t7\n"));
    EXPECT_EQ(count_occurrences(flat, "<line class=\"cgrid\""), 2u);
    EXPECT_NE(flat.find(">5</text>"), std::string::npos);
}

// Crew 0: vehicle 7 for 120 min then vehicle 8 for 2 min; crew 1: vehicle 9
// for 180 min. The axis spans 06h to 18h, 1150 px for 720 min, so the bars are
// 191.7, 3.2 and 287.5 px wide.
const std::string label_dump = "2##0\n7,360,480,1,1,0,1,1\n8,480,482,1,1,0,1,1\n##1\n9,900,1080,1,1,0,1,1\n";

// Bars are labelled with their vehicle where the whole label fits.
TEST(WriteGantt, VehicleLabelsWhereTheyFit) {
    auto timelines = [](const std::string& html) { return html.substr(html.find("<svg class=\"gantt\"")); };
    const std::string html = timelines(page(label_dump));
    EXPECT_EQ(count_occurrences(html, "<text class=\"vl"), 2u);
    EXPECT_EQ(count_occurrences(html, ">7</text>"), 1u);
    EXPECT_EQ(count_occurrences(html, ">9</text>"), 1u);
    EXPECT_EQ(count_occurrences(html, ">8</text>"), 0u);
    // A longer name from a label lookup: 35 characters need 237 px.
    GanttOptions options;
    options.vehicle_label = [](std::int32_t v) { return "B&" + std::to_string(v) + std::string(32, '.'); };
    const std::string named = timelines(page(label_dump, std::nullopt, options));
    EXPECT_EQ(count_occurrences(named, "<text class=\"vl"), 1u);
    EXPECT_NE(named.find(">B&amp;9" + std::string(32, '.') + "</text>"), std::string::npos);
    EXPECT_NE(named.find("\nvehicle 7 (B&amp;7"), std::string::npos);
}

// White text on dark fills, dark text on light ones.
TEST(DarkTextOn, PicksTheBetterContrast) {
    const std::vector<std::pair<Rgb, bool>> cases = {
        {{255, 255, 255}, true}, {{0, 0, 0}, false},   {{255, 255, 0}, true},
        {{0, 0, 128}, false},    {{128, 128, 128}, true}, {{90, 90, 90}, false},
    };
    for (const auto& [fill, dark] : cases)
        EXPECT_EQ(dark_text_on(fill), dark) << fill.r << ',' << fill.g << ',' << fill.b;
}

// Vehicles 1 to 40, one member each, and member 40 driving 1, 25, 12 and 36
// in that order of time (listed out of order in the dump): vehicles up to two
// numbers apart and vehicles on neighbouring bars look clearly different (24
// colours handed out in turn would give 1 and 25, or 12 and 36, the same).
TEST(VehicleColours, NeighboursLookDifferent) {
    std::string text = "41";
    for (int v = 1; v <= 40; ++v) text += "##" + std::to_string(v - 1) + "\n" + std::to_string(v) + ",0,10,1,1,0,1,1\n";
    text += "##40\n36,700,800,1,1,0,1,1\n1,300,400,1,1,0,1,1\n12,500,600,1,1,0,1,1\n25,400,450,1,1,0,1,1\n";
    const std::map<std::int32_t, Rgb> colours = vehicle_colours(dump_of(text));
    ASSERT_EQ(colours.size(), 40u);
    auto distance = [&](std::int32_t a, std::int32_t b) { return colour_distance(colours.at(a), colours.at(b)); };
    for (std::int32_t v = 1; v < 40; ++v) {
        EXPECT_GE(distance(v, v + 1), 150) << v;
        if (v + 2 <= 40) {
            EXPECT_GE(distance(v, v + 2), 150) << v;
        }
    }
    EXPECT_GE(distance(1, 25), 150);
    EXPECT_GE(distance(25, 12), 150);
    EXPECT_GE(distance(12, 36), 150);
}

// Members with an empty schedule share one line, runs of indices shortened;
// --all draws them; a member holding only a virtual task keeps its row.
TEST(WriteGantt, MembersWithoutTasksFoldedIntoOneLine) {
    const std::string text = "9##0\n1,360,400,1,1,0,1,1\n##1\n##2\n##3\n1,400,420,1,1,0,1,1,*\n##4\n##5\n##6\n"
                             "##7\n2,500,600,1,1,0,1,1\n##8\n";
    const std::string folded = page(text);
    EXPECT_EQ(count_occurrences(folded, "<g class=\"row\""), 3u);
    EXPECT_NE(folded.find(">6 crew members without tasks (no row): 1, 2, 4\u20136, 8</p>"), std::string::npos);
    EXPECT_NE(folded.find("<g class=\"row\" id=\"crew-3\""), std::string::npos);
    GanttOptions all;
    all.all_crew = true;
    const std::string full = page(text, std::nullopt, all);
    EXPECT_EQ(count_occurrences(full, "<g class=\"row\""), 9u);
    EXPECT_EQ(full.find("without tasks (no row)"), std::string::npos);
    EXPECT_NE(page("2##0\n##1\n1,0,10,1,1,0,1,1\n").find(">1 crew member without tasks (no row): 0</p>"),
              std::string::npos);
}

// Absurd times do not blow up the axis; an empty roster gives an empty chart.
TEST(WriteGantt, ExtremeAndEmptyRosters) {
    const std::string huge = page("1##0\n1,-2147483648,2147483647,1,1,0,1,1\n");
    EXPECT_LE(count_occurrences(huge, "<line class=\"grid"), 32u);
    EXPECT_EQ(count_occurrences(huge, "<rect class=\"bar"), 1u);
    const std::string empty = page("0");
    EXPECT_EQ(count_occurrences(empty, "<g class=\"row\""), 0u);
    EXPECT_NE(empty.find("crew <b>0</b>"), std::string::npos);
}

// Blank lines and line ends of either kind pass in a strict reading too.
TEST(ReadLastSearch, StrictReadingTakesAWellFormedLog) {
    std::istringstream in("1\t10\t10\r\n\n2\t9\t9\n");
    EXPECT_EQ(read_last_search(in, LogReading::strict).points.size(), 2u);
}

// escala-gantt itself, run in a fresh folder with small_dump as its dump.
class CommandLine : public InFolder {
protected:
    void SetUp() override { put("dumpfile.txt", small_dump); }
    RunResult run(const std::string& args) const { return tool("gantt", args); }
    // Everything in the folder but what the test put there.
    std::vector<std::string> leftovers(const std::set<std::string>& expected) const {
        std::vector<std::string> names;
        for (const std::string& name : dir.entries())
            if (!expected.count(name)) names.push_back(name);
        return names;
    }
};

// A search log that cannot be used, or a dump that cannot be read, stops the
// program with status 2 and one line on stderr; the page stays as it was.
TEST_F(CommandLine, UnusableInputLeavesThePageAlone) {
    put("junk.txt", "1\t10\t10\njunk\n");
    put("big.txt", "1\t99999999999\t5\n");
    put("bin.txt", std::string("1\t10\t10\n\n2\t9\0\1\t9\n", 14));
    put("blank.txt", "\n\n");
    fs::create_directory(dir / "sub");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--log missing.txt", "cannot read search log \"missing.txt\""},
        {"--log sub", "cannot read search log \"sub\""},
        {"--log junk.txt", "junk.txt:2: expected iteration<TAB>best<TAB>current"},
        {"--log big.txt", "big.txt:1: best \"99999999999\" is out of range (0 to 4294967295)"},
        {"--log bin.txt", "bin.txt:3: binary content, not a search log line"},
        {"--log blank.txt", "blank.txt: no line iteration<TAB>best<TAB>current, not a search log"},
        {"--dump missing.txt", "cannot read dump \"missing.txt\""},
        {"--dump sub", "sub: is a folder, not a roster dump"},
    };
    for (const auto& [args, message] : cases) {
        put("escala.html", "old page");
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err, "escala-gantt: " + message + "\n") << args;
        EXPECT_EQ(read_file(dir / "escala.html"), "old page") << args;
        EXPECT_TRUE(leftovers({"dumpfile.txt", "junk.txt", "big.txt", "bin.txt", "blank.txt", "sub", "escala.html"})
                        .empty())
            << args;
    }
    const RunResult bad_dump = run("--dump junk.txt");
    EXPECT_EQ(bad_dump.status, 2);
    EXPECT_EQ(bad_dump.err.rfind("escala-gantt: junk.txt:1: ", 0), 0u) << bad_dump.err;
    const RunResult bad_option = run("--colour");
    EXPECT_EQ(bad_option.status, 2);
    EXPECT_EQ(bad_option.err.rfind("escala-gantt: ", 0), 0u) << bad_option.err;
}

// The default log is read leniently and skipped when absent.
TEST_F(CommandLine, DefaultLogIsLenient) {
    RunResult r = run("");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "escala-gantt: wrote escala.html (3 crew, 5 tasks)\n");
    EXPECT_NE(read_file(dir / "escala.html").find("No search log (file_obj.txt) to chart."), std::string::npos);
    put("file_obj.txt", "1\t10\t10\n2\t9\t9\n3\t9");
    r = run("");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_file(dir / "escala.html").find("2 iterations in file_obj.txt"), std::string::npos);
    EXPECT_NE(read_file(dir / "escala.html").find("(1 unreadable lines skipped)"), std::string::npos);
}

// A page that cannot be written: status 1, and nothing left behind.
TEST_F(CommandLine, UnwritablePage) {
    fs::create_directory(dir / "sub");
    RunResult r = run("--out sub");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "escala-gantt: cannot write \"sub\": it is a folder\n");
    EXPECT_EQ(leftovers({"dumpfile.txt", "sub"}).size(), 0u);
    r = run("--out no/escala.html");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "escala-gantt: cannot write in \"no\": No such file or directory\n");
}

// The help names the files, the exit statuses and what Ctrl-C does.
TEST_F(CommandLine, HelpSaysFilesStatusesAndInterrupts) {
    const RunResult r = run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* words : {"dumpfile.txt", "file_obj.txt", "escala.html", "--all", "Ctrl-C", "complete or untouched",
                              "0 page written, 1 page not written, 2 unusable input", "130/143"})
        EXPECT_NE(r.out.find(words), std::string::npos) << words;
}

// With the legend of an imported file, bars name their block and tooltips the
// stops and routes; a legend that cannot be read is unusable input.
TEST_F(CommandLine, IdsLegendNamesBlocksStopsAndRoutes) {
    put("day.ids.csv",
        "kind,number,gtfs_id,name\n"
        "vehicle,7,blk_700,\n"
        "point,1,escenter,\"Eugene Station, bay A\"\n"
        "line,3,79x,Seventy-nine\n");
    RunResult r = run("--all --ids day.ids.csv");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string html = read_file(dir / "escala.html");
    EXPECT_NE(html.find(">blk_700</text>"), std::string::npos);
    EXPECT_NE(html.find("points 1 (escenter &quot;Eugene Station, bay A&quot;) \u2192 2\n"), std::string::npos);
    EXPECT_NE(html.find("lines 3 (79x &quot;Seventy-nine&quot;) \u2192 4\n"), std::string::npos);

    put("bad.ids.csv", "kind,number,gtfs_id,name\nbus,7,blk_700,\n");
    r = run("--ids bad.ids.csv --out other.html");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("escala-gantt: bad.ids.csv:2: ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir / "other.html"));
}

}  // namespace
}  // namespace escala::tools
