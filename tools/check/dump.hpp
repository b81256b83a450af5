// The roster dump reader is the library's (crew/dump.hpp); these names stay
// for escala-improve, which reads its start roster through them until it
// calls load_dump.
#pragma once

#include "crew/dump.hpp"

namespace escala::tools {

using escala::Dump;
using escala::DumpError;
using escala::read_dump;
using escala::to_roster;

}  // namespace escala::tools
