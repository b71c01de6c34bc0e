#include "snap/report/worst_frames.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "snap/metric/metric_planes.h"
#include "snap/modes/compare.h"
#include "snap/modes/diff.h"
#include "snap/writer/picture.h"
#include "snap/writer/writer.h"

void startWorstFrames(WorstFrames* worst, int most, const Metric* metric, int holdBytes) {
    worst->most = most;
    worst->holdBytes = holdBytes;
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
        if (worst->holdBytes) {
            frame.bytes[0].assign(a, a + aBytes);
            frame.bytes[1].assign(b, b + bBytes);
        }
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

namespace {

// `sum / count` rounded, by a multiplication: a division per sample cost
// more than all the adding. The double's quotient is off by one at most, and
// that is put right.
inline uint64_t roundedMean(uint64_t sum, uint64_t count, double reciprocal) {
    const uint64_t n = sum + count / 2;
    uint64_t q = uint64_t(double(n) * reciprocal);
    while (q > 0 && q * count > n) --q;
    while ((q + 1) * count <= n) ++q;
    return q;
}

// One plane scaled down: each sample the rounded mean of its factor x factor
// box, the box held inside the plane (a scaled chroma plane rounded up may
// reach one sample past its edge). The box's rows are added down each
// column first, a loop the compiler vectorises, then across.
template <typename T, typename Sum>
void scalePlane(const MetricPlane* from, int factor, uint8_t* to, int64_t toStride, int32_t toWidth,
                int32_t toHeight, std::vector<Sum>* columns) {
    columns->resize(size_t(from->width));
    Sum* __restrict sums = columns->data();
    const int32_t width = from->width;
    for (int32_t y = 0; y < toHeight; ++y) {
        const int64_t top = std::min<int64_t>(int64_t{y} * factor, from->height - 1);
        const int64_t bottom = std::min<int64_t>(top + factor, from->height);
        std::fill(sums, sums + width, Sum(0));
        for (int64_t r = top; r < bottom; ++r) {
            const T* __restrict row = reinterpret_cast<const T*>(from->data + r * from->stride);
            for (int32_t i = 0; i < width; ++i) sums[i] += row[i];
        }
        T* target = reinterpret_cast<T*>(to + y * toStride);
        uint64_t lastCount = 0;
        double reciprocal = 0;
        for (int32_t x = 0; x < toWidth; ++x) {
            const int64_t left = std::min<int64_t>(int64_t{x} * factor, width - 1);
            const int64_t right = std::min<int64_t>(left + factor, width);
            uint64_t sum = 0;
            for (int64_t i = left; i < right; ++i) sum += uint64_t(sums[i]);
            const uint64_t count = uint64_t(right - left) * uint64_t(bottom - top);
            if (count != lastCount) reciprocal = 1.0 / double(lastCount = count);
            target[x] = T(roundedMean(sum, count, reciprocal));
        }
    }
}

} // namespace

int scaleFrame(const FrameGeometry* stored, const uint8_t* frame, int factor, FrameGeometry* scaled,
               std::vector<uint8_t>* out) {
    std::vector<uint8_t> scratch;
    MetricFrame planes;
    metricFrameOf(stored, frame, &scratch, &planes);
    *scaled = *stored;
    scaled->format = planarFormOf(stored->format);
    scaled->width = std::max(1, stored->width / factor);
    scaled->height = std::max(1, stored->height / factor);
    FramePlanes layout;
    if (!framePlanes(scaled, &layout) || layout.planeCount != planes.planes) return 0;
    out->assign(size_t(layout.frameBytes), 0);
    // 8-bit columns add up in 32 bits (the compiler's widest vector lanes);
    // 16-bit ones could pass that down a box of 65,538 rows.
    std::vector<uint32_t> narrow;
    std::vector<uint64_t> wide;
    const int32_t bytes = scaled->format->bytesPerSample;
    for (int p = 0; p < planes.planes; ++p) {
        const int32_t width = int32_t(layout.rowBytes[p] / bytes), height = int32_t(layout.rows[p]);
        uint8_t* to = out->data() + layout.offset[p];
        if (bytes == 1) scalePlane<uint8_t>(&planes.plane[p], factor, to, layout.rowBytes[p], width, height, &narrow);
        else scalePlane<uint16_t>(&planes.plane[p], factor, to, layout.rowBytes[p], width, height, &wide);
    }
    return 1;
}

namespace {

} // namespace

int buildWorstSide(const FrameGeometry* stored, const HeldFrame* held, int side, WorstSide* out,
                   std::vector<uint8_t>* png, std::string* error) {
    try {
        const int factor = scaleFactorFor(stored->width, WORST_PICTURE_WIDTH);
        if (held->bytes[side].empty() || !scaleFrame(stored, held->bytes[side].data(), factor, &out->scaled, &out->small)) {
            *error = "the frame cannot be scaled down";
            return 0;
        }
        WriterContext c = WriterContext();
        c.geometry = out->scaled;
        c.frameBytes = int64_t(out->small.size());
        WriterOutput picture;
        if (!pngWriter.frame(&c, held->index, out->small.data(), &picture, error)) return 0;
        png->assign(picture.bytes, picture.bytes + picture.size);
    } catch (const std::bad_alloc&) {
        *error = "out of memory";
        return 0;
    }
    return 1;
}

int buildWorstDifference(const WorstSide sides[2], int factor, int gain, WorstPictures* out, std::string* error) {
    const FrameGeometry* scaled = &sides[0].scaled;
    const size_t width = size_t(scaled->width), rowBytes = width * size_t(scaled->format->bytesPerSample);
    out->factor = factor;
    out->width = scaled->width;
    out->height = scaled->height;
    try {
        std::vector<uint8_t> grey(width * size_t(scaled->height));
        for (size_t r = 0; r < size_t(scaled->height); ++r)
            diffPlane(sides[0].small.data() + r * rowBytes, sides[1].small.data() + r * rowBytes, int64_t(width),
                      scaled->format->depth, gain, grey.data() + r * width);
        if (encodePng(&out->png[2], grey.data(), out->width, out->height, out->width, 1)) return 1;
    } catch (const std::bad_alloc&) {
    }
    *error = "the difference picture cannot be encoded";
    return 0;
}

int readHeldSide(WorstFrames* worst, Source* source, int side, int64_t skip, std::string* error) {
    try {
        for (HeldFrame& held : worst->held) {
            held.bytes[side].resize(size_t(source->frameBytes));
            if (!readSourceFrame(source, skip + held.index, held.bytes[side].data(), error)) return 0;
        }
    } catch (const std::bad_alloc&) {
        *error = "out of memory";
        return 0;
    }
    return 1;
}
