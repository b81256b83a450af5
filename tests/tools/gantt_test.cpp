// escala-gantt: the search log reader, the time labels and the page.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "gantt/gantt.hpp"

namespace escala::tools {
namespace {

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string page(const std::string& dump_text, const std::optional<SearchLog>& log = std::nullopt) {
    std::istringstream in(dump_text);
    const Dump dump = read_dump(in);
    std::ostringstream out;
    write_gantt(out, dump, log, "dumpfile.txt", "file_obj.txt");
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
    EXPECT_EQ(count(html, "<g class=\"row\""), 3u);
    EXPECT_EQ(count(html, "<rect class=\"bar"), 7u);
    EXPECT_EQ(count(html, "<rect class=\"bar virtual"), 2u);
    EXPECT_NE(html.find("objective <b>251300</b>"), std::string::npos);
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
    EXPECT_EQ(count(html, "<rect class=\"bar clash\""), 2u);
    EXPECT_EQ(count(html, "<rect class=\"overlap\""), 1u);
    EXPECT_NE(html.find("<title>overlap of 40 min between dump lines 8 and 9</title>"), std::string::npos);
    EXPECT_EQ(count(html, "<rect class=\"break\""), 1u);
    EXPECT_NE(html.find("<title>split-shift break of 300 min, 10:00 \u2013 15:00</title>"), std::string::npos);
    EXPECT_NE(html.find("<title>crew 1: cost 31300, work 420 min, idle 300 min, overtime 0 min, split shift</title>"),
              std::string::npos);
}

// The page works offline: no script, no external reference of any kind.
TEST(WriteGantt, SelfContained) {
    const std::string html = page(small_dump, log_of("1\t10\t10\n2\t8\t9\n"));
    for (const char* banned : {"<script", "http", "src=", "href=", "@import", "<link"})
        EXPECT_EQ(html.find(banned), std::string::npos) << banned;
    EXPECT_EQ(count(html, "url("), count(html, "url(#"));
}

// The convergence chart draws best and current of the last search.
TEST(WriteGantt, ConvergenceChart) {
    const std::string html = page(small_dump, log_of("1\t10\t10\n2\t8\t8\n3\t8\t9\n"));
    EXPECT_NE(html.find("3 iterations in file_obj.txt, from 10 to best <b>8</b>"), std::string::npos);
    EXPECT_EQ(count(html, "<polyline class=\"best\""), 1u);
    EXPECT_EQ(count(html, "<polyline class=\"current\""), 1u);
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
    EXPECT_EQ(count(html, "<g class=\"row\""), 219u);
    EXPECT_EQ(count(html, "<rect class=\"bar\""), 1500u);
    EXPECT_LE(count(html, "<line class=\"grid"), 31u);
    EXPECT_LT(html.size(), 1500000u);
    // Every bar lies inside the plot area.
    const std::regex bar_x("<rect class=\"bar\" x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), bar_x); it != std::sregex_iterator(); ++it) {
        const double x = std::stod((*it)[1].str()), w = std::stod((*it)[2].str());
        ASSERT_GE(x, 170.0);
        ASSERT_LE(x + w, 170.0 + 1150.0 + 0.1);
    }
}

// Absurd times do not blow up the axis; an empty roster gives an empty chart.
TEST(WriteGantt, ExtremeAndEmptyRosters) {
    const std::string huge = page("1##0\n1,-2147483648,2147483647,1,1,0,1,1\n");
    EXPECT_LE(count(huge, "<line class=\"grid"), 32u);
    EXPECT_EQ(count(huge, "<rect class=\"bar"), 1u);
    const std::string empty = page("0");
    EXPECT_EQ(count(empty, "<g class=\"row\""), 0u);
    EXPECT_NE(empty.find("crew <b>0</b>"), std::string::npos);
}

}  // namespace
}  // namespace escala::tools
