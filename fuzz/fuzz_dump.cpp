// libFuzzer target: the bytes are a roster dump. The reader either refuses
// it naming a line of the input, or gives a roster that the checker measures
// without fault and whose task lines read back to the same tasks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "require.hpp"
#include "check/check.hpp"
#include "crew/dump.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace escala;
    using namespace escala::tools;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    Dump dump;
    try {
        dump = read_dump(in);
    } catch (const DumpError& e) {
        std::size_t lines = 1;
        for (char c : text) lines += c == '\n';
        require(e.line() >= 1 && static_cast<std::size_t>(e.line()) <= lines + 1, "the error names a line of the input");
        return 0;
    }
    if (dump.crew.size() > 512 || dump.task_lines() > 2000) return 0;  // only slower, not different
    escala::l_tarefas tasks;
    for (const DumpCrew& c : dump.crew)
        for (const DumpTask& t : c.tasks) {
            std::istringstream again("1##0\n" + dump_line(t.task) + "\n");
            const Dump back = read_dump(again);
            require(back.crew.at(0).tasks.at(0).task == t.task && back.crew[0].tasks[0].task.is_virtual == t.task.is_virtual,
                    "a task line reads back to the same task");
            if (t.task.is_virtual == 0 && tasks.size() < 200) tasks.push_back(t.task);
        }
    const CheckReport report = check_roster(tasks, dump, default_rules());
    require(report.crew.size() == dump.crew.size(), "every member measured");
    std::ostringstream out;
    print_report(out, report, "t.tsk", "d.txt");
    return 0;
}
