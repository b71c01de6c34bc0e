// corvane-snap run in-process with its arguments, standard output and
// standard error captured: the tests' one way of running it as a user would.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snap/snap.h"

struct SnapRun {
    int status;
    std::string out, err;
};

inline SnapRun snap(std::vector<std::string> args) {
    args.insert(args.begin(), "corvane-snap");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SnapRun run;
    run.status = snapMain(static_cast<int>(args.size()), argv.data());
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}
