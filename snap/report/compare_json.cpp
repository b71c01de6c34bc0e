#include "snap/report/compare_json.h"

#include <utility>

#include "snap/report/pooled.h"

namespace {

// The gates of every metric in the table, asked for or not, so that the
// document's shape does not depend on --metric.
nlohmann::json gateJson(const CompareReport* r) {
    nlohmann::json gate;
    for (int i = 0; i < metricCount; ++i) {
        const Metric* metric = metricTable[i].metric;
        int64_t below = 0;
        for (int m = 0; m < r->metrics; ++m)
            if (r->metric[m] == metric) below = r->below[m];
        // A gate that is always on has no limit to give.
        if (metric->gateJsonKey)
            gate[metric->gateJsonKey] = r->gateSet[i] ? nlohmann::json(r->gateLimit[i]) : nlohmann::json(nullptr);
        gate[std::string("frames_below_") + metric->name] = below;
    }
    gate["frames_missing"] = r->missing;
    gate["passed"] = !r->failed;
    return gate;
}

} // namespace

std::string compareJsonText(CompareReport* r) {
    nlohmann::json j;
    j["input"] = r->input;
    j["other"] = r->other;
    j["width"] = r->geometry->width;
    j["height"] = r->geometry->height;
    j["format"] = shownFormatName(r->geometry->format);
    j["depth"] = r->geometry->format->depth;
    j["input_frames"] = r->inputFrames;
    j["other_frames"] = r->otherFrames;
    j["frames_compared"] = r->frames;
    j["frames"] = std::move(*r->perFrame);
    for (int m = 0; m < r->metrics; ++m) r->metric[m]->summaryJson(r->totals[m], &j[r->metric[m]->name]);
    if (r->figures) pooledJson(r->figures, &j["pooled_metrics"]);
    j["gate"] = gateJson(r);
    j["exit_status"] = r->failed ? 1 : 0;
    return j.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
