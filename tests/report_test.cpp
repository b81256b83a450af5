// The solution report, the detailed report and the dump: their layouts byte
// for byte on hand-built rosters, the open check on the target file, and
// write failures after a successful open.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "crew/crew_util.hpp"
#include "crew/rules.hpp"
#include "test_support.hpp"

namespace escala {
namespace {

using Writer = std::function<void(const v_crew&, const std::string&)>;

// A report writer under the given rules (which outlive it).
Writer under(void (*writer)(const v_crew&, const std::string&, const Rules&), const Rules& rules) {
    return [writer, &rules](const v_crew& roster, const std::string& name) { writer(roster, name, rules); };
}

Task real(std::int32_t vehicle, std::int32_t start, std::int32_t end, std::int32_t from, std::int32_t to,
          std::int32_t slack, std::int32_t line_from, std::int32_t line_to) {
    return Task(vehicle, start, end, from, to, slack, line_from, line_to, 0);
}

Crew assigned(const l_tarefas& list) {
    Crew c;
    for (const Task& t : list) c.assign_task(t, default_rules());
    return c;
}

// A line of `count` copies of `c`, then a line end.
std::string rule(char c, int count) { return std::string(static_cast<std::size_t>(count), c) + "\n"; }

// The weights block with the default weights; the report goes on right after 9000.
const std::string weights_block =
    "\t\tPesos usados nessa solucao:\n"
    "p_duplas: 0\n"
    "p_duplas: 2000\n"
    "h_extra: 60\n"
    "i_jornada: 5000\n"
    "f_acumulada: 0\n"
    "d_jornada: 5000\n"
    "t_ocioso: 40\n"
    "t_sobreposicao: 5000\n"
    "tp_proibida: 10000\n"
    "tp_permitida: 300\n"
    "t_veiculo 9000";

const std::string column_header = "\t\t\tN_Vei\t\tH_Inic\tH_Fin\t\tP_Ini\t\tP_Fina\tF_Acum\tL_Ini\t\tL_Fina\n";

// Member 0: overlap of 10 minutes, closing task 700-730 (cost 57200; work
// 250, idle 180). Member 1: split shift with overtime and slack -5, no
// closing task (cost 1087700; work 760, idle 145, overtime 210).
v_crew two_members() {
    return {assigned({real(7, 480, 600, 1, 2, 0, 3, 4), real(7, 590, 700, 2, 5, 0, 4, 6)}),
            assigned({real(1, 240, 600, 1, 2, 0, 10, 11), real(2, 750, 1150, 3, 4, -5, 12, 13)})};
}

const std::string two_members_report =
    weights_block + "\t\tProgramacao dos Tripulantes.\n" +
    "A solucao abaixo possui fun\xE7\xE3o objetivo global = 1144900\n"
    "\nSobreposicao Total: 10\nHoras Extras: 210\nTripulantes sem Tarefas: 0\nPegadas duplas: 1"
    "\nTrocas de Veiculos: 1\n" +
    rule('_', 73) +
    "\n" + rule('_', 57) + "\n\t\tTarefas do Tripulante 0\n" + rule('_', 57) +
    "\nVeiculo: 7\nHora Inicial: 480\nHora Final: 600\nPonto Inicial:1\nPonto Final: 2\nFolga Acumulada: 0"
    "\nLinha Inicial: 3\nLinha Final: 4\n"
    "\nVeiculo: 7\nHora Inicial: 590\nHora Final: 700\nPonto Inicial:2\nPonto Final: 5\nFolga Acumulada: 0"
    "\nLinha Inicial: 4\nLinha Final: 6\n"
    "\nVeiculo: 7\nHora Inicial: 700\nHora Final: 730\nPonto Inicial:5\nPonto Final: 5\nFolga Acumulada: 0"
    "\nLinha Inicial: 6\nLinha Final: 6\n*TAREFA VIRTUAL*\n\n"
    "\n" + rule('_', 57) + "\n\t\tTarefas do Tripulante 1\n" + rule('_', 57) +
    "\nVeiculo: 1\nHora Inicial: 240\nHora Final: 600\nPonto Inicial:1\nPonto Final: 2\nFolga Acumulada: 0"
    "\nLinha Inicial: 10\nLinha Final: 11\n"
    "\nVeiculo: 2\nHora Inicial: 750\nHora Final: 1150\nPonto Inicial:3\nPonto Final: 4\nFolga Acumulada: -5"
    "\nLinha Inicial: 12\nLinha Final: 13\n";

const std::string two_members_detailed =
    weights_block + "\n\n\t\tProgramacao dos Tripulantes.\n" +
    "A solucao abaixo possui fun\xE7\xE3o objetivo global = 1144900\n"
    "\nSobreposicao Total: 10\nHoras Extras: 210\nHoras Excedentes: 210\nTripulantes sem Tarefas: 0"
    "\nPegadas duplas: 1\nTrocas de Veiculos: 1\nTripulantes com pegada dupla: 1"
    "\nTrocas de ponto permitida: 1\nTrocas de ponto proibida: 1\n" +
    rule('_', 124) +
    "\n\n" + rule('=', 104) + "\n\t\t\tTripula\xE7\xE3o 0\n" + rule('=', 108) + column_header + rule('_', 109) +
    "Tarefa 0\t\t7\t\t480\t\t600\t\t1\t\t2\t\t0\t\t3\t\t4\n" + rule('_', 109) +
    "Tarefa 1\t\t7\t\t590\t\t700\t\t2\t\t5\t\t0\t\t4\t\t6\n" + rule('_', 109) +
    "Tarefa 2\t\t7\t\t700\t\t730\t\t5\t\t5\t\t0\t\t6\t\t6**\n" + rule('_', 109) +
    "Tempo total de trabalho (minutos): 250\nTempo ocioso (minutos): 180\nHora Extra (minutos): 0\n"
    "\n\n" + rule('=', 104) + "\n\t\t\tTripula\xE7\xE3o 1\n" + rule('=', 108) + column_header + rule('_', 109) +
    "Tarefa 0\t\t1\t\t240\t\t600\t\t1\t\t2\t\t0\t\t10\t\t11\n" + rule('_', 109) +
    "Tarefa 1\t\t2\t\t750\t\t1150\t\t3\t\t4\t\t-5\t\t12\t\t13\n" + rule('_', 109) +
    "Tempo total de trabalho (minutos): 760\nTempo ocioso (minutos): 145\nHora Extra (minutos): 210\n"
    "Tripulante com pegada dupla. \n";

const std::string two_members_dump =
    "2##0\n"
    "7,480,600,1,2,0,3,4\n"
    "7,590,700,2,5,0,4,6\n"
    "7,700,730,5,5,0,6,6,*\n"
    "##1\n"
    "1,240,600,1,2,0,10,11\n"
    "2,750,1150,3,4,-5,12,13\n";

const std::string empty_roster_report = weights_block + "\t\tProgramacao dos Tripulantes.\n" +
                                        "A solucao abaixo possui fun\xE7\xE3o objetivo global = 0\n"
                                        "\nSobreposicao Total: 0\nHoras Extras: 0\nTripulantes sem Tarefas: 0"
                                        "\nPegadas duplas: 0\nTrocas de Veiculos: 0\n" +
                                        rule('_', 73);

const std::string empty_roster_detailed =
    weights_block + "\n\n\t\tProgramacao dos Tripulantes.\n" +
    "A solucao abaixo possui fun\xE7\xE3o objetivo global = 0\n"
    "\nSobreposicao Total: 0\nHoras Extras: 0\nHoras Excedentes: 0\nTripulantes sem Tarefas: 0"
    "\nPegadas duplas: 0\nTrocas de Veiculos: 0\nTripulantes com pegada dupla: 0"
    "\nTrocas de ponto permitida: 0\nTrocas de ponto proibida: 0\n" +
    rule('_', 124);

std::string written(Writer writer, const v_crew& roster) {
    test::TempDir dir;
    const std::string name = dir.file("relatorio.txt");
    writer(roster, name);
    return test::read_file(name);
}

// ---------------------------------------------------------------- whole files

// A roster of two members, written out by hand: every line of both reports
// and of the dump, the virtual task's marker and "**" row, the slack -5.
TEST(Reports, TwoMembersByteForByte) {
    const v_crew roster = two_members();
    EXPECT_EQ(written(under(write_report, default_rules()), roster), two_members_report);
    EXPECT_EQ(written(under(write_detailed_report, default_rules()), roster), two_members_detailed);
    EXPECT_EQ(written(Writer(write_dump), roster), two_members_dump);
}

// An empty roster: weights, heading, objective 0, totals 0, first rule and
// nothing more; its dump is the single character 0.
TEST(Reports, EmptyRosterByteForByte) {
    const v_crew roster;
    EXPECT_EQ(written(under(write_report, default_rules()), roster), empty_roster_report);
    EXPECT_EQ(written(under(write_detailed_report, default_rules()), roster), empty_roster_detailed);
    EXPECT_EQ(written(Writer(write_dump), roster), "0");
}

// One member without tasks: its full heading and no task lines; in the
// detailed report the footer follows the rule under the column header (work
// 0, idle 430); the objective is its cost, 17200.
TEST(Reports, EmptyMemberByteForByte) {
    const v_crew roster{Crew()};
    EXPECT_EQ(written(under(write_report, default_rules()), roster),
              weights_block + "\t\tProgramacao dos Tripulantes.\n" +
                  "A solucao abaixo possui fun\xE7\xE3o objetivo global = 17200\n"
                  "\nSobreposicao Total: 0\nHoras Extras: 0\nTripulantes sem Tarefas: 1"
                  "\nPegadas duplas: 0\nTrocas de Veiculos: 0\n" +
                  rule('_', 73) + "\n" + rule('_', 57) + "\n\t\tTarefas do Tripulante 0\n" + rule('_', 57));
    EXPECT_EQ(written(under(write_detailed_report, default_rules()), roster),
              weights_block + "\n\n\t\tProgramacao dos Tripulantes.\n" +
                  "A solucao abaixo possui fun\xE7\xE3o objetivo global = 17200\n"
                  "\nSobreposicao Total: 0\nHoras Extras: 0\nHoras Excedentes: 0\nTripulantes sem Tarefas: 1"
                  "\nPegadas duplas: 0\nTrocas de Veiculos: 0\nTripulantes com pegada dupla: 0"
                  "\nTrocas de ponto permitida: 0\nTrocas de ponto proibida: 0\n" +
                  rule('_', 124) + "\n\n" + rule('=', 104) + "\n\t\t\tTripula\xE7\xE3o 0\n" + rule('=', 108) +
                  column_header + rule('_', 109) +
                  "Tempo total de trabalho (minutos): 0\nTempo ocioso (minutos): 430\nHora Extra (minutos): 0\n");
    EXPECT_EQ(written(Writer(write_dump), roster), "1##0\n");
}

// A full roster of 219 empty members: the size runs straight into the first
// marker ("219##0"), then one marker line each up to "##218".
TEST(Reports, DumpOfFullRoster) {
    const std::vector<std::string> lines = test::split_lines(written(Writer(write_dump), v_crew(219)));
    ASSERT_EQ(lines.size(), 219u);
    EXPECT_EQ(lines[0], "219##0");
    EXPECT_EQ(lines[1], "##1");
    EXPECT_EQ(lines[218], "##218");
}

// ---------------------------------------------------------------- line structure

// The solution report's heading goes on after 9000 on the t_veiculo line;
// then the objective line and one empty line before the totals.
TEST(Reports, SolutionReportHeadLines) {
    const std::vector<std::string> lines = test::split_lines(written(under(write_report, default_rules()), two_members()));
    ASSERT_GE(lines.size(), 20u);
    EXPECT_EQ(lines[0], "\t\tPesos usados nessa solucao:");
    EXPECT_EQ(lines[1], "p_duplas: 0");
    EXPECT_EQ(lines[2], "p_duplas: 2000");
    EXPECT_EQ(lines[11], "t_veiculo 9000\t\tProgramacao dos Tripulantes.");
    EXPECT_EQ(lines[12], "A solucao abaixo possui fun\xE7\xE3o objetivo global = 1144900");
    EXPECT_EQ(lines[13], "");
    EXPECT_EQ(lines[14], "Sobreposicao Total: 10");
}

// The detailed report ends the t_veiculo line after 9000, leaves one empty
// line, then the heading; "Pegadas duplas" and "Tripulantes com pegada dupla"
// carry the same value.
TEST(Reports, DetailedReportHeadLines) {
    const std::vector<std::string> lines = test::split_lines(written(under(write_detailed_report, default_rules()), two_members()));
    ASSERT_GE(lines.size(), 26u);
    EXPECT_EQ(lines[11], "t_veiculo 9000");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13], "\t\tProgramacao dos Tripulantes.");
    EXPECT_EQ(lines[14], "A solucao abaixo possui fun\xE7\xE3o objetivo global = 1144900");
    EXPECT_EQ(lines[15], "");
    EXPECT_EQ(lines[20], "Pegadas duplas: 1");
    EXPECT_EQ(lines[22], "Tripulantes com pegada dupla: 1");
}

