#include <cstdio>

#include "render/colour.h"
#include "tests/app/harness.h"

namespace {

using Window = CorvaneWindow;

void writeReadme(bool present) {
    std::string path = testFolder() + "\\Corvane.README.txt";
    if (present) writeTestFile("Corvane.README.txt", {'h', 'i', '\n'});
    else DeleteFileA(path.c_str());
}

TEST_F(Window, FirstStartShowsTheEmptyWindowAndItsMenu) {
    writeReadme(true);
    start([](HWND dialog, HWND) { pressCancel(dialog); });
    SIZE client = clientSize();
    EXPECT_EQ(client.cx, 640);
    EXPECT_EQ(client.cy, 480);
    EXPECT_EQ(statusText(0), "No file open");
    EXPECT_EQ(statusText(1), "");
    char className[16];
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ(className, "MyWin");
    char caption[16];
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Corvane");
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    for (int command : {CMD_OPEN, CMD_EXIT, CMD_HELP, CMD_README, CMD_ABOUT})
        EXPECT_EQ(menuState(command), UINT(MF_ENABLED)) << command;
    for (int command : {CMD_CLOSE, CMD_PLAY, CMD_PAUSE, CMD_REWIND, CMD_HALF_SPEED,
                        CMD_QUARTER_SPEED, CMD_IGNORE_SPEED, CMD_SEPARATE_FIELDS, CMD_DOUBLE_SIZE})
        EXPECT_EQ(menuState(command), UINT(MF_GRAYED)) << command;
    for (int command : {CMD_FULL_SPEED, CMD_COMBINED_FIELDS, CMD_FULL_SIZE})
        EXPECT_EQ(menuState(command), UINT(MF_GRAYED | MF_CHECKED)) << command;
    EXPECT_NE(accelerators, nullptr);
}

TEST_F(Window, ReadmeItemIsGrayedWhenTheFileIsMissing) {
    writeReadme(false);
    start([](HWND dialog, HWND) { pressCancel(dialog); });
    EXPECT_TRUE(grayed(CMD_README));
    writeReadme(true);
}

TEST_F(Window, AcceptingTheDefaultsShowsFrameZero) {
    std::string clip = makeClip("defaults.yuv", 352, 288, 420, 3);
    start(openFile(clip));
    ASSERT_TRUE(videoIsOpen(&video));
    SIZE client = clientSize();
    EXPECT_EQ(client.cx, 352);
    EXPECT_EQ(client.cy, 288 + statusBarHeight());
    EXPECT_EQ(video.frameIndex, 0);
    EXPECT_EQ(video.format->code, 420);
    EXPECT_TRUE(showsCurrentFrame());
    EXPECT_EQ(statusText(0), "defaults.yuv");
    EXPECT_EQ(statusText(1), " h00 : m00 : s00 : ms000 : f0");
    EXPECT_EQ(playInterval, 33);
    EXPECT_EQ(video.frameInterval, 33);
    EXPECT_FALSE(grayed(CMD_CLOSE));
    EXPECT_FALSE(grayed(CMD_PLAY));
    EXPECT_TRUE(grayed(CMD_PAUSE));
    EXPECT_TRUE(grayed(CMD_REWIND));
    EXPECT_EQ(menuState(CMD_FULL_SPEED), UINT(MF_CHECKED));
    EXPECT_EQ(menuState(CMD_HALF_SPEED), UINT(MF_ENABLED));
    EXPECT_FALSE(grayed(CMD_SEPARATE_FIELDS));
    EXPECT_TRUE(checked(CMD_COMBINED_FIELDS));
    EXPECT_FALSE(grayed(CMD_COMBINED_FIELDS));
}

TEST_F(Window, SmartSizePairsTheStandardSizes) {
    std::string height, width, afterUncheck;
    start([&](HWND dialog, HWND panel) {
        char text[16];
        choosePanelIndex(panel, IDC_WIDTH, 2);
        GetDlgItemTextA(panel, IDC_HEIGHT, text, sizeof text);
        height = text;
        choosePanelIndex(panel, IDC_HEIGHT, 0);
        GetDlgItemTextA(panel, IDC_WIDTH, text, sizeof text);
        width = text;
        SendDlgItemMessageA(panel, IDC_SMART_SIZE, BM_CLICK, 0, 0);
        choosePanelIndex(panel, IDC_WIDTH, 1);
        GetDlgItemTextA(panel, IDC_HEIGHT, text, sizeof text);
        afterUncheck = text;
        pressCancel(dialog);
    });
    EXPECT_EQ(height, "576");
    EXPECT_EQ(width, "176");
    EXPECT_EQ(afterUncheck, "144");
    // Cancel still keeps what the panel held.
    EXPECT_EQ(openWidth, 352);
    EXPECT_EQ(openHeight, 144);
}

TEST_F(Window, TypedSizesSurviveFocusChangesInThePanel) {
    std::string clip = makeClip("typed.yuv", 100, 288, 420, 2);
    start([&](HWND dialog, HWND panel) {
        setPanelText(panel, IDC_WIDTH, "100");
        // What moving between the boxes sends; a stale list entry must not
        // overwrite the typed width.
        for (int control : {IDC_WIDTH, IDC_HEIGHT})
            for (int code : {CBN_SETFOCUS, CBN_KILLFOCUS, CBN_EDITCHANGE, CBN_CLOSEUP})
                SendMessageA(panel, WM_COMMAND, MAKEWPARAM(control, code),
                             reinterpret_cast<LPARAM>(GetDlgItem(panel, control)));
        setFileName(dialog, clip);
        pressOpen(dialog);
    });
    ASSERT_TRUE(videoIsOpen(&video));
    EXPECT_EQ(video.width, 100);
    EXPECT_EQ(video.height, 288);
}

TEST_F(Window, TypedWidthOpensANarrowVideoThatFitsUnderAWrappedMenu) {
    std::string clip = makeClip("narrow.yuv", 100, 288, 420, 2);
    start(openFileAs(clip, "100", "288", "25", -1));
    ASSERT_TRUE(videoIsOpen(&video));
    EXPECT_EQ(video.width, 100);
    EXPECT_EQ(video.frameInterval, 40);
    SIZE client = clientSize();
    EXPECT_GE(client.cx, 100);
    EXPECT_EQ(client.cy, 288 + statusBarHeight());
    EXPECT_TRUE(showsCurrentFrame());
}

TEST_F(Window, FourTwoTwoIsExactAndHasNoSeparateView) {
    std::string clip = makeClip("clip422.yuv", 176, 144, 422, 2);
    start(openFileAs(clip, "176", "144", "30", 1));
    ASSERT_TRUE(videoIsOpen(&video));
    EXPECT_EQ(video.format->code, 422);
    EXPECT_EQ(video.frameBytes, 50688);
    EXPECT_TRUE(showsCurrentFrame());
    EXPECT_TRUE(grayed(CMD_SEPARATE_FIELDS));
}

TEST_F(Window, CannotOpenFileNamesThePathAndCancelKeepsTheVideo) {
    std::string clip = makeClip("keep.yuv", 176, 144, 420, 2);
    start(openFileAs(clip, "176", "144", "30", -1));
    ASSERT_TRUE(videoIsOpen(&video));

    // Cancel: the current video stays, still shown.
    openCommand([](HWND dialog, HWND) { pressCancel(dialog); });
    ASSERT_TRUE(videoIsOpen(&video));
    EXPECT_TRUE(showsCurrentFrame());
    EXPECT_EQ(statusText(0), "keep.yuv");

    // A width that cannot form a frame: the message names the full path.
    std::string message;
    openCommand([&](HWND dialog, HWND panel) {
        whenMessageBoxShows("Cannot Open File", &message);
        openFileAs(clip, "-5", "144", "30", -1)(dialog, panel);
    });
    EXPECT_EQ(message, clip);
    EXPECT_FALSE(videoIsOpen(&video));
    // The window and the menu keep what they had.
    EXPECT_EQ(clientSize().cx, 176);
    EXPECT_FALSE(grayed(CMD_CLOSE));
}

TEST_F(Window, RateTextGivesTheIntervalAndThePositionText) {
    std::string clip = makeClip("rate.yuv", 176, 144, 420, 2);
    const struct {
        const char* rate;
        int interval;
        const char* atFrameOne;
    } rates[] = {
        {"12.5", 80, " h00 : m00 : s00 : ms080 : f1"},
        {"0", 0, " h00 : m00 : s00 : ms000 : f1"},
        {"abc", 0, " h00 : m00 : s00 : ms000 : f1"},
        {"nan", 0, " h00 : m00 : s00 : ms000 : f1"},
        {"2000", 0, " h00 : m00 : s00 : ms000 : f1"},
        {"-25", -40, " h1193 : m02 : s47 : ms256 : f1"},
        {"0.0001", 10000000, " h02 : m46 : s40 : ms000 : f1"},
        {"1e-9", INT32_MAX, " h596 : m31 : s23 : ms647 : f1"},
        {"-1e-9", INT32_MIN, " h596 : m31 : s23 : ms648 : f1"},
    };
    for (const auto& r : rates) {
        if (window) openCommand(openFileAs(clip, "176", "144", r.rate, -1));
        else start(openFileAs(clip, "176", "144", r.rate, -1));
        ASSERT_TRUE(videoIsOpen(&video)) << r.rate;
        EXPECT_EQ(video.frameInterval, r.interval) << r.rate;
        EXPECT_EQ(playInterval, r.interval) << r.rate;
        EXPECT_EQ(statusText(1), " h00 : m00 : s00 : ms000 : f0") << r.rate;
        key(VK_RIGHT);
        EXPECT_EQ(statusText(1), r.atFrameOne) << r.rate;
    }
}

TEST_F(Window, TicksRunToTheEndAndStop) {
    std::string clip = makeClip("short.yuv", 176, 144, 420, 5);
    start(openFileAs(clip, "176", "144", "100", -1));
    ASSERT_TRUE(videoIsOpen(&video));
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_PLAY, 0), 0); // no pumping yet
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(playbackTimerPeriod, 10);
    ASSERT_TRUE(pumpUntil([] { return playing == 0; }));
    pump();
    EXPECT_EQ(video.frameIndex, 4);
    EXPECT_EQ(playbackTimerPeriod, 0);
    EXPECT_TRUE(grayed(CMD_PLAY));
    EXPECT_TRUE(grayed(CMD_PAUSE));
    EXPECT_TRUE(showsCurrentFrame());
    EXPECT_EQ(statusText(1), " h00 : m00 : s00 : ms040 : f4");
}

TEST_F(Window, MinimizeStopsPlaybackAndRestoreShowsTheFrame) {
    std::string clip = makeClip("minimize.yuv", 176, 144, 420, 400);
    start(openFileAs(clip, "176", "144", "100", -1));
    menuCommand(CMD_PLAY);
    pump(100);
    ShowWindow(window, SW_MINIMIZE);
    pump();
    EXPECT_EQ(playing, 0);
    EXPECT_EQ(playbackTimerPeriod, 0);
    EXPECT_FALSE(grayed(CMD_PLAY));
    EXPECT_TRUE(grayed(CMD_PAUSE));
    const int64_t stoppedAt = video.frameIndex;
    pump(100);
    EXPECT_EQ(video.frameIndex, stoppedAt);
    ShowWindow(window, SW_RESTORE);
    pump(100);
    EXPECT_EQ(video.frameIndex, stoppedAt);
    EXPECT_TRUE(showsCurrentFrame());
}

} // namespace
