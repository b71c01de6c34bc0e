// Which frames a run takes and what each is written as: one place for every
// mode that writes frames (export, diff).
#pragma once

#include <cstdint>

#include "snap/cli/options.h"
#include "snap/io/files.h"

// The frames of `choice` within `count` whole frames (-1: not known before
// the end is read; then "all" runs to INT64_MAX and stops at the end).
// `holds` names who holds the frames in messages: "'a.yuv' holds", "both
// files hold". Nonzero with first..last inclusive; otherwise 0 after saying
// why no frame can be taken. A range running past the end is cut to it,
// which the caller sees as choice->last > *last.
int chooseFrames(const FrameChoice* choice, int64_t count, const char* holds, int64_t* first, int64_t* last);

// Nonzero when every name frames first..last are written under (each
// frame's is outputNameFor's, snap/writer/writer.h) may be written: none is a
// directory, INPUT or OTHER. Otherwise 0 after saying why. `last` must be
// known: with a number field every name is looked at.
int checkFrameOutputs(const OutputName* name, const char* text, const OutputGuard* guard, int64_t first,
                      int64_t last);
