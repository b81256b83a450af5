// The task file reader: the record syntax, where reading stops and the
// warning for malformed content (the open check: bad_input_test).
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "io/load_list.hpp"
#include "test_support.hpp"

namespace escala {
namespace {

Task rec(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d, std::int32_t e, std::int32_t f,
         std::int32_t g, std::int32_t h) {
    return Task(a, b, c, d, e, f, g, h, 0);
}

struct ReaderCase {
    const char* name;
    std::string content;
    l_tarefas expected;  // the tasks read, in file order
    bool malformed;      // reading stopped at content that is not a record
    int stop_line;       // where (only checked when malformed)
};

const ReaderCase reader_cases[] = {
    {"semicolons", "10;359;505;603;100004;23;66;67\n10;510;685;2119;100004;47;12;66\n",
     {rec(10, 359, 505, 603, 100004, 23, 66, 67), rec(10, 510, 685, 2119, 100004, 47, 12, 66)}, false, 0},
    {"commas", "1,2,3,4,5,6,7,8\n9,10,11,12,13,14,15,16\n",
     {rec(1, 2, 3, 4, 5, 6, 7, 8), rec(9, 10, 11, 12, 13, 14, 15, 16)}, false, 0},
    {"any_single_character_separates", "1;2,3|4:5/6.7#8\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, false, 0},
    {"blanks_around_separators", "  1 ; 2 ;\t3 ;4; 5 ;6 ;  7 ; 8  \n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, false, 0},
    {"carriage_returns", "1;2;3;4;5;6;7;8\r\n9;10;11;12;13;14;15;16\r\n",
     {rec(1, 2, 3, 4, 5, 6, 7, 8), rec(9, 10, 11, 12, 13, 14, 15, 16)}, false, 0},
    {"record_across_lines", "1;2;3;4\n;5;6;7;8\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, false, 0},
    {"leading_plus", "+1;+2;3;4;5;6;7;+8\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, false, 0},
    {"signed_32_bit_extremes", "-2147483648;2147483647;-1;0;-0;5;-7;8\n",
     {rec(INT32_MIN, INT32_MAX, -1, 0, 0, 5, -7, 8)}, false, 0},
    {"last_record_without_line_end", "1;2;3;4;5;6;7;8\n9;10;11;12;13;14;15;16",
     {rec(1, 2, 3, 4, 5, 6, 7, 8), rec(9, 10, 11, 12, 13, 14, 15, 16)}, false, 0},
    {"empty_file", "", {}, false, 0},
    {"only_white_space", " \n\t\r\n  \n", {}, false, 0},
    // Blank-separated numbers are misread: the first digit of each following
    // number is taken as the separator.
    {"blanks_only_are_misread", "10 20 30 40 50 60 70 80\n", {rec(10, 0, 0, 0, 0, 0, 0, 0)}, false, 0},
    {"header_line", "veiculo;inicio;fim;pi;pf;folga;li;lf\n1;2;3;4;5;6;7;8\n", {}, true, 1},
    // The trailing ';' meets the next record's first integer: that record
    // stays, the rest of the file is ignored.
    {"trailing_separator", "1;2;3;4;5;6;7;8;\n9;10;11;12;13;14;15;16\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, true, 1},
    {"fifth_field_past_32_bits",
     "1;2;3;4;5;6;7;8\n9;10;11;12;2147483648;14;15;16\n17;18;19;20;21;22;23;24\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)},
     true, 2},
    {"record_cut_short_at_end", "1;2;3;4;5;6;7;8\n9;10;11\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, true, 2},
    {"stop_line_skips_empty_lines", "1;2;3;4;5;6;7;8\n\n\nx;2;3;4;5;6;7;8\n", {rec(1, 2, 3, 4, 5, 6, 7, 8)}, true,
     4},
};

class ReaderTable : public testing::TestWithParam<ReaderCase> {};

// read_tasks yields exactly the complete records before the first one that
// cannot be read, all real, and says whether and where it stopped early.
TEST_P(ReaderTable, ReadTasks) {
    const ReaderCase& c = GetParam();
    std::istringstream in(c.content);
    l_tarefas list;
    const ReadOutcome outcome = read_tasks(in, list);
    EXPECT_EQ(list, c.expected);
    EXPECT_EQ(outcome.tasks_read, static_cast<int>(c.expected.size()));
    EXPECT_EQ(outcome.malformed, c.malformed);
    if (c.malformed) {
        EXPECT_EQ(outcome.stop_line, c.stop_line);
    }
}

// True when `text` holds `number` as a whole number (not part of another).
bool has_number(const std::string& text, int number) {
    return std::regex_search(text, std::regex("(^|[^0-9])" + std::to_string(number) + "([^0-9]|$)"));
}

// load_list over the same content in a file: the same tasks; malformed
// content gets one warning line naming the file, the stop line and the count;
// anything else gets no message at all.
TEST_P(ReaderTable, LoadListWarning) {
    const ReaderCase& c = GetParam();
    test::TempDir dir;
    const std::string name = dir.file("tarefas.tsk");
    test::write_file(name, c.content);
    l_tarefas list;
    testing::internal::CaptureStderr();
    load_list(list, name.c_str());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(list, c.expected);
    if (!c.malformed) {
        EXPECT_EQ(err, "");
        return;
    }
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line expected: " << err;
    const std::size_t at = err.find(name);
    ASSERT_NE(at, std::string::npos) << err;
    err.erase(at, name.size());
    EXPECT_TRUE(has_number(err, c.stop_line)) << err;
    EXPECT_TRUE(has_number(err, static_cast<int>(c.expected.size()))) << err;
}

INSTANTIATE_TEST_SUITE_P(Reader, ReaderTable, testing::ValuesIn(reader_cases),
                         [](const testing::TestParamInfo<ReaderCase>& info) { return info.param.name; });

// The reader appends to the list it is given and never clears it.
TEST(Reader, AppendsToExistingList) {
    const Task first(99, 1, 2, 3, 4, 5, 6, 7, 0);
    l_tarefas list{first};
    std::istringstream in("1;2;3;4;5;6;7;8\n");
    EXPECT_EQ(read_tasks(in, list).tasks_read, 1);
    const l_tarefas expected{first, rec(1, 2, 3, 4, 5, 6, 7, 8)};
    EXPECT_EQ(list, expected);
}

// A warning with distinct figures: 7 tasks read, stopped at line 9.
TEST(Reader, WarningNamesFileLineAndCount) {
    test::TempDir dir;
    const std::string name = dir.file("Lintra.tsk");
    std::string content;
    for (int i = 1; i <= 7; ++i) content += std::to_string(i) + ";100;200;1;2;0;3;4\n";
    content += "\n5;100;200;1;2;0;3;abc\n";
    test::write_file(name, content);
    l_tarefas list;
    testing::internal::CaptureStderr();
    load_list(list, name.c_str());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(list.size(), 7u);
    const std::size_t at = err.find(name);
    ASSERT_NE(at, std::string::npos) << err;
    err.erase(at, name.size());
    EXPECT_TRUE(has_number(err, 9)) << err;
    EXPECT_TRUE(has_number(err, 7)) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

}  // namespace
}  // namespace escala
