// presentFrame on a real window (under Wine on the Xvfb display, or on
// Windows): medians at 352 x 288, 1920 x 1080 and 3840 x 2160 in both views,
// and where the time goes, from presentFrame's own step functions with a
// clock between them. Not a test: it only reports.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_frames.h"
#include "render/colour_rows.h"
#include "render/presenter.h"
#include "render/separate.h"
#include "resources/resource.h"

namespace {

// The last is not part of presentFrame: the picture built a second time into
// the same memory, the conversion without the first touch of fresh pages.
enum { STEP_COUNT = 7 };
const char* const stepNames[STEP_COUNT] = {"contexts", "dib", "build", "blit", "status", "release",
                                           "rebuild"};

double now() {
    static LARGE_INTEGER frequency = [] { // read once
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// A buffer kept for the rebuild measurement, grown as needed.
std::vector<uint8_t>& scratchPicture(size_t size) {
    static std::vector<uint8_t> picture; // lives for the whole run
    if (picture.size() < size) picture.resize(size);
    return picture;
}

void buildInto(VideoFile* video, int separate, ColourRow row, ColourRowPair pair, uint8_t* bits) {
    if (separate) buildSeparatePicture(video, bits);
    else buildColourPictureWith(video, video->format, bits, row, pair);
}

// presentFrame's own steps in its order, with the time of each step added to
// `steps`; `build` makes the colour picture.
void presentDissected(VideoFile* video, HWND window, int separate, ColourBuilder build,
                      ColourRow row, ColourRowPair pair, double steps[STEP_COUNT]) {
    Presentation presentation;
    double t0 = now();
    beginPresentation(&presentation, window);
    double t1 = now();
    createPresentationPicture(&presentation, video, separate);
    double t2 = now();
    buildPresentationPicture(&presentation, video, separate, build);
    double t3 = now();
    blitPresentation(&presentation);
    double t4 = now();
    writeStatusTexts(window, video, 1);
    double t5 = now();
    endPresentation(&presentation, window);
    double t6 = now();
    const int64_t width = presentation.width, height = presentation.height;
    std::vector<uint8_t>& again = scratchPicture(static_cast<size_t>(pictureStride(width, separate ? 8 : 24) * height));
    buildInto(video, separate, row, pair, again.data()); // touches every page once, untimed
    double t7 = now();
    buildInto(video, separate, row, pair, again.data());
    double t8 = now();
    const double marks[] = {t0, t1, t2, t3, t4, t5, t6};
    for (int i = 0; i < 6; ++i) steps[i] = marks[i + 1] - marks[i];
    steps[6] = t8 - t7;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? atoi(argv[1]) : 0; // 0: by size
    InitCommonControls();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "PresenterBench";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "PresenterBench", "presentFrame bench", WS_CAPTION | WS_SYSMENU,
                                  0, 0, 400, 400, nullptr, nullptr, windowClass.hInstance, nullptr);
    CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", window, IDC_STATUS_BAR);
    ShowWindow(window, SW_SHOW);
    pumpMessages();

    const char* fastest = fastestColourPath();
    printf("colour path: %s; times in ms, medians\n\n", fastest);
    printf("%-11s %-8s %9s | %8s %8s %8s %8s %8s %8s | %8s %9s\n", "size", "view", "present", stepNames[0],
           stepNames[1], stepNames[2], stepNames[3], stepNames[4], stepNames[5], stepNames[6], "reference");
    const int sizes[][2] = {{352, 288}, {1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        const ChromaFormat* format = findChromaFormat(420);
        std::vector<uint8_t> frame = makeBenchFrame(w, h, format, "random");
        VideoFile video = benchVideo(w, h, format, frame);
        video.frameIndex = 1234;
        video.frameInterval = 40;
        setVideoTitle(&video, "bench.yuv");
        const int n = rounds > 0 ? rounds : w <= 352 ? 200 : w <= 1920 ? 60 : 20;

        for (int separate = 0; separate < 2; ++separate) {
            fitWindowToVideo(window, &video, separate);
            pumpMessages();
            std::vector<double> whole, steps[STEP_COUNT], reference;
            for (int i = 0; i < n + 3; ++i) {
                const double t0 = now();
                presentFrame(&video, window, separate);
                const double t1 = now();
                pumpMessages(); // the status bar repaints here, as in the program's loop
                double parts[STEP_COUNT], referenceParts[STEP_COUNT];
                presentDissected(&video, window, separate, buildColourPicture, colourRowNamed(fastest),
                                 colourRowPairNamed(fastest), parts);
                pumpMessages();
                if (!separate) {
                    presentDissected(&video, window, separate, buildColourPictureReference,
                                     colourRowReference, nullptr, referenceParts);
                    pumpMessages();
                }
                if (i < 3) continue; // the first calls warm caches and the X server
                whole.push_back(t1 - t0);
                for (int s = 0; s < STEP_COUNT; ++s) steps[s].push_back(parts[s]);
                double total = 0;
                for (int s = 0; s < 6 && !separate; ++s) total += referenceParts[s]; // presentFrame's own steps
                reference.push_back(total);
            }
            char label[32];
            snprintf(label, sizeof label, "%dx%d", w, h);
            char referenceText[16] = "-"; // the separate picture has no reference builder
            if (!separate) snprintf(referenceText, sizeof referenceText, "%.3f", median(reference));
            printf("%-11s %-8s %9.3f | %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f | %8.3f %9s\n", label,
                   separate ? "separate" : "colour", median(whole), median(steps[0]), median(steps[1]),
                   median(steps[2]), median(steps[3]), median(steps[4]), median(steps[5]), median(steps[6]),
                   referenceText);
            fflush(stdout);
        }
    }
    DestroyWindow(window);
    return 0;
}
