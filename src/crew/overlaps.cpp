#include "crew/overlaps.hpp"

#include <algorithm>
#include <vector>

namespace escala {

std::int64_t overlapping_pairs(const Crew& crew) {
    std::vector<const Task*> real;
    for (const Task& t : crew.tasks)
        if (t.is_virtual == 0 && t.end_time > t.start_time) real.push_back(&t);
    std::sort(real.begin(), real.end(), [](const Task* a, const Task* b) { return a->start_time < b->start_time; });
    std::int64_t pairs = 0;
    for (std::size_t i = 0; i < real.size(); ++i)
        for (std::size_t j = i + 1; j < real.size() && real[j]->start_time < real[i]->end_time; ++j) ++pairs;
    return pairs;
}

std::int64_t overlapping_pairs(const v_crew& roster) {
    std::int64_t pairs = 0;
    for (const Crew& c : roster) pairs += overlapping_pairs(c);
    return pairs;
}

std::string overlaps_text(std::int64_t pairs) {
    return std::to_string(pairs) + (pairs == 1 ? " overlapping task pair" : " overlapping task pairs");
}

std::string overlaps_warning(const std::string& which, std::int64_t pairs, const std::string& task_file,
                             const std::string& dump_file) {
    return "the " + which + " roster has " + overlaps_text(pairs) +
           ": it is not drivable as it stands; escala-check --tasks " + task_file + " --dump " + dump_file +
           " lists them";
}

}  // namespace escala
