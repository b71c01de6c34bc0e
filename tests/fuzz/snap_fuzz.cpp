// libFuzzer target over corvane-snap's text handling: the file-name guess,
// the geometry taken from it, the command-line parser (which touches no
// file, so any argument list can be thrown at it), the Y4M header parser,
// the pixel-format names, frame rates and whole numbers. Besides the
// sanitizers' checks it asserts what the tool relies on: a guess only names
// sizes of at least 1x1, a geometry taken from a name divides the file,
// every refusal says why, a job that parses is complete, frame names come
// out of the pattern as built (never through printf), a Y4M header read is
// whole and sized and the header written for it reads back the same, a rate
// read is a fraction of positive 32-bit terms (on every mode's command line
// too), a whole number read is the one strtoll reads and within its bounds,
// and a format found by name narrows a frame of any small size into a
// buffer the viewer's builders read within bounds; a rate table read gives
// one-line refusals, points of rate above 0, and BD-rates that are finite
// over an overlap, or refused (a table against itself: 0).
//
// Input layout: byte 0 chooses the part (with bit 2 set, a rate table;
// otherwise its low two bits: name, arguments, Y4M header, format name, rate
// and number); bytes 1..8 are a number (little-endian, signed): a file size,
// for a format name its frame's size, for a table the rate factor of its
// copy; the rest is a file name, the arguments separated by NUL bytes, a Y4M
// stream's first bytes, the text read as a format name, a rate and a whole
// number, or the table's CSV text.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/format/frame_format.h"
#include "snap/format/narrow.h"
#include "snap/cli/rate.h"
#include "snap/cli/values.h"
#include "snap/source/y4m_header.h"
#include "snap/format/name_guess.h"
#include "snap/cli/options.h"
#include "snap/io/csv_read.h"
#include "snap/report/bd_rate.h"

