#include "snap/report/plot.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// The picture and the plotting area inside it, in pixels.
constexpr double WIDTH = 960, HEIGHT = 460;
constexpr double LEFT = 72, RIGHT = 36, TOP = 48, BOTTOM = 76;
constexpr double PLOT_WIDTH = WIDTH - LEFT - RIGHT, PLOT_HEIGHT = HEIGHT - TOP - BOTTOM;

using Series = PlotSeries;

// What the axes span, in frames and in dB.
struct Scale {
    int64_t frames;
    double low, high;
};

double xOf(const Scale* s, double frame) {
    return s->frames > 1 ? LEFT + PLOT_WIDTH * frame / double(s->frames - 1) : LEFT + PLOT_WIDTH / 2;
}

// Infinity sits on the top edge.
double yOf(const Scale* s, double db) {
    if (std::isinf(db)) return db > 0 ? TOP : TOP + PLOT_HEIGHT;
    return TOP + PLOT_HEIGHT * (s->high - db) / (s->high - s->low);
}

void add(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void add(std::string* out, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) out->append(text, size_t(n) < sizeof text ? size_t(n) : sizeof text - 1);
}

// The bytes of the character at `c` (1 to 4), and whether they are
// well-formed UTF-8. A broken one spans its lead byte and the continuation
// bytes that fit it, which become one U+FFFD, as the JSON writer replaces them.
size_t utf8Span(const char* text, bool* valid) {
    const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
    *valid = c[0] < 0x80;
    if (*valid) return 1;
    const size_t length = c[0] >= 0xc2 && c[0] <= 0xdf ? 2 : c[0] >= 0xe0 && c[0] <= 0xef ? 3
                          : c[0] >= 0xf0 && c[0] <= 0xf4 ? 4 : 0;
    // Overlong forms, surrogates and code points past U+10FFFF fail on the second byte.
    const unsigned low = c[0] == 0xe0 ? 0xa0 : c[0] == 0xf0 ? 0x90 : 0x80;
    const unsigned high = c[0] == 0xed ? 0x9f : c[0] == 0xf4 ? 0x8f : 0xbf;
    if (!length || c[1] < low || c[1] > high) return 1;
    for (size_t k = 2; k < length; ++k)
        if ((c[k] & 0xc0) != 0x80) return k;
    *valid = true;
    return length;
}

size_t characterBytes(const char* c) {
    bool valid;
    return utf8Span(c, &valid);
}

size_t characterCount(const char* text) {
    size_t count = 0;
    for (const char* c = text; *c; c += characterBytes(c)) ++count;
    return count;
}

void addEscaped(std::string* out, const char* text) {
    for (const char* c = text; *c;) {
        bool valid;
        const size_t span = utf8Span(c, &valid);
        switch (valid ? *c : 0) {
        case 0: *out += "\xEF\xBF\xBD"; break; // U+FFFD: renderers refuse an SVG of bytes that are not UTF-8
        case '&': *out += "&amp;"; break;
        case '<': *out += "&lt;"; break;
        case '>': *out += "&gt;"; break;
        case '"': *out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0.
            if (static_cast<unsigned char>(*c) >= 0x20 || *c == '\t') out->append(c, span);
        }
        c += span;
    }
}

// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double tickStep(double span, int count) {
    if (!(span > 0)) return 1;
    const double raw = span / count;
    const double power = pow(10.0, floor(log10(raw)));
    const double scaled = raw / power;
    return (scaled < 1.5 ? 1 : scaled < 3.5 ? 2 : scaled < 7.5 ? 5 : 10) * power;
}

// The finite range of every series, widened to whole ticks.
Scale scaleOf(const std::vector<Series>& series, int64_t frames) {
    double low = INFINITY, high = -INFINITY;
    for (const Series& s : series)
        for (int64_t i = 0; i < frames; ++i)
            if (std::isfinite(s.values[i])) {
                if (s.values[i] < low) low = s.values[i];
                if (s.values[i] > high) high = s.values[i];
            }
    if (!(low <= high)) low = 0, high = 100; // nothing finite: identical, or nothing measured
    if (high - low < 1) low -= 0.5, high += 0.5;
    const double step = tickStep(high - low, 6);
    return Scale{frames, floor(low / step) * step, ceil(high / step) * step};
}

