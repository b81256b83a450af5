// Synthetic task files that look like one service day of a bus operator.
#pragma once

#include <ostream>

#include "core/task.hpp"

namespace escala::tools::gen {

// The duty pieces of a service day run by `vehicles` buses (numbered 1 to
// `vehicles`), grouped by vehicle and in time order within a vehicle. Buses
// run blocks of trips between a few terminals on a few lines, more of them
// in the morning and evening peaks; each block is cut at the terminals into
// pieces of 90 to 255 minutes whose slack is the layover time inside them.
// Times stay within minutes 300 to 1500. The same arguments always give the
// same list, on every platform.
l_tarefas generate_tasks(int vehicles, unsigned seed);

// The task file form: one record a line, eight fields separated by ';', LF.
void write_tasks(std::ostream& out, const l_tarefas& tasks);

}  // namespace escala::tools::gen
