// The one place where the program draws random numbers: the C library's
// generator, so that a seed gives the same sequence as any other program
// that uses it in the same order.
#pragma once

namespace escala {

void seed_random(unsigned seed);
unsigned clock_seed();  // the current calendar time in seconds
int draw_random();      // the next std::rand()

}  // namespace escala
