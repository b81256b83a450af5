// The operator's files of a set of runs: TODS run_events.txt, runs.csv and printable run sheets.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "export/runs.hpp"
#include "gtfs/legend.hpp"

namespace escala::exporting {

// A crew member's measures and cost, as escala-check gives them.
struct RunMeasures {
    std::uint32_t cost = 0;
    std::int32_t work_time = 0, idle_time = 0, overtime = 0, excess_time = 0, overlap_time = 0;
    std::int32_t vehicle_changes = 0, point_changes = 0;
    bool split_shift = false;
};

// TODS run_events.txt: every run on `service_id`, events numbered 10, 20, ...
void write_run_events(std::ostream& out, const std::vector<Run>& runs, const std::string& service_id);

// One row a run (measures[run.member]), then the "total" row: the sums, and
// `objective` as its cost.
void write_runs_csv(std::ostream& out, const std::vector<Run>& runs, const std::vector<RunMeasures>& measures,
                    std::uint32_t objective);

// A self-contained HTML page: an index of the runs, then one sheet a run,
// each on a page of its own when printed; stops and routes by their names.
void write_run_sheets(std::ostream& out, const std::vector<Run>& runs, const std::vector<RunMeasures>& measures,
                      const gtfs::Legend& legend, const std::string& service_id);

// "HH:MM" of seconds of the service day (past 24 stays past 24).
std::string hours_minutes(std::int32_t seconds);

}  // namespace escala::exporting