namespace {

void require(bool condition) {
    if (!condition) abort();
}

void fuzzName(const std::string& name, int64_t fileSize) {
    NameGuess guess;
    guessFromName(name.c_str(), &guess);
    require(guess.sizeCount >= 0 && guess.sizeCount <= 2);
    require(guess.formatCount >= 0 && guess.formatCount <= 2);
    if (guess.sizeCount) require(guess.width >= 1 && guess.height >= 1);
    if (guess.sizeCount == 2)
        require(guess.otherWidth != guess.width || guess.otherHeight != guess.height);
    if (guess.formatCount) require(findFrameFormat(guess.format->name) == guess.format);

    for (int flags = 0; flags < 4; ++flags) {
        GeometryRequest request = {flags & 1, 352, 288, flags & 2 ? findFrameFormat("yuv444p10le") : nullptr};
        Geometry geometry;
        char why[256];
        memset(why, 'x', sizeof why);
        const int result = resolveGeometry(&request, name.c_str(), fileSize, &geometry, why, sizeof why);
        require(memchr(why, '\0', sizeof why) != nullptr);
        if (result != GEOMETRY_RESOLVED) {
            require(why[0] != '\0');
            require(result == GEOMETRY_REFUSED || !request.sizeGiven);
            continue;
        }
        require(geometry.format != nullptr && geometry.width >= 1 && geometry.height >= 1);
        // A size from the name is only taken when the file holds whole frames of it; --size wins.
        require(geometry.layoutWhy[0] != '\0' && memchr(geometry.layoutWhy, '\0', sizeof geometry.layoutWhy));
        if (geometry.sizeFrom == GEOMETRY_FROM_NAME) {
            const FrameGeometry frame = {geometry.format, geometry.width, geometry.height, geometry.rounding};
            const int64_t bytes = frameBytes(&frame);
            require(bytes > 0 && fileSize > 0 && fileSize % bytes == 0);
        }
        if (request.sizeGiven) require(geometry.width == 352 && geometry.height == 288);
        if (request.format) require(geometry.format == request.format);
        require(shownFormatName(geometry.format)[0] != '\0');
    }
}

void fuzzArguments(const std::string& text, int64_t number) {
    std::vector<std::string> words(1, "corvane-snap");
    size_t start = 0;
    for (size_t i = 0; i <= text.size() && words.size() < 64; ++i)
        if (i == text.size() || text[i] == '\0') {
            words.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);

    SnapJob job;
    char error[256];
    memset(error, 'x', sizeof error);
    if (!parseSnapArguments(static_cast<int>(words.size()), argv.data(), &job, error, sizeof error)) {
        require(memchr(error, '\0', sizeof error) != nullptr && error[0] != '\0');
        return;
    }
    if (job.sizeGiven) require(job.width >= 1 && job.height >= 1);
    // A rate is read once, the same way, in every mode that takes one.
    if (job.rateText) require(job.rateNumerator >= 1 && job.rateDenominator >= 1);
    switch (job.mode) {
    case SNAP_EXPORT: {
        require(job.input && job.output);
        require(job.writer != nullptr);
        require(job.writer == writerForName(job.output) || (job.writer == &frameMd5Writer && !strcmp(job.output, "-")));
        const bool several = job.frames.kind == FRAMES_RANGE || job.frames.kind == FRAMES_ALL;
        if (several && job.writer->perFrame) require(job.outputName.hasField);
        if (!job.writer->perFrame) require(!job.separate);
        if (job.frames.kind == FRAMES_RANGE) require(job.frames.first <= job.frames.last);
        if (job.frames.kind != FRAMES_LAST) require(job.frames.first >= 0);
        // A frame's name is the pattern with the number put in: no '%' is
        // read as anything but text, so the name is bounded by the pattern.
        const std::string name = outputNameFor(&job.outputName, job.output, number < 0 ? -number : number);
        require(name.size() <= strlen(job.output) + 20 + 99);
        break;
    }
    case SNAP_INFO: require(job.input != nullptr); break;
    case SNAP_COMPARE:
        require(job.input && job.other);
        require(job.metrics > 0 && job.metrics < 1 << metricCount);
        // A metric's lines or gate are never given without measuring it, and a gate is within its row's limits.
        for (int i = 0; i < metricCount; ++i) {
            if (job.statsPaths[i] || job.gateSet[i]) require(job.metrics & metricBit(&metricTable[i]));
            if (job.gateSet[i])
                require(job.gateLimit[i] >= metricTable[i].gateLow && job.gateLimit[i] <= metricTable[i].gateHigh);
        }
        break;
    case SNAP_DIFF:
        require(job.input && job.other && job.output && job.writer && job.writer->perFrame);
        require(job.gain >= 1 && job.gain <= 64);
        break;
    case SNAP_MAKE_SAMPLE: require(job.output && job.format && job.sampleFrames >= 1); break;
    case SNAP_BD_RATE:
        require(job.input && job.other && (job.bdMethod == BD_PCHIP || job.bdMethod == BD_POLY));
        require(strcmp(job.input, "-") || strcmp(job.other, "-"));
        break;
    case SNAP_HELP:
    case SNAP_VERSION: break;
    default: abort();
    }
}

void fuzzY4mHeader(const std::string& text) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    Y4mHeader header;
    char error[256];
    memset(error, 'x', sizeof error);
    const int status = parseY4mHeader(bytes, text.size(), &header, error, sizeof error);
    require(memchr(error, '\0', sizeof error) != nullptr && !strchr(error, '\n'));
    if (status != Y4M_HEADER_READ) {
        require((status == Y4M_HEADER_BAD || status == Y4M_HEADER_UNFINISHED) && error[0] != '\0');
        return;
    }
    require(header.width >= 1 && header.height >= 1 && header.colour && header.geometry.format);
    require(header.geometry.rounding == CHROMA_ROUNDED_UP);
    require(header.frameBytes > 0 && header.frameBytes == frameBytes(&header.geometry));
    require(header.headerBytes > Y4M_SIGNATURE_BYTES && static_cast<size_t>(header.headerBytes) <= text.size());
    require(text[static_cast<size_t>(header.headerBytes) - 1] == '\n');
    require(memchr(bytes, '\n', static_cast<size_t>(header.headerBytes) - 1) == nullptr);
    const int kept = header.extensionCount < Y4M_KEPT_EXTENSIONS ? header.extensionCount : Y4M_KEPT_EXTENSIONS;
    for (int i = 0; i < kept; ++i) {
        const Y4mSpan span = header.extensions[i];
        require(span.offset > 0 && span.length >= 1 && span.offset + span.length < header.headerBytes);
        require(text[static_cast<size_t>(span.offset)] == 'X');
    }

