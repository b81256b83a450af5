// What the fuzz targets share: an invariant that must hold, or the run aborts.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}
