// libFuzzer target: the bytes are a task file for a companion. The strict
// reader either refuses it with a message naming the file (and a line that
// exists), or takes it whole; what it takes, escala's own reader must read
// the same way, to the last task, without stopping early.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <sstream>
#include <string>

#include "require.hpp"
#include "io/load_list.hpp"
#include "io/strict_tasks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream strict_in(text);
    escala::StrictTasks strict;
    try {
        strict = escala::read_tasks_strict(strict_in, "f.tsk");
    } catch (const escala::TaskFileError& e) {
        const std::string message = e.what();
        require(message.rfind("f.tsk:", 0) == 0, "the message names the file");
        require(message.find('\n') == std::string::npos, "the message is one line");
        return 0;
    }
    require(!strict.tasks.empty(), "an accepted file holds tasks");
    require(strict.lines.size() == strict.tasks.size(), "one line per task");
    std::istringstream lenient_in(text);
    escala::l_tarefas lenient;
    const escala::ReadOutcome outcome = escala::read_tasks(lenient_in, lenient);
    require(!outcome.malformed, "escala reads an accepted file to its end");
    require(lenient == strict.tasks, "escala reads the same tasks");
    return 0;
}
