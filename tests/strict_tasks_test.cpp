#include <gtest/gtest.h>

#include <sstream>

#include "io/strict_tasks.hpp"

namespace escala {
namespace {

struct BadFile {
    const char* name;
    std::string content;
    const char* message;
};

class StrictTaskFile : public testing::TestWithParam<BadFile> {};

TEST_P(StrictTaskFile, IsRefusedNamingTheLine) {
    std::istringstream in(GetParam().content);
    try {
        read_tasks_strict(in, "Lintra.tsk");
        FAIL() << "accepted";
    } catch (const TaskFileError& e) {
        EXPECT_EQ(e.what(), std::string(GetParam().message));
    }
}

const BadFile bad_files[] = {
    {"Empty", "", "Lintra.tsk: holds no task"},
    {"OnlyBlankLines", "\n  \r\n\n", "Lintra.tsk: holds no task"},
    // A short line must not borrow its missing fields from the next one.
    {"ShortLineBeforeAFullOne", "1,2,3\n1907;704;905;1;2;0;5;5\n", "Lintra.tsk:1: 3 fields where 8 are expected"},
    {"NineFields", "1;2;3;4;5;6;7;8\n1;2;3;4;5;6;7;8;9\n", "Lintra.tsk:2: 9 fields where 8 are expected"},
    {"TrailingSeparator", "1;2;3;4;5;6;7;8;\n", "Lintra.tsk:1: a separator after the last field"},
    {"TwoSeparators", "1;;2;3;4;5;6;7;8\n", "Lintra.tsk:1: field 2 \";2;3;4;5;6;7;8\" is not an integer"},
    {"BlankInsideRecord", "1; 2;3;4;5;6;7;8\n",
     "Lintra.tsk:1: a blank after field 1's separator; fields are separated by one character"},
    {"Word", "1;2;3;4;five;6;7;8\n", "Lintra.tsk:1: field 5 \"five;6;7;8\" is not an integer"},
    {"OnePast32Bits", "1;2;3;4;5;6;7;2147483648\n", "Lintra.tsk:1: field 8 \"2147483648\" does not fit in 32 bits"},
    {"BelowLowest", "-2147483649;2;3;4;5;6;7;8\n", "Lintra.tsk:1: field 1 \"-2147483649\" does not fit in 32 bits"},
    {"Binary", "\x7f" "ELF\x01\x02\n", "Lintra.tsk:1: field 1 \"\\x7fELF\\x01\\x02\" is not an integer"},
    {"NulByte", std::string("1;2;3\0;4", 8), "Lintra.tsk:1: field 4 \";4\" is not an integer"},
};

INSTANTIATE_TEST_SUITE_P(Cases, StrictTaskFile, testing::ValuesIn(bad_files),
                         [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(StrictTaskFile, ReadsWhatEscalaReadsAndWarnsOfBackwardTasks) {
    std::istringstream in(
        "  1;2;3;4;5;6;7;8\r\n"
        "\n"
        "-2147483648,+20,10,0,0,-5,2147483647,0\n"
        "9-8-7-6-5-4-3--2");  // any one character separates, even a minus sign
    const StrictTasks read = read_tasks_strict(in, "day.tsk");
    ASSERT_EQ(read.tasks.size(), 3u);
    EXPECT_EQ(read.tasks[0], Task(1, 2, 3, 4, 5, 6, 7, 8));
    EXPECT_EQ(read.tasks[1], Task(INT32_MIN, 20, 10, 0, 0, -5, INT32_MAX, 0));
    EXPECT_EQ(read.tasks[2], Task(9, 8, 7, 6, 5, 4, 3, -2));
    EXPECT_EQ(read.lines, (std::vector<int>{1, 3, 4}));
    ASSERT_EQ(read.warnings.size(), 2u);
    EXPECT_EQ(read.warnings[0], "day.tsk:3: warning: the task ends (10) before it starts (20)");
    EXPECT_EQ(read.warnings[1], "day.tsk:4: warning: the task ends (7) before it starts (8)");
}

TEST(StrictTaskFile, FolderAndMissingFileAreErrors) {
    EXPECT_THROW(load_tasks_strict("/"), TaskFileError);
    EXPECT_THROW(load_tasks_strict("/nonexistent/Lintra.tsk"), TaskFileError);
}

}  // namespace
}  // namespace escala