void addAxes(std::string* out, const Scale* s, int64_t firstNumber) {
    add(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#fff\" stroke=\"#444\"/>\n",
        LEFT, TOP, PLOT_WIDTH, PLOT_HEIGHT);
    const double dbStep = tickStep(s->high - s->low, 6);
    for (double db = s->low; db <= s->high + dbStep / 2; db += dbStep) {
        const double y = yOf(s, db);
        add(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n", LEFT, y,
            LEFT + PLOT_WIDTH, y);
        add(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%g</text>\n", LEFT - 6, y + 4,
            fabs(db) < dbStep / 1e6 ? 0.0 : db);
    }
    // Ticks on round frame numbers, as they are printed.
    const int64_t step = s->frames > 1 ? int64_t(ceil(tickStep(double(s->frames - 1), 8))) : 1;
    const int64_t firstTick = (firstNumber >= 0 ? (firstNumber + step - 1) / step : firstNumber / step) * step;
    for (int64_t number = firstTick; number - firstNumber < s->frames; number += step) {
        const double f = double(number - firstNumber);
        const double x = xOf(s, f);
        add(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#444\"/>\n", x,
            TOP + PLOT_HEIGHT, x, TOP + PLOT_HEIGHT + 5);
        add(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%" PRId64 "</text>\n", x,
            TOP + PLOT_HEIGHT + 20, number);
    }
    add(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">frame</text>\n", LEFT + PLOT_WIDTH / 2,
        TOP + PLOT_HEIGHT + 38);
    add(out, "<text transform=\"translate(18 %.1f) rotate(-90)\" text-anchor=\"middle\">dB</text>\n",
        TOP + PLOT_HEIGHT / 2);
}

// The curve as one path: every frame while there are pixels enough, else per
// pixel column its frames' smallest and largest value, in the order they come.
void addCurve(std::string* out, const Scale* s, const Series* series) {
    add(out, "<path fill=\"none\" stroke=\"%s\" stroke-width=\"1.2\" d=\"", series->colour);
    const int64_t columns = int64_t(PLOT_WIDTH);
    bool drawing = false;
    auto point = [&](double frame, double db) {
        add(out, "%c%.1f %.1f ", drawing ? 'L' : 'M', xOf(s, frame), yOf(s, db));
        drawing = true;
    };
    if (s->frames <= 2 * columns) {
        for (int64_t i = 0; i < s->frames; ++i) {
            if (std::isnan(series->values[i])) drawing = false;
            else point(double(i), series->values[i]);
        }
    } else {
        for (int64_t c = 0; c < columns; ++c) {
            const int64_t begin = c * s->frames / columns, end = (c + 1) * s->frames / columns;
            int64_t lowAt = -1, highAt = -1;
            for (int64_t i = begin; i < end; ++i) {
                const double v = series->values[i];
                if (std::isnan(v)) continue;
                if (lowAt < 0 || v < series->values[lowAt]) lowAt = i;
                if (highAt < 0 || v > series->values[highAt]) highAt = i;
            }
            if (lowAt < 0) {
                drawing = false;
                continue;
            }
            const int64_t first = lowAt < highAt ? lowAt : highAt, second = lowAt < highAt ? highAt : lowAt;
            point(double(first), series->values[first]);
            if (second != first) point(double(second), series->values[second]);
        }
    }
    *out += "\"/>\n";
}

// The series' smallest value: a ring with the frame number beside it on the
// plot, and the number and value spelled out under it. Returns the note's width.
double addWorst(std::string* out, const Scale* s, const Series* series, int64_t firstNumber, double noteX) {
    int64_t worst = -1;
    for (int64_t i = 0; i < s->frames; ++i)
        if (!std::isnan(series->values[i]) && (worst < 0 || series->values[i] < series->values[worst]))
            worst = i;
    if (worst < 0) return 0;
    const double x = xOf(s, double(worst)), y = yOf(s, series->values[worst]);
    add(out, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"none\" stroke=\"%s\" stroke-width=\"2\"/>\n", x, y,
        series->colour);
    const bool leftSide = x > LEFT + PLOT_WIDTH * 0.8;
    add(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\" fill=\"%s\">%" PRId64 "</text>\n",
        leftSide ? x - 8 : x + 8, y > TOP + PLOT_HEIGHT - 20 ? y - 8 : y + 16, leftSide ? "end" : "start",
        series->colour, worst + firstNumber);
    char value[40];
    if (std::isinf(series->values[worst])) snprintf(value, sizeof value, "inf");
    else snprintf(value, sizeof value, "%.2f dB", series->values[worst]);
    char note[160];
    const int length = snprintf(note, sizeof note, "worst %s: frame %" PRId64 ", %s", series->label,
                                worst + firstNumber, value);
    add(out, "<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\" fill=\"%s\">%s</text>\n", noteX, HEIGHT - 10,
        series->colour, note);
    return 7.0 * length + 24;
}

