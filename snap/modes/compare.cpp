// corvane-snap --compare: per-frame and overall PSNR of two raw videos of the
// same geometry, with the per-frame lines and summary in the form the common
// video tools print, so that scripts written for them keep working.
#include "snap/modes/compare.h"

#include "snap/modes/measure.h"
#include "snap/cli/options.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <system_error>
#include <string>
#include <thread>

#include "snap/format/name_guess.h"
#include "snap/format/frame_format.h"
#include "snap/source/source.h"
#include "snap/source/y4m_header.h"
#include "video/video_file.h"
#include "snap/cli/options.h"
#include "snap/io/files.h"
#include "snap/io/queue.h"
#include "snap/metric/psnr.h"
#include "snap/io/messages.h"

namespace {

// The frame layout exactly as openVideo computes it, so that frame k here is
// the frame the viewer shows as k: truncated chroma sizes, and no frame
// larger than the viewer can hold.
struct Layout {
    int64_t planeBytes[3]; // Y, U, V
    int64_t frameBytes;
};

bool frameLayout(int32_t width, int32_t height, const ChromaFormat* format, Layout* layout) {
    const FrameGeometry geometry = {findFrameFormat(std::to_string(format->code).c_str()), width, height,
                                    CHROMA_ROUNDED_DOWN};
    const int64_t frameBytes = ::frameBytes(&geometry);
    if (frameBytes < 0) return false;
    const int64_t luma = int64_t{width} * height;
    layout->planeBytes[0] = luma;
    layout->planeBytes[1] = layout->planeBytes[2] = (frameBytes - luma) / 2;
    layout->frameBytes = frameBytes;
    return true;
}

double psnr(double mse) {
    return 10.0 * log10(255.0 * 255.0 / mse);
}

// The PSNR of `mse` in `format`, or "inf" for identical samples: written
// here rather than left to printf, so that every C runtime prints the same word.
void formatPsnr(char* text, size_t size, double mse, const char* format) {
    if (mse <= 0) snprintf(text, size, "inf");
    else snprintf(text, size, format, psnr(mse));
}

// What the frames so far add up to.
struct Totals {
    uint64_t squares[3];   // over all frames, per plane
    double worstMse;       // largest average MSE of a frame
    double bestMse;        // smallest
    int64_t frames;
    int belowLimit;        // some frame's average PSNR fell below the limit
};

// The line of one frame, n counted from 1. Empty planes (chroma of a picture
// narrower than the subsampling) count as identical.
void frameLine(char* line, size_t size, int64_t n, const Layout* layout,
               const uint64_t squares[3], double* averageMse) {
    double mse[3];
    uint64_t allSquares = 0;
    for (int p = 0; p < 3; ++p) {
        mse[p] = layout->planeBytes[p] > 0 ? double(squares[p]) / double(layout->planeBytes[p]) : 0.0;
        allSquares += squares[p];
    }
    *averageMse = double(allSquares) / double(layout->frameBytes);
    char psnrText[4][32];
    formatPsnr(psnrText[0], sizeof psnrText[0], *averageMse, "%.2f");
    for (int p = 0; p < 3; ++p) formatPsnr(psnrText[p + 1], sizeof psnrText[p + 1], mse[p], "%.2f");
    snprintf(line, size,
             "n:%" PRId64 " mse_avg:%.2f mse_y:%.2f mse_u:%.2f mse_v:%.2f psnr_avg:%s psnr_y:%s "
             "psnr_u:%s psnr_v:%s\n",
             n, *averageMse, mse[0], mse[1], mse[2], psnrText[0], psnrText[1], psnrText[2],
             psnrText[3]);
}

void summaryLine(char* line, size_t size, const Layout* layout, const Totals* totals) {
    char text[6][32];
    const double frames = double(totals->frames);
    uint64_t allSquares = 0;
    for (int p = 0; p < 3; ++p) {
        const double samples = double(layout->planeBytes[p]) * frames;
        formatPsnr(text[p], sizeof text[p], samples > 0 ? double(totals->squares[p]) / samples : 0.0, "%f");
        allSquares += totals->squares[p];
    }
    formatPsnr(text[3], sizeof text[3], double(allSquares) / (double(layout->frameBytes) * frames), "%f");
    formatPsnr(text[4], sizeof text[4], totals->worstMse, "%f");
    formatPsnr(text[5], sizeof text[5], totals->bestMse, "%f");
    snprintf(line, size, "PSNR y:%s u:%s v:%s average:%s min:%s max:%s\n", text[0], text[1], text[2],
             text[3], text[4], text[5]);
}

// Big sequential reads: little cost per call, and the chunks of both files
// stay in the cache between the read and the sums.
constexpr int64_t CHUNK_BYTES = 1 << 18;
// Chunks of the other file that may be read ahead of the sums.
constexpr int64_t READ_AHEAD = 4;

// The open job: inputs, stats file and the running position inside a frame.
struct Comparison {
    const CompareJob* job;
    Layout layout;
    FILE* input;
    FILE* other;
    FILE* stats;            // stdout for --stats -, or nullptr
    bool statsToFile;       // the stats go to statsFile
    OutputFile statsFile;
    int plane;              // plane being summed, 0 to 2
    int64_t leftInPlane;    // its bytes still to come
    uint64_t squares[3];    // of the frame being summed
    Totals totals;
    int writeFailed;
};

// Moves past planes that are done, finishing the frame after the V plane.
void settlePlane(Comparison* c) {
    while (c->leftInPlane == 0) {
        if (++c->plane == 3) {
            double averageMse;
            char line[256];
            frameLine(line, sizeof line, c->totals.frames + 1, &c->layout, c->squares, &averageMse);
            if (c->statsToFile) {
                if (!writeOutput(&c->statsFile, line, strlen(line))) c->writeFailed = 1;
            } else if (c->stats && fputs(line, c->stats) == EOF) {
                c->writeFailed = 1;
            }
            for (int p = 0; p < 3; ++p) c->totals.squares[p] += c->squares[p];
            if (c->totals.frames == 0 || averageMse > c->totals.worstMse) c->totals.worstMse = averageMse;
            if (c->totals.frames == 0 || averageMse < c->totals.bestMse) c->totals.bestMse = averageMse;
            if (c->job->failBelowSet && averageMse > 0 && psnr(averageMse) < c->job->failBelow)
                c->totals.belowLimit = 1;
            c->totals.frames += 1;
            memset(c->squares, 0, sizeof c->squares);
            c->plane = 0;
        }
        c->leftInPlane = c->layout.planeBytes[c->plane];
    }
}

// Adds two chunks read at the same offset of both files.
void sumChunk(Comparison* c, SquareSum8 sum, const uint8_t* a, const uint8_t* b, size_t size) {
    size_t at = 0;
    while (at < size) {
        const size_t take = size - at < uint64_t(c->leftInPlane) ? size - at : size_t(c->leftInPlane);
        c->squares[c->plane] += sum(a + at, b + at, take);
        at += take;
        c->leftInPlane -= int64_t(take);
        settlePlane(c);
    }
}

void closeFiles(Comparison* c) {
    if (c->input) fclose(c->input);
    if (c->other) fclose(c->other);
    if (c->statsToFile) abandonOutput(&c->statsFile);
    c->statsToFile = false;
    c->input = c->other = c->stats = nullptr;
}

// The other file, read by a second thread into chunks while this one reads
// the input and sums: copying both files out of the system's cache is most of
// the work, and the two copies then run side by side. Chunks go to the reader
// free and come back full, in order.
struct Chunk {
    uint8_t* bytes;
    size_t size;
    bool ok;
};

struct ReadAhead {
    FILE* file;
    int64_t chunks;
    int64_t lastChunkBytes;
    WorkQueue free, full;
};

size_t chunkBytes(const ReadAhead* r, int64_t i) {
    return size_t(i + 1 < r->chunks ? CHUNK_BYTES : r->lastChunkBytes);
}

void fillChunk(ReadAhead* r, Chunk* chunk, int64_t i) {
    chunk->size = chunkBytes(r, i);
    chunk->ok = fread(chunk->bytes, 1, chunk->size, r->file) == chunk->size;
}

void readAhead(ReadAhead* r) {
    for (int64_t i = 0; i < r->chunks; ++i) {
        Chunk* chunk = static_cast<Chunk*>(queueTake(&r->free));
        if (!chunk) return;
        fillChunk(r, chunk, i);
        queuePut(&r->full, chunk);
        if (!chunk->ok) return;
    }
}

// Reads `frames` frames of both files and sums them. Nonzero on success.
int compareFrames(Comparison* c, int64_t frames) {
    const int64_t total = frames * c->layout.frameBytes;
    uint8_t* buffer = static_cast<uint8_t*>(malloc(size_t((1 + READ_AHEAD) * CHUNK_BYTES)));
    if (!buffer) return snapFail("out of memory");
    ReadAhead other;
    other.file = c->other;
    other.chunks = (total + CHUNK_BYTES - 1) / CHUNK_BYTES;
    other.lastChunkBytes = total - (other.chunks - 1) * CHUNK_BYTES;
    Chunk ring[READ_AHEAD];
    for (int64_t i = 0; i < READ_AHEAD; ++i) {
        ring[i] = {buffer + (1 + i) * CHUNK_BYTES, 0, false};
        queuePut(&other.free, &ring[i]);
    }
    // Without a second thread the same reads happen here, one chunk ahead of nothing.
    std::thread reader;
    try {
        reader = std::thread(readAhead, &other);
    } catch (const std::system_error&) {
    }

    const SquareSum8 sum = fastestPsnrSums()->sum8;
    int ok = 1;
    for (int64_t i = 0; i < other.chunks && !c->writeFailed; ++i) {
        const size_t size = chunkBytes(&other, i);
        if (fread(buffer, 1, size, c->input) != size) {
            ok = !snapFail("cannot read %s: %s", quotedName(c->job->input).c_str(),
                           ferror(c->input) ? strerror(errno) : "it ended early");
            break;
        }
        Chunk* chunk;
        if (reader.joinable()) {
            chunk = static_cast<Chunk*>(queueTake(&other.full));
        } else {
            chunk = static_cast<Chunk*>(queueTake(&other.free));
            fillChunk(&other, chunk, i);
        }
        if (!chunk->ok) {
            ok = !snapFail("cannot read %s", quotedName(c->job->other).c_str());
            break;
        }
        sumChunk(c, sum, buffer, chunk->bytes, size);
        queuePut(&other.free, chunk);
    }
    if (reader.joinable()) {
        queueClose(&other.free);
        reader.join();
    }
    free(buffer);
    return ok;
}

// Says when a file ends in a partial frame, which is left out.
void notePartialFrame(const char* path, int64_t size, const Layout* layout) {
    const int64_t tail = size % layout->frameBytes;
    if (tail > 0)
        snapNote("%s ends in a partial frame of %" PRId64 " bytes, left out", quotedName(path).c_str(), tail);
}

} // namespace

