// The pieces every companion prints with: percentages, progress lines, the
// overlap warning, and where a run's files go.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress.hpp"
#include "crew/overlaps.hpp"
#include "crew/report_file.hpp"

namespace escala {
namespace {

TEST(Percent, TwoDecimalsAndTheSignGluedOn) {
    const std::pair<double, const char*> cases[] = {{2.1, "2.10%"}, {0, "0.00%"}, {-57.254, "-57.25%"}, {100, "100.00%"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(cli::percent(value), text) << value;
}

// A line once a period has passed since the last one written, none before.
TEST(ProgressPrinter, OneLineEveryPeriod) {
    std::ostringstream err;
    cli::ProgressPrinter progress(err, "escala-x");
    int written = 0;
    for (const double seconds : {0.5, 2.0, 3.9, 4.0, 4.1, 7.5})
        written += progress.print(seconds, [&](std::ostream& line) { line << "at " << seconds; }) ? 1 : 0;
    EXPECT_EQ(written, 3);
    EXPECT_EQ(err.str(), "escala-x: at 2\nescala-x: at 4\nescala-x: at 7.5\n");
}

TEST(OverlapsWarning, NamesTheRosterTheCountAndTheCheck) {
    EXPECT_EQ(overlaps_warning("kept", 1, "T.tsk", "out/dumpfile.txt"),
              "the kept roster has 1 overlapping task pair: it is not drivable as it stands; "
              "escala-check --tasks T.tsk --dump out/dumpfile.txt lists them");
}

// The working directory keeps the bare names the messages have always given.
TEST(OutputPath, BareNamesInTheWorkingDirectory) {
    EXPECT_EQ(output_path("", "dumpfile.txt"), "dumpfile.txt");
    EXPECT_EQ(output_path(".", "dumpfile.txt"), "dumpfile.txt");
    EXPECT_EQ(output_path("out/run", "dumpfile.txt"), "out/run/dumpfile.txt");
}

}  // namespace
}  // namespace escala
