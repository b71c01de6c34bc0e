// corvane-snap: writes one frame of a raw video as a BMP picture, or makes a
// sample clip. Split from main() so that the tests can run it in-process.
#pragma once

// Returns the process exit status: 0 on success, 2 on any error (after one
// line on standard error, with no output file left behind).
int snapMain(int argc, char** argv);
