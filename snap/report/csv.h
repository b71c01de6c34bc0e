// --compare's per-frame table as CSV (RFC 4180: CRLF line ends): the column
// `frame` (from 0), then one column per figure name. Text out; writing it is
// the caller's.
#pragma once

#include <string>

#include "snap/report/figures.h"

// Every value in full (17 significant digits, read back to the same double);
// an infinite PSNR (identical frames) and a figure a frame lacks are empty cells.
std::string figureCsvText(const FigureTable* table);
