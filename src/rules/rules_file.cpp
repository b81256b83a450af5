#include "rules/rules_file.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>
#include <system_error>

#include <toml++/toml.h>

#include "cli/tool.hpp"

namespace escala {

namespace {

// A key of a rules file and the field it sets.
struct Field {
    std::string_view table;
    std::string_view key;
    std::uint32_t Pesos::*weight = nullptr;
    std::int32_t Limits::*limit = nullptr;
};

const Field fields[] = {
    {"weights", "p_duplas", &Pesos::p_duplas},
    {"weights", "p_duplas2", &Pesos::p_duplas2},
    {"weights", "h_extra", &Pesos::h_extra},
    {"weights", "i_jornada", &Pesos::i_jornada},
    {"weights", "f_acumulada", &Pesos::f_acumulada},
    {"weights", "d_jornada", &Pesos::d_jornada},
    {"weights", "t_ocioso", &Pesos::t_ocioso},
    {"weights", "t_sobreposicao", &Pesos::t_sobreposicao},
    {"weights", "tp_proibida", &Pesos::tp_proibida},
    {"weights", "tp_permitida", &Pesos::tp_permitida},
    {"weights", "t_veiculo", &Pesos::t_veiculo},
    {"limits", "workday", nullptr, &Limits::workday},
    {"limits", "split_workday", nullptr, &Limits::split_workday},
    {"limits", "excess_after", nullptr, &Limits::excess_after},
    {"limits", "min_rest", nullptr, &Limits::min_rest},
    {"limits", "split_gap", nullptr, &Limits::split_gap},
    {"limits", "break_gap", nullptr, &Limits::break_gap},
    {"limits", "virtual_idle", nullptr, &Limits::virtual_idle},
    {"limits", "virtual_short", nullptr, &Limits::virtual_short},
};

std::string full_name(const Field& f) { return std::string(f.table) + "." + std::string(f.key); }

std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known name nearest to `name` among `names`.
std::string nearest(std::string_view name, const std::vector<std::string>& names) {
    std::string best;
    std::size_t best_distance = std::numeric_limits<std::size_t>::max();
    for (const std::string& candidate : names) {
        const std::string_view bare = std::string_view(candidate).substr(candidate.find('.') + 1);
        const std::size_t d = edit_distance(name, bare);
        if (d < best_distance) {
            best_distance = d;
            best = candidate;
        }
    }
    return best;
}

[[noreturn]] void refuse(const std::string& name, int line, const std::string& key, const std::string& what) {
    throw cli::UnusableInput(name + ":" + std::to_string(line) + ": " + key + ": " + what);
}

int line_of(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

// "an integer", "a string": the node's TOML type with its article.
std::string type_name(const toml::node& node) {
    if (node.is_floating_point()) return "a floating-point number";
    std::ostringstream out;
    out << node.type();
    const std::string name = out.str();
    return (name.find_first_of("aeiou") == 0 ? "an " : "a ") + name;
}

// The line of a key, or of `fallback` when the file does not set it.
int line_or(const RulesFile& file, const std::string& key, const std::string& fallback) {
    auto found = file.lines.find(key);
    if (found == file.lines.end()) found = file.lines.find(fallback);
    return found == file.lines.end() ? 1 : found->second;
}

void check_contradictions(const RulesFile& file) {
    const Limits& l = file.rules.limits;
    auto contradiction = [&](const std::string& longer, const std::string& shorter, std::int32_t a, std::int32_t b,
                             const std::string& what) {
        // Named by the key the file sets, the first when it sets both.
        const std::string key = file.lines.count("limits." + longer) ? longer : shorter;
        refuse(file.name, line_or(file, "limits." + key, "limits." + longer), "limits." + key,
               longer + " " + std::to_string(a) + " is longer than " + shorter + " " + std::to_string(b) + " (" +
                   what + ")");
    };
    if (l.split_workday > l.workday)
        contradiction("split_workday", "workday", l.split_workday, l.workday,
                      "a split day's workday may not be longer than a plain day's");
    if (l.break_gap > l.split_gap)
        contradiction("break_gap", "split_gap", l.break_gap, l.split_gap,
                      "every split day's gap must be a break");
    if (l.virtual_short > l.virtual_idle)
        contradiction("virtual_short", "virtual_idle", l.virtual_short, l.virtual_idle,
                      "the closing virtual task would take a negative length");
}

}  // namespace

const std::vector<std::string>& rules_keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> all;
        for (const Field& f : fields) all.push_back(full_name(f));
        return all;
    }();
    return keys;
}

