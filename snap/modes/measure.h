// corvane-snap --compare measuring SSIM, PSNR or both, from one pass over the
// two files, for every format and container the sources read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"
#include "snap/source/source.h"

struct SnapJob;

// Opens INPUT and OTHER as sources of one geometry: from the flags, else each
// file's own (a header or its name), a file that gives none taking the
// other's. Nonzero when both are open and agree in size, format and layout;
// otherwise one line has been said and nothing is left open.
int openSourcePair(const SnapJob* job, Source* input, Source* other);

// The frame as planes the metrics read: planar at its own depth (semi-planar
// frames split into `scratch`, p010le moved down to 10 bits).
struct MetricFrame;
void metricFrameOf(const FrameGeometry* geometry, const uint8_t* frame, std::vector<uint8_t>* scratch,
                   MetricFrame* metric);

// --compare with any measure: the exit status, 0, 1 (a gate failed) or 2.
int runMeasureCommand(const SnapJob* job);