    // What is written for these frames reads back as them.
    const bool rated = header.rateNumerator > 0 && header.rateDenominator > 0;
    char built[256];
    const size_t length = buildY4mHeader(&header.geometry, header.colour, rated ? header.rateNumerator : 25,
                                         rated ? header.rateDenominator : 1, built, sizeof built);
    require(length > 0);
    Y4mHeader again;
    require(parseY4mHeader(reinterpret_cast<const uint8_t*>(built), length, &again, error, sizeof error) ==
            Y4M_HEADER_READ);
    require(again.geometry.format == header.geometry.format && again.width == header.width &&
            again.height == header.height && again.colour == header.colour);

    // The first FRAME header, where one follows.
    const uint8_t* rest = bytes + header.headerBytes;
    const size_t restSize = text.size() - static_cast<size_t>(header.headerBytes);
    const int64_t frameHeader = parseY4mFrameHeader(rest, restSize);
    require(frameHeader >= -1 && frameHeader <= static_cast<int64_t>(restSize));
    if (frameHeader > 0) {
        require(frameHeader >= Y4M_FRAME_HEADER_BYTES && rest[frameHeader - 1] == '\n');
        require(y4mFrameMarkerAt(rest, restSize, frameHeader));
        require(y4mFrameOffset(header.headerBytes, frameHeader, header.frameBytes, 1) ==
                header.headerBytes + frameHeader + header.frameBytes);
    }
}

void fuzzFormatName(const std::string& text, int64_t number) {
    int64_t rateNumerator = 0, rateDenominator = 0;
    if (parseFrameRate(text.c_str(), &rateNumerator, &rateDenominator))
        require(rateNumerator >= 1 && rateNumerator <= INT32_MAX && rateDenominator >= 1 &&
                rateDenominator <= INT32_MAX);
    // The one number reader: what it takes is a decimal number in its bounds, as strtoll reads it.
    const int64_t low = number < 0 ? number : 0, high = number < 0 ? INT64_MAX : number;
    int64_t whole = 0;
    if (readWholeNumber(text.c_str(), low, high, &whole)) {
        require(whole >= low && whole <= high && text.find_first_not_of("+-0123456789") == std::string::npos);
        require(strtoll(text.c_str(), nullptr, 10) == whole);
    }
    const FrameFormat* format = findFrameFormat(text.c_str());
    require(format == findFrameFormatWord(text.data(), strlen(text.c_str())));
    if (!format) return;
    const uint64_t bits = static_cast<uint64_t>(number);
    const FrameGeometry geometry = {format, static_cast<int32_t>(1 + (bits & 63)),
                                    static_cast<int32_t>(1 + ((bits >> 6) & 63)),
                                    (bits >> 12) & 1 ? CHROMA_ROUNDED_UP : CHROMA_ROUNDED_DOWN};
    FramePlanes planes;
    require(framePlanes(&geometry, &planes));
    for (int i = 0; i < planes.planeCount; ++i)
        require(planes.offset[i] + planes.rowBytes[i] * planes.rows[i] <= planes.frameBytes);
    // A frame of whatever the number's high bytes give, exactly sized so
    // that any read past it is caught.
    std::vector<uint8_t> frame(static_cast<size_t>(planes.frameBytes));
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((bits >> (16 + i % 48)) * (i + 1));
    std::vector<uint8_t> planar(frame.size());
    const int split = planarFrame(&geometry, frame.data(), planar.data());
    require((split != 0) == (planarFormOf(format) != format));
    std::vector<uint8_t> narrow(static_cast<size_t>(narrowFrameBytes(&geometry)));
    require(narrowFrame(&geometry, frame.data(), narrow.data()));
    VideoFile view;
    require(narrowView(&geometry, narrow.data(), &view));
    require(view.frameBytes == static_cast<int64_t>(narrow.size()));
    std::vector<uint8_t> colour(static_cast<size_t>(pictureStride(view.width, 24) * view.height));
    buildColourPicture(&view, view.format, colour.data());
    std::vector<uint8_t> separate(
        static_cast<size_t>(pictureStride(separatePictureWidth(&view), 8) * view.height));
    buildSeparatePicture(&view, separate.data());
}

