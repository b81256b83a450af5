// Rules files: the crew cost's weights and limits read from TOML, checked
// key by key, and described for the record.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "crew/rules.hpp"

namespace escala {

// A rules file as read: the rules (missing keys at their defaults) and the
// line of every key it sets, as "table.key".
struct RulesFile {
    std::string name;  // the path as given; empty for escala's own rules
    Rules rules;
    std::map<std::string, int> lines;
};

// Reads and checks a rules file. Throws cli::UnusableInput naming the file,
// the line and the key: not TOML, an unknown table or key (with the nearest
// known one), a value that is not an integer, negative or out of range, or
// limits that contradict each other (split_workday over workday, break_gap
// over split_gap, virtual_short over virtual_idle).
RulesFile read_rules_file(const std::filesystem::path& path);

// The same from text (`name` stands for the file in messages).
RulesFile parse_rules(const std::string& text, const std::string& name);

// Throws cli::UnusableInput, naming the file, the line and the key, when a
// roster of `members` members over `tasks` tasks could take the objective
// beyond 32 bits under these rules (a day's minutes at every per-minute
// weight for each member, every task pair changing vehicle and point) and
// further than escala's own rules could.
void check_rules_fit(const RulesFile& file, std::size_t members, std::size_t tasks);

// "rules FILE: workday 480, excess_after 600, t_ocioso 30": the values that
// differ from the defaults; empty for the defaults.
std::string rules_summary(const RulesFile& file);

// The rules of a companion's --rules option: the file's, or escala's own
// when `path` is empty.
RulesFile rules_of_option(const std::string& path);

// What --rules means, for every companion's --help.
inline constexpr const char* rules_option_help =
    "rules file (TOML, as docs/rules.toml): the weights and limits of the crew cost; missing keys, or no "
    "file, take escala's own";

// Every key of a rules file, as "table.key", in the order of docs/rules.toml.
const std::vector<std::string>& rules_keys();

}  // namespace escala