// Changed weights show in the block, in field order, as unsigned values.
TEST(Reports, WeightsBlockShowsCurrentWeights) {
    Rules rules;
    rules.weights = Pesos{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 4294967295u};
    for (Writer writer : {under(write_report, rules), under(write_detailed_report, rules)}) {
        const std::vector<std::string> lines = test::split_lines(written(writer, v_crew{}));
        ASSERT_GE(lines.size(), 12u);
        const std::vector<std::string> block(lines.begin() + 1, lines.begin() + 11);
        const std::vector<std::string> expected{"p_duplas: 1",  "p_duplas: 2",    "h_extra: 3",
                                                "i_jornada: 4", "f_acumulada: 5", "d_jornada: 6",
                                                "t_ocioso: 7",  "t_sobreposicao: 8", "tp_proibida: 9",
                                                "tp_permitida: 10"};
        EXPECT_EQ(block, expected);
        EXPECT_EQ(lines[11].rfind("t_veiculo 4294967295", 0), 0u) << lines[11];
    }
}

// The split-shift term shows in the objective line: p_duplas = 100 and five
// split shifts take 1500 off 5 x 31300.
TEST(Reports, ObjectiveWithSplitShiftTerm) {
    Rules rules;
    rules.weights.p_duplas = 100;
    const v_crew roster(5, assigned({real(1, 360, 600, 1, 2, 0, 0, 0), real(2, 900, 1080, 3, 4, 0, 0, 0)}));
    const std::string report = written(under(write_detailed_report, rules), roster);
    EXPECT_NE(report.find("p_duplas: 100\n"), std::string::npos);
    EXPECT_NE(report.find("objetivo global = 155000\n"), std::string::npos);
}

