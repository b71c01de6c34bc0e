#include "snap/modes/pairing.h"

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#include "snap/metric/metric_planes.h"
#include "snap/modes/compare.h"

void startPairing(FramePairing* p, Source* input, Source* other, int64_t offset) {
    p->sources[0] = input;
    p->sources[1] = other;
    p->skip[0] = offset < 0 ? -offset : 0;
    p->skip[1] = offset > 0 ? offset : 0;
    p->held[0].clear();
    p->held[1].clear();
}

int readPairFrame(FramePairing* p, int which, int64_t pair, uint8_t* frame, std::string* error) {
    const int64_t index = p->skip[which] + pair;
    const std::vector<std::vector<uint8_t>>& held = p->held[which];
    if (index < int64_t(held.size())) {
        memcpy(frame, held[size_t(index)].data(), held[size_t(index)].size());
        return 1;
    }
    return readSourceFrameOrEnd(p->sources[which], index, frame, error);
}

int64_t framesAfterOffset(const FramePairing* p, int which) {
    const int64_t count = p->sources[which]->frameCount;
    if (count < 0) return -1;
    return count > p->skip[which] ? count - p->skip[which] : 0;
}

namespace {

// The squared differences of every sample of two frames of one picture.
double squaredError(const MetricFrame* a, const MetricFrame* b, int64_t* samples) {
    double sum = 0;
    for (int p = 0; p < a->planes; ++p) {
        const MetricPlane* x = &a->plane[p];
        const MetricPlane* y = &b->plane[p];
        for (int32_t r = 0; r < x->height; ++r) {
            const uint8_t* u = x->data + r * x->stride;
            const uint8_t* v = y->data + r * y->stride;
            int64_t row = 0;
            if (a->depth <= 8) {
                for (int32_t i = 0; i < x->width; ++i) row += (int(u[i]) - v[i]) * (int(u[i]) - v[i]);
            } else {
                for (int32_t i = 0; i < x->width; ++i) {
                    uint16_t s, t;
                    memcpy(&s, u + 2 * i, 2);
                    memcpy(&t, v + 2 * i, 2);
                    row += (int64_t(s) - t) * (int64_t(s) - t);
                }
            }
            sum += double(row);
            *samples += x->width;
        }
    }
    return sum;
}

// Each input's first frames, up to `count`, into its held frames.
int holdFirstFrames(FramePairing* p, int64_t count, std::string* error) {
    for (int k = 0; k < 2; ++k) {
        Source* source = p->sources[k];
        for (int64_t i = int64_t(p->held[k].size()); i < count; ++i) {
            std::vector<uint8_t> frame(size_t(source->frameBytes));
            const int got = readSourceFrameOrEnd(source, i, frame.data(), error);
            if (got < 0) return 0;
            if (got == 0) break;
            p->held[k].push_back(std::move(frame));
        }
    }
    return 1;
}

// The mean squared error per sample with OTHER shifted by `shift`, over the
// first frames both hold at that shift; NaN when they hold none.
double shiftError(const FramePairing* p, int shift) {
    const size_t a = shift < 0 ? size_t(-shift) : 0, b = shift > 0 ? size_t(shift) : 0;
    const std::vector<std::vector<uint8_t>>&x = p->held[0], &y = p->held[1];
    double sum = 0;
    int64_t samples = 0;
    std::vector<uint8_t> scratch[2];
    for (size_t i = 0; i < OFFSET_SEARCH_FRAMES && a + i < x.size() && b + i < y.size(); ++i) {
        MetricFrame f, g;
        metricFrameOf(&p->sources[0]->geometry, x[a + i].data(), &scratch[0], &f);
        metricFrameOf(&p->sources[1]->geometry, y[b + i].data(), &scratch[1], &g);
        sum += squaredError(&f, &g, &samples);
    }
    return samples ? sum / double(samples) : NAN;
}

void noteShift(int shift, double error, double unshifted, std::string* note) {
    char text[256];
    if (shift == 0)
        snprintf(text, sizeof text, "--offset auto: 0, the frames line up as they stand (mean squared error %.4f)",
                 error);
    else if (shift == 1 || shift == -1)
        snprintf(text, sizeof text, "--offset auto: %d, %s's first frame left out (mean squared error %.4f, %.4f without)",
                 shift, shift > 0 ? "OTHER" : "INPUT", error, unshifted);
    else
        snprintf(text, sizeof text,
                 "--offset auto: %d, %s's first %d frames left out (mean squared error %.4f, %.4f without)", shift,
                 shift > 0 ? "OTHER" : "INPUT", shift > 0 ? shift : -shift, error, unshifted);
    *note = text;
}

} // namespace

int searchOffset(FramePairing* p, int reach, std::string* note, std::string* error) {
    if (!holdFirstFrames(p, OFFSET_SEARCH_FRAMES + reach, error)) return 0;
    const int shifts = 2 * reach + 1;
    std::vector<double> errors(static_cast<size_t>(shifts));
    std::atomic<int> next{0};
    auto work = [&]() {
        for (int s; (s = next.fetch_add(1)) < shifts;) errors[size_t(s)] = shiftError(p, s - reach);
    };
    std::vector<std::thread> workers;
    const unsigned cores = std::thread::hardware_concurrency();
    for (unsigned t = 0; t < (cores ? cores : 1) && int(t) < shifts; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work(); // with no thread to be had, every shift is measured here
    for (std::thread& worker : workers) worker.join();
    // The lowest error; of equal ones the smallest shift, so that frames that
    // never change (a still picture) are left as they stand.
    int best = 0;
    for (int s = -reach; s <= reach; ++s) {
        const double e = errors[size_t(s + reach)], b = errors[size_t(best + reach)];
        if (!std::isnan(e) && (std::isnan(b) || e < b || (e == b && std::abs(s) < std::abs(best)))) best = s;
    }
    p->skip[0] = best < 0 ? -best : 0;
    p->skip[1] = best > 0 ? best : 0;
    noteShift(best, errors[size_t(best + reach)], errors[size_t(reach)], note);
    return 1;
}
