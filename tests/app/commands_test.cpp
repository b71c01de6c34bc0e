#include "tests/app/harness.h"

namespace {

class Commands : public CorvaneWindow {
protected:
    // Opens a sample clip through the real dialog at the given rate.
    void openClip(const std::string& name, int width, int height, int code, int frames,
                  const std::string& rate = "25") {
        std::string clip = makeClip(name, width, height, code, frames);
        DialogAction action = openFileAs(clip, std::to_string(width), std::to_string(height), rate,
                                         code == 422 ? 1 : 0);
        if (window) openCommand(action);
        else start(action);
        ASSERT_TRUE(videoIsOpen(&video)) << name;
    }
    void expectFrame(int64_t index) {
        EXPECT_EQ(video.frameIndex, index);
        EXPECT_TRUE(showsCurrentFrame());
        EXPECT_EQ(statusText(1).substr(statusText(1).rfind(" f")), " f" + std::to_string(index));
    }
    // Playback state as the menu and the shell show it.
    void expectState(int isPlaying, bool timerOn, bool playGrayed, bool pauseGrayed) {
        EXPECT_EQ(playing, isPlaying);
        EXPECT_EQ(playbackTimerPeriod != 0, timerOn);
        EXPECT_EQ(grayed(CMD_PLAY), playGrayed);
        EXPECT_EQ(grayed(CMD_PAUSE), pauseGrayed);
    }
    void expectStopped() { expectState(0, false, false, true); }
    void expectPlaying() { expectState(1, true, true, false); }
    void expectEnded() { expectState(0, false, true, true); }
    void expectRunningUnflagged() { expectState(0, true, true, false); }
};

TEST_F(Commands, SpeedsSetThePeriodAndMoveTheCheckMark) {
    openClip("speeds.yuv", 176, 144, 420, 600);
    for (int command : {CMD_FULL_SPEED, CMD_HALF_SPEED, CMD_QUARTER_SPEED, CMD_IGNORE_SPEED})
        EXPECT_FALSE(grayed(command)) << command;
    struct Case {
        int command, interval;
    } cases[] = {{CMD_HALF_SPEED, 80}, {CMD_QUARTER_SPEED, 160}, {CMD_IGNORE_SPEED, 2},
                 {CMD_FULL_SPEED, 40}};
    for (const Case& c : cases) {
        menuCommand(c.command);
        EXPECT_EQ(playInterval, c.interval);
        EXPECT_EQ(playbackTimerPeriod, 0); // stopped: no timer started
        for (int command : {CMD_FULL_SPEED, CMD_HALF_SPEED, CMD_QUARTER_SPEED, CMD_IGNORE_SPEED})
            EXPECT_EQ(checked(command), command == c.command) << command;
    }
    // While playing, a change of speed restarts the timer at the new period.
    key(VK_SPACE);
    EXPECT_EQ(playbackTimerPeriod, 40);
    for (const Case& c : cases) {
        menuCommand(c.command);
        EXPECT_EQ(playbackTimerPeriod, c.interval);
        EXPECT_EQ(playing, 1);
    }
    menuCommand(CMD_PAUSE);
    expectStopped();
}

TEST_F(Commands, SpacePlaysAndPausesAndPauseRedraws) {
    openClip("space.yuv", 176, 144, 420, 600);
    expectStopped();
    EXPECT_TRUE(grayed(CMD_REWIND));
    key(VK_SPACE);
    expectPlaying();
    EXPECT_FALSE(grayed(CMD_REWIND));
    tick();
    key(VK_SPACE);
    expectStopped();
    const int64_t stopped = video.frameIndex;
    EXPECT_GT(stopped, 0);
    pump(100);
    expectFrame(stopped);

    menuCommand(CMD_PLAY);
    expectPlaying();
    pump(100);
    menuCommand(CMD_PAUSE);
    expectStopped();
    expectFrame(video.frameIndex);
    // Play from an accelerator while stopped plays; Pause from an accelerator
    // while stopped plays too.
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_PAUSE, 1), 0);
    expectPlaying();
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_PLAY, 1), 0);
    expectStopped();
}

TEST_F(Commands, EndedAndBack) {
    openClip("ended.yuv", 176, 144, 420, 6);
    menuCommand(CMD_IGNORE_SPEED);
    key(VK_SPACE);
    ASSERT_TRUE(pumpUntil([] { return playing == 0; }));
    pump();
    expectEnded();
    expectFrame(5);

    // Ended: SPACE with no backward move ends again at once.
    key(VK_SPACE);
    ASSERT_TRUE(pumpUntil([] { return playbackTimerPeriod == 0; }));
    expectEnded();
    expectFrame(5);

    // HOME then SPACE plays again from frame 0, though Play is still grayed.
    key(VK_HOME);
    expectFrame(0);
    EXPECT_TRUE(grayed(CMD_PLAY));
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_PLAY_TOGGLE, 1), 0); // SPACE, unpumped
    EXPECT_EQ(playing, 1);
    ASSERT_TRUE(pumpUntil([] { return playing == 0; }));
    pump();
    expectEnded();
    expectFrame(5);

    // Rewind: Ended to Stopped at frame 0.
    menuCommand(CMD_REWIND);
    expectStopped();
    EXPECT_TRUE(grayed(CMD_REWIND));
    expectFrame(0);
}