// An objective that wraps below 0 is printed as the unsigned value.
TEST(Reports, ObjectivePrintedUnsigned) {
    Rules rules;
    rules.weights.t_ocioso = rules.weights.h_extra = rules.weights.d_jornada = rules.weights.t_sobreposicao = 0;
    rules.weights.tp_permitida = rules.weights.t_veiculo = rules.weights.i_jornada = 0;
    rules.weights.tp_proibida = 200;
    rules.weights.p_duplas = 100;
    const v_crew roster(5, assigned({real(1, 360, 600, 1, 2, 0, 0, 0), real(2, 900, 1080, 3, 4, 0, 0, 0)}));
    for (Writer writer : {under(write_report, rules), under(write_detailed_report, rules)}) {
        EXPECT_NE(written(writer, roster).find("objetivo global = 4294966796\n"), std::string::npos);
    }
}

// ---------------------------------------------------------------- the roster is left alone

// A schedule held out of order stays so after each writer; the rows, the
// footer and the totals follow the order held, the objective is the sorted
// one (9200). Held as b, a: work 200 - 300 = -100, idle 530, overlap 300.
TEST(Reports, UnsortedScheduleStaysUnsorted) {
    const Task a = real(1, 100, 200, 1, 2, 0, 5, 6);
    const Task b = real(1, 300, 400, 2, 3, 0, 6, 7);
    Crew member;
    member.tasks = {b, a};
    const v_crew roster{member};

    const std::string report = written(under(write_report, default_rules()), roster);
    EXPECT_EQ(roster[0].tasks, (l_tarefas{b, a}));
    EXPECT_NE(report.find("objetivo global = 9200\n"), std::string::npos);
    EXPECT_LT(report.find("Hora Inicial: 300"), report.find("Hora Inicial: 100"));

    const std::string detailed = written(under(write_detailed_report, default_rules()), roster);
    EXPECT_EQ(roster[0].tasks, (l_tarefas{b, a}));
    EXPECT_NE(detailed.find("objetivo global = 9200\n"), std::string::npos);
    EXPECT_NE(detailed.find("\nSobreposicao Total: 300\n"), std::string::npos);
    EXPECT_NE(detailed.find("Tarefa 0\t\t1\t\t300\t\t400\t\t2\t\t3\t\t0\t\t6\t\t7\n" + rule('_', 109) +
                            "Tarefa 1\t\t1\t\t100\t\t200\t\t1\t\t2\t\t0\t\t5\t\t6\n" + rule('_', 109) +
                            "Tempo total de trabalho (minutos): -100\nTempo ocioso (minutos): 530\n"
                            "Hora Extra (minutos): 0\n"),
              std::string::npos);

    EXPECT_EQ(written(Writer(write_dump), roster), "1##0\n1,300,400,2,3,0,6,7\n1,100,200,1,2,0,5,6\n");
    EXPECT_EQ(roster[0].tasks, (l_tarefas{b, a}));
}

