#include "crew/crew_util.hpp"

#include <charconv>
#include <concepts>
#include <ostream>
#include <string_view>

#include "crew/report_file.hpp"

namespace escala {

namespace {

template <typename Measure>
std::int32_t sum_over(const v_crew& roster, Measure measure) {
    std::int32_t total = 0;
    for (const Crew& member : roster) total = wrap_add(total, measure(member));
    return total;
}

void write_rule(std::ostream& out, char c, int count) { out << std::string(static_cast<std::size_t>(count), c) << '\n'; }

// Text built in memory, numbers in plain decimal: the many numbers of a
// detailed report cost far less this way than through a stream.
class Text {
public:
    Text& operator<<(std::string_view text) {
        text_.append(text);
        return *this;
    }
    template <typename Number>
        requires(std::integral<Number> && !std::same_as<Number, char> && !std::same_as<Number, bool>)
    Text& operator<<(Number value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text_.append(digits, end);
        return *this;
    }
    void write_to(std::ostream& out) {
        out.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        text_.clear();
    }

private:
    std::string text_;
};

void write_weights(std::ostream& out, const Pesos& pesos) {
    out << "\t\tPesos usados nessa solucao:\n"
        << "p_duplas: " << pesos.p_duplas << "\np_duplas: " << pesos.p_duplas2 << "\nh_extra: " << pesos.h_extra
        << "\ni_jornada: " << pesos.i_jornada << "\nf_acumulada: " << pesos.f_acumulada
        << "\nd_jornada: " << pesos.d_jornada << "\nt_ocioso: " << pesos.t_ocioso
        << "\nt_sobreposicao: " << pesos.t_sobreposicao << "\ntp_proibida: " << pesos.tp_proibida
        << "\ntp_permitida: " << pesos.tp_permitida << "\nt_veiculo " << pesos.t_veiculo;
}

// The objective of a copy, so that the caller's schedules keep their order.
std::uint32_t objective_of_copy(const v_crew& roster, const Rules& rules) {
    v_crew copy = roster;
    return global_objective(copy, rules);
}

const char* const objective_label = "A solucao abaixo possui fun\xE7\xE3o objetivo global = ";

}  // namespace

void sort_schedules(v_crew& roster) {
    for (Crew& member : roster) member.sort_tasks();
}

std::int32_t count_split_shifts(const v_crew& roster, const Rules& rules) {
    return sum_over(roster, [&](const Crew& c) { return c.is_split_shift(rules) ? 1 : 0; });
}

std::int32_t split_shift_excess(const v_crew& roster, const Rules& rules) {
    const std::int32_t k = count_split_shifts(roster, rules);
    return k == 0 ? 0 : wrap_sub(k, 20);
}

std::uint32_t global_objective(v_crew& roster, const Rules& rules) {
    std::uint32_t sum = 0;
    for (Crew& member : roster) sum += member.cost(rules);
    const std::int32_t excess = split_shift_excess(roster, rules);
    return sum + rules.weights.p_duplas * static_cast<std::uint32_t>(excess);
}

std::int32_t count_crew_without_tasks(const v_crew& roster) {
    return sum_over(roster, [](const Crew& c) { return c.tasks.empty() ? 1 : 0; });
}
std::int32_t total_overtime(const v_crew& roster, const Rules& rules) {
    return sum_over(roster, [&](const Crew& c) { return c.overtime(rules); });
}
std::int32_t total_excess_time(const v_crew& roster, const Rules& rules) {
    return sum_over(roster, [&](const Crew& c) { return c.excess_time(rules); });
}
std::int32_t total_overlap_time(const v_crew& roster) {
    return sum_over(roster, [](const Crew& c) { return c.overlap_time(); });
}
std::int32_t total_vehicle_changes(const v_crew& roster) {
    return sum_over(roster, [](const Crew& c) { return c.vehicle_changes(); });
}
std::int32_t total_permitted_point_changes(const v_crew& roster) {
    return sum_over(roster, [](const Crew& c) { return c.permitted_point_changes(); });
}
std::int32_t total_forbidden_point_changes(const v_crew& roster) {
    return sum_over(roster, [](const Crew& c) { return c.forbidden_point_changes(); });
}

std::int32_t count_virtual_tasks(const v_crew& roster) {
    std::int32_t count = 0;
    for (const Crew& member : roster)
        for (const Task& t : member.tasks)
            if (t.is_virtual != 0) ++count;
    return count;
}

void write_report(const v_crew& roster, const std::string& file_name, const Rules& rules) {
    ReportFile file(file_name, "out_file", "CrewUtil", 231);
    std::ostream& out = file.stream();
    write_weights(out, rules.weights);
    out << "\t\tProgramacao dos Tripulantes.\n";
    out << objective_label << objective_of_copy(roster, rules) << "\n"
        << "\nSobreposicao Total: " << total_overlap_time(roster) << "\nHoras Extras: " << total_overtime(roster, rules)
        << "\nTripulantes sem Tarefas: " << count_crew_without_tasks(roster)
        << "\nPegadas duplas: " << count_split_shifts(roster, rules)
        << "\nTrocas de Veiculos: " << total_vehicle_changes(roster) << "\n";
    write_rule(out, '_', 73);
    for (std::size_t i = 0; i < roster.size(); ++i) {
        out << "\n";
        write_rule(out, '_', 57);
        out << "\n\t\tTarefas do Tripulante " << i << "\n";
        write_rule(out, '_', 57);
        for (const Task& t : roster[i].tasks) out << t;
    }
    file.commit();
}

void write_detailed_report(const v_crew& roster, const std::string& file_name, const Rules& rules) {
    ReportFile file(file_name, "out_file", "CrewUtil", 161);
    std::ostream& out = file.stream();
    write_weights(out, rules.weights);
    out << "\n\n\t\tProgramacao dos Tripulantes.\n";
    const std::int32_t split_shifts = count_split_shifts(roster, rules);
    out << objective_label << objective_of_copy(roster, rules) << "\n"
        << "\nSobreposicao Total: " << total_overlap_time(roster) << "\nHoras Extras: " << total_overtime(roster, rules)
        << "\nHoras Excedentes: " << total_excess_time(roster, rules)
        << "\nTripulantes sem Tarefas: " << count_crew_without_tasks(roster) << "\nPegadas duplas: " << split_shifts
        << "\nTrocas de Veiculos: " << total_vehicle_changes(roster)
        << "\nTripulantes com pegada dupla: " << split_shifts
        << "\nTrocas de ponto permitida: " << total_permitted_point_changes(roster)
        << "\nTrocas de ponto proibida: " << total_forbidden_point_changes(roster) << "\n";
    write_rule(out, '_', 124);
    const std::string rule104 = std::string(104, '=') + "\n";
    const std::string rule108 = std::string(108, '=') + "\n";
    const std::string rule109 = std::string(109, '_') + "\n";
    Text text;
    for (std::size_t i = 0; i < roster.size(); ++i) {
        const Crew& member = roster[i];
        text << "\n\n" << rule104 << "\n\t\t\tTripula\xE7\xE3o " << i << "\n" << rule108
             << "\t\t\tN_Vei\t\tH_Inic\tH_Fin\t\tP_Ini\t\tP_Fina\tF_Acum\tL_Ini\t\tL_Fina\n" << rule109;
        for (std::size_t k = 0; k < member.tasks.size(); ++k) {
            const Task& t = member.tasks[k];
            text << "Tarefa " << k << "\t\t" << t.vehicle << "\t\t" << t.start_time << "\t\t" << t.end_time << "\t\t"
                 << t.start_point << "\t\t" << t.end_point << "\t\t" << t.slack << "\t\t" << t.start_line << "\t\t"
                 << t.end_line << (t.is_virtual != 0 ? "**\n" : "\n") << rule109;
        }
        // The file replaces its target only once complete, so the footer
        // needs no flush of its own.
        text << "Tempo total de trabalho (minutos): " << member.work_time(rules) << "\n"
             << "Tempo ocioso (minutos): " << member.idle_time(rules) << "\n"
             << "Hora Extra (minutos): " << member.overtime(rules) << "\n";
        if (member.is_split_shift(rules)) text << "Tripulante com pegada dupla. \n";
        text.write_to(out);
    }
    file.commit();
}

void write_dump(const v_crew& roster, const std::string& file_name) {
    ReportFile file(file_name, "out_file", "CrewUtil", 371);
    std::ostream& out = file.stream();
    out << static_cast<std::uint32_t>(roster.size());
    for (std::size_t i = 0; i < roster.size(); ++i) {
        out << "##" << static_cast<std::int32_t>(i) << "\n";
        for (const Task& t : roster[i].tasks) {
            out << t.vehicle << ',' << t.start_time << ',' << t.end_time << ',' << t.start_point << ','
                << t.end_point << ',' << t.slack << ',' << t.start_line << ',' << t.end_line
                << (t.is_virtual != 0 ? ",*\n" : "\n");
        }
    }
    file.commit();
}

}  // namespace escala