TEST_F(Commands, CancelledOpenLeavesPlaybackRunningUnflagged) {
    openClip("unflagged.yuv", 176, 144, 420, 900);
    key(VK_SPACE);
    expectPlaying();
    // The rate typed into a cancelled dialog is kept for the next start.
    openCommand([](HWND dialog, HWND panel) {
        setPanelText(panel, IDC_RATE, "15");
        pressCancel(dialog);
    });
    expectRunningUnflagged();
    EXPECT_EQ(playbackTimerPeriod, 40);
    EXPECT_EQ(playInterval, 66);
    const int64_t before = video.frameIndex;
    EXPECT_TRUE(pumpUntil([&] { return video.frameIndex > before; })) << "the timer still runs";

    key(VK_SPACE); // Running unflagged -> Playing, at the new period
    expectPlaying();
    EXPECT_EQ(playbackTimerPeriod, 66);

    openCommand([](HWND dialog, HWND) { pressCancel(dialog); });
    expectRunningUnflagged();
    menuCommand(CMD_PAUSE); // Running unflagged -> Stopped
    expectStopped();

    key(VK_SPACE);
    openCommand([](HWND dialog, HWND) { pressCancel(dialog); });
    menuCommand(CMD_REWIND); // Running unflagged -> Stopped, rewound
    expectStopped();
    expectFrame(0);
}

TEST_F(Commands, SteppingKeys) {
    openClip("nine.yuv", 176, 144, 420, 9);
    key(VK_LEFT); // at frame 0 stays at 0
    expectFrame(0);
    for (int i = 0; i < 5; ++i) key(VK_RIGHT);
    expectFrame(5);
    EXPECT_FALSE(grayed(CMD_REWIND));
    key(VK_UP); // three reads succeed, then the end of the file
    expectFrame(8);
    key(VK_RIGHT);
    expectFrame(8);
    key(VK_LEFT);
    expectFrame(7);
    key(VK_HOME);
    expectFrame(0);
    key(VK_END);
    expectFrame(8);
    key(VK_PRIOR);
    expectFrame(0);
    key(VK_NEXT);
    expectFrame(8);
    EXPECT_EQ(statusText(1), " h00 : m00 : s00 : ms320 : f8");

    openClip("twenty.yuv", 176, 144, 420, 20);
    for (int i = 0; i < 4; ++i) key(VK_RIGHT);
    key(VK_DOWN); // at frame 4: back to 0
    expectFrame(0);
    key(VK_NEXT);
    key(VK_RIGHT);
    key(VK_RIGHT);
    expectFrame(12);
    key(VK_DOWN); // at frame 12: frame 2
    expectFrame(2);
    EXPECT_TRUE(grayed(CMD_PLAY) == false);
}

TEST_F(Commands, SeparateFieldsWidensTheWindowAndShowsThePlanes) {
    openClip("planes.yuv", 352, 288, 420, 3);
    const SIZE combined = clientSize();
    menuCommand(CMD_SEPARATE_FIELDS);
    EXPECT_EQ(separateView, 1);
    EXPECT_EQ(clientSize().cx, 528);
    EXPECT_EQ(clientSize().cy, combined.cy);
    EXPECT_TRUE(checked(CMD_SEPARATE_FIELDS));
    EXPECT_FALSE(checked(CMD_COMBINED_FIELDS));
    EXPECT_TRUE(showsCurrentFrame(1));
    key(VK_RIGHT);
    EXPECT_TRUE(showsCurrentFrame(1));
    menuCommand(CMD_SEPARATE_FIELDS); // already separate: nothing
    EXPECT_EQ(clientSize().cx, 528);

    menuCommand(CMD_COMBINED_FIELDS);
    EXPECT_EQ(separateView, 0);
    EXPECT_EQ(clientSize().cx, 352);
    EXPECT_TRUE(checked(CMD_COMBINED_FIELDS));
    EXPECT_TRUE(showsCurrentFrame(0));
}

