#include "snap/report/html_report.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "snap/io/shown_name.h"
#include "snap/report/plot.h"
#include "snap/report/pooled.h"

std::string reportNumber(double value, int decimals) {
    if (std::isnan(value)) return "\u2014";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string base64Text(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t n = uint32_t(bytes[i]) << 16 | (left > 1 ? uint32_t(bytes[i + 1]) << 8 : 0) |
                           (left > 2 ? bytes[i + 2] : 0);
        text += digits[n >> 18 & 63];
        text += digits[n >> 12 & 63];
        text += left > 1 ? digits[n >> 6 & 63] : '=';
        text += left > 2 ? digits[n & 63] : '=';
    }
    return text;
}

namespace {

// One column, system type at a readable size, figures in tabular digits
// aligned right; the worst values on a pale red. No script, no fetch.
const char pageStyle[] =
    "body{margin:0;background:#eceae6;color:#1f2328;"
    "font:16px/1.55 system-ui,-apple-system,'Segoe UI',Roboto,'Helvetica Neue',Arial,sans-serif}\n"
    "main{max-width:1040px;margin:0 auto;padding:28px 28px 64px;background:#fff;min-height:100vh;box-sizing:border-box}\n"
    "h1{font-size:1.55em;line-height:1.25;margin:0 0 .4em;overflow-wrap:anywhere}\n"
    "h1 .against{font-weight:400;color:#667}\n"
    "h2{font-size:1.2em;margin:2.2em 0 .7em;padding-bottom:.25em;border-bottom:2px solid #e4e2dd}\n"
    "h3{font-size:1.05em;margin:1.6em 0 .4em}\n"
    ".verdict{display:inline-block;padding:.35em .9em;border-radius:6px;font-weight:600;font-size:1.05em}\n"
    ".pass{background:#dcf2e1;color:#14532d}.fail{background:#fbdedc;color:#7f1d1d}.none{background:#eeedea;color:#333}\n"
    "table{border-collapse:collapse;font-variant-numeric:tabular-nums}\n"
    "th,td{padding:.28em .65em;border-bottom:1px solid #ecebe8;text-align:left;vertical-align:top}\n"
    "thead th{border-bottom:2px solid #d5d3ce;font-weight:600;white-space:nowrap}\n"
    "table.facts th{font-weight:500;color:#555;white-space:nowrap}\n"
    "table.facts td{overflow-wrap:anywhere}\n"
    "table.numbers{font-size:.92em}\n"
    "table.numbers th,table.numbers td{padding:.28em .5em}\n"
    "table.numbers td,table.numbers thead th{text-align:right;white-space:nowrap}\n"
    "table.numbers thead th:first-child{text-align:left}\n"
    "table.numbers tbody th{font-family:ui-monospace,Menlo,Consolas,monospace;font-weight:500;font-size:.92em}\n"
    ".worst{background:#fbdedc;color:#7f1d1d;font-weight:600}\n"
    ".scroll{overflow-x:auto}\n"
    ".frames{font-size:.86em}\n"
    "table.frames th,table.frames td{padding:.2em .38em}\n"
    ".frames tr.held th{background:#fbdedc}\n"
    ".plot svg{width:100%;height:auto;display:block}\n"
    ".pictures{display:grid;grid-template-columns:repeat(3,1fr);gap:10px}\n"
    ".pictures figure{margin:0}\n"
    ".pictures img{width:100%;height:auto;display:block;border:1px solid #cfcdc8}\n"
    "figcaption{font-size:.85em;color:#555;margin-top:.2em;overflow-wrap:anywhere}\n"
    ".figures{margin:.2em 0 .7em;font-variant-numeric:tabular-nums}\n"
    ".figures span{display:inline-block;margin-right:1.2em;white-space:nowrap}\n"
    ".note{color:#555;font-size:.9em}\n";

void addText(std::string* out, const char* text) {
    *out += escapedText(text);
}

std::string numberText(int64_t n) {
    char text[32];
    snprintf(text, sizeof text, "%" PRId64, n);
    return text;
}

// The figure's worse of two values: the lower for dB and SSIM, the higher for MSE.
bool worse(const MetricFigure* figure, double a, double b) {
    return figure->lowerIsWorse ? a < b : a > b;
}

// The index of the column's worst value, or -1 when it has none.
int64_t worstIndex(const FigureColumn* column) {
    const MetricFigure* figure = columnFigure(column);
    int64_t at = -1;
    for (size_t i = 0; i < column->values->size(); ++i) {
        const double v = (*column->values)[i];
        if (!std::isnan(v) && (at < 0 || worse(figure, v, (*column->values)[size_t(at)]))) at = int64_t(i);
    }
    return at;
}

void addFact(std::string* out, const char* name, const std::string& value) {
    *out += "<tr><th>";
    addText(out, name);
    *out += "</th><td>" + value + "</td></tr>\n";
}

// Each gate set, its limit and the frames below it; frames one file lacks.
std::string gateText(const CompareReport* r) {
    std::string text;
    for (int m = 0; m < r->metrics; ++m)
        for (int row = 0; row < metricCount; ++row) {
            if (metricTable[row].metric != r->metric[m] || !r->gateSet[row]) continue;
            char name[64], line[160];
            metricGateName(&metricTable[row], r->gateLimit[row], name, sizeof name);
            snprintf(line, sizeof line, "%s: %" PRId64 " of %" PRId64 " frame%s %s", name, r->below[m], r->frames,
                     r->frames == 1 ? "" : "s", metricTable[row].gateAlways ? "failing" : "below");
            text += (text.empty() ? "" : "; ") + escapedText(line);
        }
    if (text.empty()) return "none set";
    if (r->missing > 0) text += "; " + numberText(r->missing) + " frame" + (r->missing == 1 ? "" : "s") + " missing";
    return text;
}

bool anyGate(const CompareReport* r) {
    for (int row = 0; row < metricCount; ++row)
        if (r->gateSet[row]) return true;
    return false;
}

void addHeader(std::string* out, const ReportPage* page) {
    const CompareReport* r = page->compare;
    *out += "<h1>";
    addText(out, shownName(r->input).c_str());
    *out += " <span class=\"against\">against</span> ";
    addText(out, shownName(r->other).c_str());
    *out += "</h1>\n";
    const char* verdict = !anyGate(r) ? "none\">No gate set" : r->failed ? "fail\">Gate failed" : "pass\">Gate passed";
    *out += std::string("<p class=\"verdict ") + verdict + "</p>\n";
    *out += "<section id=\"inputs\"><h2>Inputs</h2>\n<table class=\"facts\">\n";
    addFact(out, "reference (INPUT)", escapedText(shownName(r->input).c_str()));
    addFact(out, "distorted (OTHER)", escapedText(shownName(r->other).c_str()));
    addFact(out, "geometry", numberText(r->geometry->width) + " \u00d7 " + numberText(r->geometry->height));
    addFact(out, "format", escapedText(shownFormatName(r->geometry->format)) + ", " +
                               numberText(r->geometry->format->depth) + "-bit");
    addFact(out, "frames", "INPUT " + numberText(r->inputFrames) + ", OTHER " + numberText(r->otherFrames) +
                               ", compared " + numberText(r->frames));
    addFact(out, "gate", gateText(r));
    *out += "</table></section>\n";
}

// One row per figure: its pooled values, the worst of them marked.
void addSummary(std::string* out, const ReportPage* page) {
    *out += "<section id=\"summary\"><h2>Summary</h2>\n<div class=\"scroll\"><table class=\"numbers\">\n"
            "<thead><tr><th>figure</th><th>min</th><th>max</th><th>mean</th><th>harm. mean</th>";
    for (int p : pooledPercentiles) *out += "<th>p" + numberText(p) + "</th>";
    *out += "</tr></thead>\n<tbody>\n";
    for (const FigureColumn& column : page->table->columns) {
        const MetricFigure* figure = columnFigure(&column);
        PooledFigure pooled;
        poolColumn(page->table, &column, &pooled);
        const double cells[4 + POOLED_PERCENTILES] = {pooled.min, pooled.max, pooled.mean, pooled.harmonicMean,
                                                      pooled.percentile[0], pooled.percentile[1],
                                                      pooled.percentile[2], pooled.percentile[3],
                                                      pooled.percentile[4]};
        *out += std::string("<tr><th>") + figure->name + "</th>";
        for (int c = 0; c < 4 + POOLED_PERCENTILES; ++c) {
            const bool mark = c == (figure->lowerIsWorse ? 0 : 1) && !std::isnan(cells[c]);
            *out += mark ? "<td class=\"worst\">" : "<td>";
            *out += reportNumber(cells[c], figure->decimals) + "</td>";
        }
        *out += "</tr>\n";
    }
    *out += "</tbody></table></div>\n<p class=\"note\">Percentiles interpolate linearly between closest ranks. "
            "An identical frame's infinite PSNR counts as no error in the mean (the mean is the dB of the mean "
            "error, as the summary line gives it) and as the largest value elsewhere.</p></section>\n";
}

// The plot's SVG without its XML declaration, inline.
void addPlot(std::string* out, const ReportPage* page) {
    if (page->plotSvg.empty()) return;
    const size_t start = page->plotSvg.find("<svg");
    if (start == std::string::npos) return;
    *out += "<section id=\"plot\"><h2>Per frame</h2>\n<div class=\"plot\">\n";
    out->append(page->plotSvg, start, std::string::npos);
    *out += "</div></section>\n";
}

// The frame's figures, each with its name.
void addFrameFigures(std::string* out, const FigureTable* table, int64_t index) {
    *out += "<p class=\"figures\">";
    for (const FigureColumn& column : table->columns) {
        const MetricFigure* figure = columnFigure(&column);
        *out += std::string("<span>") + figure->name + " <b>" +
                reportNumber((*column.values)[size_t(index)], figure->decimals) + "</b></span>";
    }
    *out += "</p>\n";
}

void addPicture(std::string* out, const ReportFrame* frame, int which, const std::string& caption) {
    const char* roles[3] = {"reference", "distorted", "difference"};
    const WorstPictures* p = &frame->pictures;
    *out += "<figure><img src=\"data:image/png;base64," + base64Text(p->png[which]) + "\" width=\"" +
            numberText(p->width) + "\" height=\"" + numberText(p->height) + "\" alt=\"" + roles[which] +
            " of frame " + numberText(frame->index) + "\"><figcaption>" + caption + "</figcaption></figure>\n";
}

void addWorstFrames(std::string* out, const ReportPage* page) {
    if (page->worst.empty()) return;
    const CompareReport* r = page->compare;
    const Metric* metric = page->rankMetric;
    *out += "<section id=\"worst\"><h2>Worst frames</h2>\n<p class=\"note\">By ";
    *out += std::string(metric->figures[metric->rankFigure].name) + ", the worst first. Frames count from 0.";
    if (page->worst[0].pictures.factor > 1)
        *out += " Pictures scaled down " + numberText(page->worst[0].pictures.factor) +
                " times, each pixel the mean of the frame's.";
    *out += "</p>\n";
    for (const ReportFrame& frame : page->worst) {
        *out += "<article id=\"frame-" + numberText(frame.index) + "\"><h3>Frame " + numberText(frame.index) +
                "</h3>\n";
        addFrameFigures(out, page->table, frame.index);
        *out += "<div class=\"pictures\">\n";
        addPicture(out, &frame, 0, "reference: " + escapedText(shownName(r->input).c_str()));
        addPicture(out, &frame, 1, "distorted: " + escapedText(shownName(r->other).c_str()));
        addPicture(out, &frame, 2, "difference of Y: 128 + " + numberText(page->gain) + " \u00d7 (reference \u2212 distorted)");
        *out += "</div></article>\n";
    }
    *out += "</section>\n";
}

// Every frame's figures; each column's worst value and the worst frames' numbers marked.
void addFrameTable(std::string* out, const ReportPage* page) {
    const FigureTable* table = page->table;
    std::vector<int64_t> worstAt;
    *out += "<section id=\"frames\"><h2>Every frame</h2>\n<div class=\"scroll\"><table class=\"numbers frames\">\n"
            "<thead><tr><th>frame</th>";
    for (const FigureColumn& column : table->columns) {
        *out += std::string("<th>") + columnFigure(&column)->name + "</th>";
        worstAt.push_back(worstIndex(&column));
    }
    *out += "</tr></thead>\n<tbody>\n";
    for (int64_t i = 0; i < table->frames; ++i) {
        const int64_t number = table->first + i;
        bool held = false;
        for (const ReportFrame& frame : page->worst) held = held || frame.index == number;
        *out += held ? "<tr class=\"held\"><th><a href=\"#frame-" + numberText(number) + "\">" + numberText(number) +
                           "</a></th>"
                     : "<tr><th>" + numberText(number) + "</th>";
        for (size_t c = 0; c < table->columns.size(); ++c) {
            const FigureColumn* column = &table->columns[c];
            *out += worstAt[c] == i ? "<td class=\"worst\">" : "<td>";
            *out += reportNumber((*column->values)[size_t(i)], columnFigure(column)->decimals) + "</td>";
        }
        *out += "</tr>\n";
    }
    *out += "</tbody></table></div></section>\n";
}

} // namespace

std::string reportHtml(const ReportPage* page) {
    const CompareReport* r = page->compare;
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    addText(&out, (shownName(r->input) + " against " + shownName(r->other) + " \u2014 corvane-snap").c_str());
    out += "</title>\n<style>\n";
    out += pageStyle;
    out += "</style>\n</head>\n<body>\n<main>\n";
    addHeader(&out, page);
    addSummary(&out, page);
    addPlot(&out, page);
    addWorstFrames(&out, page);
    addFrameTable(&out, page);
    out += "</main>\n</body>\n</html>\n";
    return out;
}