// The BD-rate of `anchor` against `test`, by both methods, when both curves are usable.
void fuzzBdRate(const RateColumn& anchor, const RateColumn& test, bool same) {
    std::vector<RdPoint> curves[2] = {anchor.points, test.points};
    RdFault fault;
    for (std::vector<RdPoint>& curve : curves) {
        if (!prepareRdCurve(&curve, &fault)) {
            require(fault.kind == RD_TOO_FEW || fault.kind == RD_NOT_RISING || fault.kind == RD_RATE_NOT_ABOVE_0 ||
                    fault.kind == RD_NOT_A_NUMBER); // a scaled rate past the largest double
            return;
        }
        require(curve.size() >= BD_MIN_POINTS);
    }
    for (int method : {BD_PCHIP, BD_POLY}) {
        BdResult result;
        if (!bdRate(curves[0], curves[1], method, &result, &fault)) {
            require(fault.kind == RD_NO_OVERLAP || fault.kind == RD_NOT_FINITE);
            continue;
        }
        require(std::isfinite(result.percent) && result.percent > -100 - 1e-9 && result.low < result.high);
        if (same) require(result.percent == 0);
    }
}

void fuzzRateTable(const std::string& text, int64_t number) {
    RateTable table;
    std::string error;
    if (!parseRateTable(&table, "t.csv", text.data(), text.size(), &error)) {
        require(!error.empty() && error.find('\n') == std::string::npos);
        return;
    }
    require(!table.columns.empty());
    for (const RateColumn& column : table.columns) {
        require(column.fault.find('\n') == std::string::npos);
        for (const RdPoint& p : column.points) require(p.rate > 0 && std::isfinite(p.rate) && std::isfinite(p.quality));
    }
    // Each column against itself, against the first, and against itself at a
    // rate factor the number gives.
    RateColumn scaled = table.columns[0];
    const double factor = 0.25 + double(uint64_t(number) % 1000) / 250;
    for (RdPoint& p : scaled.points) p.rate *= factor;
    for (const RateColumn& column : table.columns) {
        fuzzBdRate(column, column, true);
        fuzzBdRate(table.columns[0], column, false);
    }
    fuzzBdRate(table.columns[0], scaled, false);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    uint64_t raw = 0;
    for (int i = 8; i >= 1; --i) raw = raw << 8 | data[i];
    const int64_t number = static_cast<int64_t>(raw);
    const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);
    if (data[0] & 4) {
        fuzzRateTable(text, number);
        return 0;
    }
    switch (data[0] & 3) {
    case 0: fuzzName(text.substr(0, text.find('\0')), number); break;
    case 1: fuzzArguments(text, number == INT64_MIN ? 0 : number); break;
    case 2: fuzzY4mHeader(text); break;
    default: fuzzFormatName(text.substr(0, text.find('\0')), number); break;
    }
    return 0;
}