int runCompare(const CompareJob* job) {
    Comparison c = {};
    c.job = job;
    if (!job->input || !job->other) return snapFail("INPUT and OTHER are both required");
    if (!job->format) return snapFail("no chroma format given");
    if (!frameLayout(job->width, job->height, job->format, &c.layout))
        return snapFail("%dx%d at %s does not make a frame this tool can hold", job->width, job->height,
                    job->format->name);

    std::string error;
    c.input = openInputFile(job->input, &error);
    if (!c.input) return snapFail("%s", error.c_str());
    c.other = openInputFile(job->other, &error);
    if (!c.other) {
        closeFiles(&c);
        return snapFail("%s", error.c_str());
    }
    // The reads are large; the streams' own buffers would only copy twice.
    setvbuf(c.input, nullptr, _IONBF, 0);
    setvbuf(c.other, nullptr, _IONBF, 0);

    const std::string input = quotedName(job->input), other = quotedName(job->other);
    const int64_t inputSize = toolFileSize(c.input);
    const int64_t otherSize = toolFileSize(c.other);
    if (inputSize < 0 || otherSize < 0) {
        closeFiles(&c);
        return snapFail("cannot read the size of %s", inputSize < 0 ? input.c_str() : other.c_str());
    }
    const int64_t inputFrames = inputSize / c.layout.frameBytes;
    const int64_t otherFrames = otherSize / c.layout.frameBytes;
    if (inputFrames == 0 || otherFrames == 0) {
        closeFiles(&c);
        return snapFail("%s holds no whole %dx%d %s frame", inputFrames == 0 ? input.c_str() : other.c_str(),
                    job->width, job->height, job->format->name);
    }
    c.statsToFile = job->statsPath && strcmp(job->statsPath, "-") != 0;
    if (c.statsToFile) {
        OutputGuard guard;
        clearGuard(&guard);
        guardFile(&guard, job->input, "INPUT");
        guardFile(&guard, job->other, "OTHER");
        if (!openOutput(&c.statsFile, job->statsPath, &guard, &error)) {
            c.statsToFile = false;
            closeFiles(&c);
            return snapFail("--stats: %s", error.c_str());
        }
    } else if (job->statsPath) {
        c.stats = stdout;
    }

    notePartialFrame(job->input, inputSize, &c.layout);
    notePartialFrame(job->other, otherSize, &c.layout);
    const int64_t frames = inputFrames < otherFrames ? inputFrames : otherFrames;
    if (inputFrames != otherFrames)
        snapNote("%s holds %" PRId64 " frame%s, %s %" PRId64 " frame%s: comparing the first %" PRId64,
             input.c_str(), inputFrames, inputFrames == 1 ? "" : "s", other.c_str(), otherFrames,
             otherFrames == 1 ? "" : "s", frames);

    c.leftInPlane = c.layout.planeBytes[0];
    int ok = compareFrames(&c, frames);
    if (ok && c.statsToFile) {
        c.statsToFile = false;
        if (!finishOutput(&c.statsFile, &error)) ok = !snapFail("%s", error.c_str());
    } else if (ok && c.writeFailed) {
        ok = !snapFail("cannot write to standard output: %s", strerror(errno ? errno : EIO));
    }
    closeFiles(&c);
    if (!ok) return 2;

    char line[256];
    summaryLine(line, sizeof line, &c.layout, &c.totals);
    if (fputs(line, stdout) == EOF || fflush(stdout) != 0)
        return snapFail("cannot write to standard output: %s", strerror(errno ? errno : EIO));
    // A gate passes only on frames it saw: a frame missing from either file fails it.
    const int64_t missing = (inputFrames > otherFrames ? inputFrames : otherFrames) - frames;
    if (job->failBelowSet && missing > 0) {
        snapNote("--fail-below fails: %" PRId64 " frame%s missing from %s", missing, missing == 1 ? " is" : "s are",
                 inputFrames < otherFrames ? input.c_str() : other.c_str());
        return 1;
    }
    return c.totals.belowLimit ? 1 : 0;
}

