#include "core/task.hpp"

#include <algorithm>

namespace escala {

void sort_by_start(l_tarefas& list) { std::stable_sort(list.begin(), list.end()); }

std::ostream& operator<<(std::ostream& out, const Task& t) {
    out << "\nVeiculo: " << t.vehicle << "\nHora Inicial: " << t.start_time
        << "\nHora Final: " << t.end_time << "\nPonto Inicial:" << t.start_point
        << "\nPonto Final: " << t.end_point << "\nFolga Acumulada: " << t.slack
        << "\nLinha Inicial: " << t.start_line << "\nLinha Final: " << t.end_line;
    if (t.is_virtual != 0) out << "\n*TAREFA VIRTUAL*\n";
    out << std::endl;
    return out;
}

}  // namespace escala
