// One progress line for every long job: frames done, the total where it is
// known, frames a second and the time left. It goes to standard error only
// when that is a terminal, never while the job streams to standard output on
// a terminal too (the lines would tangle), at most four times a second, and
// never for a job of one frame. A record left as constructed, never started,
// shows nothing: a driver that must stay quiet simply does not start it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

struct Progress {
    const char* noun = "frames";     // "pictures", "frames"
    int64_t total = -1;              // -1: unknown, then no total and no time left
    std::atomic<bool> on{false};     // started, and there is a terminal to show it on
    std::chrono::steady_clock::time_point start;
    std::atomic<int64_t> done{0};    // the most any step has reported
    std::atomic<int64_t> nextAt{0};  // nanoseconds after start before which no line goes out
    std::atomic<bool> shown{false};  // a line is on the terminal
    size_t width = 0;                // the longest line so far, blanked over by shorter ones
    std::mutex lock;                 // one line at a time
};

// Before any thread steps it.
void progressStart(Progress* p, const char* noun, int64_t total);
// Cheap and safe from any thread: most calls only read the clock.
void progressStep(Progress* p, int64_t done);
// The final line, then a newline, only if any line was shown.
void progressEnd(Progress* p);

// Nonzero while a progress line stands on the terminal without its newline.
int progressLineOpen();

// One progress line without "\r" or padding, for example
// "corvane-snap: 120 of 300 pictures, 40.0 a second, 0:04 left". Pure: the
// caller gives the seconds since the start. The length, as snprintf.
int formatProgressLine(char* line, size_t size, const char* noun, int64_t done, int64_t total, double seconds);