namespace {

// Nonzero when the file at `path` (already found readable) starts as a Y4M stream.
int startsAsY4m(const char* path) {
    std::string error;
    FILE* file = openInputFile(path, &error);
    if (!file) return 0;
    uint8_t head[Y4M_SIGNATURE_BYTES];
    const size_t got = fread(head, 1, sizeof head, file);
    fclose(file);
    return isY4mStream(head, got);
}

// The size of the regular file at `path`, or -1 after saying why it cannot be read.
int64_t readableFileSize(const char* path) {
    std::string error;
    FILE* file = openInputFile(path, &error);
    if (!file) {
        snapFail("%s", error.c_str());
        return -1;
    }
    const int64_t size = toolFileSize(file);
    fclose(file);
    if (size < 0) snapFail("cannot find the size of %s: %s", quotedName(path).c_str(), strerror(errno));
    return size;
}

// What one source (the flags, or a file's name) says of the geometry.
struct Claim {
    std::string source;
    int32_t width, height; // 0 when it names no size
    const FrameFormat* format;
};

std::string claimText(const Claim* claim) {
    char text[64] = "";
    if (claim->width) snprintf(text, sizeof text, "%dx%d", claim->width, claim->height);
    std::string result = text;
    if (claim->format) result += (result.empty() ? "" : " ") + std::string(shownFormatName(claim->format));
    return result;
}

// Nonzero when the flags and both names agree on what they say; otherwise one
// line naming two that differ.
int geometriesAgree(const SnapJob* job) {
    Claim claims[3];
    int count = 0;
    if (job->sizeGiven || job->format)
        claims[count++] = {"the flags", job->sizeGiven ? job->width : 0, job->sizeGiven ? job->height : 0,
                           job->format};
    for (const char* path : {job->input, job->other}) {
        NameGuess guess;
        guessFromName(path, &guess);
        Claim claim = {quotedName(path), 0, 0, nullptr};
        if (guess.sizeCount == 1) {
            claim.width = guess.width;
            claim.height = guess.height;
        }
        if (guess.formatCount == 1) claim.format = guess.format;
        if (claim.width || claim.format) claims[count++] = claim;
    }
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j) {
            const bool sizes = claims[i].width && claims[j].width &&
                               (claims[i].width != claims[j].width || claims[i].height != claims[j].height);
            const bool formats = claims[i].format && claims[j].format && claims[i].format != claims[j].format;
            if (sizes || formats)
                return !snapFail("the geometries differ: %s gives %s, %s gives %s", claims[i].source.c_str(),
                                 claimText(&claims[i]).c_str(), claims[j].source.c_str(),
                                 claimText(&claims[j]).c_str());
        }
    return 1;
}

} // namespace

