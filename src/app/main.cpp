#include "app/driver.hpp"

int main() {
    escala::run_escala();
    return 0;
}
