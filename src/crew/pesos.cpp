#include "crew/pesos.hpp"

namespace escala {

Pesos pesos;

}  // namespace escala
