#include "tests/snap_metric_clips.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/test_files.h"

namespace {

struct Layout {
    const char* name;
    int planes, depth, shiftX, shiftY;
};

const Layout layouts[] = {
    {"gray", 1, 8, 0, 0},        {"yuv420p", 3, 8, 1, 1},     {"yuv422p", 3, 8, 1, 0},
    {"yuv444p", 3, 8, 0, 0},     {"gray10le", 1, 10, 0, 0},   {"yuv420p10le", 3, 10, 1, 1},
    {"yuv422p10le", 3, 10, 1, 0}, {"yuv444p10le", 3, 10, 0, 0}, {"yuv420p12le", 3, 12, 1, 1},
    {"gray16le", 1, 16, 0, 0},
};

uint32_t nextRandom(uint32_t* state) {
    *state ^= *state << 13;
    *state ^= *state >> 17;
    *state ^= *state << 5;
    return *state;
}

// Gradients, a checker of 8-sample squares and noise: some windows flat, some
// busy. The copy gets noise that grows frame by frame.
void fillPlane(ClipPair* pair, int plane, int frame, uint32_t* state) {
    const int peak = (1 << pair->depth) - 1;
    const int32_t w = pair->planeWidth[plane], h = pair->planeHeight[plane];
    uint8_t* a = pair->a.data() + size_t(frame) * pair->frameBytes;
    uint8_t* b = pair->b.data() + size_t(frame) * pair->frameBytes;
    for (int p = 0; p < plane; ++p) a += pair->planeBytes[p], b += pair->planeBytes[p];
    const int amplitude = (2 + 3 * frame) * (peak + 1) / 256;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int checker = ((x / 8 + y / 8 + plane) % 2) * (peak / 4);
            int value = (x * 3 + y * 2 + frame * 5) * (peak + 1) / 512 % (peak / 2) + checker +
                        int(nextRandom(state) % uint32_t(peak / 16 + 1));
            int other = value + int(nextRandom(state) % uint32_t(2 * amplitude + 1)) - amplitude;
            value = value < 0 ? 0 : value > peak ? peak : value;
            other = other < 0 ? 0 : other > peak ? peak : other;
            const size_t at = size_t(y) * w + x;
            if (pair->depth == 8) {
                a[at] = uint8_t(value);
                b[at] = uint8_t(other);
            } else {
                a[2 * at] = uint8_t(value), a[2 * at + 1] = uint8_t(value >> 8);
                b[2 * at] = uint8_t(other), b[2 * at + 1] = uint8_t(other >> 8);
            }
        }
}

} // namespace

int makeClipPair(const ClipRecipe* recipe, ClipPair* pair) {
    const Layout* layout = nullptr;
    for (const Layout& l : layouts)
        if (strcmp(l.name, recipe->pixelFormat) == 0) layout = &l;
    if (!layout) return 0;
    pair->planes = layout->planes;
    pair->depth = layout->depth;
    pair->shiftX = layout->shiftX;
    pair->shiftY = layout->shiftY;
    pair->frameBytes = 0;
    const int bytes = layout->depth > 8 ? 2 : 1;
    for (int p = 0; p < 3; ++p) {
        const bool chroma = p > 0;
        pair->planeWidth[p] = chroma ? -((-recipe->width) >> layout->shiftX) : recipe->width;
        pair->planeHeight[p] = chroma ? -((-recipe->height) >> layout->shiftY) : recipe->height;
        pair->planeBytes[p] = p < layout->planes ? size_t(pair->planeWidth[p]) * pair->planeHeight[p] * bytes : 0;
        pair->frameBytes += pair->planeBytes[p];
    }
    pair->a.assign(pair->frameBytes * size_t(recipe->frames), 0);
    pair->b.assign(pair->frameBytes * size_t(recipe->frames), 0);
    uint32_t state = recipe->seed ? recipe->seed : 1;
    for (int f = 0; f < recipe->frames; ++f)
        for (int p = 0; p < layout->planes; ++p) fillPlane(pair, p, f, &state);
    return 1;
}

MetricFrame clipFrame(const ClipPair* pair, bool second, int index) {
    MetricFrame frame;
    memset(&frame, 0, sizeof frame);
    frame.planes = pair->planes;
    frame.depth = pair->depth;
    const uint8_t* at = (second ? pair->b : pair->a).data() + size_t(index) * pair->frameBytes;
    for (int p = 0; p < pair->planes; ++p) {
        frame.plane[p] = {at, ptrdiff_t(pair->planeWidth[p]) * (pair->depth > 8 ? 2 : 1),
                          pair->planeWidth[p], pair->planeHeight[p]};
        at += pair->planeBytes[p];
    }
    return frame;
}

int ffmpegRuns() {
#ifdef _WIN32
    return 0;
#else
    static const int runs = system("ffmpeg -version >/dev/null 2>&1") == 0;
    return runs;
#endif
}

int ffmpegListing(const ClipRecipe* recipe, const ClipPair* pair, const char* filter, const char* options,
                  std::vector<std::string>* lines, std::string* summary) {
#ifdef _WIN32
    (void)recipe, (void)pair, (void)filter, (void)options, (void)lines, (void)summary;
    return 0;
#else
    if (!ffmpegRuns()) return 0;
    const std::string a = writeBytes("oracle_a.yuv", pair->a);
    const std::string b = writeBytes("oracle_b.yuv", pair->b);
    const std::string stats = scratchPath("oracle_stats.txt");
    char input[128];
    snprintf(input, sizeof input, "-f rawvideo -pix_fmt %s -s %dx%d", recipe->pixelFormat, recipe->width,
             recipe->height);
    const std::string command = std::string("ffmpeg -nostdin -hide_banner -nostats ") + options + " " +
                                input + " -i " + a + " " + input + " -i " + b + " -lavfi " + filter +
                                "=stats_file=" + stats + " -f null - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return 0;
    char line[1024];
    const std::string prefix = filter[0] == 's' ? "SSIM " : "PSNR ";
    summary->clear();
    while (fgets(line, sizeof line, pipe)) {
        const char* found = strstr(line, ("] " + prefix).c_str());
        if (found) *summary = found + 2;
    }
    if (pclose(pipe) != 0) return 0;
    FILE* file = fopen(stats.c_str(), "r");
    if (!file) return 0;
    lines->clear();
    while (fgets(line, sizeof line, file)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        lines->push_back(text + "\n");
    }
    fclose(file);
    return 1;
#endif
}
