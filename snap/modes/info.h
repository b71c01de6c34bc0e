// corvane-snap --info: what a raw file holds at a geometry, as key: value lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "snap/format/name_guess.h"
#include "snap/cli/options.h"

// The time of `frames` frames at rateNumerator/rateDenominator frames a
// second, truncated to the millisecond, in the viewer's position-text form
// (" h00 : m00 : s01 : ms200 : f30"); the hours go on past two digits. A rate
// that is not above 0 gives no time.
void formatDuration(char* text, size_t size, int64_t rateNumerator, int64_t rateDenominator, int64_t frames);

// Runs --info for a parsed job; the exit status.
int runInfo(const SnapJob* job);