// Writing twice to one name leaves only the second file.
TEST(Reports, SecondWriteReplacesFirst) {
    const struct {
        Writer writer;
        std::string empty_roster_text;
    } cases[] = {{under(write_report, default_rules()), empty_roster_report},
                 {under(write_detailed_report, default_rules()), empty_roster_detailed},
                 {Writer(write_dump), "0"}};
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string name = dir.file("saida.txt");
        c.writer(two_members(), name);
        c.writer(v_crew{}, name);
        EXPECT_EQ(test::read_file(name), c.empty_roster_text);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"saida.txt"});
    }
}

// ---------------------------------------------------------------- failures

// Matches a text that holds every one of the given parts.
class ContainsAll : public testing::MatcherInterface<const std::string&> {
public:
    explicit ContainsAll(std::vector<std::string> parts) : parts_(std::move(parts)) {}
    bool MatchAndExplain(const std::string& text, testing::MatchResultListener*) const override {
        for (const std::string& p : parts_)
            if (text.find(p) == std::string::npos) return false;
        return true;
    }
    void DescribeTo(std::ostream* os) const override {
        *os << "contains";
        for (const std::string& p : parts_) *os << " \"" << p << "\"";
    }

private:
    std::vector<std::string> parts_;
};

testing::Matcher<const std::string&> contains_all(std::vector<std::string> parts) {
    return testing::MakeMatcher(new ContainsAll(std::move(parts)));
}

