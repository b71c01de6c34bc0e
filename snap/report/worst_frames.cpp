#include "snap/report/worst_frames.h"

#include <cmath>
#include <new>

#include "render/colour.h"

#include "snap/metric/metric_planes.h"
#include "snap/modes/compare.h"
#include "snap/modes/diff.h"
#include "snap/writer/picture.h"
#include "snap/writer/picture_frame.h"

void startWorstFrames(WorstFrames* worst, int most, const Metric* metric) {
    worst->most = most;
    worst->metric = metric;
    worst->held.clear();
}

namespace {

// Nonzero when a ranks worse than b (NaN, no figure, never does).
bool worseThan(const Metric* metric, double a, double b) {
    return metric->figures[metric->rankFigure].lowerIsWorse ? a < b : a > b;
}

} // namespace

int considerWorstFrame(WorstFrames* worst, int64_t index, const MetricFigures* figures, const uint8_t* a,
                       size_t aBytes, const uint8_t* b, size_t bBytes) {
    if (worst->most <= 0) return 1;
    const double value = worst->metric->figureValue(figures, worst->metric->rankFigure);
    if (std::isnan(value)) return 1;
    std::vector<HeldFrame>& held = worst->held;
    if (int(held.size()) == worst->most && !worseThan(worst->metric, value, held.back().value)) return 1;
    try {
        // The slot of the frame let go (or a new one) is reused, with its buffers.
        HeldFrame frame;
        if (int(held.size()) == worst->most) {
            frame = std::move(held.back());
            held.pop_back();
        }
        frame.index = index;
        frame.value = value;
        frame.bytes[0].assign(a, a + aBytes);
        frame.bytes[1].assign(b, b + bBytes);
        size_t at = held.size();
        while (at > 0 && worseThan(worst->metric, value, held[at - 1].value)) --at;
        held.insert(held.begin() + ptrdiff_t(at), std::move(frame));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int scaleFactorFor(int32_t width, int32_t most) {
    return width <= most ? 1 : int((int64_t{width} + most - 1) / most);
}

void boxScale(const uint8_t* pixels, int32_t width, int32_t height, int64_t stride, int channels, int factor,
              std::vector<uint8_t>* out, int32_t* outWidth, int32_t* outHeight) {
    const int32_t w = width / factor > 0 ? width / factor : 1, h = height / factor > 0 ? height / factor : 1;
    const int32_t boxWidth = width < factor ? width : factor, boxHeight = height < factor ? height : factor;
    const uint32_t count = uint32_t(boxWidth) * uint32_t(boxHeight);
    out->resize(size_t(w) * size_t(h) * size_t(channels));
    std::vector<uint32_t> sums(size_t(w) * size_t(channels));
    for (int32_t y = 0; y < h; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int32_t r = 0; r < boxHeight; ++r) {
            const uint8_t* row = pixels + (int64_t{y} * factor + r) * stride;
            for (int32_t x = 0; x < w; ++x)
                for (int32_t k = 0; k < boxWidth; ++k)
                    for (int c = 0; c < channels; ++c)
                        sums[size_t(x) * channels + c] += row[(int64_t{x} * factor + k) * channels + c];
        }
        uint8_t* target = out->data() + size_t(y) * size_t(w) * size_t(channels);
        for (size_t i = 0; i < sums.size(); ++i) target[i] = uint8_t((sums[i] + count / 2) / count);
    }
    *outWidth = w;
    *outHeight = h;
}

namespace {

// The colour view as buildPicture made it, scaled and encoded as PNG.
const std::vector<uint8_t>* encodeScaled(const WriterContext*, int32_t width, int32_t height, WriterOutput* out) {
    int32_t w, h;
    boxScale(out->pixels.data(), width, height, pictureStride(width, 24), 3, scaleFactorFor(width, WORST_PICTURE_WIDTH),
             &out->scratch, &w, &h);
    return encodePng(&out->own, out->scratch.data(), w, h, int64_t{w} * 3, 3) ? &out->own : nullptr;
}

// 128 + gain x (a - b) of Y, as --diff draws it, into a grey picture.
void differenceOfY(const FrameGeometry stored[2], const HeldFrame* held, int gain, std::vector<uint8_t>* grey) {
    std::vector<uint8_t> scratch[2];
    MetricFrame frames[2];
    for (int k = 0; k < 2; ++k) metricFrameOf(&stored[k], held->bytes[k].data(), &scratch[k], &frames[k]);
    const MetricPlane *a = &frames[0].plane[0], *b = &frames[1].plane[0];
    grey->resize(size_t(a->width) * size_t(a->height));
    for (int32_t r = 0; r < a->height; ++r)
        diffPlane(a->data + r * a->stride, b->data + r * b->stride, a->width, frames[0].depth, gain,
                  grey->data() + size_t(r) * size_t(a->width));
}

} // namespace

int buildWorstPictures(const FrameGeometry stored[2], const HeldFrame* held, int gain, WorstPictures* out,
                       std::string* error) {
    try {
        WriterOutput picture;
        for (int k = 0; k < 2; ++k) {
            WriterContext c = WriterContext();
            c.geometry = stored[k];
            c.frameBytes = int64_t(held->bytes[k].size());
            if (!encodePictureFrame(&c, held->bytes[k].data(), &picture, error, 0, "PNG", encodeScaled)) return 0;
            out->png[k].assign(picture.bytes, picture.bytes + picture.size);
        }
        std::vector<uint8_t> grey, scaled;
        differenceOfY(stored, held, gain, &grey);
        const int32_t width = stored[0].width, height = stored[0].height;
        out->factor = scaleFactorFor(width, WORST_PICTURE_WIDTH);
        boxScale(grey.data(), width, height, width, 1, out->factor, &scaled, &out->width, &out->height);
        if (!encodePng(&out->png[2], scaled.data(), out->width, out->height, out->width, 1)) {
            *error = "the difference picture cannot be encoded";
            return 0;
        }
    } catch (const std::bad_alloc&) {
        *error = "out of memory";
        return 0;
    }
    return 1;
}
