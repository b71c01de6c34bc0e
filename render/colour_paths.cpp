// Choosing a colour row by name or by what the CPU offers. The Windows program
// must run on any x86-64, so the vector rows are only ever reached through
// a check of the CPU's features.
#include <cstring>

#include "render/colour_rows.h"

const char* const colourPathNames[COLOUR_PATH_COUNT] = {"reference", "scalar", "avx2", "avx512"};

ColourRow colourRowNamed(const char* name) {
    if (!name) return nullptr;
    if (strcmp(name, "reference") == 0) return colourRowReference;
    if (strcmp(name, "scalar") == 0) return colourRowScalar;
#if defined(__x86_64__)
    // The CPU is read by a constructor that may not have run yet when this is
    // reached from another static initialiser; reading it twice is harmless.
    __builtin_cpu_init();
    // __builtin_cpu_supports also checks that the system saves the wide registers.
    if (strcmp(name, "avx2") == 0 && __builtin_cpu_supports("avx2")) return colourRowAvx2;
    if (strcmp(name, "avx512") == 0 && __builtin_cpu_supports("avx512f") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"))
        return colourRowAvx512;
#endif
    return nullptr;
}

ColourRowPair colourRowPairNamed(const char* name) {
#if defined(__x86_64__)
    const ColourRow row = colourRowNamed(name);
    if (row == colourRowAvx2) return colourRowPairAvx2;
    if (row == colourRowAvx512) return colourRowPairAvx512;
#else
    (void)name;
#endif
    return nullptr;
}

const char* fastestColourPath() {
    static const char* const fastest = [] { // chosen once, on first use
        for (int i = COLOUR_PATH_COUNT - 1; i > 0; --i)
            if (colourRowNamed(colourPathNames[i])) return colourPathNames[i];
        return colourPathNames[0];
    }();
    return fastest;
}
