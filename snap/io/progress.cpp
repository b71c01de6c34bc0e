#include "snap/io/progress.h"

#include <cinttypes>
#include <cstdio>

#include "snap/io/messages.h"
#include "snap/io/output.h"

namespace {

// Between two lines: often enough to look alive, rarely enough to cost nothing.
const int64_t quarterSecond = 250000000;

int64_t nanosecondsSince(const Progress* p) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - p->start).count();
}

// "42 s", "3:07", "1:02:09".
void formatDuration(char* text, size_t size, int64_t seconds) {
    if (seconds < 60) snprintf(text, size, "%" PRId64 " s", seconds);
    else if (seconds < 3600) snprintf(text, size, "%" PRId64 ":%02" PRId64, seconds / 60, seconds % 60);
    else snprintf(text, size, "%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

// A line without its newline is on the terminal: a message that interrupts
// the job ends it first, and only then.
std::atomic<bool> lineOpen{false};

// Shows the line for `done`, over the one before; the caller holds the lock.
void showLine(Progress* p, int64_t done, bool last) {
    char line[160];
    int length = formatProgressLine(line, sizeof line, p->noun, done, p->total, nanosecondsSince(p) / 1e9);
    if (length < 0) return;
    if (static_cast<size_t>(length) >= sizeof line) length = sizeof line - 1;
    const size_t width = static_cast<size_t>(length);
    fprintf(stderr, "\r%s%*s%s", line, p->width > width ? static_cast<int>(p->width - width) : 0, "", last ? "\n" : "");
    fflush(stderr);
    if (width > p->width) p->width = width;
    p->shown = !last;
    lineOpen = !last;
}

} // namespace

int progressLineOpen() {
    return lineOpen;
}

int formatProgressLine(char* line, size_t size, const char* noun, int64_t done, int64_t total, double seconds) {
    char rate[48] = "", left[48] = "";
    if (done > 0 && seconds > 0) {
        const double perSecond = done / seconds;
        snprintf(rate, sizeof rate, ", %.1f a second", perSecond);
        if (total >= done) {
            char duration[32];
            formatDuration(duration, sizeof duration, static_cast<int64_t>((total - done) / perSecond + 0.5));
            snprintf(left, sizeof left, ", %s left", duration);
        }
    }
    if (total < 0) return snprintf(line, size, "corvane-snap: %" PRId64 " %s%s", done, noun, rate);
    return snprintf(line, size, "corvane-snap: %" PRId64 " of %" PRId64 " %s%s%s", done, total, noun, rate, left);
}

void progressStart(Progress* p, const char* noun, int64_t total) {
    p->noun = noun;
    p->total = total;
    p->start = std::chrono::steady_clock::now();
    p->done = 0;
    p->nextAt = quarterSecond;
    p->shown = false;
    p->width = 0;
    p->on = total != 0 && total != 1 && standardErrorIsTerminal() &&
            !(standardOutputStreams() > 0 && standardOutputIsTerminal());
}

void progressStep(Progress* p, int64_t done) {
    if (!p->on) return;
    int64_t seen = p->done.load(std::memory_order_relaxed);
    while (done > seen && !p->done.compare_exchange_weak(seen, done, std::memory_order_relaxed)) {
    }
    const int64_t now = nanosecondsSince(p);
    if (now < p->nextAt.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> hold(p->lock);
    // Ended meanwhile: its last line is out, nothing may follow it.
    if (!p->on || now < p->nextAt.load(std::memory_order_relaxed)) return;
    p->nextAt.store(now + quarterSecond, std::memory_order_relaxed);
    showLine(p, p->done.load(std::memory_order_relaxed), false);
}

void progressEnd(Progress* p) {
    if (!p->on) return;
    std::lock_guard<std::mutex> hold(p->lock);
    if (p->shown) showLine(p, p->done.load(std::memory_order_relaxed), true);
    p->on = false;
}