// A legend entry's width: its line, its label at about 7 pixels a character, a gap.
double legendEntryWidth(const Series* series) {
    return 14 + 7.0 * double(std::char_traits<char>::length(series->label)) + 18;
}

// The title, shortened in the middle to the room left of the legend (bold
// characters take about 8 pixels).
void addTitle(std::string* out, const std::vector<Series>& series, const char* title) {
    double legend = 0;
    for (const Series& s : series) legend += legendEntryWidth(&s);
    const double room = (PLOT_WIDTH - legend - 16) / 8;
    add(out, "<text x=\"%.1f\" y=\"%.1f\" font-weight=\"bold\">", LEFT, TOP - 30 + 16);
    addEscaped(out, shortenedInMiddle(title, room > 8 ? size_t(room) : 8).c_str());
    *out += "</text>\n";
}

void addLegend(std::string* out, const std::vector<Series>& series, bool anyInfinite) {
    double y = TOP - 30;
    double x = LEFT + PLOT_WIDTH;
    for (size_t i = series.size(); i-- > 0;) {
        x -= legendEntryWidth(&series[i]);
        add(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" stroke-width=\"3\"/>\n", x,
            y + 12, x + 10, y + 12, series[i].colour);
        add(out, "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n", x + 14, y + 16, series[i].label);
    }
    if (anyInfinite)
        add(out, "<text x=\"%.1f\" y=\"%.1f\" font-size=\"11\" fill=\"#666\" text-anchor=\"end\">identical frames (inf) on the top edge</text>\n",
            LEFT + PLOT_WIDTH, TOP + PLOT_HEIGHT + 38);
}

} // namespace

std::string escapedText(const char* text) {
    std::string out;
    addEscaped(&out, text);
    return out;
}

std::string shortenedInMiddle(const char* text, size_t characters) {
    const size_t count = characterCount(text);
    if (count <= characters) return text;
    const size_t kept = characters > 0 ? characters - 1 : 0; // the ellipsis is one
    const size_t head = (kept + 1) / 2, tail = kept - head;
    std::string shortened;
    const char* c = text;
    for (size_t i = 0; i < head; ++i) {
        const size_t bytes = characterBytes(c);
        shortened.append(c, bytes);
        c += bytes;
    }
    for (size_t i = head; i < count - tail; ++i) c += characterBytes(c);
    return shortened + "\u2026" + c;
}

int buildPlotSvg(const PlotInput* input, std::string* svg) {
    if (input->frames <= 0) return 0;
    std::vector<Series> series;
    try {
        for (int i = 0; i < input->seriesCount; ++i)
            if (input->series[i].values) series.push_back(input->series[i]);
        if (series.empty()) return 0;
        const Scale scale = scaleOf(series, input->frames);
        bool anyInfinite = false;
        for (const Series& s : series)
            for (int64_t i = 0; i < input->frames && !anyInfinite; ++i) anyInfinite = std::isinf(s.values[i]);

        std::string out;
        add(&out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
        add(&out, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                  "font-family=\"sans-serif\" font-size=\"13\">\n", WIDTH, HEIGHT, WIDTH, HEIGHT);
        add(&out, "<rect width=\"100%%\" height=\"100%%\" fill=\"#f8f8f8\"/>\n");
        if (input->title) addTitle(&out, series, input->title);
        addAxes(&out, &scale, input->firstNumber);
        for (const Series& s : series) addCurve(&out, &scale, &s);
        double noteX = LEFT;
        for (const Series& s : series)
            if (s.markWorst) noteX += addWorst(&out, &scale, &s, input->firstNumber, noteX);
        addLegend(&out, series, anyInfinite);
        out += "</svg>\n";
        svg->swap(out);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}