struct OpenCheckCase {
    Writer writer;
    const char* line;
};

// A directory in place of the target: the writer stops with status 1 and the
// open check names out_file, CrewUtil and its line; nothing is left behind.
TEST(ReportsDeathTest, DirectoryAsTarget) {
    const OpenCheckCase cases[] = {{under(write_report, default_rules()), "231"}, {under(write_detailed_report, default_rules()), "161"}, {Writer(write_dump), "371"}};
    for (const OpenCheckCase& c : cases) {
        test::TempDir dir;
        const std::string name = dir.file("ArqSaida.txt");
        ASSERT_EQ(::mkdir(name.c_str(), 0755), 0);
        const v_crew roster = two_members();
        EXPECT_EXIT(c.writer(roster, name), testing::ExitedWithCode(1),
                    contains_all({"out_file", "CrewUtil", c.line}));
        EXPECT_TRUE(std::filesystem::is_directory(name));
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"ArqSaida.txt"});
    }
}

// Runs `writer` with files limited to 4 KiB and SIGXFSZ ignored, so that a
// longer write fails with EFBIG.
void write_with_size_limit(Writer writer, const v_crew& roster, const std::string& name) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    writer(roster, name);
}

// A write that fails after the open (the file-size limit is reached): the
// writer reports the file on standard error and stops with status 1, and the
// earlier content of the target is kept intact.
TEST(ReportsDeathTest, FailedWriteKeepsPreviousContent) {
    const v_crew roster(200, assigned({real(1, 360, 600, 1, 2, 0, 10, 11), real(2, 900, 1080, 3, 4, 0, 12, 13)}));
    for (Writer writer : {under(write_report, default_rules()), under(write_detailed_report, default_rules()), Writer(write_dump)}) {
        test::TempDir dir;
        const std::string name = dir.file("ArqSaida.txt");
        test::write_file(name, "relatorio anterior\n");
        const std::vector<std::string> parts{name};
        EXPECT_EXIT(write_with_size_limit(writer, roster, name), testing::ExitedWithCode(1), contains_all(parts));
        EXPECT_EQ(test::read_file(name), "relatorio anterior\n");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"ArqSaida.txt"});
    }
}

// The program end to end under a small file-size limit: the first report
// cannot be written in full, so the run ends with status 1, the report's
// name on standard error, and the old report left as it was.
TEST(ReportsProgram, WriteFailureEndsRun) {
    test::TempDir dir;
    std::filesystem::copy_file(test::source_path("examples/Lintra.tsk"), dir.file("Lintra.tsk"));
    test::write_file(dir.file("ArqSaida.txt"), "anterior\n");
    const test::RunResult r = test::run_command(
        dir.path(), "bash -c 'trap \"\" XFSZ; ulimit -f 20; exec \"" + test::escala_binary() + "\"' < /dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ArqSaida.txt"), std::string::npos) << r.err;
    EXPECT_EQ(test::read_file(dir.file("ArqSaida.txt")), "anterior\n");
}

}  // namespace
}  // namespace escala
