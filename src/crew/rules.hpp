// The rules of the crew cost: its weights and the limits of a working day.
#pragma once

#include <cstdint>

#include "crew/pesos.hpp"

namespace escala {

// The limits of a crew member's day, in minutes (the day itself is 1440).
struct Limits {
    std::int32_t workday = 430;        // work below it is idle, beyond it overtime
    std::int32_t split_workday = 400;  // the same for a split day
    std::int32_t excess_after = 550;   // work beyond it is excess
    std::int32_t min_rest = 660;       // rest below it is a shortfall
    std::int32_t split_gap = 120;      // a longer gap makes a split day
    std::int32_t break_gap = 15;       // a gap this long is a break
    std::int32_t virtual_idle = 30;    // idle minutes that make the closing virtual task unnecessary
                                       // on a day with a break, and its longest length
    std::int32_t virtual_short = 15;   // its length on a day without a break once the idle minutes reach it
    friend bool operator==(const Limits&, const Limits&) = default;
};

inline constexpr std::int32_t day_minutes = 1440;

// Everything the crew cost depends on besides the schedule.
struct Rules {
    Pesos weights;
    Limits limits;
    friend bool operator==(const Rules&, const Rules&) = default;
};

// escala's own rules: the defaults of every field.
inline const Rules& default_rules() {
    static const Rules rules;
    return rules;
}

}  // namespace escala