TEST_F(Commands, SeparateFieldsAndFourTwoTwo) {
    openClip("view422.yuv", 176, 144, 422, 3);
    EXPECT_TRUE(grayed(CMD_SEPARATE_FIELDS));
    menuCommand(CMD_SEPARATE_FIELDS); // not offered for 4:2:2
    EXPECT_EQ(separateView, 0);
    EXPECT_EQ(clientSize().cx, 176);

    // A 4:2:0 video in the separate view, then a 4:2:2 one opened over it:
    // drawn in the separate view, its item grayed but checked.
    openClip("view420.yuv", 176, 144, 420, 3);
    menuCommand(CMD_SEPARATE_FIELDS);
    ASSERT_EQ(separateView, 1);
    openClip("view422b.yuv", 176, 144, 422, 3);
    EXPECT_EQ(separateView, 1);
    EXPECT_EQ(menuState(CMD_SEPARATE_FIELDS), UINT(MF_GRAYED | MF_CHECKED));
    EXPECT_EQ(clientSize().cx, 264);
    EXPECT_TRUE(showsCurrentFrame(1));

    // Combined restores, and leaves Separate enabled though choosing it does nothing.
    menuCommand(CMD_COMBINED_FIELDS);
    EXPECT_EQ(separateView, 0);
    EXPECT_EQ(menuState(CMD_SEPARATE_FIELDS), UINT(MF_ENABLED));
    menuCommand(CMD_SEPARATE_FIELDS);
    EXPECT_EQ(separateView, 0);
    EXPECT_EQ(clientSize().cx, 176);
    EXPECT_TRUE(showsCurrentFrame(0));
}

TEST_F(Commands, CloseThenEveryCommandIsHarmless) {
    openClip("close.yuv", 176, 144, 420, 30);
    key(VK_SPACE);
    menuCommand(CMD_CLOSE);
    EXPECT_FALSE(videoIsOpen(&video));
    EXPECT_EQ(playbackTimerPeriod, 0);
    EXPECT_EQ(playing, 1); // Close leaves the flag as it was
    for (int command : {CMD_CLOSE, CMD_PLAY, CMD_PAUSE, CMD_REWIND, CMD_FULL_SPEED, CMD_HALF_SPEED,
                        CMD_QUARTER_SPEED, CMD_IGNORE_SPEED, CMD_COMBINED_FIELDS,
                        CMD_SEPARATE_FIELDS})
        EXPECT_TRUE(grayed(command)) << command;
    EXPECT_EQ(statusText(0), "No file open");
    EXPECT_EQ(statusText(1), "");

    const SIZE size = clientSize();
    for (WPARAM vk : {VK_SPACE, VK_RIGHT, VK_LEFT, VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT, VK_HOME, VK_END,
                      VK_SPACE})
        key(vk);
    key('C', true);
    for (int command : {CMD_PLAY, CMD_PAUSE, CMD_REWIND, CMD_SEPARATE_FIELDS, CMD_COMBINED_FIELDS,
                        CMD_FULL_SIZE, CMD_DOUBLE_SIZE, CMD_FULL_SPEED, CMD_IGNORE_SPEED})
        menuCommand(command);
    // A stray timer tick with no video stops the timer and touches nothing.
    setPlaybackTimer(window, 10);
    tick();
    EXPECT_EQ(playbackTimerPeriod, 0);
    EXPECT_FALSE(videoIsOpen(&video));
    EXPECT_EQ(statusText(0), "No file open");
    EXPECT_EQ(statusText(1), "");
    EXPECT_EQ(clientSize().cx, size.cx);
    EXPECT_EQ(clientSize().cy, size.cy);
}

TEST_F(Commands, FailedOpenLeavesAHarmlessRunningTimer) {
    openClip("failed.yuv", 176, 144, 420, 600);
    key(VK_SPACE);
    std::string message;
    openCommand([&](HWND dialog, HWND panel) {
        whenMessageBoxShows("Cannot Open File", &message);
        openFileAs(testFolder() + "\\failed.yuv", "abc", "144", "25", -1)(dialog, panel);
    });
    EXPECT_FALSE(videoIsOpen(&video));
    EXPECT_EQ(playing, 0);
    EXPECT_FALSE(grayed(CMD_CLOSE)); // the menu keeps its states
    EXPECT_TRUE(pumpUntil([] { return playbackTimerPeriod == 0; }))
        << "the timer's next tick finds no video and stops";
    for (WPARAM vk : {VK_SPACE, VK_RIGHT, VK_END, VK_HOME, VK_LEFT}) key(vk);
    menuCommand(CMD_REWIND);
    menuCommand(CMD_HALF_SPEED);
    EXPECT_FALSE(videoIsOpen(&video));
    EXPECT_EQ(playbackTimerPeriod, 0);
}

TEST_F(Commands, ExitEndsTheLoopWithCodeZero) {
    openClip("exit.yuv", 176, 144, 420, 3);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_EXIT, 0), 0);
    EXPECT_FALSE(videoIsOpen(&video));
    MSG message;
    bool quit = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        if (message.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(message.wParam, 0u);
        }
    EXPECT_TRUE(quit);
}

} // namespace
