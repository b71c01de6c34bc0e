// corvane-snap --bd-rate ANCHOR TEST: the BD-rate of every quality column
// the two rate tables share, one line each, and as JSON with --json.
#pragma once

#include "snap/cli/options.h"

// Runs --bd-rate for a parsed job; the exit status (0, or 2 after one line).
int runBdRate(const SnapJob* job);
