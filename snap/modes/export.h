// corvane-snap's export driver: frames of INPUT written by the writer OUTPUT's
// extension picks, pictures one file per frame, cuts and listings one file
// (or standard output) for the run.
#pragma once

#include "snap/cli/options.h"

// Runs an export job; the exit status (0, or 2 after one line on standard error).
int runExport(const SnapJob* job);
