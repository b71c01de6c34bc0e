#include "snap/snap.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "snap/modes/bd_rate.h"
#include "snap/modes/compare.h"
#include "snap/modes/diff.h"
#include "snap/modes/export.h"
#include "snap/io/files.h"
#include "snap/modes/info.h"
#include "snap/format/name_guess.h"
#include "snap/source/sample.h"
#include "snap/cli/options.h"
#include "snap/io/messages.h"
#include "snap/io/output.h"
#include "video/video_file.h"
#include "version.h"

namespace {

int makeSample(const SnapJob* job) {
    std::string error;
    const ChromaFormat* format = findChromaFormat(job->format->viewerCode);
    if (!writeSampleClip(job->output, job->width, job->height, format, job->sampleFrames, &error))
        return snapFail("%s", error.c_str());
    return 0;
}

int printHelp(const SnapJob*) {
    return writeDocument("-", snapUsage, nullptr, nullptr) ? 0 : 2;
}

int printVersion(const SnapJob*) {
    return writeDocument("-", "corvane-snap " CORVANE_VERSION_TEXT "\n", nullptr, nullptr) ? 0 : 2;
}

// A mode: how the command line names and checks it (its row in modeRules)
// and what runs it. A new mode is a row here and one in modeRules.
struct SnapMode {
    const ModeRule* rule;
    int (*run)(const SnapJob* job);
};
const SnapMode snapModes[] = {
    {&modeRules[SNAP_EXPORT], runExport},        {&modeRules[SNAP_INFO], runInfo},
    {&modeRules[SNAP_COMPARE], runCompareCommand}, {&modeRules[SNAP_MAKE_SAMPLE], makeSample},
    {&modeRules[SNAP_HELP], printHelp},          {&modeRules[SNAP_VERSION], printVersion},
    {&modeRules[SNAP_DIFF], runDiffCommand},     {&modeRules[SNAP_BD_RATE], runBdRate},
};
static_assert(sizeof snapModes / sizeof snapModes[0] == SNAP_MODE_COUNT, "a run for every mode");

int runJob(const SnapJob* job) {
    return snapModes[job->mode].run(job);
}

// The job run with interruptions guarded.
int runGuarded(int argc, char** argv) {
    // Nothing asked: how to ask, where a script sees it is no success.
    if (argc < 2) {
        fputs(snapUsage, stderr);
        return 2;
    }
    SnapJob job;
    char error[16384];
    if (!parseSnapArguments(argc, argv, &job, error, sizeof error)) return snapFail("%s", error);
    guardRun();
    const int status = runJob(&job);
    endGuardedRun();
    return status;
}

} // namespace

int snapMain(int argc, char** argv) {
    int status;
    // Nothing leaves this call by an exception: memory that runs out while
    // frames are held, or a thread the system will not start, is one line
    // and status 2, with no unfinished output left.
    try {
        status = runGuarded(argc, argv);
    } catch (const std::bad_alloc&) {
        endGuardedRun();
        removeUnfinishedOutputs();
        status = snapFail("out of memory");
    } catch (const std::system_error& failure) {
        endGuardedRun();
        removeUnfinishedOutputs();
        status = snapFail("%s", failure.what());
    }
    // What went to standard output must have arrived, whatever the mode.
    errno = 0;
    if ((fflush(stdout) != 0 || ferror(stdout)) && status != 2) {
        status = snapFail("%s", cannotWriteText("-", errno).c_str());
        clearerr(stdout);
    }
    return status;
}
