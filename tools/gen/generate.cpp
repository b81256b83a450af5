#include "generate.hpp"

#include <algorithm>
#include <random>
#include <vector>

namespace escala::tools::gen {

namespace {

constexpr int first_minute = 300;   // earliest departure of the day
constexpr int last_minute = 1500;   // latest arrival of the day
constexpr int min_piece_target = 165;
constexpr int max_piece_target = 255;
constexpr int hub = 9000;           // the central station; outer terminals follow it

// A draw from [lo, hi] straight from the engine, so that a seed gives the
// same day with any standard library.
int draw(std::mt19937& rng, int lo, int hi) {
    return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
}

bool in_peak(int minute) { return (minute >= 420 && minute < 540) || (minute >= 960 && minute < 1080); }

struct Line {
    int code;
    int ends[2];   // the two terminals
    int run_time;  // off-peak trip time, minutes
};

std::vector<Line> make_network(int vehicles, std::mt19937& rng) {
    const int line_count = std::clamp(2 + vehicles / 10, 2, 10);
    const int outer_count = std::clamp(line_count - 1, 2, 6);
    std::vector<Line> lines;
    for (int i = 0; i < line_count; ++i) {
        const int outer = hub + 1 + i % outer_count;
        // Every third line runs across town between two outer terminals.
        const int other = i % 3 == 2 ? hub + 1 + (i + 1) % outer_count : hub;
        lines.push_back({11 + i, {other, outer}, draw(rng, 20, 45)});
    }
    return lines;
}

int trip_time(const Line& line, int departure, std::mt19937& rng) {
    int minutes = line.run_time;
    if (in_peak(departure)) minutes += line.run_time / 4;
    else if (departure < 360 || departure >= 1260) minutes -= line.run_time / 7;
    return std::clamp(minutes + draw(rng, -2, 2), 15, 60);
}

int layover(int arrival, std::mt19937& rng) { return in_peak(arrival) ? draw(rng, 3, 8) : draw(rng, 5, 15); }

// One bus running a block of trips and cutting it into pieces.
class Block {
public:
    Block(const std::vector<Line>& lines, std::size_t line, int vehicle, int start, std::mt19937& rng)
        : lines_(lines), line_(line), vehicle_(vehicle), clock_(start), rng_(rng) {
        at_ = lines_[line_].ends[draw(rng_, 0, 1)];
    }

    // Pieces until one would start after `end_target` or could run past the
    // end of the day; always at least one.
    void run(int end_target, l_tarefas& out) {
        do out.push_back(piece());
        while (clock_ <= end_target && clock_ + max_piece_target <= last_minute);
    }

private:
    int destination() const {
        const Line& l = lines_[line_];
        return l.ends[0] == at_ ? l.ends[1] : l.ends[0];
    }

    // At the hub a bus now and then goes on with another line that serves it.
    void maybe_change_line() {
        if (at_ != hub || draw(rng_, 1, 100) > 15) return;
        const std::size_t other = static_cast<std::size_t>(draw(rng_, 0, static_cast<int>(lines_.size()) - 1));
        if (lines_[other].ends[0] == hub) line_ = other;
    }

    // Trips are added while the piece stays within its target length; every
    // trip is shorter than 60 minutes and every layover at most 15, so the
    // piece ends up longer than target - 75 >= 90 minutes.
    Task piece() {
        const int target = draw(rng_, min_piece_target, max_piece_target);
        Task t(vehicle_, clock_, clock_, at_, at_, 0, lines_[line_].code, lines_[line_].code);
        int duration = trip_time(lines_[line_], clock_, rng_);
        for (;;) {
            clock_ += duration;
            at_ = destination();
            t.end_time = clock_;
            t.end_point = at_;
            t.end_line = lines_[line_].code;
            const int wait = layover(clock_, rng_);
            clock_ += wait;
            maybe_change_line();
            duration = trip_time(lines_[line_], clock_, rng_);
            if (clock_ + duration - t.start_time > target) break;
            t.slack += wait;
        }
        return t;
    }

    const std::vector<Line>& lines_;
    std::size_t line_;
    int vehicle_;
    int clock_;  // when the bus can next depart
    int at_ = hub;
    std::mt19937& rng_;
};

}  // namespace

l_tarefas generate_tasks(int vehicles, unsigned seed) {
    std::mt19937 rng(seed);
    const std::vector<Line> lines = make_network(vehicles, rng);
    l_tarefas tasks;
    for (int v = 1; v <= vehicles; ++v) {
        const std::size_t line = static_cast<std::size_t>(v - 1) % lines.size();
        const int kind = draw(rng, 1, 100);
        const bool all_day = kind <= 45;
        const bool morning = kind > 45 && kind <= 65;
        const bool evening = kind > 65 && kind <= 85;
        if (all_day) {
            Block(lines, line, v, draw(rng, first_minute, 420), rng).run(draw(rng, 1000, 1245), tasks);
            continue;
        }
        // The rest work the peaks: the morning one, the evening one or both.
        if (!evening) {
            const int start = draw(rng, 330, 420);
            Block(lines, line, v, start, rng).run(start + draw(rng, 0, 150), tasks);
        }
        if (!morning) {
            const int start = draw(rng, 900, 990);
            Block(lines, line, v, start, rng).run(start + draw(rng, 0, 150), tasks);
        }
    }
    return tasks;
}

void write_tasks(std::ostream& out, const l_tarefas& tasks) {
    for (const Task& t : tasks)
        out << t.vehicle << ';' << t.start_time << ';' << t.end_time << ';' << t.start_point << ';' << t.end_point
            << ';' << t.slack << ';' << t.start_line << ';' << t.end_line << '\n';
}

}  // namespace escala::tools::gen
