#include "io/load_list.hpp"

#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/check.hpp"

namespace escala {

namespace {

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// 1-based line of the first non-blank character at or after `offset`.
int line_of_content(const std::string& text, std::size_t offset) {
    while (offset < text.size() && is_blank(text[offset])) ++offset;
    int line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i)
        if (text[i] == '\n') ++line;
    return line;
}

}  // namespace

ReadOutcome read_tasks(std::istream& in, l_tarefas& list) {
    // The whole content is kept so that a stop can be placed on its line.
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream task_stream(text);
    ReadOutcome outcome;
    Task task;
    char separator = 0;
    for (;;) {
        const std::streamoff record_start = task_stream.tellg();
        task_stream >> task.vehicle >> separator >> task.start_time >> separator >> task.end_time >>
            separator >> task.start_point >> separator >> task.end_point >> separator >> task.slack >>
            separator >> task.start_line >> separator >> task.end_line;
        if (!task_stream.fail()) {
            task.is_virtual = 0;
            list.push_back(task);
            ++outcome.tasks_read;
            if (task_stream.eof()) break;
            continue;
        }
        const std::size_t from = record_start < 0 ? text.size() : static_cast<std::size_t>(record_start);
        std::size_t next = from;
        while (next < text.size() && is_blank(text[next])) ++next;
        if (next < text.size()) {
            outcome.malformed = true;
            outcome.stop_line = line_of_content(text, from);
        }
        break;
    }
    return outcome;
}

void load_list(l_tarefas& list, const char* file_name) {
    struct stat info {};
    const bool is_directory = ::stat(file_name, &info) == 0 && S_ISDIR(info.st_mode);
    std::ifstream task_file(file_name);
    open_check(!is_directory && task_file.good(), "task_file", "load_list", 20);
    const ReadOutcome outcome = read_tasks(task_file, list);
    if (task_file.bad()) {
        std::cerr << "Aviso: erro de leitura em \"" << file_name << "\"; " << outcome.tasks_read
                  << " tarefas lidas.\n";
    } else if (outcome.malformed) {
        std::cerr << "Aviso: leitura de \"" << file_name << "\" interrompida na linha "
                  << outcome.stop_line << ": registro invalido; " << outcome.tasks_read
                  << " tarefas lidas.\n";
    }
}

}  // namespace escala
