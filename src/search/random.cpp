#include "search/random.hpp"

#include <cstdlib>
#include <ctime>

namespace escala {

void seed_random(unsigned seed) { std::srand(seed); }
unsigned clock_seed() { return static_cast<unsigned>(std::time(nullptr)); }
int draw_random() { return std::rand(); }

}  // namespace escala
