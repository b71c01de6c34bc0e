// corvane-snap --info: what a raw file holds at a geometry, as key: value lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "snap/format/name_guess.h"
#include "snap/cli/options.h"

// The time of `frames` frames at `frameInterval` ms each, in the viewer's
// position-text form (" h00 : m00 : s01 : ms200 : f30"); past 2^32 ms, where
// the viewer's 32-bit clock wraps, the hours simply go on.
void formatDuration(char* text, size_t size, int32_t frameInterval, int64_t frames);

// Runs --info for a parsed job; the exit status.
int runInfo(const SnapJob* job);
