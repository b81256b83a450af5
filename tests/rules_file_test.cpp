// Rules files: what a good one sets, and each kind of bad one refused with
// the file, the line and the key.
#include <gtest/gtest.h>

#include <string>

#include "cli/tool.hpp"
#include "rules/rules_file.hpp"
#include "test_support.hpp"

namespace escala {
namespace {

std::string refusal(const std::string& text, std::size_t members = 0, std::size_t tasks = 0) {
    try {
        const RulesFile file = parse_rules(text, "r.toml");
        if (members > 0) check_rules_fit(file, members, tasks);
    } catch (const cli::UnusableInput& e) {
        return e.what();
    }
    return "accepted";
}

TEST(RulesFile, SetsTheKeysItNamesAndLeavesTheRest) {
    const RulesFile file = parse_rules("# the example\n[limits]\nworkday = 480\nexcess_after = 600\n\n"
                                       "[weights]\nt_ocioso = 30\n",
                                       "r.toml");
    Rules expected;
    expected.limits.workday = 480;
    expected.limits.excess_after = 600;
    expected.weights.t_ocioso = 30;
    EXPECT_EQ(file.rules, expected);
    EXPECT_EQ(file.lines.at("limits.excess_after"), 4);
    EXPECT_EQ(rules_summary(file), "rules r.toml: t_ocioso 30, workday 480, excess_after 600");
    EXPECT_EQ(refusal("[weights]\nt_ocioso = 30\n[limits]\nworkday = 480\nexcess_after = 600\n", 219, 1257),
              "accepted");
    EXPECT_EQ(parse_rules("", "empty.toml").rules, Rules{});
    EXPECT_EQ(rules_summary(parse_rules("[limits]\nworkday = 430\n", "same.toml")), "");  // the defaults
}

TEST(RulesFile, DocumentedFileHoldsEveryKeyAtItsDefault) {
    const RulesFile file = read_rules_file(std::string(ESCALA_SOURCE_DIR) + "/docs/rules.toml");
    EXPECT_EQ(file.rules, Rules{});
    for (const std::string& key : rules_keys()) EXPECT_EQ(file.lines.count(key), 1u) << key;
}

struct BadCase {
    const char* name;
    const char* text;
    const char* message;
};

const BadCase bad_cases[] = {
    {"unknown_key", "[weights]\nt_ocioos = 30\n", "r.toml:2: weights.t_ocioos: unknown key (did you mean t_ocioso?)"},
    {"key_of_the_other_table", "[weights]\nworkday = 480\n",
     "r.toml:2: weights.workday: unknown key (did you mean limits.workday?)"},
    {"unknown_table", "[limit]\nworkday = 480\n", "r.toml:1: limit: unknown table (did you mean [limits]?)"},
    {"not_a_table", "weights = 3\n", "r.toml:1: weights: a table is expected, not an integer"},
    {"string", "[limits]\nworkday = \"480\"\n", "r.toml:2: limits.workday: an integer is expected, not a string"},
    {"fraction", "[weights]\n\nt_ocioso = 30.5\n",
     "r.toml:3: weights.t_ocioso: an integer is expected, not a floating-point number"},
    {"negative", "[weights]\nh_extra = -60\n", "r.toml:2: weights.h_extra: -60 is negative"},
    {"beyond_32_bits", "[weights]\nd_jornada = 5000000000\n",
     "r.toml:2: weights.d_jornada: 5000000000 does not fit in 32 bits"},
    {"beyond_the_day", "[limits]\nmin_rest = 1500\n",
     "r.toml:2: limits.min_rest: 1500 is more than the day's 1440 minutes"},
    {"split_workday_longer", "[limits]\nworkday = 380\n",
     "r.toml:2: limits.workday: split_workday 400 is longer than workday 380 (a split day's workday may not be "
     "longer than a plain day's)"},
    {"break_over_split_gap", "[limits]\nsplit_gap = 60\nbreak_gap = 90\n",
     "r.toml:3: limits.break_gap: break_gap 90 is longer than split_gap 60 (every split day's gap must be a break)"},
    {"virtual_short_longer", "[limits]\nvirtual_short = 40\n",
     "r.toml:2: limits.virtual_short: virtual_short 40 is longer than virtual_idle 30 (the closing virtual task "
     "would take a negative length)"},
};

class BadRulesFile : public testing::TestWithParam<BadCase> {};

TEST_P(BadRulesFile, IsRefusedNamingLineAndKey) {
    EXPECT_EQ(refusal(GetParam().text), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(RulesFile, BadRulesFile, testing::ValuesIn(bad_cases),
                         [](const testing::TestParamInfo<BadCase>& info) { return info.param.name; });

TEST(RulesFile, NotTomlNamesTheLine) {
    EXPECT_EQ(refusal("[limits]\nworkday = \n").rfind("r.toml:2: not TOML: ", 0), 0u) << refusal("[limits]\nworkday = \n");
}

// 219 members and 1257 tasks: 20000 a minute of overlap could reach
// 219 x 1440 x 20000 = 6.3e9 on its own.
TEST(RulesFile, WeightsThatCanOverflowTheObjectiveAreRefused) {
    EXPECT_EQ(refusal("[weights]\nt_sobreposicao = 20000\n", 219, 1257),
              "r.toml:2: weights.t_sobreposicao: 20000 can take the objective of a roster of 219 members and 1257 "
              "tasks beyond 32 bits");
    EXPECT_EQ(refusal("[weights]\nt_sobreposicao = 20000\n", 20, 100), "accepted");
    // escala's own values are never refused, though on four copies of the
    // weekday their worst case is beyond 32 bits too; more than theirs is.
    EXPECT_EQ(refusal("[weights]\nt_sobreposicao = 5000\n[limits]\nworkday = 430\n", 876, 5028), "accepted");
    EXPECT_NE(refusal("[weights]\nt_sobreposicao = 5001\n", 876, 5028), "accepted");
}

TEST(RulesFile, UnreadableFiles) {
    test::TempDir dir;
    EXPECT_THROW(read_rules_file(dir.file("missing.toml")), cli::UnusableInput);
    EXPECT_THROW(read_rules_file(dir.path()), cli::UnusableInput);
}

}  // namespace
}  // namespace escala
