// The weights with which a schedule's measures become one cost.
#pragma once

#include <cstdint>

namespace escala {

struct Pesos {
    std::uint32_t p_duplas = 0;          // split-shift term of the roster objective
    std::uint32_t p_duplas2 = 2000;      // printed only
    std::uint32_t h_extra = 60;          // overtime
    std::uint32_t i_jornada = 5000;      // rest shortfall
    std::uint32_t f_acumulada = 0;       // printed only
    std::uint32_t d_jornada = 5000;      // time beyond 550 minutes
    std::uint32_t t_ocioso = 40;         // idle time
    std::uint32_t t_sobreposicao = 5000; // overlap
    std::uint32_t tp_proibida = 10000;   // point changes
    std::uint32_t tp_permitida = 300;    // point changes at the longest gap
    std::uint32_t t_veiculo = 9000;      // vehicle changes
    friend bool operator==(const Pesos&, const Pesos&) = default;
};

}  // namespace escala
