// The roster dump read back: the reader, the loader's messages and the rule
// for the closing virtual task that every companion applies.
#include <gtest/gtest.h>

#include "crew/dump.hpp"
#include "cli/tool.hpp"
#include "test_support.hpp"

namespace escala {
namespace {

using namespace escala::test;

// A well-formed dump gives the blocks, the virtual flags and the line numbers.
TEST(ReadDump, ReadsBlocksTasksAndLines) {
    const Dump d = dump_of("2##0\n7,480,600,1,2,0,3,4\n7,600,630,2,2,0,4,4,*\n##1\n");
    ASSERT_EQ(d.crew.size(), 2u);
    ASSERT_EQ(d.crew[0].tasks.size(), 2u);
    EXPECT_EQ(d.crew[0].tasks[0].task, Task(7, 480, 600, 1, 2, 0, 3, 4));
    EXPECT_EQ(d.crew[0].tasks[1].task, Task(7, 600, 630, 2, 2, 0, 4, 4, 1));
    EXPECT_EQ(d.crew[0].tasks[1].line, 3);
    EXPECT_EQ(d.crew[1].marker_line, 4);
    EXPECT_TRUE(d.crew[1].tasks.empty());
    EXPECT_EQ(d.task_lines(), 2);
}

// Hand edits: blanks around fields, CR line ends, empty lines, negative values.
TEST(ReadDump, ToleratesBlanksCarriageReturnsAndEmptyLines) {
    const Dump d = dump_of("1##0\r\n 7, -480 ,600,1,2,0,3,4 \r\n\r\n\n 7,600,630,2,2,0,4,4 , * \r\n");
    ASSERT_EQ(d.crew.size(), 1u);
    ASSERT_EQ(d.crew[0].tasks.size(), 2u);
    EXPECT_EQ(d.crew[0].tasks[0].task.start_time, -480);
    EXPECT_EQ(d.crew[0].tasks[1].task.is_virtual, 1);
    EXPECT_EQ(d.crew[0].tasks[1].line, 5);
}

// An empty roster is the single character 0.
TEST(ReadDump, EmptyRoster) { EXPECT_TRUE(dump_of("0").crew.empty()); }

// Every kind of unusable dump is refused with the line at fault.
TEST(ReadDump, RefusesMalformedDumpsNamingTheLine) {
    struct Case {
        std::string text;
        int line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", 1, "empty dump"},
        {"abc##0\n", 1, "roster size \"abc\" is not an integer"},
        {"-1##0\n", 1, "negative"},
        {"219\n##0\n", 1, "followed at once by \"##0\""},
        {"99999999999##0\n", 1, "does not fit in 32 bits"},
        {"3##0\n##1\n", 1, "the roster size is 3 but the dump has 2 crew markers"},
        {"2##0\n##2\n", 2, "marker ##2 where ##1 was expected"},
        {"1##0\n##1\n", 2, "beyond the roster size 1"},
        {"0\n##0\n", 2, "beyond the roster size 0"},
        {"1##0\n##x\n", 2, "crew marker \"x\" is not an integer"},
        {"1##0\n1,2,3\n", 2, "8 comma-separated integers"},
        {"1##0\n1,2,3,4,5,6,7,8,+\n", 2, "8 comma-separated integers"},
        {"1##0\n1,2,3,4,5,6,7,8,*,*\n", 2, "8 comma-separated integers"},
        {"1##0\n1,2,x,4,5,6,7,8\n", 2, "field 3 \"x\" is not an integer"},
        {"1##0\n1,,3,4,5,6,7,8\n", 2, "field 2 \"\" is not an integer"},
        {"1##0\n1,2,3,4,5,6,7,2147483648\n", 2, "field 8 \"2147483648\" does not fit in 32 bits"},
        {"1##0\n\n1,2,3,4,5,6,7,8\n1,2,3,4e5,5,6,7,8\n", 4, "field 4"},
        {"1##0\n" + std::string(5000, '1') + "\n", 2, "line too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        try {
            dump_of(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const DumpError& e) {
            EXPECT_EQ(e.line(), c.line);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// The loader names the file, and the line when there is one; a closing
// problem is refused unless the caller keeps it to list it.
TEST(LoadDumpFile, OneMessagePerWayOfFailing) {
    const TempDir dir;
    fs::create_directory(dir / "folder");
    write_files(dir.path(), {{"bad.txt", "1##0\n1,2,x,4,5,6,7,8\n"},
                             {"open.txt", "2##0\n7,480,600,1,2,0,3,4\n##1\n"},
                             {"closed.txt", "1##0\n7,480,600,1,2,0,3,4\n7,600,630,2,2,0,4,4,*\n"}});
    const struct {
        std::string name, message;
    } cases[] = {
        {"folder", dir.file("folder") + ": is a folder, not a roster dump"},
        {"missing.txt", "cannot read dump \"" + dir.file("missing.txt") + "\""},
        {"bad.txt", dir.file("bad.txt") + ":2: field 3 \"x\" is not an integer"},
        {"open.txt", dir.file("open.txt") + ":2: the schedule lacks its closing virtual task 7,600,630,2,2,0,4,4,*"},
    };
    for (const auto& c : cases) {
        try {
            load_dump_file(dir / c.name, default_rules());
            ADD_FAILURE() << c.name << " accepted";
        } catch (const cli::UnusableInput& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
    const Dump kept = load_dump_file(dir / "open.txt", default_rules(), ClosingTasks::kept);
    ASSERT_EQ(kept.crew.size(), 2u);
    EXPECT_FALSE(closing_problem(kept.crew[1], default_rules()));  // an empty schedule needs none
    const v_crew roster = load_dump(dir / "closed.txt", default_rules());
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(roster[0].has_virtual_task());
}

}  // namespace
}  // namespace escala
