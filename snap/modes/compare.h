// corvane-snap --compare: the metrics of two videos of one picture size, frame
// by frame and in summary, with their per-frame lines, JSON, plot and gates.
#pragma once

#include <cstdint>
#include <vector>

#include "snap/format/frame_format.h"
#include "snap/source/source.h"

struct SnapJob;
struct MetricFrame;

// --compare as the command line gave it: the exit status, 0, 1 (a gate
// failed) or 2 (an error, one line on standard error).
int runCompareCommand(const SnapJob* job);

// Nonzero when the flags and both names agree on the geometry; otherwise one
// line naming two that differ (for --diff as for --compare).
int compareGeometriesAgree(const SnapJob* job);

// Opens INPUT and OTHER as sources of one geometry: from the flags, else each
// file's own (a header or its name), a file that gives none taking the
// other's. Nonzero when both are open and hold one picture: the same size,
// sampling, depth and chroma layout, stored alike or not (nv12 against
// yuv420p, p010le against yuv420p10le); otherwise one line has been said and
// nothing is left open.
int openSourcePair(const SnapJob* job, Source* input, Source* other);

// The frame as planes the metrics read: planar at its own depth (semi-planar
// frames split into `scratch`, p010le moved down to 10 bits).
void metricFrameOf(const FrameGeometry* geometry, const uint8_t* frame, std::vector<uint8_t>* scratch,
                   MetricFrame* metric);
