// The legend beside a task file: written, read back, and refused when broken.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gtfs/legend.hpp"
#include "test_support.hpp"

using namespace escala::gtfs;
using escala::test::TempDir;

namespace {

TEST(Legend, PathReplacesTheExtension) {
    EXPECT_EQ(legend_path("Lintra.tsk"), "Lintra.ids.csv");
    EXPECT_EQ(legend_path("out/day.v2.tsk"), "out/day.v2.ids.csv");
    EXPECT_EQ(legend_path("Lintra"), "Lintra.ids.csv");
}

TEST(Legend, WritesAndReadsBack) {
    const std::vector<LegendEntry> entries{{IdKind::vehicle, 2, "trip:t3", ""},
                                           {IdKind::point, 100004, "escenter", "Eugene Sta, \"central\""},
                                           {IdKind::line, 1000, "79x", "79x"}};
    std::ostringstream text;
    write_legend(text, entries);
    EXPECT_EQ(text.str(),
              "kind,number,gtfs_id,name\nvehicle,2,trip:t3,\npoint,100004,escenter,\"Eugene Sta, \"\"central\"\"\"\n"
              "line,1000,79x,79x\n");
    const TempDir dir;
    std::ofstream(dir.path() / "x.ids.csv") << text.str();
    const Legend legend = read_legend(dir.path() / "x.ids.csv");
    EXPECT_EQ(legend.size(), 3u);
    EXPECT_EQ(find_name(legend, IdKind::point, 100004)->name, "Eugene Sta, \"central\"");
    EXPECT_EQ(find_name(legend, IdKind::vehicle, 2)->gtfs_id, "trip:t3");
    EXPECT_FALSE(find_name(legend, IdKind::line, 2));  // kinds are kept apart
}

struct BadLegend {
    const char* name;
    const char* text;
    const char* message;  // after "FILE:"
};

void PrintTo(const BadLegend& c, std::ostream* out) { *out << c.name; }

class BadLegends : public ::testing::TestWithParam<BadLegend> {};

TEST_P(BadLegends, NameFileAndLine) {
    const TempDir dir;
    const auto path = dir.path() / "bad.ids.csv";
    std::ofstream(path) << GetParam().text;
    try {
        read_legend(path);
        FAIL() << "no error";
    } catch (const LegendError& e) {
        EXPECT_EQ(std::string(e.what()), path.string() + ":" + GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gtfs, BadLegends,
    ::testing::Values(
        BadLegend{"WrongHeader", "kind,number,id,name\n", "1: the header is not kind,number,gtfs_id,name"},
        BadLegend{"UnknownKind", "kind,number,gtfs_id,name\nbus,1,b,\n", "2: unknown kind 'bus'"},
        BadLegend{"NotANumber", "kind,number,gtfs_id,name\npoint,1x,a,\n", "2: '1x' is not a number"},
        BadLegend{"OutOfRange", "kind,number,gtfs_id,name\npoint,2147483648,a,\n", "2: 2147483648 is out of 32-bit range"},
        BadLegend{"ThreeFields", "kind,number,gtfs_id,name\npoint,1,a\n", "2: 3 fields instead of 4"},
        BadLegend{"EmptyId", "kind,number,gtfs_id,name\nline,1,,x\n", "2: empty gtfs_id"},
        BadLegend{"Twice", "kind,number,gtfs_id,name\nline,1,a,\nline,1,b,\n", "3: line 1 appears twice"},
        BadLegend{"Empty", "", " empty legend (no header)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
