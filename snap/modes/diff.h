// corvane-snap --diff: pictures of where two videos differ.
#pragma once

#include <cstdint>

#include "snap/cli/options.h"

// clamp(128 + gain x (a - b)) for one plane of samples `depth` bits deep, the
// difference scaled to the 8-bit range first (a shift of depth - 8, rounding
// to nearest, half away from zero). 8-bit samples are bytes, deeper ones 16-bit words.
void diffPlane(const uint8_t* a, const uint8_t* b, int64_t samples, int depth, int gain, uint8_t* out);

// Runs --diff for a parsed job; the exit status.
int runDiffCommand(const SnapJob* job);