RulesFile parse_rules(const std::string& text, const std::string& name) {
    RulesFile file;
    file.name = name;
    toml::table root;
    try {
        root = toml::parse(text, name);
    } catch (const toml::parse_error& e) {
        throw cli::UnusableInput(name + ":" + std::to_string(e.source().begin.line) +
                                 ": not TOML: " + std::string(e.description()));
    }
    const std::vector<std::string> tables = {"weights.weights", "limits.limits"};
    for (auto&& [table_key, table_node] : root) {
        const std::string table_name(table_key.str());
        const int table_line = static_cast<int>(table_key.source().begin.line);
        if (table_name != "weights" && table_name != "limits") {
            const std::string near = nearest(table_name, tables);
            refuse(name, table_line, table_name,
                   "unknown table (did you mean [" + near.substr(near.find('.') + 1) + "]?)");
        }
        const toml::table* table = table_node.as_table();
        if (table == nullptr)
            refuse(name, table_line, table_name, "a table is expected, not " + type_name(table_node));
        std::vector<std::string> known;
        for (const Field& f : fields)
            if (f.table == table_name) known.push_back(full_name(f));
        for (auto&& [key, node] : *table) {
            const std::string bare(key.str());
            const std::string full = table_name + "." + bare;
            const int line = static_cast<int>(key.source().begin.line);
            const Field* field = nullptr;
            for (const Field& f : fields)
                if (f.table == table_name && f.key == bare) field = &f;
            if (field == nullptr) {
                // A key of the other table is suggested with its table.
                std::vector<std::string> every = rules_keys();
                std::string near = nearest(bare, known);
                const std::string anywhere = nearest(bare, every);
                if (edit_distance(bare, anywhere.substr(anywhere.find('.') + 1)) <
                    edit_distance(bare, near.substr(near.find('.') + 1)))
                    near = anywhere;
                refuse(name, line, full,
                       "unknown key (did you mean " +
                           (near.rfind(table_name + ".", 0) == 0 ? near.substr(table_name.size() + 1) : near) +
                           "?)");
            }
            const std::optional<std::int64_t> value = node.is_integer() ? node.value<std::int64_t>() : std::nullopt;
            if (!value) refuse(name, line, full, "an integer is expected, not " + type_name(node));
            if (*value < 0) refuse(name, line, full, std::to_string(*value) + " is negative");
            if (field->weight != nullptr) {
                if (*value > std::int64_t{std::numeric_limits<std::uint32_t>::max()})
                    refuse(name, line, full, std::to_string(*value) + " does not fit in 32 bits");
                file.rules.weights.*field->weight = static_cast<std::uint32_t>(*value);
            } else {
                if (*value > day_minutes)
                    refuse(name, line, full,
                           std::to_string(*value) + " is more than the day's " + std::to_string(day_minutes) +
                               " minutes");
                file.rules.limits.*field->limit = static_cast<std::int32_t>(*value);
            }
            file.lines[full] = line_of(node) > 0 ? line_of(node) : line;
        }
    }
    check_contradictions(file);
    return file;
}

RulesFile read_rules_file(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw cli::UnusableInput(name + ": is a folder, not a rules file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw cli::UnusableInput("cannot read rules file \"" + name + "\"");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw cli::UnusableInput("cannot read rules file \"" + name + "\"");
    return parse_rules(text.str(), name);
}

namespace {

struct Share {
    const char* key;
    long double amount;
};

// Each weight's share of the largest objective: per member a day's idle and
// overlap minutes, its work beyond the limits, a whole rest shortfall and a
// split day; per task a vehicle and a point change.
std::array<Share, 9> worst_shares(const Rules& rules, std::size_t members, std::size_t tasks) {
    const Pesos& w = rules.weights;
    const Limits& l = rules.limits;
    const std::int64_t day = day_minutes;
    const auto n = static_cast<long double>(members), k = static_cast<long double>(tasks);
    return {{
        {"weights.t_ocioso", n * day * w.t_ocioso},
        {"weights.h_extra", n * static_cast<long double>(day - l.split_workday) * w.h_extra},
        {"weights.d_jornada", n * static_cast<long double>(day - l.excess_after) * w.d_jornada},
        {"weights.i_jornada", n * static_cast<long double>(l.min_rest) * w.i_jornada},
        {"weights.t_sobreposicao", n * day * w.t_sobreposicao},
        {"weights.p_duplas", n * w.p_duplas},
        {"weights.t_veiculo", k * w.t_veiculo},
        {"weights.tp_proibida", k * w.tp_proibida},
        {"weights.tp_permitida", k * w.tp_permitida},
    }};
}

long double sum(const std::array<Share, 9>& shares) {
    long double total = 0;
    for (const Share& s : shares) total += s.amount;
    return total;
}

}  // namespace

void check_rules_fit(const RulesFile& file, std::size_t members, std::size_t tasks) {
    const std::array<Share, 9> shares = worst_shares(file.rules, members, tasks);
    // escala's own rules are never refused: on a large roster their worst
    // case is beyond 32 bits too, and rules no worse than theirs are kept.
    const long double allowed = std::max<long double>(std::numeric_limits<std::uint32_t>::max(),
                                                      sum(worst_shares(Rules{}, members, tasks)));
    if (sum(shares) <= allowed) return;
    // Named by the largest share among the keys the file sets.
    const Share* largest = nullptr;
    for (const Share& s : shares)
        if (file.lines.count(s.key) && (largest == nullptr || s.amount > largest->amount)) largest = &s;
    if (largest == nullptr)
        for (const Share& s : shares)
            if (largest == nullptr || s.amount > largest->amount) largest = &s;
    const std::string key = largest->key;
    const std::uint32_t value = file.rules.weights.*[&] {
        for (const Field& f : fields)
            if (full_name(f) == key) return f.weight;
        return &Pesos::t_ocioso;
    }();
    refuse(file.name, line_or(file, key, key), key,
           std::to_string(value) + " can take the objective of a roster of " + std::to_string(members) +
               " members and " + std::to_string(tasks) + " tasks beyond 32 bits");
}

RulesFile rules_of_option(const std::string& path) {
    if (path.empty()) return {};
    return read_rules_file(path);
}

std::string rules_summary(const RulesFile& file) {
    const Rules defaults;
    std::string listed;
    for (const Field& f : fields) {
        const std::int64_t value = f.weight != nullptr ? std::int64_t{file.rules.weights.*f.weight}
                                                       : std::int64_t{file.rules.limits.*f.limit};
        const std::int64_t standard = f.weight != nullptr ? std::int64_t{defaults.weights.*f.weight}
                                                          : std::int64_t{defaults.limits.*f.limit};
        if (value == standard) continue;
        if (!listed.empty()) listed += ", ";
        listed += std::string(f.key) + " " + std::to_string(value);
    }
    if (listed.empty()) return {};
    return "rules " + file.name + ": " + listed;
}

}  // namespace escala