int compareGeometriesAgree(const SnapJob* job) {
    return geometriesAgree(job);
}

int runCompareCommand(const SnapJob* job) {
    const int64_t inputSize = readableFileSize(job->input);
    if (inputSize < 0) return 2;
    const int64_t otherSize = readableFileSize(job->other);
    if (otherSize < 0) return 2;
    if (!geometriesAgree(job)) return 2;
    // Today's 8-bit PSNR forms of raw files keep their own reader, and so their
    // output byte for byte; everything else reads through the sources.
    const bool measures = job->metrics != METRIC_PSNR || job->ssimStatsPath || job->jsonPath || job->plotPath;
    if (measures || startsAsY4m(job->input) || startsAsY4m(job->other)) return runMeasureCommand(job);
    // The geometry from the flags, else INPUT's name, else OTHER's.
    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[2048];
    int resolved = resolveGeometry(&request, job->input, inputSize, &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE)
        resolved = resolveGeometry(&request, job->other, otherSize, &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE) return snapFail("no --size given and neither name holds a size");
    if (resolved != GEOMETRY_RESOLVED) return snapFail("%s", why);
    const FrameGeometry frame = {geometry.format, geometry.width, geometry.height, CHROMA_ROUNDED_DOWN};
    if (frameBytes(&frame) < 0)
        return snapFail("a %dx%d %s frame cannot be held in memory", geometry.width, geometry.height,
                        shownFormatName(geometry.format));
    // These sums run over 8-bit planes; deeper, grey and semi-planar frames
    // take the measures' driver, which reads every format.
    if (!formatIsViewers(geometry.format)) return runMeasureCommand(job);
    CompareJob compareJob = {job->input,    job->other,     geometry.width,   geometry.height,
                             findChromaFormat(geometry.format->viewerCode), job->statsPath, job->failBelowSet,
                             job->failBelow};
    return runCompare(&compareJob);
}

